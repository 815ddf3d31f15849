#include "launcher/server_connection_win.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <climits>

namespace Corvanthorne {
namespace {

using Clock = std::chrono::steady_clock;

bool setBlocking(SOCKET socket, bool blocking) {
  u_long nonBlocking = blocking ? 0 : 1;
  return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

// Waits until a non-blocking connect has finished; true when it succeeded in time.
bool awaitConnection(SOCKET socket, std::chrono::milliseconds timeout) {
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket, &writable);
  FD_SET(socket, &failed);
  const long long ms = std::max<long long>(timeout.count(), 0);
  timeval wait{static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
  if (select(0, nullptr, &writable, &failed, &wait) < 1 || !FD_ISSET(socket, &writable)) return false;
  int error = 0;
  int length = sizeof error;
  return getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 &&
         error == 0;
}

}  // namespace

WinsockSession::WinsockSession() {
  WSADATA data{};
  if (const int code = WSAStartup(MAKEWORD(2, 2), &data); code != 0)
    throwWindowsError("Could not start Windows Sockets", static_cast<DWORD>(code));
}

WinsockSession::~WinsockSession() { WSACleanup(); }

bool setSocketTimeout(SOCKET socket, int option, std::chrono::milliseconds timeout) {
  const DWORD ms = static_cast<DWORD>(std::clamp<long long>(timeout.count(), 1, INT_MAX));
  return setsockopt(socket, SOL_SOCKET, option, reinterpret_cast<const char*>(&ms), sizeof ms) == 0;
}

SocketConnection::SocketConnection(ScopedSocket socket, const RequestLimits& limits,
                                   Clock::time_point deadline)
    : socket_(std::move(socket)), ioTimeout_(limits.ioTimeout), deadline_(deadline) {
  // A connection without its time-outs could hang the caller, so it is not used at all.
  if (!setSocketTimeout(socket_.get(), SO_RCVTIMEO, ioTimeout_) ||
      !setSocketTimeout(socket_.get(), SO_SNDTIMEO, ioTimeout_))
    socket_.reset();
}

std::chrono::milliseconds SocketConnection::remainingTime() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now());
}

bool SocketConnection::send(std::string_view bytes) {
  if (!socket_ || bytes.size() > INT_MAX || remainingTime().count() <= 0) return false;
  const int length = static_cast<int>(bytes.size());
  return ::send(socket_.get(), bytes.data(), length, 0) == length;
}

std::optional<char> SocketConnection::receiveByte() {
  const std::chrono::milliseconds remaining = remainingTime();
  if (!socket_ || remaining.count() <= 0) return std::nullopt;
  // Near the deadline a receive may wait only for what is left of it.
  if (remaining < ioTimeout_ && !setSocketTimeout(socket_.get(), SO_RCVTIMEO, remaining))
    return std::nullopt;
  char byte = 0;
  if (recv(socket_.get(), &byte, 1, 0) != 1) return std::nullopt;
  return byte;
}

std::unique_ptr<SocketConnection> connectToServer(const Ipv4Endpoint& endpoint, const RequestLimits& limits) {
  const Clock::time_point deadline = Clock::now() + limits.deadline;
  ScopedSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket) return nullptr;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(endpoint.port);
  address.sin_addr.s_addr = htonl(endpoint.address);
  // A non-blocking connect, so that an unreachable host cannot outlast the deadline.
  if (!setBlocking(socket.get(), false)) return nullptr;
  if (connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (WSAGetLastError() != WSAEWOULDBLOCK) return nullptr;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (!awaitConnection(socket.get(), left)) return nullptr;
  }
  if (!setBlocking(socket.get(), true)) return nullptr;
  return std::make_unique<SocketConnection>(std::move(socket), limits, deadline);
}

}  // namespace Corvanthorne
