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
// value of a member whose key repeats (a repeat found before any later fault wins).
//
// Memory: the first pass also counts the elements of every container and the bytes of every
// string, so the parser fills one exactly sized block in place: eight bytes per value plus
// the string bytes, no growing stacks and no copies, even for hostile documents of tiny
// values (a document peaks at a few times its size).
#include "update/release_json.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <fstream>
#include <numeric>
#include <stdexcept>
#include <vector>

#include "common/text.h"

namespace Corvanthorne::Update {
namespace {

// C-locale isspace, without the locale lookup.
bool isJsonSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool isDigit(int c) { return c >= '0' && c <= '9'; }

int hexDigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr std::size_t slotBytes = sizeof(JsonValue);

std::size_t slotsForBytes(std::size_t bytes) { return (bytes + slotBytes - 1) / slotBytes; }

// What the first pass learns: the size of every non-empty container in the order the
// parser will open them, and how many slots the values and the strings need at most. Sizes
// take two bytes each, so that even a document of nested one-element arrays stays small;
// the few containers of 65,535 elements or more are listed apart.
struct Layout {
  static constexpr std::uint16_t large = 0xFFFF;
  std::vector<std::uint16_t> counts;
  std::vector<std::pair<std::size_t, std::uint32_t>> largeCounts;  // (index in counts, size), ascending
  std::size_t valueSlots = 1;  // the root, every element, two per member (key and value)
  std::size_t stringSlots = 0;
};

// The linear pass before the parser: bounds nesting and measures the document. The parser
// reads the same bytes the same way up to any point where it fails, so the counts it takes
// match what it finds; it still checks every count against what it allocated.
class LayoutScan {
 public:
  explicit LayoutScan(std::string_view bytes) : bytes_(bytes) {}

  Layout run() {
    while (at_ < bytes_.size()) {
      const char c = bytes_[at_];
      if (isJsonSpace(static_cast<unsigned char>(c))) {
        ++at_;
        continue;
      }
      // The first byte after an opener decides, as in the parser, whether the container is empty.
      if (justOpened_ && c != open_[depth_].closer) countElement();
      justOpened_ = false;
      switch (c) {
        case '"': skipString(); continue;
        case '[': open(']'); break;
        case '{': open('}'); break;
        case ']': case '}': close(); break;
        case ',': if (depth_ > 0) countElement(); break;
        default: break;
      }
      ++at_;
    }
    if (justOpened_) countElement();  // the parser, too, reads the end of the text as an element
    while (depth_ > 0) close();       // the parser may fill unclosed containers before it fails
    layout_.counts.shrink_to_fit();
    std::sort(layout_.largeCounts.begin(), layout_.largeCounts.end());
    return std::move(layout_);
  }

 private:
  static constexpr std::size_t noEntry = ~std::size_t{0};
  struct Container {
    char closer = 0;
    std::size_t entry = noEntry;  // its place in Layout::counts, from its first element on
    std::uint32_t count = 0;
  };

  void open(char closer) {
    if (depth_ == releaseJsonDepthLimit) throw std::runtime_error("Release JSON is too deeply nested");
    open_[++depth_] = {closer, noEntry, 0};
    justOpened_ = true;
  }

  void close() {
    if (depth_ == 0) throw std::runtime_error("Invalid release JSON");
    const Container& container = open_[depth_--];
    if (container.entry == noEntry) return;
    const bool large = container.count >= Layout::large;
    layout_.counts[container.entry] = large ? Layout::large : static_cast<std::uint16_t>(container.count);
    if (large) layout_.largeCounts.emplace_back(container.entry, container.count);
  }

  void countElement() {
    Container& container = open_[depth_];
    if (container.entry == noEntry) {
      container.entry = layout_.counts.size();
      layout_.counts.push_back(0);
    }
    ++container.count;
    layout_.valueSlots += container.closer == '}' ? 2 : 1;
  }

  // Leaves at_ past the closing quote; a backslash makes the next byte ordinary.
  void skipString() {
    const std::size_t start = ++at_;
    while (at_ < bytes_.size() && bytes_[at_] != '"') at_ += bytes_[at_] == '\\' ? 2 : 1;
    layout_.stringSlots += slotsForBytes(std::min(at_, bytes_.size()) - start);
    ++at_;
  }

