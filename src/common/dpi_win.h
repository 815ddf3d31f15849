#pragma once
// The DPI a window is shown at.
#include <windows.h>

#include "common/dpi.h"
#include "common/handle_win.h"

namespace Corvanthorne {

// GetDpiForWindow where the system has it (Windows 10 1607 and later), else the system DPI.
inline unsigned windowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow) {
    if (const UINT dpi = getDpiForWindow(window)) return dpi;
  }
  const ScopedScreenDc screen(GetDC(nullptr));
  const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
  return dpi > 0 ? static_cast<unsigned>(dpi) : kDesignDpi;
}

}  // namespace Corvanthorne
