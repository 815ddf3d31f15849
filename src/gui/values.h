#pragma once
// Small text helpers shared by the GUI document system: property values are raw text that
// the consumers read as numbers, flags, lists or words.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"  // lowerAscii and the other text helpers GUI code shares

namespace Corvanthorne::Gui {

bool isWideWhitespace(wchar_t unit);
// What iswspace says; documents are mostly ASCII, so the locale is asked only about the rest.
inline bool isWhitespace(wchar_t unit) {
  if (static_cast<uint32_t>(unit) < 0x80) return unit == L' ' || (unit >= L'\t' && unit <= L'\r');
  return isWideWhitespace(unit);
}
std::wstring_view trimWhitespace(std::wstring_view text);

// A decimal floating-point number at the start of `text` after leading whitespace
// ([sign] digits [. digits] [exponent]); `end` receives the index just after it.
std::optional<double> leadingNumber(std::wstring_view text, size_t* end = nullptr);

// True when the whole text (after leading whitespace) is one decimal number.
bool isWholeNumber(std::wstring_view text);

// Base-10 integer the way a standard string-to-int conversion reads it: leading whitespace
// and a sign allowed, trailing text ignored, at least one digit, must fit 32 bits.
std::optional<int32_t> leadingInt32(std::wstring_view text);

// Splits at every separator, trims each piece and keeps the non-empty ones in order.
std::vector<std::wstring> splitTrimmed(std::wstring_view text, wchar_t separator);

// "center" or "centre", surrounding whitespace and letter case ignored (for `x` and `y`).
bool isCentreKeyword(std::wstring_view value);

// A raw property value that names a binding ("$name").
inline bool isBinding(std::wstring_view raw) { return !raw.empty() && raw[0] == L'$'; }

// Rounds to the nearest integer, halves away from zero.
int32_t roundToInt(double value);

// Pixel coordinates saturate at +-1e9 (NaN counts as the low end): whatever sizes a document
// gives, widths and sums of two coordinates still fit 32 bits.
inline constexpr double pixelLimit = 1e9;
int32_t saturatePixel(double value);

// Whether `text` contains `word`, letter case ignored (ASCII), without copying either.
bool containsIgnoringAsciiCase(std::wstring_view text, std::wstring_view word);

// A length in design units as whole pixels at a scale, never below one pixel.
int32_t scaledPixels(double designUnits, double scale);

// printf "%f" formatting, as values are written back through bindings.
std::wstring formatFixed(double value);

}  // namespace Corvanthorne::Gui
