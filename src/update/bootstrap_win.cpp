// The update bootstrap's runs: the worker that locks, recovers, installs and decides on the
// launcher, the state changes the window's buttons cause, and the folder chooser.
#include "update/bootstrap_win.h"

#include <shobjidl.h>
#include <wrl/client.h>

#include <stdexcept>

#include "common/com_win.h"
#include "common/files.h"
#include "common/text.h"
#include "launcher/debug_log.h"
#include "launcher/game_folder.h"
#include "launcher/launcher_settings.h"
#include "update/file_ops.h"
#include "update/game_file_check.h"
#include "update/game_folder_lock.h"
#include "update/game_folder_lock_win.h"
#include "update/launcher_update.h"
#include "update/remote_release.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;
using Microsoft::WRL::ComPtr;

constexpr UINT_PTR kRepaintTimer = 1;
constexpr UINT kRepaintMs = 50;
constexpr int kLockAttempts = 20;
constexpr DWORD kLockRetryMs = 100;
const fs::path kUpdateSourceFile = fs::path(L".corvanthorne") / L"update-source.txt";
const fs::path kPatchSourceFile = fs::path(L".corvanthorne") / L"patch-source.txt";

ScopedHandle lockWithRetries(const fs::path& gameFolder) {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    if (ScopedHandle lock = acquireGameFolderLock(gameFolder, false)) return lock;
    Sleep(kLockRetryMs);
  }
  throw std::runtime_error("This game folder is in use. Close the game, then press Retry.");
}

bool journalLeft(const fs::path& gameFolder) {
  std::error_code ignored;
  return fs::exists(gameUpdateFolder(gameFolder) / L"journal.txt", ignored);
}

// The source files hold one path or address; anything longer is not one.
std::string readWholeFile(const fs::path& path) {
  std::optional<std::string> bytes = readFileBytes(path, 64 * 1024);
  if (!bytes) throw std::runtime_error("Could not read " + pathText(path));
  return std::move(*bytes);
}

// The check only warns early: where the drive cannot say how much space it has, the install
// goes ahead and a real shortage fails it with its own message.
void checkFreeSpace(std::uint64_t needed, const fs::path& gameFolder) {
  std::error_code error;
  const fs::space_info space = fs::space(gameFolder, error);
  if (error) return debugLog("UPDATE", "Free disk space unknown, check skipped: " + error.message());
  requireFreeSpace(needed, space.available);
}

}  // namespace

Bootstrap::Bootstrap(fs::path gameFolder, fs::path packageSource, std::wstring patchSource, bool verifying)
    : gameFolder_(std::move(gameFolder)),
      packageSource_(std::move(packageSource)),
      patchSource_(std::move(patchSource)),
      verifying_(verifying) {}

Bootstrap::~Bootstrap() {
  if (worker_.joinable()) worker_.join();
}

