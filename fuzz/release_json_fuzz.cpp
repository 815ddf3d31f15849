// libFuzzer target for the release JSON reader: any input must either parse into a tree whose
// object keys are strictly ordered, or fail with the reader's runtime_error. Anything else
// (a crash, a sanitizer report, another exception type) is a finding.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "update/release_json.h"

namespace {

using Corvanthorne::Update::JsonType;
using Corvanthorne::Update::JsonValue;

void checkKeysAreOrdered(const JsonValue& value) {
  std::optional<std::string_view> previous;
  for (const auto& [key, member] : value.object()) {
    if (previous && !(*previous < key)) __builtin_trap();
    previous = key;
    checkKeysAreOrdered(member);
  }
  for (const JsonValue& element : value.array()) checkKeysAreOrdered(element);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    checkKeysAreOrdered(
        Corvanthorne::Update::parseReleaseJson(std::string_view(reinterpret_cast<const char*>(data), size)).root());
  } catch (const std::runtime_error&) {
  }
  return 0;
}
