#include <windows.h>

#include "update/package_manifest.h"

namespace Corvanthorne::Update {

int compareOrdinalIgnoringCase(std::wstring_view a, std::wstring_view b) {
  // CSTR_LESS_THAN / CSTR_EQUAL / CSTR_GREATER_THAN are 1 / 2 / 3.
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                              TRUE) - CSTR_EQUAL;
}

}  // namespace Corvanthorne::Update
