#pragma once
// Real input and screenshots on the X display for window tests: xdotool and ImageMagick run as
// host programs (Wine starts Unix programs by their absolute path).
#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "common/text.h"
#include "support/process_win.h"

namespace Corvanthorne::Testing {

inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// Runs a shell command of the host to its end. Wine gives no waitable handle for a Unix
// process, so the command leaves a marker file in the host's /tmp (drive Z:) when it is done.
inline void runHostProgram(const std::string& command) {
  static std::atomic<int> counter{0};
  const std::string marker = "/tmp/qel-host-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
  startProcess(L"/bin/sh -c \"" + utf8ToWide(command + "; touch " + marker) + L"\"");
  const std::filesystem::path done = hostPath(marker);
  if (!waitUntil([&] { return std::filesystem::exists(done); })) throw std::runtime_error("Timed out: " + command);
  std::filesystem::remove(done);
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

// The whole X screen as <build folder>/screenshots/<name>; the build folder is on drive Z:.
inline void screenshot(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::current_path() / "screenshots";
  std::filesystem::create_directories(folder);
  const std::string host = pathText(folder / name);
  runHostProgram("import -window root " + (host.starts_with("Z:") ? host.substr(2) : host));
}

// The first visible window of windowClass in process processId (any process for 0) for which
// ready holds.
inline HWND windowOf(DWORD processId, const wchar_t* windowClass, const std::function<bool(HWND)>& ready,
                     int timeoutMs = 20000) {
  HWND found = nullptr;
  waitUntil([&] {
    for (HWND w = FindWindowW(windowClass, nullptr); w && !found; w = FindWindowExW(nullptr, w, windowClass, nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if ((processId == 0 || owner == processId) && IsWindowVisible(w) && ready(w)) found = w;
    }
    return found != nullptr;
  }, timeoutMs);
  return found;
}

}  // namespace Corvanthorne::Testing
