// The development server and the launcher's own requests as separate processes, the way a
// developer uses them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/handle_win.h"
#include "common/text.h"
#include "support/process_win.h"
#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {

using Testing::ProcessResult;

// A development server in the background, stopped at the end of the test.
class DevServer {
 public:
  explicit DevServer(const std::filesystem::path& folder)
      : child_(Testing::startProcess(Testing::cvtool(L"serve --port 0 --accounts accounts.txt"), folder)) {
    const std::string banner = Testing::readLine(child_.output.get());
    const std::size_t colon = banner.find("127.0.0.1:");
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
    return Testing::readRest(child_.output.get());
  }
  // Runs "cvtool <command> --port <this server's port> <arguments>" in folder.
  ProcessResult run(const std::string& command, const std::string& arguments, const std::filesystem::path& folder) {
    return Testing::runProcess(Testing::cvtool(utf8ToWide(command + " --port " + port_ + " " + arguments)), folder);
  }

 private:
  Testing::CapturedProcess child_;
  std::string port_;
};

TEST(CvtoolServer, RegisterThenLoginAgainstTheDevelopmentServer) {
  Testing::TempDir folder;
  Testing::writeFile(folder / "launcher.ini", "ServerSelection=Local\n");
  Testing::writeFile(folder / "accounts.txt", "# studio test accounts");  // no final line feed
  DevServer server(folder.path());
  const std::pair<std::string, std::string> answers[] = {
      {"bob secret1 bob@example.org", ""},
      {"Bob secret1 bob@example.org", "That username already exists.\n"},
      {"bo secret1 bob@example.org", "Use 3-24 letters or digits.\n"},
      {"carol_1 secret1 carol@example.org", "Use 3-24 letters or digits.\n"},
      {"carol abcd carol@example.org", "Password must have at least 5 characters.\n"},
      {"carol secret1 carol@example", "Enter a valid recovery email.\n"},
  };
  for (const auto& [arguments, message] : answers) {
    const ProcessResult registered = server.run("register", arguments, folder.path());
    EXPECT_EQ(registered.exitCode, message.empty() ? 0u : 1u) << arguments;
    EXPECT_TRUE(message.empty() || registered.output == message) << arguments << ": " << registered.output;
  }
  const ProcessResult wrong = server.run("login", "bob secret2", folder.path());
  EXPECT_EQ(wrong.exitCode, 1u);
  EXPECT_EQ(wrong.output, "Login failed or the server is unavailable.\n");
  const ProcessResult token = server.run("login", "bob secret1", folder.path());
  EXPECT_EQ(token.exitCode, 0u) << token.output;
  EXPECT_EQ(token.output.size(), 33u) << token.output;

  const std::string log = server.stop();
  EXPECT_NE(log.find("REGISTER bob -> REGISTER_OK"), std::string::npos) << log;
  EXPECT_NE(log.find("LOGIN bob -> LOGIN_OK bob"), std::string::npos) << log;
  EXPECT_EQ(log.find("secret"), std::string::npos) << log;
  const std::string accounts = Testing::readFile(folder / "accounts.txt");
  EXPECT_NE(accounts.find("bob "), std::string::npos);
  EXPECT_EQ(accounts.find("secret"), std::string::npos);
  // Accounts outlive the server.
  DevServer restarted(folder.path());
  EXPECT_EQ(restarted.run("login", "bob secret1", folder.path()).exitCode, 0u);
}

}  // namespace
}  // namespace Corvanthorne
