#include "launcher/server_protocol.h"

#include <gtest/gtest.h>

namespace Corvanthorne {
namespace {

// Plays the server's bytes back and records what the launcher sent. With endless set, the
// server keeps sending that byte once its script is done.
class ScriptedConnection : public ServerConnection {
 public:
  explicit ScriptedConnection(std::string serverBytes) : incoming_(std::move(serverBytes)) {}

  bool send(std::string_view bytes) override {
    sent += bytes;
    return acceptSends;
  }
  std::optional<char> receiveByte() override {
    ++received;
    if (position_ < incoming_.size()) return incoming_[position_++];
    return endless;
  }

  std::string sent;
  bool acceptSends = true;
  std::optional<char> endless;
  std::size_t received = 0;

 private:
  std::string incoming_;
  std::size_t position_ = 0;
};

constexpr std::size_t kMaxLine = 64 * 1024;

TEST(ServerGreeting, AcceptsOnlyVersionAndEpochOne) {
  for (const char* line : {"CORVANTHORNE SERVER 1", "CORVANTHORNE SERVER 1 RELEASE_EPOCH 1",
                           " CORVANTHORNE\tSERVER  01 ", "CORVANTHORNE SERVER +1 RELEASE_EPOCH 1"})
    EXPECT_TRUE(isServerGreeting(line)) << line;
  for (const char* line : {"", "CORVANTHORNE SERVER", "CORVANTHORNE SERVER 2",
                           "CORVANTHORNE SERVER 1 RELEASE_EPOCH 2", "CORVANTHORNE SERVER 1 RELEASE_EPOCH",
                           "CORVANTHORNE SERVER 1 EPOCH 1", "CORVANTHORNE SERVER 1 RELEASE_EPOCH 1 x",
                           "CORVANTHORNE SERVER 1 x", "corvanthorne SERVER 1", "CORVANTHORNE CLIENT 1",
                           "CORVANTHORNE SERVER one"})
    EXPECT_FALSE(isServerGreeting(line)) << line;
}

TEST(ServerAddressText, RejectsPortsUrlsPathsAndOversizedNames) {
  EXPECT_TRUE(isBareHostText("play.qelmarin.net"));
  EXPECT_TRUE(isBareHostText("127.0.0.1"));
  EXPECT_TRUE(isBareHostText(std::string(253, 'a')));
  for (const std::string& address :
       {std::string(), std::string(254, 'a'), std::string("host:27888"), std::string("https://host"),
        std::string("folder/host"), std::string("a\\b"), std::string("a b"), std::string("a\tb"),
        std::string("host\r\n"), std::string("ho\0st", 5)})
    EXPECT_FALSE(isBareHostText(address)) << address;
}

TEST(ReadLine, DropsCarriageReturnsAndBoundsTheLength) {
  ScriptedConnection connection("a\rb\r\n\ncut");
  EXPECT_EQ(readLine(connection, kMaxLine), "ab");
  EXPECT_EQ(readLine(connection, kMaxLine), "");
  EXPECT_EQ(readLine(connection, kMaxLine), "cut");
  EXPECT_EQ(readLine(connection, kMaxLine), "");

  ScriptedConnection endless("");
  endless.endless = 'x';
  EXPECT_EQ(readLine(endless, kMaxLine), std::nullopt);
  EXPECT_EQ(endless.received, kMaxLine + 1);
  ScriptedConnection exact(std::string(4, 'y') + "\r\r\n");
  EXPECT_EQ(readLine(exact, 4), "yyyy");
}

TEST(Login, FullExchangeWithCrlfLinesYieldsTheTokenWithSpaces) {
  ScriptedConnection server(
      "CORVANTHORNE SERVER 1 RELEASE_EPOCH 1\r\nLOGIN_OK welcome\r\nKnight 12\r\nMage 3\r\n"
      "CHARACTERS_END\r\nSESSION_OK tok en 42\r\n");
  EXPECT_EQ(exchangeLogin(server, "alice", "pass word", kMaxLine), "tok en 42");
  EXPECT_EQ(server.sent, "LOGIN alice pass word\nCREATE_SESSION\n");
}

TEST(Login, EveryBrokenAnswerFails) {
  struct Case {
    const char* script;
    const char* sent;
  };
  const Case cases[] = {
      {"CORVANTHORNE SERVER 1 RELEASE_EPOCH 2\nLOGIN_OK x\nCHARACTERS_END\nSESSION_OK t\n", ""},
      {"CORVANTHORNE SERVER 1\nLOGIN_OK\nCHARACTERS_END\nSESSION_OK t\n", "LOGIN u p\n"},
      {"CORVANTHORNE SERVER 1\nLOGIN_ERROR BAD_PASSWORD\n", "LOGIN u p\n"},
      {"CORVANTHORNE SERVER 1\nLOGIN_OK x\nCHARACTERS_END\nSESSION_OK \n", "LOGIN u p\nCREATE_SESSION\n"},
      {"CORVANTHORNE SERVER 1\nLOGIN_OK x\nCHARACTERS_END\nSESSION_OKtoken\n", "LOGIN u p\nCREATE_SESSION\n"},
      {"CORVANTHORNE SERVER 1\nLOGIN_OK x\nMage", "LOGIN u p\nCREATE_SESSION\n"},
      {"", ""},
  };
  for (const Case& c : cases) {
    ScriptedConnection server(c.script);
    EXPECT_EQ(exchangeLogin(server, "u", "p", kMaxLine), "") << c.script;
    EXPECT_EQ(server.sent, c.sent) << c.script;
  }
  ScriptedConnection refusesSend("CORVANTHORNE SERVER 1\nLOGIN_OK x\nCHARACTERS_END\nSESSION_OK t\n");
  refusesSend.acceptSends = false;
  EXPECT_EQ(exchangeLogin(refusesSend, "u", "p", kMaxLine), "");

  ScriptedConnection endlessCharacter("CORVANTHORNE SERVER 1\nLOGIN_OK x\n");
  endlessCharacter.endless = 'c';
  EXPECT_EQ(exchangeLogin(endlessCharacter, "u", "p", kMaxLine), "");
  EXPECT_EQ(endlessCharacter.sent, "LOGIN u p\n");
}

TEST(Registration, SendsOneLineAndMapsEveryAnswer) {
  const std::pair<const char*, const wchar_t*> answers[] = {
      {"REGISTER_OK", L""},
      {"REGISTER_ERROR USERNAME_EXISTS", L"That username already exists."},
      {"REGISTER_ERROR INVALID_USERNAME", L"Use 3-24 letters or digits."},
      {"REGISTER_ERROR INVALID_PASSWORD", L"Password must have at least 5 characters."},
      {"REGISTER_ERROR INVALID_EMAIL", L"Enter a valid recovery email."},
      {"REGISTER_ERROR RATE_LIMITED", L"Too many registration attempts. Please try again later."},
      {"REGISTER_ERROR ACCOUNT_LIMIT_REACHED", L"Registration is closed. The server account limit has been reached."},
      {"REGISTER_OK ", L"The account could not be created."},
      {"REGISTER_ERROR", L"The account could not be created."},
      {"", L"The account could not be created."},
  };
  for (const auto& [answer, message] : answers) {
    ScriptedConnection server(std::string("CORVANTHORNE SERVER 1\r\n") + answer + "\r\n");
    EXPECT_EQ(exchangeRegistration(server, "bob", "secret", "bob@example.org", kMaxLine), message) << answer;
    EXPECT_EQ(server.sent, "REGISTER bob secret bob@example.org\n");
  }
}

TEST(Registration, ABadGreetingOrFailedSendIsNotSent) {
  ScriptedConnection wrongGreeting("CORVANTHORNE SERVER 1 RELEASE_EPOCH 2\nREGISTER_OK\n");
  EXPECT_EQ(exchangeRegistration(wrongGreeting, "bob", "secret", "b@x.org", kMaxLine),
            kRegistrationNotSentMessage);
  EXPECT_EQ(wrongGreeting.sent, "");
  ScriptedConnection refusesSend("CORVANTHORNE SERVER 1\nREGISTER_OK\n");
  refusesSend.acceptSends = false;
  EXPECT_EQ(exchangeRegistration(refusesSend, "bob", "secret", "b@x.org", kMaxLine),
            kRegistrationNotSentMessage);
  ScriptedConnection endlessAnswer("CORVANTHORNE SERVER 1\nREGISTER_OK");
  endlessAnswer.endless = 'K';
  EXPECT_EQ(exchangeRegistration(endlessAnswer, "bob", "secret", "b@x.org", kMaxLine),
            L"The account could not be created.");
}

}  // namespace
}  // namespace Corvanthorne
