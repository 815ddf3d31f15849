// cvtool json: lets a publisher check a release document before uploading it, and read it as
// the launcher sees it (escapes resolved, keys in their stored byte order).
#include <charconv>
#include <ostream>
#include <string>

#include "common/text.h"
#include "tools/cvtool/cvtool.h"
#include "update/release_document.h"
#include "update/release_json.h"

namespace Corvanthorne::Tools {
namespace {

using Update::JsonType;
using Update::JsonValue;

constexpr std::string_view usage = "json check|pretty FILE";

void writeString(std::string_view text, std::ostream& out) {
  std::string quoted;
  Update::appendJsonString(quoted, text);
  out << quoted;
}

// The shortest text that reads back as the same double.
void writeNumber(double number, std::ostream& out) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
  out.write(buffer, result.ptr - buffer);
}

void writeIndent(int depth, std::ostream& out) { out << '\n' << std::string(2 * static_cast<std::size_t>(depth), ' '); }

void writePretty(const JsonValue& value, int depth, std::ostream& out) {
  switch (value.type()) {
    case JsonType::Null: out << "null"; break;
    case JsonType::Boolean: out << (value.boolean() ? "true" : "false"); break;
    case JsonType::Number: writeNumber(value.number(), out); break;
    case JsonType::String: writeString(value.string(), out); break;
    case JsonType::Array: {
      out << '[';
      const char* separator = "";
      for (const JsonValue& element : value.array()) {
        out << separator;
        writeIndent(depth + 1, out);
        writePretty(element, depth + 1, out);
        separator = ",";
      }
      if (!value.array().empty()) writeIndent(depth, out);
      out << ']';
      break;
    }
    case JsonType::Object: {
      out << '{';
      const char* separator = "";
      for (const auto& [key, member] : value.object()) {
        out << separator;
        writeIndent(depth + 1, out);
        writeString(key, out);
        out << ": ";
        writePretty(member, depth + 1, out);
        separator = ",";
      }
      if (value.object().size() != 0) writeIndent(depth, out);
      out << '}';
      break;
    }
  }
}

}  // namespace

// "json check FILE" prints "ok" or fails with the reader's message; "json pretty FILE" prints
// the parsed document indented by two spaces.
int runJson(Arguments arguments, std::ostream& out) {
  if (arguments.size() != 2 || (arguments[0] != "check" && arguments[0] != "pretty"))
    throwUsage(usage);
  const Update::JsonDocument document = Update::parseReleaseJson(Update::readReleaseMetadata(pathFromUtf8(arguments[1])));
  if (arguments[0] == "check") {
    out << "ok\n";
  } else {
    writePretty(document.root(), 0, out);
    out << '\n';
  }
  return 0;
}

}  // namespace Corvanthorne::Tools
