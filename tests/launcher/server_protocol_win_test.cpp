// The protocol over real loopback sockets: what only the transport can get wrong (name
// resolution, time-outs, the deadline, a refused connection). The exchanges themselves are
// tested against scripted connections in server_protocol_test.cpp, and whole logins and
// registrations against the development server in tests/tools.
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

// A socket bound to 127.0.0.1 and a free port.
ScopedSocket boundLoopbackSocket(std::uint16_t& port) {
  ScopedSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("could not bind a loopback socket");
  port = ntohs(address.sin_port);
  return socket;
}

// A one-connection server whose side of the talk is a script run on its own thread. It waits
// at most ten seconds for the client, so a client that fails before connecting cannot hang
// the test.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::function<void(SOCKET)> script) : listener_(boundLoopbackSocket(port_)) {
    if (listen(listener_.get(), 1) != 0) throw std::runtime_error("scripted server could not listen");
    thread_ = std::thread([this, script = std::move(script)] {
      fd_set ready;
      FD_ZERO(&ready);
      FD_SET(listener_.get(), &ready);
      timeval limit{10, 0};
      if (select(0, &ready, nullptr, nullptr, &limit) != 1) return;
      ScopedSocket client(accept(listener_.get(), nullptr, nullptr));
      if (client) script(client.get());
    });
  }
  ~ScriptedServer() { thread_.join(); }
  std::uint16_t port() const { return port_; }

 private:
  WinsockSession winsock_;
  std::uint16_t port_ = 0;
  ScopedSocket listener_;
  std::thread thread_;
};

bool sendText(SOCKET socket, std::string_view text) {
  return ::send(socket, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
}

// The client's next line without its line feed, or everything up to when it closes.
std::string clientLine(SOCKET socket) {
  std::string line;
  char byte = 0;
  while (recv(socket, &byte, 1, 0) == 1 && byte != '\n') line += byte;
  return line;
}

class ServerProtocol : public ::testing::Test {
 protected:
  WinsockSession winsock;
};

// "localhost" goes through name resolution (the address rules are the protocol test's); a
// refused connection fails at once.
TEST_F(ServerProtocol, ResolvesNamesRefusesBadAddressesAndClosedPorts) {
  const std::optional<Ipv4Endpoint> local = resolveServerAddress("localhost");
  ASSERT_TRUE(local);
  EXPECT_EQ(local->address, 0x7F000001u);
  EXPECT_EQ(local->port, 27888);
  EXPECT_EQ(requestRegistrationTo("localhost:27888", 1, "u", "p", "e"), kUnresolvableServerMessage);
  std::uint16_t closedPort = 0;
  boundLoopbackSocket(closedPort);  // closed again at once: nothing listens there
  EXPECT_EQ(requestRegistrationTo("127.0.0.1", closedPort, "bob", "secret", "b@x.org"), kServerUnavailableMessage);
  EXPECT_EQ(loginTo("127.0.0.1", closedPort, "bob", "secret"), "");
}

// A silent server ends each request at the I/O time-out; an endless character list ends at
// the request's deadline.
TEST_F(ServerProtocol, SlowServersEndAtTheTimeOutOrTheDeadline) {
  RequestLimits limits;
  limits.ioTimeout = 300ms;
  limits.deadline = 1s;
  Clock::time_point start = Clock::now();
  {
    ScriptedServer server(clientLine);
    EXPECT_EQ(loginTo("127.0.0.1", server.port(), "u", "p", limits), "");
  }
  {
    ScriptedServer server(clientLine);
    EXPECT_EQ(requestRegistrationTo("127.0.0.1", server.port(), "u", "p", "e", limits), kRegistrationNotSentMessage);
  }
  EXPECT_LT(Clock::now() - start, 5s);

  limits.ioTimeout = 4s;
  start = Clock::now();
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

}  // namespace
}  // namespace Corvanthorne