  std::string_view bytes_;
  std::size_t at_ = 0;
  Layout layout_;
  std::array<Container, releaseJsonDepthLimit + 1> open_{};
  int depth_ = 0;
  bool justOpened_ = false;
};

}  // namespace

// Fills the block that the layout pass sized: values in the order containers open (each
// container's elements in one run of slots), strings after all values, each starting on
// a slot. A value refers forward to its elements or bytes, so sorting members, which moves
// them within their own run, only has to adjust their distances.
class JsonParser {
 public:
  JsonParser(std::string_view text, Layout layout)
      : text_(text), counts_(std::move(layout.counts)), largeCounts_(std::move(layout.largeCounts)),
        valueSlots_(layout.valueSlots),
        size_(layout.valueSlots + layout.stringSlots), nextString_(layout.valueSlots) {
    if (size_ > JsonValue::kOffsetMask) layoutMismatch();  // far beyond what 16 MiB can need
    storage_.reset(new JsonValue[size_]);
  }

  JsonDocument parseDocument() {
    if (text_.starts_with("\xEF\xBB\xBF")) position_ = 3;
    parseValue(storage_[0]);
    skipSpace();
    if (position_ < text_.size()) fail("extra data after root value");
    return JsonDocument(std::move(storage_), size_);
  }

 private:
  using Tag = JsonValue::Tag;
  static constexpr int endOfText = -1;
  static constexpr std::size_t none = ~std::size_t{0};

  // Members of an object being parsed whose values are complete.
  struct OpenObject {
    const JsonValue* members;
    std::size_t firstEnd;  // its first entry in memberEnds_
  };

  int peek() const { return position_ < text_.size() ? static_cast<unsigned char>(text_[position_]) : endOfText; }

  // A repeated key among the finished members of the open objects lies before this fault,
  // so it is the one reported, as a parser checking each member at once would have.
  [[noreturn]] void fail(std::string_view message) {
    const std::size_t repeat = earliestRepeatedMember();
    if (repeat != none) {
      position_ = repeat;
      message = "duplicate object key";
    }
    throw std::runtime_error("World JSON at byte " + std::to_string(position_) + ": " + std::string(message));
  }

  [[noreturn]] static void layoutMismatch() { throw std::logic_error("Release JSON layout mismatch"); }

  void skipSpace() {
    while (position_ < text_.size() && isJsonSpace(static_cast<unsigned char>(text_[position_]))) ++position_;
  }

  void expect(char c) {
    if (peek() != static_cast<unsigned char>(c)) fail(std::string("expected '") + c + "'");
    ++position_;
  }

  static void link(JsonValue& value, Tag tag, std::size_t count, const JsonValue* target) {
    if (count > JsonValue::kCountMask) layoutMismatch();
    value.bits_ = JsonValue::boxed(tag, count, count == 0 ? 0 : static_cast<std::uint64_t>(target - &value));
  }

  JsonValue* takeSlots(std::size_t count) {
    if (count > valueSlots_ - nextSlot_) layoutMismatch();
    JsonValue* slots = storage_.get() + nextSlot_;
    nextSlot_ += count;
    return slots;
  }

  std::size_t takeCount() {
    if (nextCount_ == counts_.size()) layoutMismatch();
    const std::uint16_t count = counts_[nextCount_++];
    if (count != Layout::large) return count;
    if (nextLarge_ == largeCounts_.size() || largeCounts_[nextLarge_].first != nextCount_ - 1) layoutMismatch();
    return largeCounts_[nextLarge_++].second;
  }

  // Nesting is bounded by the layout pass, so the recursion is too.
  void parseValue(JsonValue& out) {
    skipSpace();
    const int c = peek();
    if (c == endOfText) fail("unexpected end of file");
    if (c == '{') return parseObject(out);
    if (c == '[') return parseArray(out);
    if (c == '"') return parseString(out);
    if (c == '-' || isDigit(c)) return parseNumber(out);
    parseLiteral(out);
  }

  void parseObject(JsonValue& out) {
    ++position_;
    skipSpace();
    if (peek() == '}') {
      ++position_;
      return link(out, Tag::Object, 0, nullptr);
    }
    const std::size_t capacity = takeCount();
    JsonValue* members = takeSlots(2 * capacity);
    openObjects_.push_back({members, memberEnds_.size()});
    std::size_t count = 0;
    for (;;) {
      skipSpace();
      if (peek() != '"') fail("expected object key");
      if (count == capacity) layoutMismatch();
      parseString(members[2 * count]);
      skipSpace();
      expect(':');
      parseValue(members[2 * count + 1]);
      memberEnds_.push_back(static_cast<std::uint32_t>(position_));
      ++count;
      skipSpace();
      if (peek() == '}') break;
      expect(',');
    }
    ++position_;
    sortMembers(members, count);
    memberEnds_.resize(openObjects_.back().firstEnd);
    openObjects_.pop_back();
    link(out, Tag::Object, count, members);
  }

