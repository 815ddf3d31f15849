#pragma once
// The release metadata reader: release documents arrive from the network, so the reader is
// bounded (size and nesting are refused in one pass before any tree is built), strict and
// precise (every syntax error names its byte offset). Strings are UTF-8 byte strings.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace Corvanthorne::Update {

inline constexpr std::size_t releaseMetadataSizeLimit = 16 * 1024 * 1024;
inline constexpr int releaseJsonDepthLimit = 32;
inline constexpr std::uint64_t releaseIntegerLimit = (std::uint64_t{1} << 53) - 1;

enum class JsonType : std::int32_t { Null = 0, Boolean = 1, Number = 2, String = 3, Array = 4, Object = 5 };

class JsonObject;

// One value of a parsed document, eight bytes: a number is its double, anything else is a
// NaN pattern (numbers are always finite) holding the kind, a length and the distance to
// its bytes or elements further on in the document's storage. Values live only inside
// their JsonDocument, so they are read by reference and never copied. Each accessor
// answers with an empty value of its kind (false, 0, "", no elements) for other kinds.
class JsonValue {
 public:
  JsonValue() = default;
  JsonValue(const JsonValue&) = delete;
  JsonValue& operator=(const JsonValue&) = delete;

  JsonType type() const;
  bool boolean() const { return bits_ == boxed(Tag::True, 0, 0); }
  double number() const;
  std::string_view string() const;
  std::span<const JsonValue> array() const;
  JsonObject object() const;

 private:
  friend class JsonParser;
  enum class Tag : std::uint64_t { Null, False, True, String, Array, Object };
  static constexpr std::uint64_t kBoxed = 0x7FF0'0000'0000'0000;
  static constexpr int kCountShift = 25;
  static constexpr int kTagShift = 49;
  static constexpr std::uint64_t kOffsetMask = (std::uint64_t{1} << kCountShift) - 1;
  static constexpr std::uint64_t kCountMask = (std::uint64_t{1} << (kTagShift - kCountShift)) - 1;

  static constexpr std::uint64_t boxed(Tag tag, std::uint64_t count, std::uint64_t offset) {
    return kBoxed | static_cast<std::uint64_t>(tag) << kTagShift | count << kCountShift | offset;
  }
  // A string, array or object with elements: its low bits are a distance to them.
  static constexpr bool refersForward(std::uint64_t bits) {
    const auto tag = static_cast<Tag>((bits >> kTagShift) & 7);
    return (bits & kBoxed) == kBoxed && tag >= Tag::String && ((bits >> kCountShift) & kCountMask) != 0;
  }
  bool isBoxed() const { return (bits_ & kBoxed) == kBoxed; }
  Tag tag() const { return static_cast<Tag>((bits_ >> kTagShift) & 7); }
  std::size_t count() const { return static_cast<std::size_t>((bits_ >> kCountShift) & kCountMask); }
  const JsonValue* target() const { return this + (bits_ & kOffsetMask); }
  std::size_t countOf(Tag tag) const { return isBoxed() && this->tag() == tag ? count() : 0; }

  std::uint64_t bits_ = kBoxed;
};

// The members of an object, keys unique and ordered by byte comparison. A view into its
// document, like the values it yields.
class JsonObject {
 public:
  using Member = std::pair<std::string_view, const JsonValue&>;

  class Iterator {
   public:
    explicit Iterator(const JsonValue* slot) : slot_(slot) {}
    Member operator*() const;
    Iterator& operator++() {
      slot_ += 2;
      return *this;
    }
    bool operator==(const Iterator&) const = default;

   private:
    const JsonValue* slot_;  // a member is two slots: its key (a string), then its value
  };

  JsonObject() = default;
  JsonObject(const JsonValue* members, std::size_t size) : members_(members), size_(size) {}

  const JsonValue* find(std::string_view key) const;
  std::size_t size() const { return size_; }
  Iterator begin() const { return Iterator(members_); }
  Iterator end() const { return Iterator(members_ + 2 * size_); }

 private:
  const JsonValue* members_ = nullptr;
  std::size_t size_ = 0;
};

// A parsed document: one block of storage that holds every value and string.
class JsonDocument {
 public:
  JsonDocument(std::unique_ptr<JsonValue[]> storage, std::size_t size) : storage_(std::move(storage)), size_(size) {}
  const JsonValue& root() const { return storage_[0]; }
  // Slots of storage, strings included: what the document holds in memory, in eight-byte units.
  std::size_t size() const { return size_; }

 private:
  std::unique_ptr<JsonValue[]> storage_;
  std::size_t size_;
};

// The whole file, at most releaseMetadataSizeLimit bytes. A failed size query propagates the
// file-system error; the messages of this reader name no path.
std::string readReleaseMetadata(const std::filesystem::path& path);

// Parses one JSON document (format at the top of release_json.cpp).
JsonDocument parseReleaseJson(std::string_view bytes);

// The member `name` of an object, which must exist with exactly `type`; else
// "Invalid release field: " + name.
const JsonValue& releaseField(const JsonValue& object, std::string_view name, JsonType type);

// A whole number from 0 to 2^53 - 1, the range a double holds exactly.
std::uint64_t releaseIntegerValue(double number);
std::uint64_t releaseInteger(const JsonValue& object, std::string_view name);

// Strict standard Base64 (format at decodeReleaseBase64 in release_json.cpp).
std::string decodeReleaseBase64(std::string_view text);

}  // namespace Corvanthorne::Update
