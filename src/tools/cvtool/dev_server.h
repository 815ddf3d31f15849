#pragma once
// The server side of the game-server protocol for studio developers: accounts kept in a
// file with salted password hashes, LOGIN with a short fixed character list, CREATE_SESSION
// with a fresh random token, and REGISTER with the server's account rules.
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>

#include "launcher/server_protocol.h"

namespace Corvanthorne::Tools {

inline constexpr std::string_view kDevServerGreeting = "CORVANTHORNE SERVER 1 RELEASE_EPOCH 1";

struct Account {
  std::string name;
  std::string saltHex;
  std::string hashHex;
  std::string email;
};

// The platform's randomness, password hashing and SHA-256.
struct DevServerCrypto {
  std::function<std::string(std::size_t byteCount)> randomHex;
  std::function<std::string(std::string_view saltHex, std::string_view password)> passwordHashHex;
  std::function<std::string(std::string_view bytes)> sha256Hex;
};

// Session tokens are random hexadecimal text of this many characters unless told otherwise.
inline constexpr std::size_t kDefaultTokenLength = 32;

// Accounts file, one account a line: NAME SALT HASH EMAIL (hex salt and hash); lines that are
// blank or start with '#' are ignored. New accounts are appended, so existing ones are never
// rewritten. Names are unique regardless of ASCII case.
class AccountStore {
 public:
  // Reads the file (a missing file is an empty store); throws for a malformed line.
  explicit AccountStore(std::filesystem::path file);
  const Account* find(std::string_view name) const;
  // Appends the account to the file; throws when it cannot be written.
  void add(Account account);
  std::size_t size() const { return accounts_.size(); }

 private:
  std::filesystem::path file_;
  std::unordered_map<std::string, Account> accounts_;  // by lower-case name
  bool lastLineOpen_ = false;  // the file does not end with a line feed
};

bool isValidUsername(std::string_view name);
bool isPlausibleEmail(std::string_view email);
// At least 5 characters, counted as UTF-8 code points.
bool isAcceptablePassword(std::string_view password);

// Serves one connection until the client ends it or a line breaks the limits; writes one log
// line per request to log, prefixed with peer. Never logs a password or a token: a created
// session is logged as "session-sha256=" and the token's SHA-256, so that a test can match it
// with what the client received.
void serveConnection(ServerConnection& connection, AccountStore& accounts, const DevServerCrypto& crypto,
                     std::string_view peer, std::ostream& log, std::size_t tokenLength = kDefaultTokenLength);

}  // namespace Corvanthorne::Tools
