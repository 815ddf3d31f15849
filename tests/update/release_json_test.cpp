#include "update/release_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "support/temp_dir.h"

namespace Corvanthorne::Update {
namespace {
namespace fs = std::filesystem;
using namespace std::string_literals;
using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;

// The message of the runtime_error `action` throws, or "" when it succeeds.
template <typename Action>
std::string errorOf(Action action) {
  try {
    action();
    return "";
  } catch (const std::runtime_error& error) {
    return error.what();
  }
}

std::string parseError(std::string_view json) {
  return errorOf([&] { parseReleaseJson(json); });
}

std::string atByte(int offset, std::string_view message) {
  return "World JSON at byte " + std::to_string(offset) + ": " + std::string(message);
}

struct SyntaxError {
  std::string_view json;
  int offset;
  std::string_view message;
};

void expectSyntaxErrors(std::initializer_list<SyntaxError> cases) {
  for (const SyntaxError& expected : cases)
    EXPECT_EQ(parseError(expected.json), atByte(expected.offset, expected.message)) << expected.json;
}

std::string parsedString(std::string_view json) {
  const JsonValue value = parseReleaseJson(json);
  EXPECT_EQ(value.type(), JsonType::String) << json;
  return value.string();
}

std::string nested(int depth, std::string_view inner = "") {
  return std::string(depth, '[') + std::string(inner) + std::string(depth, ']');
}

TEST(ReleaseJson, ParsesEveryKindOfValueIntoTheMatchingField) {
  const JsonValue root = parseReleaseJson(
      " \t\r\n{\"b\": [true, false, null], \"a\": -12.5e1, \"c\": {}, \"d\": [], \"e\": \"x\"}\n ");
  ASSERT_EQ(root.type(), JsonType::Object);
  ASSERT_EQ(root.object().size(), 5u);
  const JsonValue& list = *root.object().find("b");
  ASSERT_EQ(list.array().size(), 3u);
  EXPECT_EQ(list.array()[0].type(), JsonType::Boolean);
  EXPECT_TRUE(list.array()[0].boolean());
  EXPECT_FALSE(list.array()[1].boolean());
  EXPECT_EQ(list.array()[2].type(), JsonType::Null);
  EXPECT_EQ(root.object().find("a")->number(), -125.0);
  EXPECT_EQ(root.object().find("c")->type(), JsonType::Object);
  EXPECT_TRUE(root.object().find("d")->array().empty());
  EXPECT_EQ(root.object().find("e")->string(), "x");
  EXPECT_EQ(root.object().find("f"), nullptr);
  EXPECT_EQ(parseReleaseJson("[]").type(), JsonType::Array);
  EXPECT_EQ(parseReleaseJson("\v\f7").number(), 7.0);
}

TEST(ReleaseJson, KeysAreOrderedByBytesWhateverTheDocumentOrder) {
  const JsonValue root = parseReleaseJson("{\"z\":1,\"\xC3\xA9\":2,\"B\":3,\"a\":4,\"\":5,\"ab\":6}");
  std::vector<std::string> keys;
  for (const auto& [key, value] : root.object()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"", "B", "a", "ab", "z", "\xC3\xA9"}));
  EXPECT_EQ(root.object().find("\xC3\xA9")->number(), 2.0);
}

TEST(ReleaseJson, StructuralErrorsNameTheByteOffset) {
  expectSyntaxErrors({
      {"{\"a\":1,}", 7, "expected object key"},
      {"[1,]", 3, "invalid value"},
      {"", 0, "unexpected end of file"},
      {"  ", 2, "unexpected end of file"},
      {"[", 1, "unexpected end of file"},
      {"1 2", 2, "extra data after root value"},
      {"{\"a\" 1}", 5, "expected ':'"},
      {"{\"a\":1 \"b\":2}", 7, "expected ','"},
      {"[1 2]", 3, "expected ','"},
      {"{1:2}", 1, "expected object key"},
      {"{", 1, "expected object key"},
      {"[1,,2]", 3, "invalid value"},
      // A byte order mark is skipped but still counted; a partial one is no mark.
      {"\xEF\xBB\xBF", 3, "unexpected end of file"},
      {"\xEF\xBB\xBF[1,]", 6, "invalid value"},
      {"\xEF\xBB[]", 0, "invalid value"},
  });
  EXPECT_EQ(parseReleaseJson("\xEF\xBB\xBF{\"a\":[]}").type(), JsonType::Object);
}

TEST(ReleaseJson, MismatchedBracketKindsAreFoundByTheParser) {
  expectSyntaxErrors({
      {"[}", 1, "invalid value"},
      {"[1}", 2, "expected ','"},
      {"{\"a\":1]", 6, "expected ','"},
  });
  EXPECT_EQ(parseError("]"), "Invalid release JSON");
  EXPECT_EQ(parseError("[]]"), "Invalid release JSON");
}

