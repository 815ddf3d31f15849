#include <winsock2.h>
#include <ws2tcpip.h>

#include <memory>

#include "launcher/launcher_settings.h"
#include "launcher/server_connection_win.h"
#include "launcher/server_protocol.h"

namespace Corvanthorne {

std::optional<Ipv4Endpoint> resolveServerAddress(std::string_view address) {
  if (!isBareHostText(address)) return std::nullopt;
  const std::string host(address);
  in_addr numeric{};
  if (inet_pton(AF_INET, host.c_str(), &numeric) == 1) return Ipv4Endpoint{ntohl(numeric.s_addr)};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return std::nullopt;
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(list, freeaddrinfo);
  for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr && entry->ai_addrlen >= sizeof(sockaddr_in))
      return Ipv4Endpoint{ntohl(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr)};
  }
  return std::nullopt;
}

std::string loginTo(std::string_view address, std::uint16_t port, std::string_view username,
                    std::string_view password, const RequestLimits& limits) {
  std::optional<Ipv4Endpoint> endpoint = resolveServerAddress(address);
  if (!endpoint) return {};
  endpoint->port = port;
  const std::unique_ptr<SocketConnection> connection = connectToServer(*endpoint, limits);
  if (!connection) return {};
  return exchangeLogin(*connection, username, password, limits.maxLineBytes);
}

std::wstring requestRegistrationTo(std::string_view address, std::uint16_t port,
                                   std::string_view username, std::string_view password,
                                   std::string_view email, const RequestLimits& limits) {
  std::optional<Ipv4Endpoint> endpoint = resolveServerAddress(address);
  if (!endpoint) return std::wstring(kUnresolvableServerMessage);
  endpoint->port = port;
  const std::unique_ptr<SocketConnection> connection = connectToServer(*endpoint, limits);
  if (!connection) return std::wstring(kServerUnavailableMessage);
  return exchangeRegistration(*connection, username, password, email, limits.maxLineBytes);
}

std::string login(std::string_view username, std::string_view password) {
  return loginTo(connectionAddress(), kGameServerPort, username, password);
}

std::wstring requestRegistration(std::string_view username, std::string_view password,
                                 std::string_view email) {
  return requestRegistrationTo(connectionAddress(), kGameServerPort, username, password, email);
}

}  // namespace Corvanthorne
