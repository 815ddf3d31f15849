#pragma once
// The game-server protocol: one short-lived TCP connection per request, carrying LF-ended
// ASCII lines. The server greets first; the launcher then logs in (and obtains a session
// token for the client) or registers an account. This half is the framing and the exchanges;
// the socket transport lives in the Windows half.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Corvanthorne {

inline constexpr std::uint16_t kGameServerPort = 27888;

// Bounds that keep a broken or hostile server from hanging the GUI thread or filling memory.
struct RequestLimits {
  std::chrono::milliseconds ioTimeout{4000};   // each send and receive
  std::chrono::milliseconds deadline{30000};   // the whole request, from before connecting
  std::size_t maxLineBytes = 64 * 1024;        // a longer received line fails the request
};

// An IPv4 address and port in host byte order.
struct Ipv4Endpoint {
  std::uint32_t address = 0;
  std::uint16_t port = kGameServerPort;
};

// One connected byte stream.
class ServerConnection {
 public:
  virtual ~ServerConnection() = default;
  // True when one send call reported the whole length sent.
  virtual bool send(std::string_view bytes) = 0;
  // The next byte; nothing when the connection ended, failed or timed out.
  virtual std::optional<char> receiveByte() = 0;
};

// The next line without its LF and with every CR dropped; a line cut short by the end of the
// connection is returned as far as it came. Nothing when the line grows past maxBytes.
std::optional<std::string> readLine(ServerConnection& connection, std::size_t maxBytes);

// "CORVANTHORNE SERVER 1", optionally followed by "RELEASE_EPOCH 1", and nothing more.
bool isServerGreeting(std::string_view line);

// False for text that cannot be a bare host name or IPv4 address: empty, longer than 253
// bytes, or holding NUL, blanks, ':', '/' or '\' (so a port, a URL or a path).
bool isBareHostText(std::string_view address);

// The login exchange after connecting: greeting, LOGIN, the character list, CREATE_SESSION.
// The session token, or "" on any failure.
std::string exchangeLogin(ServerConnection& connection, std::string_view username,
                          std::string_view password, std::size_t maxLineBytes);

// The registration exchange after connecting: "" on success, otherwise the user message.
std::wstring exchangeRegistration(ServerConnection& connection, std::string_view username,
                                  std::string_view password, std::string_view email,
                                  std::size_t maxLineBytes);

// The user message for the server's answer to REGISTER ("" for REGISTER_OK).
std::wstring registrationMessage(std::string_view answer);

inline constexpr std::wstring_view kUnresolvableServerMessage =
    L"Could not resolve the game server address. Check your connection and ServerAddress in launcher.ini.";
inline constexpr std::wstring_view kServerUnavailableMessage = L"The server is unavailable.";
inline constexpr std::wstring_view kRegistrationNotSentMessage = L"The registration request could not be sent.";

// Platform half (Windows Sockets, started by the caller).

// A bare host name or dotted IPv4 text to an IPv4 endpoint on the game-server port.
std::optional<Ipv4Endpoint> resolveServerAddress(std::string_view address);

// Against connectionAddress(): the session token, or "" on any failure.
std::string login(std::string_view username, std::string_view password);
// Against connectionAddress(): "" on success, otherwise the user message.
std::wstring requestRegistration(std::string_view username, std::string_view password,
                                 std::string_view email);

// The same requests against any address and port (a development server, tests).
std::string loginTo(std::string_view address, std::uint16_t port, std::string_view username,
                    std::string_view password, const RequestLimits& limits = {});
std::wstring requestRegistrationTo(std::string_view address, std::uint16_t port,
                                   std::string_view username, std::string_view password,
                                   std::string_view email, const RequestLimits& limits = {});

}  // namespace Corvanthorne
