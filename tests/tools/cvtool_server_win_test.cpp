// cvtool's server and settings commands as separate processes, the way a developer uses them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/handle_win.h"
#include "common/text.h"
#include "support/process_win.h"
#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {

using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;

using Testing::CapturedProcess;
using Testing::readLine;
using Testing::readRest;

CapturedProcess startCvtool(const std::string& arguments, const std::filesystem::path& folder) {
  return Testing::startCvtoolCaptured(utf8ToWide(arguments), folder);
}

Testing::ProcessResult runCvtool(const std::string& arguments, const std::filesystem::path& folder) {
  return Testing::runCvtool(utf8ToWide(arguments), folder);
}

// A development server in the background, stopped at the end of the test.
class DevServer {
 public:
  DevServer(const std::filesystem::path& folder) : child_(startCvtool("serve --port 0 --accounts accounts.txt", folder)) {
    const std::string banner = readLine(child_.output.get());
    const size_t colon = banner.find("127.0.0.1:");
    if (colon == std::string::npos) throw std::runtime_error("serve did not start: " + banner);
    port_ = std::to_string(std::stoi(banner.substr(colon + 10)));
  }
  ~DevServer() { stop(); }
  // Ends the server and returns what it logged.
  std::string stop() {
    if (!child_.process) return {};
    TerminateProcess(child_.process.get(), 0);
    WaitForSingleObject(child_.process.get(), INFINITE);
    child_.process.reset();
    return readRest(child_.output.get());
  }
  const std::string& port() const { return port_; }

 private:
  CapturedProcess child_;
  std::string port_;
};

TEST(CvtoolServer, RegisterThenLoginAgainstTheDevelopmentServer) {
  TempDir folder;
  writeFile(folder / "launcher.ini", "ServerSelection=Local\n");
  writeFile(folder / "accounts.txt", "# studio test accounts");  // no final line feed
  DevServer server(folder.path());
  const std::string port = "--port " + server.port() + " ";

  const Testing::ProcessResult created = runCvtool("register " + port + "bob secret1 bob@example.org", folder.path());
  EXPECT_EQ(created.exitCode, 0u) << created.output;
  const std::pair<std::string, std::string> refusals[] = {
      {"Bob secret1 bob@example.org", "That username already exists."},
      {"bo secret1 bob@example.org", "Use 3-24 letters or digits."},
      {"carol_1 secret1 carol@example.org", "Use 3-24 letters or digits."},
      {"carol abcd carol@example.org", "Password must have at least 5 characters."},
      {"carol secret1 carol@example", "Enter a valid recovery email."},
  };
  for (const auto& [arguments, message] : refusals) {
    const Testing::ProcessResult refused = runCvtool("register " + port + arguments, folder.path());
    EXPECT_EQ(refused.exitCode, 1u) << arguments;
    EXPECT_EQ(refused.output, message + "\n") << arguments;
  }

  const Testing::ProcessResult wrong = runCvtool("login " + port + "bob secret2", folder.path());
  EXPECT_EQ(wrong.exitCode, 1u);
  EXPECT_EQ(wrong.output, "Login failed or the server is unavailable.\n");
  const Testing::ProcessResult token = runCvtool("login " + port + "bob secret1", folder.path());
  EXPECT_EQ(token.exitCode, 0u) << token.output;
  EXPECT_EQ(token.output.size(), 33u) << token.output;

  const std::string log = server.stop();
  EXPECT_NE(log.find("REGISTER bob -> REGISTER_OK"), std::string::npos) << log;
  EXPECT_NE(log.find("LOGIN bob -> LOGIN_OK bob"), std::string::npos) << log;
  EXPECT_EQ(log.find("secret"), std::string::npos) << log;
  const std::string accounts = readFile(folder / "accounts.txt");
  EXPECT_NE(accounts.find("bob "), std::string::npos);
  EXPECT_EQ(accounts.find("secret"), std::string::npos);

  // Accounts outlive the server.
  DevServer restarted(folder.path());
  const Testing::ProcessResult again = runCvtool("login --port " + restarted.port() + " bob secret1", folder.path());
  EXPECT_EQ(again.exitCode, 0u) << again.output;
}

TEST(CvtoolSettings, NormalizeRewritesAGameSettingsFileAsTheLauncherWould) {
  TempDir folder;
  writeFile(folder / "game_settings.ini", "width 4000\nmystery 1 2 3\nmsaa 3\n");
  const Testing::ProcessResult normalized = runCvtool("settings normalize game_settings.ini", folder.path());
  EXPECT_EQ(normalized.exitCode, 0u) << normalized.output;
  const std::string text = readFile(folder / "game_settings.ini");
  EXPECT_TRUE(text.starts_with("debug=0\r\nwidth 3840\r\nheight 720\r\n")) << text;
  EXPECT_NE(text.find("\r\nmsaa 1\r\n"), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\r\ntooltipsEnabled 1\r\n")) << text;
  EXPECT_EQ(text.find("mystery"), std::string::npos);

  const Testing::ProcessResult missing = runCvtool("settings normalize absent.ini", folder.path());
  EXPECT_EQ(missing.exitCode, 1u);
  EXPECT_EQ(missing.output, "No such settings file: absent.ini\n");
}

}  // namespace
}  // namespace Corvanthorne
