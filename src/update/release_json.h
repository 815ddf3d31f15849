#pragma once
// The release metadata reader: release documents arrive from the network, so the reader is
// bounded (size and nesting are refused in one pass before any tree is built), strict and
// precise (every syntax error names its byte offset). Strings are UTF-8 byte strings.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Corvanthorne::Update {

inline constexpr std::size_t releaseMetadataSizeLimit = 16 * 1024 * 1024;
inline constexpr int releaseJsonDepthLimit = 32;
inline constexpr std::uint64_t releaseIntegerLimit = (std::uint64_t{1} << 53) - 1;

enum class JsonType : std::int32_t { Null = 0, Boolean = 1, Number = 2, String = 3, Array = 4, Object = 5 };

struct JsonValue;

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

// Only the field that matches `type` is meaningful; the others stay empty.
struct JsonValue {
  JsonType type = JsonType::Null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<JsonValue> array;
  JsonObject object;
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
