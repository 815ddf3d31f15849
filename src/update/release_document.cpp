#include "update/release_document.h"

#include <algorithm>

namespace Corvanthorne::Update {
namespace {

constexpr std::string_view kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Base64 of the blob header "RSA1", 3072 bits, a 3-byte exponent, a 384-byte modulus and no
// primes: every public key of the accepted form starts with it, and the 411 bytes of such a
// blob are exactly 548 characters without padding.
constexpr std::string_view kPublicKeyPrefix = "UlNBMQAMAAADAAAAgAEAAAAAAAAAAAAA";
constexpr std::size_t kPublicKeyLength = 548;

}  // namespace

// The build defines the key from QEL_RELEASE_PUBLIC_KEY_FILE after checking its form.
std::string_view builtInReleaseKey() { return QEL_RELEASE_PUBLIC_KEY; }
bool builtInKeyIsDevelopmentKey() { return QEL_RELEASE_KEY_IS_DEVELOPMENT; }

bool isReleasePublicKeyText(std::string_view text) {
  return text.size() == kPublicKeyLength && text.starts_with(kPublicKeyPrefix) &&
         text.find_first_not_of(kBase64Alphabet) == std::string_view::npos;
}

std::string encodeReleaseBase64(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    const std::size_t count = std::min<std::size_t>(3, bytes.size() - at);
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 3; ++i)
      group = group << 8 | (i < count ? static_cast<unsigned char>(bytes[at + i]) : 0u);
    for (std::size_t i = 0; i < 4; ++i) text += i <= count ? kBase64Alphabet[(group >> (18 - 6 * i)) & 0x3F] : '=';
  }
  return text;
}

void appendJsonString(std::string& out, std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out += hex[c >> 4];
          out += hex[c & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

std::string composeReleaseDocument(std::string_view payload, std::string_view signature) {
  return "{\"payload\":\"" + encodeReleaseBase64(payload) + "\",\"signature\":\"" + encodeReleaseBase64(signature) +
         "\"}\n";
}

}  // namespace Corvanthorne::Update
