#include "common/text.h"

#include <algorithm>

namespace Corvanthorne {
namespace {

unsigned long codeUnit(wchar_t c) { return static_cast<unsigned long>(c) & 0xFFFFFFFFul; }

// Decodes one UTF-8 sequence at text[i]; returns the code point and advances i, or
// returns -1 for any ill-formed sequence.
long decodeUtf8(std::string_view text, size_t& i) {
  auto byteAt = [&](size_t k) -> int {
    return k < text.size() ? static_cast<unsigned char>(text[k]) : -1;
  };
  const int lead = byteAt(i);
  int length = 0;
  long codePoint = 0;
  long minimum = 0;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, codePoint = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, codePoint = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, codePoint = lead & 0x07, minimum = 0x10000;
  } else {
    return -1;
  }
  for (int k = 1; k < length; ++k) {
    const int next = byteAt(i + k);
    if (next < 0 || (next & 0xC0) != 0x80) return -1;
    codePoint = (codePoint << 6) | (next & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
    return -1;
  i += length;
  return codePoint;
}

}  // namespace

void appendUtf8(std::string& out, unsigned long codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

std::wstring utf8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const long codePoint = decodeUtf8(text, i);
    if (codePoint < 0) return {};
    if (codePoint >= 0x10000) {
      const long v = codePoint - 0x10000;
      out += static_cast<wchar_t>(0xD800 + (v >> 10));
      out += static_cast<wchar_t>(0xDC00 + (v & 0x3FF));
    } else {
      out += static_cast<wchar_t>(codePoint);
    }
  }
  return out;
}

bool isValidUtf16(std::wstring_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned long unit = codeUnit(text[i]);
    if (unit > 0xFFFF || (unit >= 0xDC00 && unit <= 0xDFFF)) return false;  // not a unit, or a lone low surrogate
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      const unsigned long low = i + 1 < text.size() ? codeUnit(text[++i]) : 0;
      if (low < 0xDC00 || low > 0xDFFF) return false;
    }
  }
  return true;
}

std::string wideToUtf8(std::wstring_view text) {
  if (!isValidUtf16(text)) return {};
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned long unit = codeUnit(text[i]);
    if (unit >= 0xD800 && unit <= 0xDBFF)
      appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (codeUnit(text[++i]) - 0xDC00));
    else
      appendUtf8(out, unit);
  }
  return out;
}

std::string pathText(const std::filesystem::path& path) {
#ifdef _WIN32
  std::string text = wideToUtf8(path.native());
#else
  std::string text = path.native();
#endif
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

std::filesystem::path pathFromUtf8(std::string_view text) {
#ifdef _WIN32
  return std::filesystem::path(utf8ToWide(text));
#else
  return std::filesystem::path(std::string(text));
#endif
}

char32_t asciiLower(char32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

namespace {
template <typename String, typename View>
String lowered(View text) {
  String lower(text);
  for (auto& unit : lower) unit = static_cast<typename String::value_type>(asciiLower(static_cast<char32_t>(unit)));
  return lower;
}
}  // namespace

std::string lowerAscii(std::string_view text) { return lowered<std::string>(text); }
std::wstring lowerAscii(std::wstring_view text) { return lowered<std::wstring>(text); }

namespace {
template <typename View>
bool equalsFolded(View a, View b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](auto x, auto y) {
           return asciiLower(static_cast<char32_t>(x)) == asciiLower(static_cast<char32_t>(y));
         });
}
}  // namespace

bool equalsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) { return equalsFolded(a, b); }
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) { return equalsFolded(a, b); }

std::string lowerHex(std::string_view bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    text += digits[value >> 4];
    text += digits[value & 0x0F];
  }
  return text;
}

std::string bytesOfLowerHex(std::string_view text) {
  const auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1; };
  std::string bytes;
  if (text.size() % 2 != 0) return bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return {};
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

}  // namespace Corvanthorne
