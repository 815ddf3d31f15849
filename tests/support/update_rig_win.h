#pragma once
// For tests of the update window and the self-update: real clicks on the X display through
// xdotool, the update window and clean-up of launchers started in a test folder.
#include <windows.h>

#include <tlhelp32.h>

#include <filesystem>
#include <functional>
#include <string>

#include "common/handle_win.h"
#include "common/text.h"
#include "support/client_package_win.h"
#include "support/process_win.h"
#include "update/bootstrap.h"

namespace Corvanthorne::Testing {

inline std::filesystem::path nextLauncherPath() { return hostPath(QEL_LAUNCHER_NEXT_PATH); }

// A real click in the middle of a window (a button), as the X server delivers it.
// Tests run in parallel and open windows of their own, so the target's top-level window is
// raised above them first.
inline void clickWindow(HWND window) {
  SetWindowPos(GetAncestor(window, GA_ROOT), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  RECT rect{};
  GetWindowRect(window, &rect);
  const POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  waitUntil([&] { return WindowFromPoint(centre) == window; }, 2000);
  runHostProgram("xdotool mousemove " + std::to_string(centre.x) + " " + std::to_string(centre.y) + " click 1");
}

// The first visible window of windowClass in process processId for which ready holds.
inline HWND windowOf(DWORD processId, const wchar_t* windowClass, const std::function<bool(HWND)>& ready,
                     int timeoutMs = 20000) {
  HWND found = nullptr;
  waitUntil([&] {
    for (HWND w = FindWindowW(windowClass, nullptr); w && !found; w = FindWindowExW(nullptr, w, windowClass, nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == processId && IsWindowVisible(w) && ready(w)) found = w;
    }
    return found != nullptr;
  }, timeoutMs);
  return found;
}

// The update window of a launcher process once its run has ended in buttons.
inline HWND settledUpdateWindow(DWORD processId, int timeoutMs = 20000) {
  return windowOf(processId, L"CorvanthorneClientBootstrap",
                  [](HWND w) { return IsWindowVisible(GetDlgItem(w, Update::kPrimaryButton)) != FALSE; }, timeoutMs);
}

// Ends every process whose executable lies in folder: launchers that a test's helper
// restarted there, so that the folder can be removed.
inline void endProcessesIn(const std::filesystem::path& folder) {
  const std::wstring prefix = lowerAscii(std::filesystem::absolute(folder).wstring());
  ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    ScopedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                     entry.th32ProcessID));
    wchar_t image[MAX_PATH * 4];
    DWORD length = MAX_PATH * 4;
    if (!process || !QueryFullProcessImageNameW(process.get(), 0, image, &length)) continue;
    if (!lowerAscii(std::wstring(image, length)).starts_with(prefix)) continue;
    TerminateProcess(process.get(), 9);
    WaitForSingleObject(process.get(), 5000);
  }
}

}  // namespace Corvanthorne::Testing
