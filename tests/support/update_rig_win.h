#pragma once
// For tests of the update window and the self-update: client packages written from bytes and
// clean-up of launchers started in a test folder.
#include <windows.h>

#include <tlhelp32.h>

#include <filesystem>
#include <map>
#include <string>

#include "common/handle_win.h"
#include "common/text.h"
#include "support/desktop_win.h"
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

// The update window of a launcher process once its run has ended in buttons.
inline HWND settledUpdateWindow(DWORD processId, int timeoutMs = 20000) {
  return windowOf(processId, L"CorvanthorneClientBootstrap",
                  [](HWND w) { return IsWindowVisible(GetDlgItem(w, Update::kPrimaryButton)) != FALSE; }, timeoutMs);
}

// A launcher process has gone on to the launcher window: the window, or the box saying that the
// game folder's launcher document cannot be loaded.
inline bool reachedLauncherStage(DWORD processId) {
  const auto titled = [](HWND w) {
    wchar_t title[32] = {};
    GetWindowTextW(w, title, 32);
    return std::wstring_view(title) == L"Qelmarin Launcher";
  };
  return windowOf(processId, L"CorvanthorneLauncher", [](HWND) { return true; }, 0) || windowOf(processId, L"#32770", titled, 0);
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
