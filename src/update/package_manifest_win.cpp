#include <windows.h>

#include <stdexcept>

#include "update/package_manifest.h"

namespace Corvanthorne::Update {
namespace {

using UpcaseFunction = WCHAR(NTAPI*)(WCHAR);

// CompareStringOrdinal ignoring case upper-cases code unit by code unit with this very
// function (the system's case table), so folding with it gives the same notion of equality.
UpcaseFunction systemUpcase() {
  static const UpcaseFunction function = [] {
    const FARPROC address = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlUpcaseUnicodeChar");
    if (!address) throw std::runtime_error("Could not load the system case table");
    return reinterpret_cast<UpcaseFunction>(reinterpret_cast<void*>(address));
  }();
  return function;
}

}  // namespace

std::wstring ordinalCaseFold(std::wstring text) {
  const UpcaseFunction upcase = systemUpcase();
  for (wchar_t& unit : text) unit = upcase(unit);
  return text;
}

}  // namespace Corvanthorne::Update
