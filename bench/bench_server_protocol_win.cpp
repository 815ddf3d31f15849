// Wine timing harness: a login whose character list is 16 KiB, against a baseline of receiving
// the same server bytes in 4 KiB reads. The launcher reads a line one byte per receive, so
// the ratio shows what that costs per request on this platform.
#include <winsock2.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "launcher/server_connection_win.h"
#include "launcher/server_protocol.h"

namespace {

using namespace Corvanthorne;
using Clock = std::chrono::steady_clock;

std::string serverScript() {
  std::string script = "CORVANTHORNE SERVER 1\nLOGIN_OK bench\n";
  for (int i = 0; i < 256; ++i) script += "Character" + std::to_string(i) + std::string(48, '.') + "\n";
  return script + "CHARACTERS_END\nSESSION_OK 0123456789abcdef\n";
}

// Serves the script once on a fresh loopback port and runs client against it; returns seconds.
double timeOneRequest(const std::function<void(std::uint16_t port)>& client) {
  ScopedSocket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener.get(), 1);
  getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length);
  std::thread server([&] {
    ScopedSocket peer(accept(listener.get(), nullptr, nullptr));
    const std::string script = serverScript();
    ::send(peer.get(), script.data(), static_cast<int>(script.size()), 0);
    char sink[256];
    while (recv(peer.get(), sink, sizeof sink, 0) > 0) {
    }
  });
  const Clock::time_point start = Clock::now();
  client(ntohs(address.sin_port));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  server.join();
  return seconds;
}

void receiveInChunks(std::uint16_t port) {
  ScopedSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  std::string received;
  char buffer[4096];
  const std::size_t expected = serverScript().size();
  for (int n; received.size() < expected && (n = recv(socket.get(), buffer, sizeof buffer, 0)) > 0;)
    received.append(buffer, n);
}

}  // namespace

int main() {
  const WinsockSession winsock;
  constexpr int kRounds = 5;
  double baseline = 0, login = 0;
  std::string token;
  for (int i = 0; i < kRounds; ++i) {
    baseline += timeOneRequest(receiveInChunks);
    login += timeOneRequest([&](std::uint16_t port) { token = loginTo("127.0.0.1", port, "bench", "secret"); });
  }
  std::printf("login with a %zu-byte answer: %.1f ms, chunked receive of the same bytes: %.2f ms, ratio %.0f (token %s)\n",
              serverScript().size(), 1000 * login / kRounds, 1000 * baseline / kRounds, login / baseline,
              token.empty() ? "missing" : "received");
  return token.empty() ? 1 : 0;
}
