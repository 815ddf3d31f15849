// The self-update's file and process work: staging, the helper's swap, the restart and the
// clean-up at the next start. At every moment the game folder holds a startable launcher.exe:
// the swap keeps a backup, and every failure puts the old launcher back before it is reported.
#include <windows.h>
#include <shellapi.h>

#include <stdexcept>

#include "common/handle_win.h"
#include "common/text.h"
#include "launcher/game_folder.h"
#include "update/file_ops.h"
#include "update/game_folder_lock.h"
#include "update/game_folder_lock_win.h"
#include "update/launcher_update.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kOldLauncherWaitMs = 30'000;
const fs::path kStagingFolder = fs::path(L".corvanthorne") / L"update" / L"launcher";

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

// A failed split counts as "not the helper", like too few arguments.
std::vector<std::wstring> processArguments() {
  int count = 0;
  ScopedLocalMemory argv(reinterpret_cast<HLOCAL>(CommandLineToArgvW(GetCommandLineW(), &count)));
  if (!argv) return {};
  const auto* items = static_cast<wchar_t**>(static_cast<void*>(argv.get()));
  return std::vector<std::wstring>(items, items + count);
}

ScopedHandle startProcess(const wchar_t* application, std::wstring commandLine, bool inheritHandles, DWORD flags,
                          const fs::path& folder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(application, commandLine.data(), nullptr, nullptr, inheritHandles, flags, nullptr,
                      folder.c_str(), &startup, &info))
    return {};
  ScopedHandle thread(info.hThread);
  return ScopedHandle(info.hProcess);
}

// Starts <gameFolder>/launcher.exe.
void restartLauncher(const fs::path& gameFolder) {
  const fs::path launcher = gameFolder / L"launcher.exe";
  if (!startProcess(nullptr, quotedCommandLinePath(launcher), false, 0, gameFolder))
    fail("Could not restart the launcher");
}

bool samePath(const fs::path& a, const fs::path& b) {
  return equalsIgnoringAsciiCase(a.lexically_normal().wstring(), b.lexically_normal().wstring());
}

// The helper only ever runs from the game folder's own update folder, into an installed game
// that is not a source tree.
bool isValidDestination(const fs::path& gameFolder, const LauncherUpdatePaths& paths) {
  const std::optional<fs::path> module = moduleFileName();
  std::error_code ignored;
  return module && samePath(module->parent_path(), paths.updateFolder) && isInstalledGame(gameFolder) &&
         !fs::exists(fs::symlink_status(gameFolder / L"CMakeLists.txt", ignored));
}

void waitForOldLauncher(std::wstring_view handleText) {
  const std::optional<std::uint64_t> value = parseHelperHandle(handleText);
  const auto handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value.value_or(0)));
  DWORD flags = 0;
  if (!value || !GetHandleInformation(handle, &flags))
    fail("Could not wait for the old launcher to close");
  const ScopedHandle oldLauncher(handle);
  if (WaitForSingleObject(oldLauncher.get(), kOldLauncherWaitMs) != WAIT_OBJECT_0)
    fail("Could not wait for the old launcher to close");
}

PackageManifest verifyStagedLauncher(const fs::path& gameFolder, const LauncherUpdatePaths& paths) {
  rejectLinks(gameFolder, kStagingFolder);
  PackageManifest pending = parsePackageManifest(paths.pending, "launcher");
  if (sha256File(paths.staged) != pending.files.front().sha256) fail("The approved launcher checksum does not match");
  return pending;
}

// A replace that failed half-way (errors 1176 and 1177) can leave launcher.exe renamed to
// the backup: move it back so that the player can always start a launcher.
void restoreLauncherFromBackup(const LauncherUpdatePaths& paths) {
  if (isExistingRegularFile(paths.launcher) || !isExistingRegularFile(paths.backup)) return;
  try {
    moveReplacing(paths.backup, paths.launcher);
  } catch (const std::exception&) {
    // The replace's own error is what the player must see.
  }
}

void swapLaunchers(const LauncherUpdatePaths& paths) {
  if (ReplaceFileW(paths.launcher.c_str(), paths.staged.c_str(), paths.backup.c_str(), 0, nullptr, nullptr)) return;
  const DWORD error = GetLastError();
  restoreLauncherFromBackup(paths);
  throwWindowsError("Could not replace the launcher", error);
}

// The new launcher could not be started: the old one and its record come back.
void putBackOldLauncher(const LauncherUpdatePaths& paths) {
  if (!ReplaceFileW(paths.launcher.c_str(), paths.backup.c_str(), nullptr, 0, nullptr, nullptr)) {
    restoreLauncherFromBackup(paths);
    return;
  }
  if (fs::exists(paths.previousManifest))
    writeFileAtomically(paths.manifest, parsePackageManifest(paths.previousManifest, "launcher").text);
  else
    fs::remove(paths.manifest);
}

