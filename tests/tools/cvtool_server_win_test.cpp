// cvtool's server and settings commands as separate processes, the way a developer uses them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/handle_win.h"
#include "common/text.h"
#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {

using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;

struct Child {
  ScopedHandle process;
  ScopedHandle output;  // read end of the child's standard output and error
};

// Starts cvtool with arguments in folder, its output going into a pipe.
Child startCvtool(const std::string& arguments, const std::filesystem::path& folder) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Child child;
  ScopedHandle writeEnd;
  if (!CreatePipe(child.output.receive(), writeEnd.receive(), &inheritable, 0) ||
      !SetHandleInformation(child.output.get(), HANDLE_FLAG_INHERIT, 0))
    throwWindowsError("CreatePipe");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  std::wstring commandLine = L"\"" + utf8ToWide(QEL_CVTOOL_PATH) + L"\" " + utf8ToWide(arguments);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      folder.c_str(), &startup, &info))
    throwWindowsError("CreateProcessW");
  const ScopedHandle thread(info.hThread);
  child.process.reset(info.hProcess);
  return child;
}

// Reads up to and including the next line feed, or to the end of the output.
std::string readLine(HANDLE pipe) {
  std::string line;
  char byte = 0;
  DWORD count = 0;
  while (ReadFile(pipe, &byte, 1, &count, nullptr) && count == 1) {
    line += byte;
    if (byte == '\n') break;
  }
  return line;
}

std::string readRest(HANDLE pipe) {
  std::string text;
  for (std::string line; !(line = readLine(pipe)).empty();) text += line;
  return text;
}

struct Result {
  DWORD exitCode;
  std::string output;
};

Result runCvtool(const std::string& arguments, const std::filesystem::path& folder) {
  Child child = startCvtool(arguments, folder);
  Result result{1, readRest(child.output.get())};
  WaitForSingleObject(child.process.get(), INFINITE);
  GetExitCodeProcess(child.process.get(), &result.exitCode);
  return result;
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
  Child child_;
  std::string port_;
};

TEST(CvtoolServer, RegisterThenLoginAgainstTheDevelopmentServer) {
  TempDir folder;
  writeFile(folder / "launcher.ini", "ServerSelection=Local\n");
  writeFile(folder / "accounts.txt", "# studio test accounts");  // no final line feed
  DevServer server(folder.path());
  const std::string port = "--port " + server.port() + " ";

  const Result created = runCvtool("register " + port + "bob secret1 bob@example.org", folder.path());
  EXPECT_EQ(created.exitCode, 0u) << created.output;
  const std::pair<std::string, std::string> refusals[] = {
      {"Bob secret1 bob@example.org", "That username already exists."},
      {"bo secret1 bob@example.org", "Use 3-24 letters or digits."},
      {"carol_1 secret1 carol@example.org", "Use 3-24 letters or digits."},
      {"carol abcd carol@example.org", "Password must have at least 5 characters."},
      {"carol secret1 carol@example", "Enter a valid recovery email."},
  };
  for (const auto& [arguments, message] : refusals) {
    const Result refused = runCvtool("register " + port + arguments, folder.path());
    EXPECT_EQ(refused.exitCode, 1u) << arguments;
    EXPECT_EQ(refused.output, message + "\n") << arguments;
  }

  const Result wrong = runCvtool("login " + port + "bob secret2", folder.path());
  EXPECT_EQ(wrong.exitCode, 1u);
  EXPECT_EQ(wrong.output, "Login failed or the server is unavailable.\n");
  const Result token = runCvtool("login " + port + "bob secret1", folder.path());
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
  const Result again = runCvtool("login --port " + restarted.port() + " bob secret1", folder.path());
  EXPECT_EQ(again.exitCode, 0u) << again.output;
}

TEST(CvtoolSettings, NormalizeRewritesAGameSettingsFileAsTheLauncherWould) {
  TempDir folder;
  writeFile(folder / "game_settings.ini", "width 4000\nmystery 1 2 3\nmsaa 3\n");
  const Result normalized = runCvtool("settings normalize game_settings.ini", folder.path());
  EXPECT_EQ(normalized.exitCode, 0u) << normalized.output;
  const std::string text = readFile(folder / "game_settings.ini");
  EXPECT_TRUE(text.starts_with("debug=0\r\nwidth 3840\r\nheight 720\r\n")) << text;
  EXPECT_NE(text.find("\r\nmsaa 1\r\n"), std::string::npos) << text;
  EXPECT_TRUE(text.ends_with("\r\ntooltipsEnabled 1\r\n")) << text;
  EXPECT_EQ(text.find("mystery"), std::string::npos);

  const Result missing = runCvtool("settings normalize absent.ini", folder.path());
  EXPECT_EQ(missing.exitCode, 1u);
  EXPECT_EQ(missing.output, "No such settings file: absent.ini\n");
}

}  // namespace
}  // namespace Corvanthorne
