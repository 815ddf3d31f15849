// Release metadata reader.
//
// Format: one JSON document of at most 16 MiB, optionally preceded by a UTF-8 byte order mark
// (EF BB BF, counted in byte offsets). Before anything is built, one linear pass refuses
// nesting deeper than 32 arrays/objects and closing brackets without an opener; the bracket
// kinds are matched later by the parser. Grammar, read by recursive descent:
//   value   = ws ( object | array | string | number | "true" | "false" | "null" )
//   object  = "{" ws "}" | "{" member ( ws "," member )* ws "}"
//   member  = ws string ws ":" value          keys unique
//   array   = "[" ws "]" | "[" value ( ws "," value )* ws "]"
//   string  = '"' ( byte >= 0x20 except '"' and '\' | escape )* '"'
//             escapes: \" \\ \/ \b \f \n \r \t and \uXXXX (hex of either case), each \u
//             unit appended alone as UTF-8 of one to three bytes (surrogates not paired);
//             bytes of 0x80 and above are copied unchecked
//   number  = "-"? digit* ( "." digit* )? ( ("e"|"E") ("+"|"-")? digit* )?
//             converted to the nearest double; no digits or out of range is an error,
//             while scanned bytes the conversion leaves unused (the "e" of "1e") are not
//   ws      = bytes of C-locale isspace: space, tab, LF, VT, FF, CR
// After the root value only white space may follow. Syntax errors read
// "World JSON at byte N: message", N being where the parser stood: at the offending byte or
// the end of the text, after the bytes of a number that does not convert, or just after the
// value of a member whose key repeats.
#include "update/release_json.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <stdexcept>

#include "common/text.h"

namespace Corvanthorne::Update {
namespace {

using Member = JsonObject::Member;

bool keyLess(const Member& a, const Member& b) { return a.first < b.first; }

// C-locale isspace, without the locale lookup.
bool isJsonSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool isDigit(int c) { return c >= '0' && c <= '9'; }

int hexDigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The linear pass that bounds nesting before the recursive parser runs.
void checkNesting(std::string_view bytes) {
  bool inString = false;
  bool escaped = false;
  int depth = 0;
  for (const char c : bytes) {
    if (inString) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > releaseJsonDepthLimit) throw std::runtime_error("Release JSON is too deeply nested");
    } else if (c == ']' || c == '}') {
      if (depth == 0) throw std::runtime_error("Invalid release JSON");
      --depth;
    }
  }
}

// Finds a repeated key as soon as its member is added to the members of one object, which
// sit at the top of the parser's member stack from `first` on: a linear search for the small
// objects of real documents, an ordered set of stack indices once an object grows large (a
// tree rather than a hash table, so that crafted colliding keys cannot make it quadratic).
class DuplicateKeyCheck {
 public:
  DuplicateKeyCheck(const std::vector<Member>& stack, std::size_t first) : stack_(stack), first_(first) {}

  // True when the key of the member on top of the stack was already present.
  bool lastIsRepeated() {
    const std::size_t last = stack_.size() - 1;
    if (last - first_ < linearSearchLimit) {
      const std::string& key = stack_[last].first;
      return std::any_of(stack_.begin() + static_cast<std::ptrdiff_t>(first_),
                         stack_.begin() + static_cast<std::ptrdiff_t>(last),
                         [&](const Member& member) { return member.first == key; });
    }
    if (!seen_) {
      seen_.emplace(KeyLess{&stack_});
      for (std::size_t i = first_; i < last; ++i) seen_->insert(i);
    }
    return !seen_->insert(last).second;
  }

 private:
  static constexpr std::size_t linearSearchLimit = 32;
  struct KeyLess {
    const std::vector<Member>* stack;
    bool operator()(std::size_t a, std::size_t b) const { return (*stack)[a].first < (*stack)[b].first; }
  };
  const std::vector<Member>& stack_;
  const std::size_t first_;
  std::optional<std::set<std::size_t, KeyLess>> seen_;
};

