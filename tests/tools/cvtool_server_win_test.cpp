// The development server and the launcher's own requests as separate processes, the way a
// developer uses them.
#include <gtest/gtest.h>

#include "support/dev_server_win.h"

namespace Corvanthorne {
namespace {

using Testing::ProcessResult;

TEST(CvtoolServer, RegisterThenLoginAgainstTheDevelopmentServer) {
  Testing::TempDir folder;
  Testing::writeFile(folder / "accounts.txt", "# studio test accounts");  // no final line feed
  Testing::DevServer server(folder.path());
  const std::pair<std::string, std::string> answers[] = {
      {"bob secret1 bob@example.org", ""},
      {"Bob secret1 bob@example.org", "That username already exists.\n"},
      {"bo secret1 bob@example.org", "Use 3-24 letters or digits.\n"},
      {"carol_1 secret1 carol@example.org", "Use 3-24 letters or digits.\n"},
      {"carol abcd carol@example.org", "Password must have at least 5 characters.\n"},
      {"carol secret1 carol@example", "Enter a valid recovery email.\n"},
  };
  for (const auto& [arguments, message] : answers) {
    const ProcessResult registered = server.run("register " + arguments);
    EXPECT_EQ(registered.exitCode, message.empty() ? 0u : 1u) << arguments;
    EXPECT_TRUE(message.empty() || registered.output == message) << arguments << ": " << registered.output;
  }
  const ProcessResult wrong = server.run("login bob secret2");
  EXPECT_EQ(wrong.exitCode, 1u);
  EXPECT_EQ(wrong.output, "Login failed or the server is unavailable.\n");
  const ProcessResult token = server.run("login bob secret1");
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
  EXPECT_EQ(Testing::DevServer(folder.path()).run("login bob secret1").exitCode, 0u);
}

}  // namespace
}  // namespace Corvanthorne