void applyLauncherUpdate(const fs::path& gameFolder, std::wstring_view handleText, const UpdateStepGate& gate) {
  const LauncherUpdatePaths paths(gameFolder);
  if (!isValidDestination(gameFolder, paths)) fail("Invalid launcher update destination");
  passGate(gate, "wait");
  waitForOldLauncher(handleText);
  passGate(gate, "lock");
  ScopedHandle lock = acquireGameFolderLock(gameFolder, false);
  if (!lock) fail("Game folder became busy; launcher update postponed");
  passGate(gate, "verify");
  const PackageManifest pending = verifyStagedLauncher(gameFolder, paths);
  passGate(gate, "swap");
  swapLaunchers(paths);
  passGate(gate, "manifest");
  writeFileAtomically(paths.manifest, pending.text);
  lock.reset();
  passGate(gate, "restart");
  try {
    restartLauncher(gameFolder);
  } catch (const std::exception&) {
    putBackOldLauncher(paths);
    throw;
  }
}

void showHelperFailure(const std::string& message) {
  MessageBoxW(nullptr, utf8ToWide(message).c_str(), L"Qelmarin Launcher Update", MB_OK | MB_ICONERROR);
}

}  // namespace

std::optional<int> runLauncherUpdateHelper(const UpdateStepGate& gate) {
  const std::vector<std::wstring> arguments = processArguments();
  switch (classifyHelperArguments(arguments)) {
    case HelperInvocation::NotHelper:
      return std::nullopt;
    case HelperInvocation::WrongArgumentCount:
      return 1;
    case HelperInvocation::Complete:
      break;
  }
  const fs::path gameFolder = fs::absolute(arguments[2]);
  try {
    applyLauncherUpdate(gameFolder, arguments[3], gate);
    return 0;
  } catch (const std::exception& error) {
    showHelperFailure(error.what());
    restartLauncher(gameFolder);
    return 1;
  }
}

void stageLauncherUpdate(const fs::path& gameFolder, const LatestPackage& launcherPackage) {
  const LauncherUpdatePaths paths(gameFolder);
  rejectLinks(gameFolder, kStagingFolder);
  fs::create_directories(paths.staging);
  copyFileReplacing(launcherPackage.folder / L"launcher.exe", paths.staged);
  const PackageFile& record = launcherPackage.manifest.files.front();
  if (!holdsFile(paths.staged, record.size, record.sha256)) fail("The new launcher failed its checksum check");
  writeFileAtomically(paths.pending, launcherPackage.manifest.text);
  if (fs::exists(paths.manifest)) copyFileReplacing(paths.manifest, paths.previousManifest);

  rejectLinks(gameFolder, fs::path(L".corvanthorne") / L"update" / L"apply.exe");
  copyFileReplacing(executableDirectory() / L"launcher.exe", paths.helper);
  const ScopedHandle self(OpenProcess(SYNCHRONIZE, TRUE, GetCurrentProcessId()));
  if (!self) fail("Could not create a launcher restart handle");
  const auto handle = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(self.get()));
  if (!startProcess(paths.helper.c_str(), helperCommandLine(paths.helper, gameFolder, handle), true,
                    CREATE_NO_WINDOW, gameFolder))
    fail("Could not start the launcher update helper");
}

void finishPendingLauncherUpdate(const fs::path& gameFolder) {
  const LauncherUpdatePaths paths(gameFolder);
  rejectLinks(gameFolder, kStagingFolder);
  if (!fs::exists(paths.pending)) return;
  const PackageManifest pending = parsePackageManifest(paths.pending, "launcher");
  if (sha256File(paths.launcher) == pending.files.front().sha256) writeFileAtomically(paths.manifest, pending.text);
  fs::remove_all(paths.staging);
}

LauncherDecision launcherUpdateOffer(const fs::path& gameFolder, const LatestPackage& launcherPackage) {
  const LauncherUpdatePaths paths(gameFolder);
  const std::string running = sha256File(paths.launcher);
  std::optional<PackageManifest> installed;
  if (fs::exists(paths.manifest)) installed = parsePackageManifest(paths.manifest, "launcher");
  const LauncherDecision decision = decideLauncherUpdate(installed, running, launcherPackage.manifest);
  if (decision.recordPackage) writeFileAtomically(paths.manifest, launcherPackage.manifest.text);
  return decision;
}

}  // namespace Corvanthorne::Update
