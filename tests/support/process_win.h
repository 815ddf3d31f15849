#pragma once
// Starts a program under test and waits for it, for process-level tests under Wine.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "common/handle_win.h"

namespace Corvanthorne::Testing {

// Runs commandLine (program path first, quoted as needed) in workingFolder, with no window
// shown, and returns its exit code. Throws when it cannot start or outlives timeoutMs.
inline DWORD runProcess(std::wstring commandLine, const std::wstring& workingFolder,
                        DWORD timeoutMs = 30000) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup,
                      &info))
    throwWindowsError("Could not start the test process");
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);
  if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 99);
    throw std::runtime_error("The test process did not finish in time");
  }
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.get(), &exitCode))
    throwWindowsError("Could not read the test process exit code");
  return exitCode;
}

inline std::wstring quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace Corvanthorne::Testing
