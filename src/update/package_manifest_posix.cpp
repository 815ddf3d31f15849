#include <algorithm>
#include <cwctype>

#include "update/package_manifest.h"

namespace Corvanthorne::Update {

// Native stand-in for CompareStringOrdinal(..., TRUE): compares code units after upper-casing
// each, which agrees with Windows for the names native tests use.
int compareOrdinalIgnoringCase(std::wstring_view a, std::wstring_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto x = std::towupper(static_cast<std::wint_t>(a[i]));
    const auto y = std::towupper(static_cast<std::wint_t>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace Corvanthorne::Update
