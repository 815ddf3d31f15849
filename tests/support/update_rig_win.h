#pragma once
// For tests of the update window and the self-update: the update window and clean-up of
// launchers started in a test folder.
#include <windows.h>

#include <tlhelp32.h>

#include <filesystem>
#include <functional>
#include <string>

#include "common/handle_win.h"
#include "common/text.h"
#include "support/client_package_win.h"
#include "support/desktop_win.h"
#include "support/process_win.h"
#include "update/bootstrap.h"

namespace Corvanthorne::Testing {

inline std::filesystem::path nextLauncherPath() { return hostPath(QEL_LAUNCHER_NEXT_PATH); }

// The update window of a launcher process once its run has ended in buttons.
inline HWND settledUpdateWindow(DWORD processId, int timeoutMs = 20000) {
  return windowOf(processId, L"CorvanthorneClientBootstrap", timeoutMs,
                  [](HWND w) { return IsWindowVisible(GetDlgItem(w, Update::kPrimaryButton)) != FALSE; });
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
