#include "update/release_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "support/message_of.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Update {
namespace {
namespace fs = std::filesystem;
using namespace std::string_literals;
using Testing::messageOf;

std::string parseError(std::string_view json) { return messageOf([&] { parseReleaseJson(json); }); }

std::string atByte(std::size_t offset, std::string_view message) {
  return "World JSON at byte " + std::to_string(offset) + ": " + std::string(message);
}

std::string nested(int depth, std::string_view inner = "") {
  return std::string(depth, '[') + std::string(inner) + std::string(depth, ']');
}

// A value as compact text: members in the order the reader keeps them, each type in its own form.
std::string shown(const JsonValue& value) {
  std::ostringstream items;
  switch (value.type()) {
    case JsonType::Null: return "null";
    case JsonType::Boolean: return value.boolean() ? "true" : "false";
    case JsonType::Number: items << value.number(); return items.str();
    case JsonType::String: return "\"" + std::string(value.string()) + "\"";
    case JsonType::Array:
      for (const JsonValue& item : value.array()) items << "," << shown(item);
      return "[" + items.str().erase(0, 1) + "]";
    case JsonType::Object:
      for (const auto& [key, member] : value.object()) items << "," << key << ":" << shown(member);
      return "{" + items.str().erase(0, 1) + "}";
  }
  return "?";
}

// Members are sorted by key bytes, which moves values that refer to strings and containers
// further on in the document: every one must still be reached.
TEST(ReleaseJson, ParsesEveryKindOfValueWithKeysInByteOrder) {
  const JsonDocument document = parseReleaseJson(
      " \t\r\n{\"b\": [true, false, null], \"a\": -12.5e1, \"c\": {}, \"d\": [], \"e\": \"x\", \"\xC3\xA9\": 2,"
      " \"B\": 3, \"\": 5, \"z\":[1,\"two\",{\"q\":3,\"p\":\"deep\"}], \"k\": {\"y\":\"s\",\"b\":[4]}}\n ");
  EXPECT_EQ(shown(document.root()), "{:5,B:3,a:-125,b:[true,false,null],c:{},d:[],e:\"x\",k:{b:[4],y:\"s\"},"
                                    "z:[1,\"two\",{p:\"deep\",q:3}],\xC3\xA9:2}");
  EXPECT_EQ(document.root().object().find("f"), nullptr);
  EXPECT_EQ(parseReleaseJson("\v\f7").root().number(), 7.0);
}

TEST(ReleaseJson, SyntaxErrorsNameTheByteOffset) {
  const struct {
    std::string_view json;
    std::size_t offset;
    std::string_view message;
  } cases[] = {
      {"{\"a\":1,}", 7, "expected object key"}, {"[1,]", 3, "invalid value"}, {"", 0, "unexpected end of file"},
      {"  ", 2, "unexpected end of file"}, {"[", 1, "unexpected end of file"}, {"1 2", 2, "extra data after root value"},
      {"{\"a\" 1}", 5, "expected ':'"}, {"{\"a\":1 \"b\":2}", 7, "expected ','"}, {"[1 2]", 3, "expected ','"},
      {"{1:2}", 1, "expected object key"}, {"{", 1, "expected object key"}, {"[1,,2]", 3, "invalid value"},
      // A byte order mark is skipped but still counted; a partial one is no mark.
      {"\xEF\xBB\xBF", 3, "unexpected end of file"}, {"\xEF\xBB\xBF[1,]", 6, "invalid value"},
      {"\xEF\xBB[]", 0, "invalid value"},
      // Bracket kinds are matched by the parser.
      {"[}", 1, "invalid value"}, {"[1}", 2, "expected ','"}, {"{\"a\":1]", 6, "expected ','"},
      {"[\"\\u00\"]", 6, "invalid unicode escape"}, {"\"\\u00", 3, "unfinished unicode escape"},
      {"\"\\u00e", 3, "unfinished unicode escape"}, {"\"\\uG000\"", 3, "invalid unicode escape"},
      {"\"\\x\"", 2, "invalid escape sequence"}, {"\"\\U0041\"", 2, "invalid escape sequence"},
      {"\"\\", 2, "unfinished escape sequence"}, {"\"abc", 4, "unterminated string"},
      {"\"a\tb\"", 2, "control character in string"}, {"{\"k\x1F\":1}", 3, "control character in string"},
      {"-", 1, "invalid number"}, {"1e999", 5, "invalid number"}, {"-1e999", 6, "invalid number"},
      {"[-x]", 2, "invalid number"}, {"1e-400", 6, "invalid number"}, {"+1", 0, "invalid value"},
      {"1.5.2", 3, "extra data after root value"}, {"truex", 4, "extra data after root value"},
      {"[nullx]", 5, "expected ','"}, {"[falsey]", 6, "expected ','"}, {"tru", 0, "invalid value"},
      {"True", 0, "invalid value"},
      // A repeated key fails just after its member's value, before any later fault.
      {"{\"a\":1,\"a\":2}", 12, "duplicate object key"}, {"{\"a\":1,\"a\":[2] ,\"b\":x}", 14, "duplicate object key"},
      {"{\"a\":1,\"a\":2x", 12, "duplicate object key"},
      {"{\"a\":1,\"a\":2,\"c\":{\"b\":1,\"b\":2}}", 12, "duplicate object key"},
      {"{\"c\":{\"b\":1,\"b\":[]},\"c\":1}", 18, "duplicate object key"},
  };
  for (const auto& [json, offset, message] : cases) EXPECT_EQ(parseError(json), atByte(offset, message)) << json;
  EXPECT_EQ(parseError("[{\"a\":1},{\"a\":1}]"), "no error");
}

TEST(ReleaseJson, NestingAndSizeAreLimitedBeforeParsing) {
  std::string limit(releaseMetadataSizeLimit, ' ');
  limit[0] = '0';
  const std::pair<std::string, std::string_view> cases[] = {
      {nested(32), "no error"}, {nested(33), "Release JSON is too deeply nested"},
      // The pass runs before the parser, which would otherwise stop at the bad value first.
      {"x" + nested(33), "Release JSON is too deeply nested"},
      {"[{\"a\":" + nested(31) + "}]", "Release JSON is too deeply nested"},
      // Brackets inside strings, escaped quotes included, do not count.
      {nested(32, "\"[[\\\"[{]}\""), "no error"}, {"[\"]\"]", "no error"},
      {"]", "Invalid release JSON"}, {"[]]", "Invalid release JSON"},
      {limit, "no error"}, {limit + "]", "Release metadata exceeds size limit"},
  };
  for (const auto& [json, message] : cases) EXPECT_EQ(parseError(json), message) << json.substr(0, 40);
}

TEST(ReleaseJson, StringsAndNumbersConvertByTheirRules) {
  const std::pair<std::string_view, std::string> strings[] = {
      {R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
      {R"("\u00e9\u00E9")", "\xC3\xA9\xC3\xA9"},
      {R"("\u0041\u007f\u0080\u07FF\u0800\uffff")", "A\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {R"("\u0000")", "\0"s},
      {R"("\ud83d\ude00")", "\xED\xA0\xBD\xED\xB8\x80"},  // surrogate halves one by one
      {"\"\xFF\xC3\x7F\"", "\xFF\xC3\x7F"},                 // high bytes and DEL pass unchecked
  };
  for (const auto& [json, bytes] : strings) EXPECT_EQ(parseReleaseJson(json).root().string(), bytes) << json;
  // Scanned bytes the conversion does not use ("1e", "2.") are still consumed.
  const std::pair<std::string_view, double> numbers[] = {
      {"1e-310", 1e-310}, {"-.5", -0.5}, {"1e", 1.0}, {"[1e+]", 1.0}, {"2.", 2.0}, {"007", 7.0},
      {"1E3", 1000.0}, {"0.1", 0.1}, {"9007199254740993", 9007199254740992.0}};
  for (const auto& [json, number] : numbers) {
    const JsonDocument document = parseReleaseJson(json);
    const JsonValue& value = json[0] == '[' ? document.root().array()[0] : document.root();
    EXPECT_EQ(value.number(), number) << json;
  }
  const JsonDocument negativeZero = parseReleaseJson("-0");
  EXPECT_EQ(negativeZero.root().type(), JsonType::Number);
  EXPECT_TRUE(std::signbit(negativeZero.root().number()));
}

// Hostile documents of tiny values must not cost many times their size: the document's one
// block holds at most one eight-byte slot per two bytes of text.
TEST(ReleaseJson, DocumentsOfTinyValuesStayCompact) {
  for (const std::string& element : {"0"s, "[]"s, nested(31, "0"), "\"a\""s, "{\"\":0}"s, "{\"b\":\"s\",\"a\":[0]}"s}) {
    std::string text = "[" + element;
    std::size_t count = 1;
    for (; text.size() < (1 << 16); ++count) text.append(",").append(element);
    const JsonDocument document = parseReleaseJson(text.append("]"));
    EXPECT_LE(document.size(), text.size() / 2 + 1) << element;
    EXPECT_EQ(document.root().array().size(), count) << element;
  }
  std::string members = "{";  // a large object in reverse key order: the sort moves every member
  for (int i = 19'999; i >= 0; --i) members += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + (i ? "," : "}");
  EXPECT_EQ(parseReleaseJson(members).root().object().find("k12345")->number(), 12345.0);
  EXPECT_EQ(parseError(members.substr(0, members.size() - 1) + ",\"k17777\":0}"),
            atByte(members.size() + 10, "duplicate object key"));
}

TEST(ReleaseJson, FieldsMustExistWithExactlyTheAskedType) {
  const JsonDocument document = parseReleaseJson(
      R"({"name":"x","zero":0,"max":9007199254740991,"over":9007199254740992,)"
      R"("half":1.5,"negative":-1,"negativeZero":-0,"text":"1","big":1e300})");
  const JsonValue& root = document.root();
  EXPECT_EQ(releaseField(root, "name", JsonType::String).string(), "x");
  EXPECT_EQ(messageOf([&] { releaseField(root, "name", JsonType::Number); }), "Invalid release field: name");
  EXPECT_EQ(messageOf([&] { releaseField(root, "missing", JsonType::String); }), "Invalid release field: missing");
  EXPECT_EQ(messageOf([&] { releaseField(parseReleaseJson("[\"name\"]").root(), "name", JsonType::String); }),
            "Invalid release field: name");
  for (const auto& [name, value] : {std::pair{"zero", 0ull}, {"negativeZero", 0ull}, {"max", 9007199254740991ull}})
    EXPECT_EQ(releaseInteger(root, name), value) << name;
  for (const char* name : {"over", "half", "negative", "big"})
    EXPECT_EQ(messageOf([&] { releaseInteger(root, name); }), "Invalid release number") << name;
  EXPECT_EQ(messageOf([&] { releaseInteger(root, "text"); }), "Invalid release field: text");
  EXPECT_EQ(messageOf([&] { releaseIntegerValue(std::nan("")); }), "Invalid release number");
  EXPECT_EQ(messageOf([&] { releaseIntegerValue(INFINITY); }), "Invalid release number");
}

TEST(ReleaseJson, MetadataFilesAreReadWholeUpToTheLimit) {
  Testing::TempDir dir;
  const std::string bytes("{\"a\":\"\0\xFF\r\n\"}", 11);
  Testing::writeFile(dir / "latest.json", bytes);
  EXPECT_EQ(readReleaseMetadata(dir / "latest.json"), bytes);
  Testing::writeFile(dir / "large.json", std::string(releaseMetadataSizeLimit + 1, ' '));
  EXPECT_EQ(messageOf([&] { readReleaseMetadata(dir / "large.json"); }), "Release metadata exceeds size limit");
  EXPECT_THROW(readReleaseMetadata(dir / "missing.json"), fs::filesystem_error);
}

TEST(ReleaseBase64, DecodesStrictStandardBase64Only) {
  for (const auto& [text, bytes] :
       {std::pair{"TWFu", "Man"s}, {"TWE=", "Ma"s}, {"TQ==", "M"s}, {"+/+/AAD/", "\xFB\xFF\xBF\x00\x00\xFF"s}})
    EXPECT_EQ(decodeReleaseBase64(text), bytes);
  for (const char* text : {"", "TWF", "TWFuT", "TW=u", "TQ==TWFu", "T===", "====", "TWE*", "TWFu\n", " TWFu",
                           "TW-_", "TWFu====", "TR==", "TWF=", "TQ=A"})
    EXPECT_EQ(messageOf([&] { decodeReleaseBase64(text); }), "Invalid release base64") << text;
}

// Every input kept from fuzzing (seeds and findings) must be read or refused with the
// reader's own error, never crash or throw anything else.
TEST(ReleaseJson, KeptFuzzInputsAreReadOrRefusedCleanly) {
  for (const std::string& bytes : Testing::keptFuzzInputs("release_json_fuzz"))
    EXPECT_NO_THROW(try { (void)parseReleaseJson(bytes); } catch (const std::runtime_error&) {}) << bytes;
  for (const std::string& bytes : Testing::keptFuzzInputs("release_base64_fuzz"))
    EXPECT_NO_THROW(try { (void)decodeReleaseBase64(bytes); } catch (const std::runtime_error&) {}) << bytes;
}

}  // namespace
}  // namespace Corvanthorne::Update
