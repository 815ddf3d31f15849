// cvtool serve / login / register: a local development game server on a loopback address, and the
// launcher's own login and registration requests against it (or any configured server).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <array>
#include <atomic>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "common/handle_win.h"
#include "common/text.h"
#include "launcher/launcher_settings.h"
#include "launcher/server_connection_win.h"
#include "update/file_ops.h"
#include "tools/cvtool/cvtool.h"
#include "tools/cvtool/dev_server.h"

namespace Corvanthorne::Tools {
namespace {

constexpr ULONG kPasswordHashIterations = 10000;
constexpr std::string_view kDefaultAccountsFile = "dev_server_accounts.txt";

std::atomic<bool> stopRequested{false};

BOOL WINAPI onConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  stopRequested = true;
  return TRUE;
}

std::string hexText(const unsigned char* bytes, std::size_t count) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) text.append({digits[bytes[i] >> 4], digits[bytes[i] & 15]});
  return text;
}

std::string randomHex(std::size_t byteCount) {
  std::vector<unsigned char> bytes(byteCount);
  const NTSTATUS status = BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (!BCRYPT_SUCCESS(status)) throwWindowsError("Could not generate random bytes", static_cast<DWORD>(status));
  return hexText(bytes.data(), bytes.size());
}

// PBKDF2 with HMAC-SHA-256 over the password, salted with the account's salt text.
std::string passwordHashHex(std::string_view saltHex, std::string_view password) {
  ScopedBcryptAlgorithm algorithm;
  NTSTATUS status = BCryptOpenAlgorithmProvider(algorithm.receive(), BCRYPT_SHA256_ALGORITHM, nullptr,
                                                BCRYPT_ALG_HANDLE_HMAC_FLAG);
  if (!BCRYPT_SUCCESS(status)) throwWindowsError("Could not open HMAC-SHA-256", static_cast<DWORD>(status));
  std::array<unsigned char, 32> key{};
  status = BCryptDeriveKeyPBKDF2(
      algorithm.get(), reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())), static_cast<ULONG>(password.size()),
      reinterpret_cast<PUCHAR>(const_cast<char*>(saltHex.data())), static_cast<ULONG>(saltHex.size()),
      kPasswordHashIterations, key.data(), static_cast<ULONG>(key.size()), 0);
  if (!BCRYPT_SUCCESS(status)) throwWindowsError("Could not hash a password", static_cast<DWORD>(status));
  return hexText(key.data(), key.size());
}

// One to five decimal digits and nothing else, or none.
std::optional<unsigned long> fiveDigitNumber(const std::string& text) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::stoul(text);
}

std::uint16_t parsePort(const std::string& text, bool allowAnyFreePort) {
  const std::optional<unsigned long> value = fiveDigitNumber(text);
  if (!value || *value > 65535 || (*value == 0 && !allowAnyFreePort))
    throw std::invalid_argument("Invalid port: " + text);
  return static_cast<std::uint16_t>(*value);
}

std::string peerText(const sockaddr_in& address) {
  char host[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address.sin_addr, host, sizeof host);
  return std::string(host) + ":" + std::to_string(ntohs(address.sin_port));
}

// The server listens on a loopback address only: 127.0.0.1 by default, or another one of
// 127.0.0.0/8, so that several servers can each take the game's fixed port.
in_addr parseLoopbackAddress(const std::string& text) {
  in_addr address{};
  if (inet_pton(AF_INET, text.c_str(), &address) != 1 || (ntohl(address.s_addr) >> 24) != 127)
    throw std::invalid_argument("Invalid loopback address: " + text);
  return address;
}

ScopedSocket listenOn(const std::string& host, std::uint16_t& port) {
  ScopedSocket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!listener) throwWindowsError("Could not create a socket", WSAGetLastError());
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr = parseLoopbackAddress(host);
  int length = sizeof address;
  if (bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener.get(), SOMAXCONN) != 0 ||
      getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throwWindowsError("Could not listen on " + host + ":" + std::to_string(port), WSAGetLastError());
  port = ntohs(address.sin_port);
  return listener;
}

std::size_t parseTokenLength(const std::string& text) {
  const std::optional<unsigned long> value = fiveDigitNumber(text);
  if (!value || *value < 1 || *value > 16384) throw std::invalid_argument("Invalid token length (1 to 16384): " + text);
  return *value;
}