  void parseArray(JsonValue& out) {
    ++position_;
    skipSpace();
    if (peek() == ']') {
      ++position_;
      return link(out, Tag::Array, 0, nullptr);
    }
    const std::size_t capacity = takeCount();
    JsonValue* elements = takeSlots(capacity);
    std::size_t count = 0;
    for (;;) {
      if (count == capacity) layoutMismatch();
      parseValue(elements[count++]);
      skipSpace();
      if (peek() == ']') break;
      expect(',');
    }
    ++position_;
    link(out, Tag::Array, count, elements);
  }

  // Copies runs of plain bytes at once; only quotes, backslashes and control bytes stop it.
  void parseString(JsonValue& out) {
    ++position_;
    char* const begin = reinterpret_cast<char*>(storage_.get() + nextString_);
    stringEnd_ = begin;
    for (;;) {
      const std::size_t runStart = position_;
      while (position_ < text_.size() && isPlainStringByte(static_cast<unsigned char>(text_[position_])))
        ++position_;
      appendToString(text_.substr(runStart, position_ - runStart));
      const int c = peek();
      if (c == '"') break;
      if (c == endOfText) fail("unterminated string");
      if (c != '\\') fail("control character in string");
      ++position_;
      appendEscape();
    }
    ++position_;
    const auto length = static_cast<std::size_t>(stringEnd_ - begin);
    link(out, Tag::String, length, storage_.get() + nextString_);
    nextString_ += slotsForBytes(length);
  }

  static bool isPlainStringByte(unsigned char c) { return c >= 0x20 && c != '"' && c != '\\'; }

  void appendToString(std::string_view bytes) {
    const char* const limit = reinterpret_cast<const char*>(storage_.get() + size_);
    if (bytes.size() > static_cast<std::size_t>(limit - stringEnd_)) layoutMismatch();
    stringEnd_ = std::copy(bytes.begin(), bytes.end(), stringEnd_);
  }

  void appendEscape() {
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
        return appendUnicodeEscape();
      default: fail("invalid escape sequence");
    }
    appendToString(std::string_view(&byte, 1));
    ++position_;
  }

