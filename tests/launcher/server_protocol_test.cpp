#include "launcher/server_protocol.h"

#include <gtest/gtest.h>

namespace Corvanthorne {
namespace {

// Plays the server's bytes back and records what the launcher sent. With endless set, the
// server keeps sending that byte once its script is done.
class ScriptedConnection : public ServerConnection {
 public:
  explicit ScriptedConnection(std::string serverBytes, std::optional<char> endless = std::nullopt, bool acceptSends = true)
      : incoming_(std::move(serverBytes)), endless_(endless), acceptSends_(acceptSends) {}

  bool send(std::string_view bytes) override {
    sent += bytes;
    return acceptSends_;
  }
  std::optional<char> receiveByte() override {
    ++received;
    return position_ < incoming_.size() ? incoming_[position_++] : endless_;
  }

  std::string sent;
  std::size_t received = 0;

 private:
  std::string incoming_;
  std::size_t position_ = 0;
  std::optional<char> endless_;
  bool acceptSends_;
};

constexpr std::size_t kMaxLine = 64 * 1024;

TEST(ServerGreeting, AcceptsOnlyVersionAndEpochOne) {
  for (const char* line : {"CORVANTHORNE SERVER 1", "CORVANTHORNE SERVER 1 RELEASE_EPOCH 1",
                           " CORVANTHORNE\tSERVER  01 ", "CORVANTHORNE SERVER +1 RELEASE_EPOCH 1"})
    EXPECT_TRUE(isServerGreeting(line)) << line;
  for (const char* line : {"", "CORVANTHORNE SERVER", "CORVANTHORNE SERVER 2", "CORVANTHORNE SERVER 1 RELEASE_EPOCH 2",
                           "CORVANTHORNE SERVER 1 RELEASE_EPOCH", "CORVANTHORNE SERVER 1 EPOCH 1",
                           "CORVANTHORNE SERVER 1 RELEASE_EPOCH 1 x", "CORVANTHORNE SERVER 1 x", "corvanthorne SERVER 1",
                           "CORVANTHORNE CLIENT 1", "CORVANTHORNE SERVER one"})
    EXPECT_FALSE(isServerGreeting(line)) << line;
}

TEST(ServerAddressText, RejectsPortsUrlsPathsAndOversizedNames) {
  for (const std::string& address : {std::string("play.qelmarin.net"), std::string("127.0.0.1"), std::string(253, 'a')})
    EXPECT_TRUE(isBareHostText(address)) << address;
  for (const std::string& address :
       {std::string(), std::string(254, 'a'), std::string("host:27888"), std::string("https://host"),
        std::string("folder/host"), std::string("a\\b"), std::string("a b"), std::string("a\tb"),
        std::string("host\r\n"), std::string("ho\0st", 5)})
    EXPECT_FALSE(isBareHostText(address)) << address;
}

TEST(ReadLine, DropsCarriageReturnsAndBoundsTheLength) {
  ScriptedConnection connection("a\rb\r\n\ncut");
  for (const char* line : {"ab", "", "cut", ""}) EXPECT_EQ(readLine(connection, kMaxLine), line);
  ScriptedConnection endless("", 'x');
  EXPECT_EQ(readLine(endless, kMaxLine), std::nullopt);
  EXPECT_EQ(endless.received, kMaxLine + 1);
  ScriptedConnection exact(std::string(4, 'y') + "\r\r\n");
  EXPECT_EQ(readLine(exact, 4), "yyyy");
}

TEST(Login, FullExchangeYieldsTheTokenAndEveryBrokenAnswerFails) {
  ScriptedConnection server(
      "CORVANTHORNE SERVER 1 RELEASE_EPOCH 1\r\nLOGIN_OK welcome\r\nKnight 12\r\nMage 3\r\n"
      "CHARACTERS_END\r\nSESSION_OK tok en 42\r\n");
  EXPECT_EQ(exchangeLogin(server, "alice", "pass word", kMaxLine), "tok en 42");
  EXPECT_EQ(server.sent, "LOGIN alice pass word\nCREATE_SESSION\n");

  const std::string greeting = "CORVANTHORNE SERVER 1\n", both = "LOGIN u p\nCREATE_SESSION\n";
  const struct {
    std::string script;
    std::string sent;
    std::optional<char> endless = std::nullopt;
    bool acceptSends = true;
  } cases[] = {
      {"CORVANTHORNE SERVER 1 RELEASE_EPOCH 2\nLOGIN_OK x\nCHARACTERS_END\nSESSION_OK t\n", ""},
      {greeting + "LOGIN_OK\nCHARACTERS_END\nSESSION_OK t\n", "LOGIN u p\n"},
      {greeting + "LOGIN_ERROR BAD_PASSWORD\n", "LOGIN u p\n"},
      {greeting + "LOGIN_OK x\nCHARACTERS_END\nSESSION_OK \n", both},
      {greeting + "LOGIN_OK x\nCHARACTERS_END\nSESSION_OKtoken\n", both},
      {greeting + "LOGIN_OK x\nMage", both},
      {"", ""},
      {greeting + "LOGIN_OK x\nCHARACTERS_END\nSESSION_OK t\n", "LOGIN u p\n", std::nullopt, false},
      {greeting + "LOGIN_OK x\n", "LOGIN u p\n", 'c'},  // an endless character list
  };
  for (const auto& c : cases) {
    ScriptedConnection broken(c.script, c.endless, c.acceptSends);
    EXPECT_EQ(exchangeLogin(broken, "u", "p", kMaxLine), "") << c.script;
    EXPECT_EQ(broken.sent, c.sent) << c.script;
  }
}

TEST(Registration, SendsOneLineAndMapsEveryAnswer) {
  const std::wstring failed = L"The account could not be created.";
  const std::pair<const char*, std::wstring> answers[] = {
      {"REGISTER_OK", L""},
      {"REGISTER_ERROR USERNAME_EXISTS", L"That username already exists."},
      {"REGISTER_ERROR INVALID_USERNAME", L"Use 3-24 letters or digits."},
      {"REGISTER_ERROR INVALID_PASSWORD", L"Password must have at least 5 characters."},
      {"REGISTER_ERROR INVALID_EMAIL", L"Enter a valid recovery email."},
      {"REGISTER_ERROR RATE_LIMITED", L"Too many registration attempts. Please try again later."},
      {"REGISTER_ERROR ACCOUNT_LIMIT_REACHED", L"Registration is closed. The server account limit has been reached."},
      {"REGISTER_OK ", failed}, {"REGISTER_ERROR", failed}, {"", failed},
  };
  for (const auto& [answer, message] : answers) {
    ScriptedConnection server(std::string("CORVANTHORNE SERVER 1\r\n") + answer + "\r\n");
    EXPECT_EQ(exchangeRegistration(server, "bob", "secret", "bob@example.org", kMaxLine), message) << answer;
    EXPECT_EQ(server.sent, "REGISTER bob secret bob@example.org\n");
  }
  // A wrong greeting or a failed send means nothing was registered; an endless answer is no answer.
  ScriptedConnection wrongGreeting("CORVANTHORNE SERVER 1 RELEASE_EPOCH 2\nREGISTER_OK\n");
  EXPECT_EQ(exchangeRegistration(wrongGreeting, "bob", "secret", "b@x.org", kMaxLine), kRegistrationNotSentMessage);
  EXPECT_EQ(wrongGreeting.sent, "");
  ScriptedConnection refusesSend("CORVANTHORNE SERVER 1\nREGISTER_OK\n", std::nullopt, false);
  EXPECT_EQ(exchangeRegistration(refusesSend, "bob", "secret", "b@x.org", kMaxLine), kRegistrationNotSentMessage);
  ScriptedConnection endlessAnswer("CORVANTHORNE SERVER 1\nREGISTER_OK", 'K');
  EXPECT_EQ(exchangeRegistration(endlessAnswer, "bob", "secret", "b@x.org", kMaxLine), failed);
}

}  // namespace
}  // namespace Corvanthorne