// Waits up to a fifth of a second for a connection, so that Ctrl+C is noticed promptly.
bool connectionWaiting(SOCKET listener) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(listener, &readable);
  timeval wait{0, 200000};
  return select(0, &readable, nullptr, nullptr, &wait) == 1;
}

void serveOne(SOCKET listener, AccountStore& accounts, const DevServerCrypto& crypto, std::size_t tokenLength,
              std::ostream& out) {
  sockaddr_in peer{};
  int length = sizeof peer;
  ScopedSocket client(accept(listener, reinterpret_cast<sockaddr*>(&peer), &length));
  if (!client) return;
  const RequestLimits limits;
  SocketConnection connection(std::move(client), limits, std::chrono::steady_clock::now() + limits.deadline);
  try {
    serveConnection(connection, accounts, crypto, peerText(peer), out, tokenLength);
  } catch (const std::exception& error) {
    out << peerText(peer) << " error: " << error.what() << std::endl;
  }
}

// The words of a command that talks to a server, which must be exactly count; port takes
// the value of an optional --port.
std::vector<std::string> clientArguments(Arguments arguments, std::string_view usage, std::size_t count,
                                         std::uint16_t& port) {
  const CommandLine line(arguments, {"port"}, {}, usage);
  if (line.words().size() != count) throwUsage(usage);
  port = parsePort(line.value("port", std::to_string(port)), false);
  return line.words();
}

}  // namespace

int runServe(Arguments arguments, std::ostream& out) {
  constexpr std::string_view usage = "serve [--port N] [--address 127.X.Y.Z] [--accounts FILE] [--token-length N]";
  const CommandLine line(arguments, {"port", "address", "accounts", "token-length"}, {}, usage);
  if (!line.words().empty()) throwUsage(usage);
  std::uint16_t port = parsePort(line.value("port", std::to_string(kGameServerPort)), true);
  const std::string address = line.value("address", "127.0.0.1");
  const std::size_t tokenLength = parseTokenLength(line.value("token-length", std::to_string(kDefaultTokenLength)));
  const std::filesystem::path accountsFile = pathFromUtf8(line.value("accounts", kDefaultAccountsFile));
  AccountStore accounts(accountsFile);
  const DevServerCrypto crypto{randomHex, passwordHashHex, Update::sha256Bytes};
  const WinsockSession winsock;
  const ScopedSocket listener = listenOn(address, port);
  stopRequested = false;
  if (!SetConsoleCtrlHandler(onConsoleControl, TRUE)) throwWindowsError("Could not watch for Ctrl+C");
  out << "Serving on " << address << ":" << port << " with " << accounts.size()
      << (accounts.size() == 1 ? " account" : " accounts") << " from "
      << pathText(accountsFile) << " (Ctrl+C stops)" << std::endl;
  while (!stopRequested)
    if (connectionWaiting(listener.get())) serveOne(listener.get(), accounts, crypto, tokenLength, out);
  SetConsoleCtrlHandler(onConsoleControl, FALSE);
  out << "Stopped." << std::endl;
  return 0;
}

int runLogin(Arguments arguments, std::ostream& out) {
  std::uint16_t port = kGameServerPort;
  const std::vector<std::string> words = clientArguments(arguments, "login [--port N] USER PASSWORD", 2, port);
  const WinsockSession winsock;
  const std::string token = loginTo(connectionAddress(), port, words[0], words[1]);
  if (token.empty()) throw std::runtime_error("Login failed or the server is unavailable.");
  out << token << "\n";
  return 0;
}

int runRegister(Arguments arguments, std::ostream& out) {
  std::uint16_t port = kGameServerPort;
  const std::vector<std::string> words =
      clientArguments(arguments, "register [--port N] USER PASSWORD EMAIL", 3, port);
  const WinsockSession winsock;
  const std::wstring message = requestRegistrationTo(connectionAddress(), port, words[0], words[1], words[2]);
  if (!message.empty()) throw std::runtime_error(wideToUtf8(message));
  out << "Account " << words[0] << " created.\n";
  return 0;
}

}  // namespace Corvanthorne::Tools
