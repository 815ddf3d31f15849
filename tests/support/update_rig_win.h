#pragma once
// For tests of the update window and the self-update: client packages written from bytes,
// real input and screenshots on the X display through xdotool and ImageMagick (Wine starts
// Unix programs by their absolute path), and clean-up of launchers started in a test folder.
#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "common/handle_win.h"
#include "common/text.h"
#include "support/process_win.h"
#include "support/temp_dir.h"
#include "update/bootstrap.h"
#include "update/file_ops.h"

namespace Corvanthorne::Testing {

using PackageFiles = std::map<std::string, std::string>;  // relative path -> bytes

// The files every game package must hold, tagged so that two versions differ.
inline PackageFiles requiredGameFiles(std::string_view tag) {
  return {{"Qelmarin.exe", "client " + std::string(tag)},
          {"data/gui/launcher.ghi", "launcher gui"},
          {"data/gui/game.ghi", "game gui " + std::string(tag)},
          {"assets/worlds/world_1.world.json", "{}"}};
}

// Writes <root>/<kind>/<version>/ with its files and manifest.txt, and <root>/<kind>.latest.
inline void writeClientPackage(const std::filesystem::path& root, const std::string& kind, const std::string& version,
                               const PackageFiles& files) {
  std::string manifest = "CVPACKAGE 1 " + kind + " " + version + "\n";
  for (const auto& [path, bytes] : files) {
    writeFile(root / kind / version / pathFromUtf8(path), bytes);
    manifest += Update::sha256Bytes(bytes) + " " + std::to_string(bytes.size()) + " " + path + "\n";
  }
  writeFile(root / kind / version / "manifest.txt", manifest);
  writeFile(root / (kind + ".latest"), version + "\n");
}

inline std::filesystem::path launcherPath() { return hostPath(QEL_LAUNCHER_PATH); }
inline std::filesystem::path nextLauncherPath() { return hostPath(QEL_LAUNCHER_NEXT_PATH); }


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
  launchProcess(L"/bin/sh -c \"" + utf8ToWide(command + "; touch " + marker) + L"\"");
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
