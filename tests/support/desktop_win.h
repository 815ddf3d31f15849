#pragma once
// For Windows tests and harnesses under Wine: Unix programs of the host (the HTTPS test server,
// xdotool, ImageMagick) started by their absolute path, real clicks and screenshots on the X
// display, and the windows of a process under test.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include "common/handle_win.h"
#include "common/text.h"
#include "support/process_win.h"

namespace Corvanthorne::Testing {

// The Unix path of a Windows path, as Wine maps it (Unix programs take Unix paths).
inline std::string unixPath(const std::filesystem::path& path) {
  using Convert = char*(CDECL*)(LPCWSTR);
  const auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* converted = convert ? convert(path.c_str()) : nullptr;
  if (!converted) throw std::runtime_error("Not running under Wine: no Unix path for " + pathText(path));
  std::string text = converted;
  HeapFree(GetProcessHeap(), 0, converted);
  return text;
}

// Polls done every 50 ms; false when it still does not hold after timeoutMs.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// Starts a Unix program with its standard handles on NUL, inheriting no handle of this
// process (given this process's handles, a Unix program can leave this process's standard
// output unwritable). Wine runs it detached: there
// is no process handle to wait on, so callers watch for the files it writes. Start Unix
// programs before this process makes HTTPS requests: under Wine, one started after a
// connection has gone idle breaks the sockets of every later connection (WSAENOTSOCK).
inline void startUnixProgram(const std::wstring& program, std::wstring commandLine) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  const ScopedHandle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                     OPEN_EXISTING, 0, nullptr));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
  PROCESS_INFORMATION info{};
  if (!CreateProcessW((L"Z:" + program).c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &info))
    throwWindowsError("Could not start " + wideToUtf8(program));
  const ScopedHandle process(info.hProcess), thread(info.hThread);
}

// Runs a shell command of the host to its end: the command leaves a marker file in the
// host's /tmp when it is done.
inline void runHostProgram(const std::string& command) {
  static std::atomic<int> counter{0};
  const std::string marker = "/tmp/qel-host-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
  startUnixProgram(L"/bin/sh", L"/bin/sh -c \"" + utf8ToWide(command + "; touch " + marker) + L"\"");
  const std::filesystem::path done = hostPath(marker);
  if (!waitUntil([&] { return std::filesystem::exists(done); })) throw std::runtime_error("Timed out: " + command);
  std::filesystem::remove(done);
}

// The whole X screen as <build folder>/screenshots/<name>; returns the picture's path.
inline std::filesystem::path screenshot(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::current_path() / "screenshots";
  std::filesystem::create_directories(folder);
  runHostProgram("import -window root " + unixPath(folder / name));
  return folder / name;
}

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

// The first visible window of windowClass in process processId (any process for 0) for which
// ready holds, within timeoutMs.
inline HWND windowOf(DWORD processId, const wchar_t* windowClass, int timeoutMs,
                     const std::function<bool(HWND)>& ready = {}) {
  HWND found = nullptr;
  waitUntil([&] {
    for (HWND w = FindWindowW(windowClass, nullptr); w && !found; w = FindWindowExW(nullptr, w, windowClass, nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if ((processId == 0 || owner == processId) && IsWindowVisible(w) && (!ready || ready(w))) found = w;
    }
    return found != nullptr;
  }, timeoutMs);
  return found;
}

// The message box titled title of process processId.
inline HWND messageBoxOf(DWORD processId, std::wstring_view title, int timeoutMs) {
  return windowOf(processId, L"#32770", timeoutMs, [title](HWND w) {
    wchar_t text[64] = {};
    return GetWindowTextW(w, text, 64) && title == text;
  });
}

// A launcher process has gone on to the launcher window: the window, or the box saying that the
// game folder's launcher document cannot be loaded.
inline bool reachedLauncherStage(DWORD processId) {
  return windowOf(processId, L"CorvanthorneLauncher", 0) || messageBoxOf(processId, L"Qelmarin Launcher", 0);
}

}  // namespace Corvanthorne::Testing