// Moves the top of a stack, from `first` on, into an exactly sized vector.
template <typename T>
std::vector<T> popRange(std::vector<T>& stack, std::size_t first) {
  std::vector<T> range(std::make_move_iterator(stack.begin() + static_cast<std::ptrdiff_t>(first)),
                       std::make_move_iterator(stack.end()));
  stack.resize(first);
  return range;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  JsonValue parseDocument() {
    if (text_.starts_with("\xEF\xBB\xBF")) position_ = 3;
    JsonValue root;
    parseValue(root);
    skipSpace();
    if (position_ < text_.size()) fail("extra data after root value");
    return root;
  }

 private:
  static constexpr int endOfText = -1;

  int peek() const { return position_ < text_.size() ? static_cast<unsigned char>(text_[position_]) : endOfText; }

  [[noreturn]] void fail(std::string_view message) const {
    throw std::runtime_error("World JSON at byte " + std::to_string(position_) + ": " + std::string(message));
  }

  void skipSpace() {
    while (position_ < text_.size() && isJsonSpace(static_cast<unsigned char>(text_[position_]))) ++position_;
  }

  void expect(char c) {
    if (peek() != static_cast<unsigned char>(c)) fail(std::string("expected '") + c + "'");
    ++position_;
  }

  // Nesting is bounded by checkNesting, so the recursion is too.
  void parseValue(JsonValue& out) {
    skipSpace();
    const int c = peek();
    if (c == endOfText) fail("unexpected end of file");
    if (c == '{') return parseObject(out);
    if (c == '[') return parseArray(out);
    if (c == '"') {
      std::string text;
      parseString(text);
      out = JsonValue(std::move(text));
      return;
    }
    if (c == '-' || isDigit(c)) return parseNumber(out);
    parseLiteral(out);
  }

  void parseObject(JsonValue& out) {
    ++position_;
    skipSpace();
    if (peek() == '}') {
      ++position_;
      out = JsonValue(JsonObject());
      return;
    }
    const std::size_t first = memberStack_.size();
    DuplicateKeyCheck duplicates(memberStack_, first);
    for (;;) {
      skipSpace();
      if (peek() != '"') fail("expected object key");
      Member member;
      parseString(member.first);
      skipSpace();
      expect(':');
      parseValue(member.second);
      memberStack_.push_back(std::move(member));
      if (duplicates.lastIsRepeated()) fail("duplicate object key");
      skipSpace();
      if (peek() == '}') break;
      expect(',');
    }
    ++position_;
    out = JsonValue(JsonObject(popRange(memberStack_, first)));
  }

  void parseArray(JsonValue& out) {
    ++position_;
    skipSpace();
    if (peek() == ']') {
      ++position_;
      out = JsonValue(std::vector<JsonValue>());
      return;
    }
    const std::size_t first = valueStack_.size();
    for (;;) {
      JsonValue element;
      parseValue(element);
      valueStack_.push_back(std::move(element));
      skipSpace();
      if (peek() == ']') break;
      expect(',');
    }
    ++position_;
    out = JsonValue(popRange(valueStack_, first));
  }

  // Copies runs of plain bytes at once; only quotes, backslashes and control bytes stop it.
  void parseString(std::string& out) {
    ++position_;
    for (;;) {
      const std::size_t runStart = position_;
      while (position_ < text_.size() && isPlainStringByte(static_cast<unsigned char>(text_[position_])))
        ++position_;
      out.append(text_.data() + runStart, position_ - runStart);
      const int c = peek();
      if (c == '"') {
        ++position_;
        return;
      }
      if (c == endOfText) fail("unterminated string");
      if (c != '\\') fail("control character in string");
      ++position_;
      appendEscape(out);
    }
  }

  static bool isPlainStringByte(unsigned char c) { return c >= 0x20 && c != '"' && c != '\\'; }

  void appendEscape(std::string& out) {
    const int c = peek();
    if (c == endOfText) fail("unfinished escape sequence");
    char byte = 0;
    switch (c) {
      case '"': case '\\': case '/': byte = static_cast<char>(c); break;
      case 'b': byte = '\b'; break;
      case 'f': byte = '\f'; break;
      case 'n': byte = '\n'; break;
      case 'r': byte = '\r'; break;
      case 't': byte = '\t'; break;
      case 'u':
        ++position_;
        return appendUnicodeEscape(out);
      default: fail("invalid escape sequence");
    }
    out.push_back(byte);
    ++position_;
  }

  void appendUnicodeEscape(std::string& out) {
    if (text_.size() - position_ < 4) fail("unfinished unicode escape");
    unsigned unit = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = hexDigitValue(static_cast<unsigned char>(text_[position_]));
      if (digit < 0) fail("invalid unicode escape");
      unit = unit * 16 + static_cast<unsigned>(digit);
      ++position_;
    }
    appendUtf8(out, unit);
  }

  void skipDigits() {
    while (isDigit(peek())) ++position_;
  }

  void parseNumber(JsonValue& out) {
    const std::size_t start = position_;
    if (peek() == '-') ++position_;
    skipDigits();
    if (peek() == '.') {
      ++position_;
      skipDigits();
    }
    if (peek() == 'e' || peek() == 'E') {
      ++position_;
      if (peek() == '+' || peek() == '-') ++position_;
      skipDigits();
    }
    double number = 0;
    const auto result = std::from_chars(text_.data() + start, text_.data() + position_, number);
    if (result.ec != std::errc{}) fail("invalid number");
    out = JsonValue(number);
  }

  void parseLiteral(JsonValue& out) {
    const std::string_view rest = text_.substr(position_);
    if (rest.starts_with("true") || rest.starts_with("false")) {
      const bool value = rest[0] == 't';
      out = JsonValue(value);
      position_ += value ? 4 : 5;
    } else if (rest.starts_with("null")) {
      position_ += 4;
    } else {
      fail("invalid value");
    }
  }

  std::string_view text_;
  std::size_t position_ = 0;
  // Elements and members of the containers being parsed, nested ones on top: each container
  // then gets one allocation of its exact size.
  std::vector<JsonValue> valueStack_;
  std::vector<Member> memberStack_;
};

