// libFuzzer target for the strict Base64 decoder: a text it accepts must be exactly the
// standard encoding of the bytes it yields (strictness means one text per byte string);
// refusals must be the decoder's runtime_error.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "update/release_json.h"

namespace {

std::string encodeBase64(const std::string& bytes) {
  static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 3; ++i)
      group = group << 8 | (i < count ? static_cast<unsigned char>(bytes[at + i]) : 0u);
    for (std::size_t i = 0; i < 4; ++i) text += i <= count ? alphabet[(group >> (18 - 6 * i)) & 0x3F] : '=';
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    if (encodeBase64(Corvanthorne::Update::decodeReleaseBase64(text)) != text) __builtin_trap();
  } catch (const std::runtime_error&) {
  }
  return 0;
}
