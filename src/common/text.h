#pragma once
// Strict text conversion. Wide strings hold UTF-16 code units on every target (on Linux a
// wchar_t simply carries one 16-bit unit), so positions and lengths agree between the
// native tests and Windows. Invalid input never yields a partial result: it yields "".
#include <filesystem>
#include <string>
#include <string_view>

namespace Corvanthorne {

// UTF-8 to UTF-16. Overlong forms, surrogate code points, values above U+10FFFF and
// truncated sequences are invalid.
std::wstring utf8ToWide(std::string_view text);

// UTF-16 to UTF-8. Unpaired surrogates are invalid.
std::string wideToUtf8(std::wstring_view text);
bool isValidUtf16(std::wstring_view text);

// Appends one code point as UTF-8 of one to four bytes, unchecked: a lone surrogate value
// becomes three bytes, as JSON \u escapes require.
void appendUtf8(std::string& out, unsigned long codePoint);

// A path as message text: UTF-8 with forward slashes.
std::string pathText(const std::filesystem::path& path);

// A path from UTF-8 text (command-line arguments, files), independent of the code page.
std::filesystem::path pathFromUtf8(std::string_view text);

// ASCII-only case folding, for names the system compares case-insensitively.
char32_t asciiLower(char32_t c);
std::string lowerAscii(std::string_view text);
std::wstring lowerAscii(std::wstring_view text);
bool equalsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

// Bytes as lowercase hexadecimal text, and back: "" (for non-empty text) unless every
// character is a lowercase hexadecimal digit and they come in pairs.
std::string lowerHex(std::string_view bytes);
std::string bytesOfLowerHex(std::string_view text);

}  // namespace Corvanthorne
