#include "common/text.h"

#include <gtest/gtest.h>


namespace Corvanthorne {
namespace {

TEST(Utf8ToWide, DecodesEveryLengthIncludingSurrogatePairs) {
  EXPECT_EQ(utf8ToWide("A\xC3\xA9\xE2\x82\xAC"), std::wstring({L'A', wchar_t(0xE9), wchar_t(0x20AC)}));
  // U+1F600 becomes two UTF-16 units on every target.
  EXPECT_EQ(utf8ToWide("\xF0\x9F\x98\x80"), std::wstring({wchar_t(0xD83D), wchar_t(0xDE00)}));
  EXPECT_EQ(utf8ToWide(""), L"");
}

TEST(Utf8ToWide, InvalidInputYieldsEmptyNotPartialText) {
  for (const char* bad : {"ok\xC0\xAF",            // overlong "/"
                          "ok\xE0\x80\xAF",        // overlong three-byte form
                          "ok\xED\xA0\x80",        // encoded surrogate
                          "ok\xF4\x90\x80\x80",    // above U+10FFFF
                          "ok\xE2\x82",            // truncated at the end
                          "ok\x80",                // lone continuation byte
                          "ok\xFF"}) {
    EXPECT_EQ(utf8ToWide(bad), L"") << bad;
  }
}

TEST(WideToUtf8, RoundTripsAndRejectsUnpairedSurrogates) {
  const std::string text = "Gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80 \xE2\x82\xAC";
  EXPECT_EQ(wideToUtf8(utf8ToWide(text)), text);
  EXPECT_EQ(wideToUtf8(std::wstring({L'a', wchar_t(0xD83D)})), "");
  EXPECT_EQ(wideToUtf8(std::wstring({wchar_t(0xDE00), L'a'})), "");
  EXPECT_EQ(wideToUtf8(std::wstring({wchar_t(0xD83D), L'a'})), "");
}

}  // namespace
}  // namespace Corvanthorne
