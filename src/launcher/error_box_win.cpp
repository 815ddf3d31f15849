#include <windows.h>

#include "launcher/error_box.h"

namespace Corvanthorne {

void showLauncherErrorBox(const std::wstring& message) {
  // No owner: the box must appear even when no launcher window exists.
  MessageBoxW(nullptr, message.c_str(), L"Qelmarin Launcher", MB_OK | MB_ICONERROR);
}

}  // namespace Corvanthorne