bool Bootstrap::run(HINSTANCE instance) {
  createUpdateWindow(instance, *this);
  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
  start(false);
  MSG message;
  while (IsWindow(window_) && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (worker_.joinable()) worker_.join();
  return continueToLauncher_;
}

void Bootstrap::start(bool launcherMode) {
  if (worker_.joinable()) worker_.join();
  state_ = BootstrapState::Running;
  installed_ = false;
  for (const int id : kButtonIds) ShowWindow(GetDlgItem(window_, id), SW_HIDE);
  {
    std::lock_guard lock(mutex_);
    title_ = launcherMode ? L"Updating launcher" : verifying_ ? L"Verifying game files" : L"Checking game files";
  }
  timeLeft_.restart(secondsSinceStart());
  InvalidateRect(window_, nullptr, FALSE);
  worker_ = std::thread([this, launcherMode] { work(launcherMode); });
}

// A release of 100,000 files reports once per file. One message stands for every report until
// the repaint it schedules: that repaint shows the newest report, so the worker neither floods
// the queue (losing the worker-finished message) nor pays a cross-thread post per file.
void Bootstrap::postProgress(const std::wstring& text, unsigned percent) {
  {
    std::lock_guard lock(mutex_);
    detail_ = text;
    progress_ = percent;
  }
  if (!progressPosted_.exchange(true)) PostMessageW(window_, kProgressChangedMessage, 0, 0);
}

BootstrapText Bootstrap::text() const {
  std::lock_guard lock(mutex_);
  return {title_, detail_, progress_};
}

void Bootstrap::setText(const std::wstring& title, const std::wstring& detail) {
  std::lock_guard lock(mutex_);
  title_ = title;
  detail_ = detail;
}

void Bootstrap::work(bool launcherMode) {
  ScopedHandle lock;
  try {
    lock = lockWithRetries(gameFolder_);
    installed_ = isInstalledGame(gameFolder_);
    if (launcherMode) {
      stageLauncherUpdate(gameFolder_, launcherPackage_);
      state_ = BootstrapState::Exiting;
    } else {
      updateGame();
    }
  } catch (const std::exception& error) {
    fail(error.what());
  }
  lock.reset();
  PostMessageW(window_, kWorkerFinishedMessage, 0, 0);
}

void Bootstrap::updateGame() {
  recoverInterruptedInstall(gameFolder_);
  finishPendingLauncherUpdate(gameFolder_);
  installed_ = isInstalledGame(gameFolder_);
  const InstallProgress progress = [this](const std::wstring& text, int percent) {
    postProgress(text, static_cast<unsigned>(percent));
  };
  std::optional<RemoteRelease> release;
  if (!patchSource_.empty()) {
    FetchOptions options;
    options.transfer.bytesPerSecond = downloadLimitBytesPerSecond(readLauncherSettings(gameFolder_));
    options.requireSpace = [this](std::uint64_t needed) { checkFreeSpace(needed, gameFolder_); };
    release = fetchRemoteRelease(patchSource_, gameFolder_, progress, options);
  }
  const LatestPackage game = release ? release->game : loadLatestPackage(packageSource_, "game");
  // One listing of the installed files serves the space estimate and the install.
  GameFileCheck current(gameFolder_, game.manifest.files, verifying_ ? CheckMode::Full : CheckMode::UseRecord);
  checkFreeSpace(installSpaceNeeded(game.manifest, [&current](const PackageFile& file) { return current.installedSize(file); }),
                 gameFolder_);
  const InstallOutcome outcome = installGamePackage(game, gameFolder_, current, progress, installGate);
  if (release) recordAcceptedRelease(gameFolder_, *release);
  installed_ = true;
  if (verifying_) {
    setText(L"Game files verified", verificationSummary(outcome.repaired, game.manifest.files.size()));
    state_ = BootstrapState::Verified;
    return;
  }
  launcherPackage_ = release ? release->launcher : loadLatestPackage(packageSource_, "launcher");
  const LauncherDecision decision = launcherUpdateOffer(gameFolder_, launcherPackage_);
  if (!decision.offer) {
    state_ = BootstrapState::Done;
    return;
  }
  setText(L"Launcher update available",
          launcherUpdatePromptText(decision.installedLabel, launcherPackage_.manifest.version));
  state_ = BootstrapState::Prompt;
}

// A journal left behind makes the folder unplayable until the next run recovers it.
void Bootstrap::fail(const std::string& message) {
  if (installed_ && journalLeft(gameFolder_)) installed_ = false;
  state_ = BootstrapState::Failed;
  setText(L"Update could not be completed", failureDetail(message, installed_));
}

// Reports can arrive for every file; the window repaints at most every kRepaintMs instead,
// so that painting does not compete with the worker's hashing.
void Bootstrap::onProgressChanged() {
  timeLeft_.report(secondsSinceStart(), text().progress);
  if (!repaintPending_) repaintPending_ = SetTimer(window_, kRepaintTimer, kRepaintMs, nullptr) != 0;
  if (!repaintPending_) onRepaintTimer();
}

void Bootstrap::onRepaintTimer() {
  KillTimer(window_, kRepaintTimer);
  repaintPending_ = false;
  progressPosted_ = false;  // reports from now on are newer than this repaint
  InvalidateRect(window_, nullptr, FALSE);
}

void Bootstrap::onWorkerFinished() {
  if (worker_.joinable()) worker_.join();
  const BootstrapState finished = state_;
  if (closeRequested_ || finished == BootstrapState::Exiting) {
    DestroyWindow(window_);
  } else if (finished == BootstrapState::Done) {
    continueToLauncher_ = true;
    DestroyWindow(window_);
  } else {
    showFinishedButtons();
  }
}

void Bootstrap::showFinishedButtons() {
  const BootstrapButtons buttons = buttonsFor(state_, installed_, !patchSource_.empty());
  const HWND primary = GetDlgItem(window_, kPrimaryButton);
  SetWindowTextW(primary, buttons.primary.c_str());
  SetWindowTextW(GetDlgItem(window_, kSecondaryButton), buttons.secondary.c_str());
  SetWindowTextW(GetDlgItem(window_, kSourceButton), L"Update source...");
  ShowWindow(primary, SW_SHOW);
  ShowWindow(GetDlgItem(window_, kSecondaryButton), buttons.showSecondary ? SW_SHOW : SW_HIDE);
  ShowWindow(GetDlgItem(window_, kSourceButton), buttons.showSource ? SW_SHOW : SW_HIDE);
  SetFocus(primary);
  InvalidateRect(window_, nullptr, FALSE);
}

// Closing never interrupts a file operation: the window stays until the worker is done.
void Bootstrap::onCloseRequested() {
  if (state_ != BootstrapState::Running) {
    DestroyWindow(window_);
    return;
  }
  closeRequested_ = true;
  postProgress(L"Finishing the file operation safely before closing...", 0);
}

void Bootstrap::onButton(int id) {
  if (state_ == BootstrapState::Running) return;
  if (id == kPrimaryButton && state_ == BootstrapState::Verified) {
    continueToLauncher_ = true;
    DestroyWindow(window_);
  } else if (id == kPrimaryButton) {
    start(state_ == BootstrapState::Prompt);
  } else if (id == kSecondaryButton && installed_) {
    continueToLauncher_ = true;
    DestroyWindow(window_);
  } else if (id == kSourceButton) {
    try {
      chooseUpdateSource();
    } catch (const std::exception& error) {
      MessageBoxW(window_, utf8ToWide(error.what()).c_str(), L"Update source", MB_OK | MB_ICONERROR);
    }
  }
}

void Bootstrap::chooseUpdateSource() {
  ComPtr<IFileOpenDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)))) return;
  // Without the folder options the dialog would pick files, so it is not shown; a missing
  // title costs nothing. Either way the run starts again, as after a cancel.
  FILEOPENDIALOGOPTIONS options = 0;
  const bool picksFolders = SUCCEEDED(dialog->GetOptions(&options)) &&
                            SUCCEEDED(dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM));
  dialog->SetTitle(L"Choose the client package folder containing game.latest");
  ComPtr<IShellItem> chosen;
  ScopedCoTaskMemory path;
  if (picksFolders && SUCCEEDED(dialog->Show(window_)) && SUCCEEDED(dialog->GetResult(&chosen)) &&
      SUCCEEDED(chosen->GetDisplayName(SIGDN_FILESYSPATH, reinterpret_cast<PWSTR*>(path.receive())))) {
    packageSource_ = static_cast<const wchar_t*>(path.get());
    rejectLinks(gameFolder_, kUpdateSourceFile);
    writeFileAtomically(gameFolder_ / kUpdateSourceFile, wideToUtf8(packageSource_.wstring()));
  }
  start(false);
}

double Bootstrap::secondsSinceStart() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - clockStart_).count();
}

bool runBootstrap(void* moduleHandle, bool verifying) {
  const fs::path gameFolder = executableDirectory();
  if (isSourceTreeRoot(gameFolder)) return true;
  fs::current_path(gameFolder);
  fs::path packageSource = pathFromUtf8(QEL_DEFAULT_PACKAGE_SOURCE);
  rejectLinks(gameFolder, kUpdateSourceFile);
  rejectLinks(gameFolder, kPatchSourceFile);
  std::wstring patchSource;
  if (isExistingRegularFile(gameFolder / kPatchSourceFile))
    patchSource = patchSourceFromText(readWholeFile(gameFolder / kPatchSourceFile));
  if (isExistingRegularFile(gameFolder / kUpdateSourceFile)) {
    const std::string chosen = readWholeFile(gameFolder / kUpdateSourceFile);
    if (!chosen.empty()) packageSource = pathFromUtf8(chosen);
  }
  const ComScope com;  // for the folder chooser
  Bootstrap bootstrap(gameFolder, packageSource, patchSource, verifying);
  return bootstrap.run(static_cast<HINSTANCE>(moduleHandle));
}

}  // namespace Corvanthorne::Update