TEST(ReleaseJson, NestingIsLimitedBeforeParsing) {
  EXPECT_EQ(parseError(nested(32)), "");
  EXPECT_EQ(parseError(nested(33)), "Release JSON is too deeply nested");
  // The pass runs before the parser, which would otherwise stop at the bad value first.
  EXPECT_EQ(parseError("x" + nested(33)), "Release JSON is too deeply nested");
  EXPECT_EQ(parseError("[{\"a\":" + nested(31) + "}]"), "Release JSON is too deeply nested");
  // Brackets inside strings, escaped quotes included, do not count.
  EXPECT_EQ(parseError(nested(32, "\"[[\\\"[{]}\"")), "");
  EXPECT_EQ(parseError("[\"]\"]"), "");
}

TEST(ReleaseJson, OversizedTextIsRefusedBeforeParsing) {
  std::string text(releaseMetadataSizeLimit, ' ');
  text[0] = '0';
  EXPECT_EQ(parseReleaseJson(text).number(), 0.0);
  text.push_back(']');
  EXPECT_EQ(parseError(text), "Release metadata exceeds size limit");
}

TEST(ReleaseJson, StringEscapesResolveToTheirBytes) {
  EXPECT_EQ(parsedString(R"("\"\\\/\b\f\n\r\t")"), "\"\\/\b\f\n\r\t");
  EXPECT_EQ(parsedString(R"("\u00e9\u00E9")"), "\xC3\xA9\xC3\xA9");
  EXPECT_EQ(parsedString(R"("\u0041\u007f\u0080\u07FF\u0800\uffff")"),
            "A\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF");
  EXPECT_EQ(parsedString(R"("\u0000")"), std::string(1, '\0'));
  // Surrogate halves are encoded one by one, not combined.
  EXPECT_EQ(parsedString(R"("\ud83d\ude00")"), "\xED\xA0\xBD\xED\xB8\x80");
  // Bytes of 0x80 and above and DEL pass unchecked.
  EXPECT_EQ(parsedString("\"\xFF\xC3\x7F\""), "\xFF\xC3\x7F");
}

TEST(ReleaseJson, MalformedStringsNameTheOffendingByte) {
  expectSyntaxErrors({
      {"[\"\\u00\"]", 6, "invalid unicode escape"},
      {"\"\\u00", 3, "unfinished unicode escape"},
      {"\"\\u00e", 3, "unfinished unicode escape"},
      {"\"\\uG000\"", 3, "invalid unicode escape"},
      {"\"\\x\"", 2, "invalid escape sequence"},
      {"\"\\U0041\"", 2, "invalid escape sequence"},
      {"\"\\", 2, "unfinished escape sequence"},
      {"\"abc", 4, "unterminated string"},
      {"\"a\tb\"", 2, "control character in string"},
      {"{\"k\x1F\":1}", 3, "control character in string"},
      {"\"a\nb\"", 2, "control character in string"},
  });
}

TEST(ReleaseJson, NumbersFollowTheConversionRule) {
  expectSyntaxErrors({
      {"-", 1, "invalid number"},
      {"1e999", 5, "invalid number"},
      {"-1e999", 6, "invalid number"},
      {"[-x]", 2, "invalid number"},
      {"1e-400", 6, "invalid number"},  // underflow is out of range too
  });
  EXPECT_EQ(parseReleaseJson("1e-310").number(), 1e-310);
  EXPECT_EQ(parseReleaseJson("-.5").number(), -0.5);
  // Scanned bytes the conversion does not use are still consumed.
  EXPECT_EQ(parseReleaseJson("1e").number(), 1.0);
  EXPECT_EQ(parseReleaseJson("[1e+]").array()[0].number(), 1.0);
  EXPECT_EQ(parseReleaseJson("2.").number(), 2.0);
  EXPECT_EQ(parseReleaseJson("007").number(), 7.0);
  EXPECT_EQ(parseReleaseJson("1E3").number(), 1000.0);
  EXPECT_EQ(parseReleaseJson("0.1").number(), 0.1);
  EXPECT_EQ(parseReleaseJson("9007199254740993").number(), 9007199254740992.0);
  const JsonValue negativeZero = parseReleaseJson("-0");
  EXPECT_EQ(negativeZero.number(), 0.0);
  EXPECT_TRUE(std::signbit(negativeZero.number()));
  EXPECT_EQ(parseError("+1"), atByte(0, "invalid value"));
  EXPECT_EQ(parseError("1.5.2"), atByte(3, "extra data after root value"));
}

TEST(ReleaseJson, LiteralsConsumeOnlyTheirOwnLetters) {
  expectSyntaxErrors({
      {"truex", 4, "extra data after root value"},
      {"[nullx]", 5, "expected ','"},
      {"[falsey]", 6, "expected ','"},
      {"tru", 0, "invalid value"},
      {"True", 0, "invalid value"},
      {"nul", 0, "invalid value"},
  });
}

