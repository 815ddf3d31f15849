#pragma once
// The release metadata reader: release documents arrive from the network, so the reader is
// bounded (size and nesting are refused in one pass before any tree is built), strict and
// precise (every syntax error names its byte offset). Strings are UTF-8 byte strings.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace Corvanthorne::Update {

inline constexpr std::size_t releaseMetadataSizeLimit = 16 * 1024 * 1024;
inline constexpr int releaseJsonDepthLimit = 32;
inline constexpr std::uint64_t releaseIntegerLimit = (std::uint64_t{1} << 53) - 1;

enum class JsonType : std::int32_t { Null = 0, Boolean = 1, Number = 2, String = 3, Array = 4, Object = 5 };

class JsonValue;

// Object members with unique keys, kept sorted by byte comparison of the keys. A flat vector
// rather than a node-based map: release documents hold many small objects, and one
// allocation per object keeps parsing fast and memory close to the document size.
class JsonObject {
 public:
  using Member = std::pair<std::string, JsonValue>;

  JsonObject() = default;
  // Takes members with unique keys in any order.
  explicit JsonObject(std::vector<Member> members);

  const JsonValue* find(std::string_view key) const;
  std::size_t size() const;
  std::vector<Member>::const_iterator begin() const;
  std::vector<Member>::const_iterator end() const;

 private:
  std::vector<Member> members_;
};

// A tagged value. Only the field that matches type() holds data; the others read as empty
// (false, 0, "", no elements). One variant instead of a member per kind keeps a value at 40
// bytes, which matters for documents with hundreds of thousands of values.
class JsonValue {
 public:
  JsonValue() = default;
  explicit JsonValue(bool boolean) : data_(boolean) {}
  explicit JsonValue(double number) : data_(number) {}
  explicit JsonValue(std::string string) : data_(std::move(string)) {}
  explicit JsonValue(std::vector<JsonValue> array) : data_(std::move(array)) {}
  explicit JsonValue(JsonObject object) : data_(std::move(object)) {}

  // The alternatives are declared in the order of JsonType.
  JsonType type() const { return static_cast<JsonType>(data_.index()); }
  bool boolean() const;
  double number() const;
  const std::string& string() const;
  const std::vector<JsonValue>& array() const;
  const JsonObject& object() const;

 private:
  std::variant<std::monostate, bool, double, std::string, std::vector<JsonValue>, JsonObject> data_;
};

inline std::size_t JsonObject::size() const { return members_.size(); }
inline std::vector<JsonObject::Member>::const_iterator JsonObject::begin() const { return members_.begin(); }
inline std::vector<JsonObject::Member>::const_iterator JsonObject::end() const { return members_.end(); }

// The whole file, at most releaseMetadataSizeLimit bytes. A failed size query propagates the
// file-system error; the messages of this reader name no path.
std::string readReleaseMetadata(const std::filesystem::path& path);

// Parses one JSON document (format at the top of release_json.cpp).
JsonValue parseReleaseJson(std::string_view bytes);

// The member `name` of an object, which must exist with exactly `type`; else
// "Invalid release field: " + name.
const JsonValue& releaseField(const JsonValue& object, std::string_view name, JsonType type);

// A whole number from 0 to 2^53 - 1, the range a double holds exactly.
std::uint64_t releaseIntegerValue(double number);
std::uint64_t releaseInteger(const JsonValue& object, std::string_view name);

// Strict standard Base64 (format at decodeReleaseBase64 in release_json.cpp).
std::string decodeReleaseBase64(std::string_view text);

}  // namespace Corvanthorne::Update
