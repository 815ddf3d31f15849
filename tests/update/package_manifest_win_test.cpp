#include <windows.h>

#include <gtest/gtest.h>

#include "update/package_manifest.h"

namespace Corvanthorne::Update {
namespace {

// The folding table is the system's own: every UTF-16 code unit upper-cases as
// RtlUpcaseUnicodeChar (the function behind CompareStringOrdinal ignoring case) does it.
TEST(OrdinalCaseFold, MatchesTheSystemCaseTableForEveryCodeUnit) {
  using Upcase = WCHAR(NTAPI*)(WCHAR);
  const auto upcase = reinterpret_cast<Upcase>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlUpcaseUnicodeChar")));
  ASSERT_NE(upcase, nullptr);
  std::wstring all(0x10000, L'\0');
  for (std::size_t unit = 0; unit < all.size(); ++unit) all[unit] = static_cast<wchar_t>(unit);
  const std::wstring folded = ordinalCaseFold(all);
  int differences = 0;
  for (std::size_t unit = 0; unit < all.size(); ++unit)
    if (folded[unit] != upcase(all[unit]) && ++differences <= 5) ADD_FAILURE() << "U+" << std::hex << unit;
  EXPECT_EQ(differences, 0);
}

}  // namespace
}  // namespace Corvanthorne::Update