TEST(ReleaseJson, DuplicateKeysFailAfterTheRepeatedMembersValue) {
  EXPECT_EQ(parseError("{\"a\":1,\"a\":2}"), atByte(12, "duplicate object key"));
  // Found before any later fault in the document.
  EXPECT_EQ(parseError("{\"a\":1,\"a\":[2] ,\"b\":x}"), atByte(14, "duplicate object key"));
  EXPECT_EQ(parseError("[{\"a\":1},{\"a\":1}]"), "");
  // Large objects switch to an ordered set; the position stays exact.
  std::string big = "{";
  for (int i = 0; i < 100; ++i) big += "\"k" + std::to_string(i) + "\":0,";
  EXPECT_EQ(parseReleaseJson(big + "\"x\":0}").object().size(), 101u);
  const std::string repeated = big + "\"k70\":0";
  EXPECT_EQ(parseError(repeated + "}"), atByte(static_cast<int>(repeated.size()), "duplicate object key"));
  EXPECT_THROW(JsonObject({{"a", {}}, {"a", {}}}), std::invalid_argument);
}

TEST(ReleaseJson, FieldsMustExistWithExactlyTheAskedType) {
  const JsonValue root = parseReleaseJson(
      R"({"name":"x","zero":0,"max":9007199254740991,"over":9007199254740992,)"
      R"("half":1.5,"negative":-1,"negativeZero":-0,"text":"1","big":1e300})");
  EXPECT_EQ(releaseField(root, "name", JsonType::String).string(), "x");
  EXPECT_THROW(releaseField(root, "name", JsonType::Number), std::runtime_error);
  EXPECT_EQ(errorOf([&] { releaseField(root, "missing", JsonType::String); }), "Invalid release field: missing");
  const JsonValue array = parseReleaseJson("[\"name\"]");
  EXPECT_THROW(releaseField(array, "name", JsonType::String), std::runtime_error);

  EXPECT_EQ(releaseInteger(root, "zero"), 0u);
  EXPECT_EQ(releaseInteger(root, "negativeZero"), 0u);
  EXPECT_EQ(releaseInteger(root, "max"), 9007199254740991u);
  for (const char* name : {"over", "half", "negative", "big"}) {
    EXPECT_EQ(errorOf([&] { releaseInteger(root, name); }), "Invalid release number") << name;
  }
  EXPECT_THROW(releaseInteger(root, "text"), std::runtime_error);
  EXPECT_THROW(releaseIntegerValue(std::nan("")), std::runtime_error);
  EXPECT_THROW(releaseIntegerValue(INFINITY), std::runtime_error);
}

TEST(ReleaseJson, MetadataFilesAreReadWholeUpToTheLimit) {
  TempDir dir;
  const std::string bytes("{\"a\":\"\0\xFF\r\n\"}", 11);
  writeFile(dir / "latest.json", bytes);
  EXPECT_EQ(readReleaseMetadata(dir / "latest.json"), bytes);
  writeFile(dir / "empty.json", "");
  EXPECT_EQ(readReleaseMetadata(dir / "empty.json"), "");

  writeFile(dir / "large.json", std::string(releaseMetadataSizeLimit + 1, ' '));
  EXPECT_EQ(errorOf([&] { readReleaseMetadata(dir / "large.json"); }), "Release metadata exceeds size limit");
  EXPECT_THROW(readReleaseMetadata(dir / "missing.json"), fs::filesystem_error);
}

TEST(ReleaseBase64, DecodesTheStandardAlphabetWithPadding) {
  EXPECT_EQ(decodeReleaseBase64("TWFu"), "Man");
  EXPECT_EQ(decodeReleaseBase64("TWE="), "Ma");
  EXPECT_EQ(decodeReleaseBase64("TQ=="), "M");
  EXPECT_EQ(decodeReleaseBase64("+/+/AAD/"), "\xFB\xFF\xBF\x00\x00\xFF"s);
}

TEST(ReleaseBase64, RefusesEverythingElse) {
  for (const char* text : {"", "TWF", "TWFuT", "TW=u", "TQ==TWFu", "T===", "====", "TWE*", "TWFu\n", " TWFu",
                           "TW-_", "TWFu====", "TR==", "TWF=", "TQ=A"}) {
    EXPECT_EQ(errorOf([&] { decodeReleaseBase64(text); }), "Invalid release base64") << text;
  }
}

// Runs every input kept from fuzzing one target (seeds and findings) through `read`, which
// must accept it or refuse it with the reader's own error, never crash or throw anything else.
template <typename Read>
int readKeptFuzzInputs(std::string_view target, Read read) {
  int count = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(QEL_TEST_DATA_DIR) / "fuzz" / target)) {
    ++count;
    errorOf([&] { (void)read(readFile(entry.path())); });
  }
  return count;
}

TEST(ReleaseJson, KeptFuzzInputsAreReadOrRefusedCleanly) {
  EXPECT_GE(readKeptFuzzInputs("release_json_fuzz", parseReleaseJson), 3);
  EXPECT_GE(readKeptFuzzInputs("release_base64_fuzz", decodeReleaseBase64), 4);
}

}  // namespace
}  // namespace Corvanthorne::Update
