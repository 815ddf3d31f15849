#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "launcher/server_connection_win.h"
#include "launcher/server_protocol.h"

namespace Corvanthorne {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A one-connection server on 127.0.0.1 and a free port, whose side of the talk is a script
// run on its own thread.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::function<void(SOCKET)> script) {
    listener_.reset(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_.get(), 1) != 0 ||
        getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("scripted server could not listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, script = std::move(script)] {
      ScopedSocket client(accept(listener_.get(), nullptr, nullptr));
      if (client) script(client.get());
    });
  }
  ~ScriptedServer() {
    thread_.join();
  }
  std::uint16_t port() const { return port_; }

 private:
  WinsockSession winsock_;
  ScopedSocket listener_;
  std::uint16_t port_ = 0;
  std::thread thread_;
};

bool sendText(SOCKET socket, std::string_view text) {
  return ::send(socket, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
}

// The client's next line, without its line feed.
std::string clientLine(SOCKET socket) {
  std::string line;
  char byte = 0;
  while (recv(socket, &byte, 1, 0) == 1 && byte != '\n') line += byte;
  return line;
}

// Waits until the client closes its side.
void drainUntilClosed(SOCKET socket) {
  char buffer[256];
  while (recv(socket, buffer, sizeof buffer, 0) > 0) {
  }
}

class ServerProtocol : public ::testing::Test {
 protected:
  WinsockSession winsock;
};

TEST_F(ServerProtocol, LogsInOverLoopbackAndThroughNameResolution) {
  const std::pair<const char*, const char*> cases[] = {
      {"127.0.0.1", "CORVANTHORNE SERVER 1 RELEASE_EPOCH 1\r\n"}, {"localhost", "CORVANTHORNE SERVER 1\n"}};
  for (const auto& [address, greeting] : cases) {
    std::vector<std::string> received;
    std::string token;
    {
      ScriptedServer server([&](SOCKET s) {
        sendText(s, greeting);
        received.push_back(clientLine(s));
        sendText(s, "LOGIN_OK 2\r\nKnight\r\nCHARACTERS_END\r\n");
        received.push_back(clientLine(s));
        sendText(s, "SESSION_OK 0123abcd ef\r\n");
        drainUntilClosed(s);
      });
      token = loginTo(address, server.port(), "alice", "pass word");
    }
    EXPECT_EQ(token, "0123abcd ef") << address;
    EXPECT_EQ(received, (std::vector<std::string>{"LOGIN alice pass word", "CREATE_SESSION"})) << address;
  }
  const std::optional<Ipv4Endpoint> local = resolveServerAddress("localhost");
  ASSERT_TRUE(local);
  EXPECT_EQ(local->address, 0x7F000001u);
  EXPECT_EQ(local->port, 27888);
}

TEST_F(ServerProtocol, AddressesWithAPortOrPathAreRejectedBeforeConnecting) {
  EXPECT_FALSE(resolveServerAddress("localhost:27888"));
  EXPECT_FALSE(resolveServerAddress("http://localhost"));
  EXPECT_FALSE(resolveServerAddress("no-such-host.invalid/x"));
  EXPECT_EQ(loginTo("127.0.0.1:27888", 1, "u", "p"), "");
  EXPECT_EQ(requestRegistrationTo("localhost:27888", 1, "u", "p", "e"), kUnresolvableServerMessage);
}

TEST_F(ServerProtocol, SilentServerTimesOut) {
  RequestLimits limits;
  limits.ioTimeout = 300ms;
  const Clock::time_point start = Clock::now();
  {
    ScriptedServer server(drainUntilClosed);
    EXPECT_EQ(loginTo("127.0.0.1", server.port(), "u", "p", limits), "");
  }
  {
    ScriptedServer server(drainUntilClosed);
    EXPECT_EQ(requestRegistrationTo("127.0.0.1", server.port(), "u", "p", "e", limits),
              kRegistrationNotSentMessage);
  }
  EXPECT_LT(Clock::now() - start, 5s);
}

TEST_F(ServerProtocol, EndlessCharacterListEndsAtTheDeadline) {
  RequestLimits limits;
  limits.deadline = 1s;
  const Clock::time_point start = Clock::now();
  ScriptedServer server([](SOCKET s) {
    sendText(s, "CORVANTHORNE SERVER 1\n");
    clientLine(s);
    sendText(s, "LOGIN_OK x\n");
    while (sendText(s, "Knight 1\n")) std::this_thread::sleep_for(2ms);
  });
  EXPECT_EQ(loginTo("127.0.0.1", server.port(), "u", "p", limits), "");
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, 900ms);
  EXPECT_LT(elapsed, 3s);
}

TEST_F(ServerProtocol, EndlessLineFailsTheRequest) {
  RequestLimits limits;
  limits.maxLineBytes = 4096;  // Wine receives single bytes slowly; the bound is what matters
  ScriptedServer server([](SOCKET s) {
    const std::string chunk(4096, 'x');
    while (sendText(s, chunk)) {
    }
  });
  EXPECT_EQ(requestRegistrationTo("127.0.0.1", server.port(), "u", "p", "e", limits),
            kRegistrationNotSentMessage);
}

TEST_F(ServerProtocol, RegistrationAnswersAndAnUnreachableServer) {
  std::string request;
  {
    ScriptedServer server([&](SOCKET s) {
      sendText(s, "CORVANTHORNE SERVER 1\n");
      request = clientLine(s);
      sendText(s, "REGISTER_ERROR USERNAME_EXISTS\n");
      drainUntilClosed(s);
    });
    EXPECT_EQ(requestRegistrationTo("127.0.0.1", server.port(), "bob", "secret", "bob@example.org"),
              L"That username already exists.");
  }
  EXPECT_EQ(request, "REGISTER bob secret bob@example.org");

  std::uint16_t closedPort = 0;
  {
    ScriptedServer server([](SOCKET) {});
    closedPort = server.port();
    ScopedSocket probe(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(closedPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);  // lets the script end
  }
  EXPECT_EQ(requestRegistrationTo("127.0.0.1", closedPort, "bob", "secret", "b@x.org"),
            kServerUnavailableMessage);
  EXPECT_EQ(loginTo("127.0.0.1", closedPort, "bob", "secret"), "");
}

}  // namespace
}  // namespace Corvanthorne
