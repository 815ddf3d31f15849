// libFuzzer target for the strict Base64 decoder: a text it accepts must be exactly the
// standard encoding of the bytes it yields (strictness means one text per byte string);
// refusals must be the decoder's runtime_error.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "update/release_document.h"
#include "update/release_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    if (Corvanthorne::Update::encodeReleaseBase64(Corvanthorne::Update::decodeReleaseBase64(text)) != text) __builtin_trap();
  } catch (const std::runtime_error&) {
  }
  return 0;
}
