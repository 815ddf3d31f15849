#include <cwctype>

#include "update/package_manifest.h"

namespace Corvanthorne::Update {

// Native stand-in for the system case table: the C library's upper-casing per code unit,
// which agrees with Windows for the names native tests use.
std::wstring ordinalCaseFold(std::wstring text) {
  for (wchar_t& unit : text) unit = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(unit)));
  return text;
}

}  // namespace Corvanthorne::Update