  void appendUnicodeEscape() {
    if (text_.size() - position_ < 4) fail("unfinished unicode escape");
    unsigned unit = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = hexDigitValue(static_cast<unsigned char>(text_[position_]));
      if (digit < 0) fail("invalid unicode escape");
      unit = unit * 16 + static_cast<unsigned>(digit);
      ++position_;
    }
    std::string bytes;
    appendUtf8(bytes, unit);
    appendToString(bytes);
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
    out.bits_ = std::bit_cast<std::uint64_t>(number);  // finite, so never a boxed pattern
  }

  void parseLiteral(JsonValue& out) {
    const std::string_view rest = text_.substr(position_);
    if (rest.starts_with("true") || rest.starts_with("false")) {
      const bool value = rest[0] == 't';
      out.bits_ = JsonValue::boxed(value ? Tag::True : Tag::False, 0, 0);
      position_ += value ? 4 : 5;
    } else if (rest.starts_with("null")) {
      position_ += 4;
    } else {
      fail("invalid value");
    }
  }

  static std::string_view keyOf(const JsonValue* members, std::size_t index) { return members[2 * index].string(); }

  // Member numbers 0..count-1 ordered by key, equal keys by position.
  static void orderByKey(const JsonValue* members, std::size_t count, std::vector<std::uint32_t>& order) {
    order.resize(count);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [members](std::uint32_t a, std::uint32_t b) {
      const int compared = keyOf(members, a).compare(keyOf(members, b));
      return compared < 0 || (compared == 0 && a < b);
    });
  }

  static bool hasAdjacentEqualKeys(const JsonValue* members, const std::vector<std::uint32_t>& order) {
    return std::adjacent_find(order.begin(), order.end(), [members](std::uint32_t a, std::uint32_t b) {
             return keyOf(members, a) == keyOf(members, b);
           }) != order.end();
  }

  // Where the parser stood after the first member (in document order) of any open object
  // whose key an earlier member of that object already had; none if there is no such member.
  std::size_t earliestRepeatedMember() {
    std::size_t earliest = none;
    for (std::size_t i = 0; i < openObjects_.size(); ++i) {
      const OpenObject& object = openObjects_[i];
      const std::size_t endOfFinished = i + 1 < openObjects_.size() ? openObjects_[i + 1].firstEnd : memberEnds_.size();
      orderByKey(object.members, endOfFinished - object.firstEnd, order_);
      for (std::size_t k = 1; k < order_.size(); ++k)
        if (keyOf(object.members, order_[k]) == keyOf(object.members, order_[k - 1]))
          earliest = std::min<std::size_t>(earliest, memberEnds_[object.firstEnd + order_[k]]);
    }
    return earliest;
  }

  // Puts the members of a finished object in key order; a repeated key fails the parse.
  void sortMembers(JsonValue* members, std::size_t count) {
    bool ascending = true;
    for (std::size_t i = 1; i < count && ascending; ++i) ascending = keyOf(members, i - 1) < keyOf(members, i);
    if (ascending) return;
    orderByKey(members, count, order_);
    if (hasAdjacentEqualKeys(members, order_)) fail("duplicate object key");
    permuteMembers(members);
  }

  // Slot `to` of a run receives the value from slot `from`: its forward distance grows by
  // the move.
  static void moveSlot(JsonValue* run, std::size_t from, std::size_t to, std::uint64_t bits) {
    const bool refersForward = JsonValue::refersForward(bits);
    run[to].bits_ = refersForward ? bits + from - to : bits;
  }

  // Moves member order_[p] to position p, following each cycle of the permutation once.
  void permuteMembers(JsonValue* members) {
    constexpr std::uint32_t placed = 0x8000'0000;
    for (std::size_t start = 0; start < order_.size(); ++start) {
      if ((order_[start] & placed) != 0 || order_[start] == start) continue;
      const std::uint64_t savedKey = members[2 * start].bits_;
      const std::uint64_t savedValue = members[2 * start + 1].bits_;
      for (std::size_t to = start;;) {
        const std::size_t from = order_[to];
        order_[to] |= placed;
        if (from == start) {
          moveSlot(members, 2 * start, 2 * to, savedKey);
          moveSlot(members, 2 * start + 1, 2 * to + 1, savedValue);
          break;
        }
        moveSlot(members, 2 * from, 2 * to, members[2 * from].bits_);
        moveSlot(members, 2 * from + 1, 2 * to + 1, members[2 * from + 1].bits_);
        to = from;
      }
    }
  }

  std::string_view text_;
  std::size_t position_ = 0;
  std::vector<std::uint16_t> counts_;
  std::size_t nextCount_ = 0;
  std::vector<std::pair<std::size_t, std::uint32_t>> largeCounts_;
  std::size_t nextLarge_ = 0;
  const std::size_t valueSlots_;
  const std::size_t size_;
  std::unique_ptr<JsonValue[]> storage_;
  std::size_t nextSlot_ = 1;  // after the root
  std::size_t nextString_;
  char* stringEnd_ = nullptr;
  std::vector<OpenObject> openObjects_;
  std::vector<std::uint32_t> memberEnds_;  // per finished member of the open objects: where its value ended
  std::vector<std::uint32_t> order_;
};

namespace {

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

JsonType JsonValue::type() const {
  if (!isBoxed()) return JsonType::Number;
  switch (tag()) {
    case Tag::Null: return JsonType::Null;
    case Tag::False: case Tag::True: return JsonType::Boolean;
    case Tag::String: return JsonType::String;
    case Tag::Array: return JsonType::Array;
    case Tag::Object: break;
  }
  return JsonType::Object;
}

double JsonValue::number() const { return isBoxed() ? 0.0 : std::bit_cast<double>(bits_); }

std::string_view JsonValue::string() const {
  const std::size_t length = countOf(Tag::String);
  return length == 0 ? std::string_view() : std::string_view(reinterpret_cast<const char*>(target()), length);
}

std::span<const JsonValue> JsonValue::array() const {
  const std::size_t count = countOf(Tag::Array);
  return count == 0 ? std::span<const JsonValue>() : std::span<const JsonValue>(target(), count);
}

JsonObject JsonValue::object() const {
  const std::size_t count = countOf(Tag::Object);
  return count == 0 ? JsonObject() : JsonObject(target(), count);
}

JsonObject::Member JsonObject::Iterator::operator*() const { return {slot_[0].string(), slot_[1]}; }

const JsonValue* JsonObject::find(std::string_view key) const {
  std::size_t low = 0, high = size_;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    const int compared = members_[2 * middle].string().compare(key);
    if (compared == 0) return &members_[2 * middle + 1];
    if (compared < 0)
      low = middle + 1;
    else
      high = middle;
  }
  return nullptr;
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

JsonDocument parseReleaseJson(std::string_view bytes) {
  if (bytes.size() > releaseMetadataSizeLimit) throw std::runtime_error("Release metadata exceeds size limit");
  return JsonParser(bytes, LayoutScan(bytes).run()).parseDocument();
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