// Base64 sextet of each byte, -1 outside the standard alphabet (so "=" too).
constexpr std::array<signed char, 256> base64Values = [] {
  std::array<signed char, 256> values{};
  values.fill(-1);
  constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < alphabet.size(); ++i) values[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
  return values;
}();

[[noreturn]] void throwInvalidBase64() { throw std::runtime_error("Invalid release base64"); }

// Up to four characters as one 24-bit group, first character in the top bits.
std::uint32_t base64Group(std::string_view characters) {
  std::uint32_t group = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const int value = i < characters.size() ? base64Values[static_cast<unsigned char>(characters[i])] : 0;
    if (value < 0) throwInvalidBase64();
    group = group << 6 | static_cast<std::uint32_t>(value);
  }
  return group;
}

}  // namespace

JsonObject::JsonObject(std::vector<Member> members) : members_(std::move(members)) {
  if (!std::is_sorted(members_.begin(), members_.end(), keyLess)) std::sort(members_.begin(), members_.end(), keyLess);
  const auto repeated = std::adjacent_find(members_.begin(), members_.end(),
                                           [](const Member& a, const Member& b) { return a.first == b.first; });
  if (repeated != members_.end()) throw std::invalid_argument("duplicate object key");
}

namespace {

// Each accessor answers with an empty value of its kind when the value holds another kind.
template <typename T>
const T& valueOrEmpty(const T* held) {
  static const T empty{};
  return held ? *held : empty;
}

}  // namespace

bool JsonValue::boolean() const { return valueOrEmpty(std::get_if<bool>(&data_)); }
double JsonValue::number() const { return valueOrEmpty(std::get_if<double>(&data_)); }
const std::string& JsonValue::string() const { return valueOrEmpty(std::get_if<std::string>(&data_)); }
const std::vector<JsonValue>& JsonValue::array() const { return valueOrEmpty(std::get_if<std::vector<JsonValue>>(&data_)); }
const JsonObject& JsonValue::object() const { return valueOrEmpty(std::get_if<JsonObject>(&data_)); }

const JsonValue* JsonObject::find(std::string_view key) const {
  const auto found = std::lower_bound(members_.begin(), members_.end(), key,
                                      [](const Member& member, std::string_view k) { return member.first < k; });
  return found != members_.end() && found->first == key ? &found->second : nullptr;
}

std::string readReleaseMetadata(const std::filesystem::path& path) {
  const std::uintmax_t size = std::filesystem::file_size(path);
  if (size > releaseMetadataSizeLimit) throw std::runtime_error("Release metadata exceeds size limit");
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (!in || !in.read(bytes.data(), static_cast<std::streamsize>(size)))
    throw std::runtime_error("Could not read release metadata");
  return bytes;
}

JsonValue parseReleaseJson(std::string_view bytes) {
  if (bytes.size() > releaseMetadataSizeLimit) throw std::runtime_error("Release metadata exceeds size limit");
  checkNesting(bytes);
  return Parser(bytes).parseDocument();
}

const JsonValue& releaseField(const JsonValue& object, std::string_view name, JsonType type) {
  const JsonValue* field = object.object().find(name);
  if (!field || field->type() != type) throw std::runtime_error("Invalid release field: " + std::string(name));
  return *field;
}

std::uint64_t releaseIntegerValue(double number) {
  // The comparisons are false for NaN, and infinities fail the range check.
  if (!(number >= 0 && number <= static_cast<double>(releaseIntegerLimit)) || number != std::floor(number))
    throw std::runtime_error("Invalid release number");
  return static_cast<std::uint64_t>(number);
}

std::uint64_t releaseInteger(const JsonValue& object, std::string_view name) {
  return releaseIntegerValue(releaseField(object, name, JsonType::Number).number());
}

// Strict standard Base64: the alphabet A-Z a-z 0-9 + /, a length that is a multiple of four,
// at most two "=" and only at the very end, and zero bits where padding ends a group, so each
// byte string has exactly one accepted text. Anything else, the empty text included (a
// payload or signature is never empty), is refused.
std::string decodeReleaseBase64(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0 || text.size() > 0xFFFFFFFFu) throwInvalidBase64();
  const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (std::size_t at = 0; at < text.size(); at += 4) {
    const bool last = at + 4 == text.size();
    const std::string_view characters = text.substr(at, last ? 4 - padding : 4);
    const std::uint32_t group = base64Group(characters);
    const std::size_t byteCount = characters.size() - 1;
    if (last && padding != 0 && (group & ((1u << (8 * (3 - byteCount))) - 1)) != 0) throwInvalidBase64();
    for (std::size_t i = 0; i < byteCount; ++i) bytes.push_back(static_cast<char>(group >> (16 - 8 * i)));
  }
  return bytes;
}

}  // namespace Corvanthorne::Update
