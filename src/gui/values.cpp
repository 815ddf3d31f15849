#include "gui/values.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cwctype>
#include <limits>

#include "common/text.h"

namespace Corvanthorne::Gui {
namespace {

bool isDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }

size_t skipLeadingWhitespace(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && isWhitespace(text[i])) ++i;
  return i;
}

size_t skipDigits(std::wstring_view text, size_t i) {
  while (i < text.size() && isDigit(text[i])) ++i;
  return i;
}

// Whether a decimal number that no double can hold is too large rather than too small: the
// power of ten of its first significant digit decides ("[-]digits[.digits][e[sign]digits]").
bool exceedsDouble(std::string_view number) {
  const size_t e = number.find_first_of("eE");
  const std::string_view mantissa = number.substr(0, e);
  const size_t first = mantissa.find_first_of("123456789");
  if (first == std::string_view::npos) return false;
  const size_t point = std::min(mantissa.find('.'), mantissa.size());
  const int64_t position = first < point ? static_cast<int64_t>(point - first) - 1 : -static_cast<int64_t>(first - point);
  int64_t exponent = 0;
  if (e != std::string_view::npos) {
    const bool negative = e + 1 < number.size() && number[e + 1] == '-';
    for (size_t k = e + 1 + (negative ? 1 : 0); k < number.size(); ++k)
      exponent = std::min<int64_t>(exponent * 10 + (number[k] - '0'), int64_t{1} << 40);
    if (negative) exponent = -exponent;
  }
  return position + exponent > 0;
}

}  // namespace

bool isWideWhitespace(wchar_t unit) { return std::iswspace(static_cast<wint_t>(unit)) != 0; }

std::wstring_view trimWhitespace(std::wstring_view text) {
  size_t begin = skipLeadingWhitespace(text);
  size_t end = text.size();
  while (end > begin && isWhitespace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::optional<double> leadingNumber(std::wstring_view text, size_t* end) {
  const size_t start = skipLeadingWhitespace(text);
  size_t i = start;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) ++i;
  const size_t integerEnd = skipDigits(text, i);
  size_t mantissaEnd = integerEnd;
  bool anyDigit = integerEnd > i;
  if (mantissaEnd < text.size() && text[mantissaEnd] == L'.') {
    const size_t fractionEnd = skipDigits(text, mantissaEnd + 1);
    anyDigit = anyDigit || fractionEnd > mantissaEnd + 1;
    mantissaEnd = fractionEnd;
  }
  if (!anyDigit) return std::nullopt;
  size_t numberEnd = mantissaEnd;
  if (numberEnd < text.size() && (text[numberEnd] == L'e' || text[numberEnd] == L'E')) {
    size_t k = numberEnd + 1;
    if (k < text.size() && (text[k] == L'+' || text[k] == L'-')) ++k;
    const size_t exponentEnd = skipDigits(text, k);
    if (exponentEnd > k) numberEnd = exponentEnd;
  }
  // The text is plain ASCII here; from_chars does not depend on the C locale.
  std::string narrow;
  narrow.reserve(numberEnd - start);
  for (size_t k = start; k < numberEnd; ++k)
    if (text[k] != L'+') narrow.push_back(static_cast<char>(text[k]));
  double value = 0;
  const auto result = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    value = exceedsDouble(narrow) ? std::numeric_limits<double>::infinity() : 0.0;
    if (narrow[0] == '-') value = -value;
  }
  if (end) *end = numberEnd;
  return value;
}

bool isWholeNumber(std::wstring_view text) {
  size_t end = 0;
  return leadingNumber(text, &end) && end == text.size();
}

std::optional<int32_t> leadingInt32(std::wstring_view text) {
  size_t i = skipLeadingWhitespace(text);
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  const size_t digitsEnd = skipDigits(text, i);
  if (digitsEnd == i) return std::nullopt;
  int64_t magnitude = 0;
  for (size_t k = i; k < digitsEnd; ++k) {
    magnitude = magnitude * 10 + (text[k] - L'0');
    if (magnitude > int64_t{std::numeric_limits<int32_t>::max()} + 1) return std::nullopt;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::vector<std::wstring> splitTrimmed(std::wstring_view text, wchar_t separator) {
  std::vector<std::wstring> pieces;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find(separator, begin);
    if (end == std::wstring_view::npos) end = text.size();
    const std::wstring_view piece = trimWhitespace(text.substr(begin, end - begin));
    if (!piece.empty()) pieces.emplace_back(piece);
    begin = end + 1;
  }
  return pieces;
}

bool isCentreKeyword(std::wstring_view value) {
  const std::wstring_view word = trimWhitespace(value);
  return equalsIgnoringAsciiCase(word, L"center") || equalsIgnoringAsciiCase(word, L"centre");
}

int32_t roundToInt(double value) {
  const double rounded = std::round(value);
  if (!(rounded > std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (rounded >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(rounded);
}

int32_t saturatePixel(double value) {
  if (!(value > -pixelLimit)) return static_cast<int32_t>(-pixelLimit);
  return static_cast<int32_t>(std::min(value, pixelLimit));
}

bool containsIgnoringAsciiCase(std::wstring_view text, std::wstring_view word) {
  for (size_t i = 0; i + word.size() <= text.size(); ++i)
    if (equalsIgnoringAsciiCase(text.substr(i, word.size()), word)) return true;
  return false;
}

int32_t scaledPixels(double designUnits, double scale) { return std::max(1, roundToInt(designUnits * scale)); }

std::wstring formatFixed(double value) {
  char buffer[400];
  const int length = std::snprintf(buffer, sizeof buffer, "%f", value);
  return std::wstring(buffer, buffer + (length > 0 ? length : 0));
}

}  // namespace Corvanthorne::Gui
