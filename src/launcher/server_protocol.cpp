#include "launcher/server_protocol.h"

// Wire format (S = server, L = launcher; every line ends with one LF, CRs are dropped):
//   S: CORVANTHORNE SERVER 1 [RELEASE_EPOCH 1]
//   L: LOGIN <user> <password>            L: REGISTER <user> <password> <email>
//   S: LOGIN_OK <any text>                S: REGISTER_OK | REGISTER_ERROR <reason>
//   S: <character lines> ... CHARACTERS_END
//   L: CREATE_SESSION
//   S: SESSION_OK <token, to the end of the line>

#include <array>
#include <sstream>
#include <utility>

namespace Corvanthorne {

std::optional<std::string> readLine(ServerConnection& connection, std::size_t maxBytes) {
  std::string line;
  while (const std::optional<char> byte = connection.receiveByte()) {
    if (*byte == '\n') break;
    if (*byte == '\r') continue;
    if (line.size() == maxBytes) return std::nullopt;
    line += *byte;
  }
  return line;
}

bool isServerGreeting(std::string_view line) {
  std::istringstream words{std::string(line)};
  std::string product, role, extra;
  int version = 0;
  if (!(words >> product >> role >> version) || product != "CORVANTHORNE" || role != "SERVER" ||
      version != 1)
    return false;
  if (!(words >> extra)) return true;
  int epoch = 0;
  if (extra != "RELEASE_EPOCH" || !(words >> epoch) || epoch != 1) return false;
  return !(words >> extra);
}

bool isBareHostText(std::string_view address) {
  return !address.empty() && address.size() <= 253 &&
         address.find_first_of(std::string_view(" \t\r\n:/\\\0", 8)) == std::string_view::npos;
}

namespace {

bool startsWithWord(const std::optional<std::string>& line, std::string_view wordAndSpace) {
  return line && line->starts_with(wordAndSpace);
}

std::string joined(std::initializer_list<std::string_view> words) {
  std::string line;
  for (const std::string_view word : words) line.append(line.empty() ? "" : " ").append(word);
  return line + "\n";
}

}  // namespace

std::string exchangeLogin(ServerConnection& connection, std::string_view username,
                          std::string_view password, std::size_t maxLineBytes) {
  const std::optional<std::string> greeting = readLine(connection, maxLineBytes);
  if (!greeting || !isServerGreeting(*greeting)) return {};
  if (!connection.send(joined({"LOGIN", username, password}))) return {};
  if (!startsWithWord(readLine(connection, maxLineBytes), "LOGIN_OK ")) return {};
  // The character list is the client's affair; a cut connection also ends it.
  for (;;) {
    const std::optional<std::string> line = readLine(connection, maxLineBytes);
    if (!line) return {};
    if (line->empty() || *line == "CHARACTERS_END") break;
  }
  connection.send("CREATE_SESSION\n");
  const std::optional<std::string> session = readLine(connection, maxLineBytes);
  constexpr std::string_view sessionOk = "SESSION_OK ";
  if (!startsWithWord(session, sessionOk)) return {};
  return session->substr(sessionOk.size());
}

std::wstring exchangeRegistration(ServerConnection& connection, std::string_view username,
                                  std::string_view password, std::string_view email,
                                  std::size_t maxLineBytes) {
  const std::optional<std::string> greeting = readLine(connection, maxLineBytes);
  if (!greeting || !isServerGreeting(*greeting) ||
      !connection.send(joined({"REGISTER", username, password, email})))
    return std::wstring(kRegistrationNotSentMessage);
  const std::optional<std::string> answer = readLine(connection, maxLineBytes);
  return registrationMessage(answer.value_or(""));
}

std::wstring registrationMessage(std::string_view answer) {
  static constexpr std::array<std::pair<std::string_view, std::wstring_view>, 7> kAnswers = {{
      {"REGISTER_OK", L""},
      {"REGISTER_ERROR USERNAME_EXISTS", L"That username already exists."},
      {"REGISTER_ERROR INVALID_USERNAME", L"Use 3-24 letters or digits."},
      {"REGISTER_ERROR INVALID_PASSWORD", L"Password must have at least 5 characters."},
      {"REGISTER_ERROR INVALID_EMAIL", L"Enter a valid recovery email."},
      {"REGISTER_ERROR RATE_LIMITED", L"Too many registration attempts. Please try again later."},
      {"REGISTER_ERROR ACCOUNT_LIMIT_REACHED",
       L"Registration is closed. The server account limit has been reached."},
  }};
  for (const auto& [line, message] : kAnswers)
    if (line == answer) return std::wstring(message);
  return L"The account could not be created.";
}

}  // namespace Corvanthorne
