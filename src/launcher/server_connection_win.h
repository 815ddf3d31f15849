#pragma once
// The Windows Sockets transport of the game-server protocol, shared by the launcher's
// requests and the development server in cvtool.
#include <winsock2.h>

#include <chrono>
#include <memory>

#include "common/handle_win.h"
#include "launcher/server_protocol.h"

namespace Corvanthorne {

// Windows Sockets 2.2 for the lifetime of the object; throws when it cannot start.
class WinsockSession {
 public:
  WinsockSession();
  ~WinsockSession();
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
};

// A connected TCP socket. Each send and receive waits at most the I/O time-out, and nothing
// is sent or received after the deadline.
class SocketConnection : public ServerConnection {
 public:
  SocketConnection(ScopedSocket socket, const RequestLimits& limits,
                   std::chrono::steady_clock::time_point deadline);
  bool send(std::string_view bytes) override;
  std::optional<char> receiveByte() override;

 private:
  std::chrono::milliseconds remainingTime() const;

  ScopedSocket socket_;
  std::chrono::milliseconds ioTimeout_;
  std::chrono::steady_clock::time_point deadline_;
};

// Connects within the limits' deadline; nothing when no socket could be created or the
// connection was not made in time.
std::unique_ptr<SocketConnection> connectToServer(const Ipv4Endpoint& endpoint, const RequestLimits& limits);

// Sets SO_RCVTIMEO or SO_SNDTIMEO.
bool setSocketTimeout(SOCKET socket, int option, std::chrono::milliseconds timeout);

}  // namespace Corvanthorne
