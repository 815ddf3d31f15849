#include "tools/cvtool/dev_server.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

#include "common/text.h"

namespace Corvanthorne::Tools {
namespace {

bool isAsciiAlphanumeric(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isPrintableWithoutSpace(char c) { return c > ' ' && c < 0x7F; }

// Splits "first rest..." at the first space.
std::pair<std::string_view, std::string_view> splitFirstWord(std::string_view text) {
  const size_t space = text.find(' ');
  if (space == std::string_view::npos) return {text, {}};
  return {text.substr(0, space), text.substr(space + 1)};
}

// A character list as the client expects to see one; the launcher does not interpret it.
constexpr std::string_view kCharacterList = "Aldric 12 Warrior\nMirelle 7 Mage\n";

class Session {
 public:
  Session(ServerConnection& connection, AccountStore& accounts, const DevServerCrypto& crypto, std::size_t tokenLength)
      : connection_(connection), accounts_(accounts), crypto_(crypto), tokenLength_(tokenLength) {}

  // The answer's first line, for the log.
  std::string handle(std::string_view request, std::string& logged) {
    const auto [command, arguments] = splitFirstWord(request);
    if (command == "LOGIN") return handleLogin(arguments, logged);
    if (command == "CREATE_SESSION") return handleCreateSession(logged);
    if (command == "REGISTER") return handleRegister(arguments, logged);
    logged = "unknown request";
    return reply("ERROR UNKNOWN_REQUEST");
  }

 private:
  std::string reply(std::string_view line, std::string_view more = {}) {
    connection_.send(std::string(line) + "\n" + std::string(more));
    return std::string(line);
  }

  std::string handleLogin(std::string_view arguments, std::string& logged) {
    const auto [name, password] = splitFirstWord(arguments);
    logged = "LOGIN " + std::string(name);
    const Account* account = accounts_.find(name);
    if (!account || password.empty() || crypto_.passwordHashHex(account->saltHex, password) != account->hashHex) {
      user_.reset();
      return reply("LOGIN_ERROR INVALID_CREDENTIALS");
    }
    user_ = account->name;
    return reply("LOGIN_OK " + account->name, std::string(kCharacterList) + "CHARACTERS_END\n");
  }

  std::string handleCreateSession(std::string& logged) {
    logged = "CREATE_SESSION";
    if (!user_) return reply("SESSION_ERROR NOT_LOGGED_IN");
    logged += " for " + *user_;
    const std::string token = crypto_.randomHex((tokenLength_ + 1) / 2).substr(0, tokenLength_);
    connection_.send("SESSION_OK " + token + "\n");
    return "SESSION_OK (token) session-sha256=" + crypto_.sha256Hex(token);
  }

  // "REGISTER NAME PASSWORD EMAIL": the password is everything between the first and the
  // last word, so that one typed with spaces still counts whole.
  std::string handleRegister(std::string_view arguments, std::string& logged) {
    const auto [name, rest] = splitFirstWord(arguments);
    const size_t lastSpace = rest.rfind(' ');
    const std::string_view password = lastSpace == std::string_view::npos ? rest : rest.substr(0, lastSpace);
    const std::string_view email = lastSpace == std::string_view::npos ? std::string_view() : rest.substr(lastSpace + 1);
    logged = "REGISTER " + std::string(name);
    if (!isValidUsername(name)) return reply("REGISTER_ERROR INVALID_USERNAME");
    if (!isAcceptablePassword(password)) return reply("REGISTER_ERROR INVALID_PASSWORD");
    if (!isPlausibleEmail(email)) return reply("REGISTER_ERROR INVALID_EMAIL");
    if (accounts_.find(name)) return reply("REGISTER_ERROR USERNAME_EXISTS");
    const std::string salt = crypto_.randomHex(16);
    accounts_.add(Account{std::string(name), salt, crypto_.passwordHashHex(salt, password), std::string(email)});
    return reply("REGISTER_OK");
  }

  ServerConnection& connection_;
  AccountStore& accounts_;
  const DevServerCrypto& crypto_;
  std::size_t tokenLength_;
  std::optional<std::string> user_;
};

}  // namespace

AccountStore::AccountStore(std::filesystem::path file) : file_(std::move(file)) {
  std::ifstream in(file_, std::ios::binary);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    lastLineOpen_ = in.eof() && !line.empty();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() == '#') continue;
    std::istringstream fields(line);
    Account account;
    std::string extra;
    if (!(fields >> account.name >> account.saltHex >> account.hashHex >> account.email) || fields >> extra)
      throw std::runtime_error("Malformed accounts file " + pathText(file_) + " at line " + std::to_string(number));
    accounts_.insert_or_assign(lowerAscii(account.name), std::move(account));
  }
}

const Account* AccountStore::find(std::string_view name) const {
  const auto found = accounts_.find(lowerAscii(name));
  return found == accounts_.end() ? nullptr : &found->second;
}

void AccountStore::add(Account account) {
  std::ofstream out(file_, std::ios::binary | std::ios::app);
  if (std::exchange(lastLineOpen_, false)) out << '\n';  // a hand-edited file without a final line feed
  out << account.name << ' ' << account.saltHex << ' ' << account.hashHex << ' ' << account.email << '\n';
  out.close();
  if (!out) throw std::runtime_error("Could not write the accounts file " + pathText(file_));
  accounts_.insert_or_assign(lowerAscii(account.name), std::move(account));
}

bool isValidUsername(std::string_view name) {
  return name.size() >= 3 && name.size() <= 24 && std::all_of(name.begin(), name.end(), isAsciiAlphanumeric);
}

bool isPlausibleEmail(std::string_view email) {
  const size_t at = email.find('@');
  if (email.size() > 254 || at == 0 || at == std::string_view::npos || email.find('@', at + 1) != std::string_view::npos)
    return false;
  const std::string_view domain = email.substr(at + 1);
  const size_t dot = domain.find('.');
  return dot != std::string_view::npos && dot != 0 && domain.back() != '.' &&
         domain.find("..") == std::string_view::npos &&
         std::all_of(email.begin(), email.end(), isPrintableWithoutSpace);
}

bool isAcceptablePassword(std::string_view password) {
  const auto characters = std::count_if(password.begin(), password.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  });
  return characters >= 5;
}

void serveConnection(ServerConnection& connection, AccountStore& accounts, const DevServerCrypto& crypto,
                     std::string_view peer, std::ostream& log, std::size_t tokenLength) {
  if (!connection.send(std::string(kDevServerGreeting) + "\n")) return;
  Session session(connection, accounts, crypto, tokenLength);
  const RequestLimits limits;
  for (;;) {
    const std::optional<std::string> request = readLine(connection, limits.maxLineBytes);
    if (!request) {
      log << peer << " request line too long: connection closed" << std::endl;
      return;
    }
    if (request->empty()) return;  // the client closed, went silent or sent nothing
    std::string logged;
    const std::string answer = session.handle(*request, logged);
    log << peer << ' ' << logged << " -> " << answer << std::endl;
  }
}

}  // namespace Corvanthorne::Tools
