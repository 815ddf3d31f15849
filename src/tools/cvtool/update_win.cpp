// Update commands that need Win32: hashing through the system provider and the folder lock.
#include <ostream>
#include <stdexcept>

#include "common/text.h"
#include "tools/cvtool/update_win.h"
#include "update/file_ops.h"
#include "update/game_file_check.h"
#include "update/game_folder_lock.h"
#include "update/game_folder_lock_win.h"

namespace Corvanthorne::Tools {

constexpr std::string_view kSha256Usage = "sha256 FILE...";
constexpr std::string_view kLockUsage = "lock check GAME_FOLDER";
constexpr std::string_view kInstallUsage = "install PACKAGE_ROOT GAME_FOLDER";
constexpr std::string_view kRecoverUsage = "recover GAME_FOLDER";
constexpr std::string_view kVerifyUsage = "verify [--full] GAME_FOLDER";

ScopedHandle lockGameFolder(const std::filesystem::path& gameFolder) {
  ScopedHandle lock = Update::acquireGameFolderLock(gameFolder, false);
  if (!lock) throw std::runtime_error("This game folder is in use. Close the game, then try again.");
  return lock;
}

void installPrintingProgress(const Update::LatestPackage& package, const std::filesystem::path& gameFolder,
                             std::ostream& out) {
  std::string finalText;
  Update::installGamePackage(package, gameFolder, [&](const std::wstring& text, int percent) {
    finalText = wideToUtf8(text);
    out << percent << "% " << finalText << "\n" << std::flush;
  });
  out << finalText << "\n";
}

// Prints "<hex>  <path>" per file, like sha256sum.
int runSha256Command(Arguments arguments, std::ostream& out) {
  if (arguments.empty()) throwUsage(kSha256Usage);
  for (const std::string& file : arguments) out << Update::sha256File(pathFromUtf8(file)) << "  " << file << "\n";
  return 0;
}

// Prints "free" or "in use"; the lock is released again at once.
int runLockCommand(Arguments arguments, std::ostream& out) {
  if (arguments.size() != 2 || arguments[0] != "check") throwUsage(kLockUsage);
  const ScopedHandle lock = Update::acquireGameFolderLock(pathFromUtf8(arguments[1]), false);
  out << (lock ? "free" : "in use") << "\n";
  return 0;
}

// The headless installer: one "<percent>% <text>" line per progress report, then the final text.
int runInstallCommand(Arguments arguments, std::ostream& out) {
  if (arguments.size() != 2) throwUsage(kInstallUsage);
  const Update::LatestPackage package = Update::loadLatestPackage(pathFromUtf8(arguments[0]), "game");
  const std::filesystem::path gameFolder = pathFromUtf8(arguments[1]);
  const ScopedHandle lock = lockGameFolder(gameFolder);
  installPrintingProgress(package, gameFolder, out);
  return 0;
}

// Replays a journal left by an interrupted install.
int runRecoverCommand(Arguments arguments, std::ostream& out) {
  if (arguments.size() != 1) throwUsage(kRecoverUsage);
  const std::filesystem::path gameFolder = pathFromUtf8(arguments[0]);
  const ScopedHandle lock = lockGameFolder(gameFolder);
  const bool interrupted = std::filesystem::exists(Update::gameUpdateFolder(gameFolder) / L"journal.txt");
  Update::recoverInterruptedInstall(gameFolder);
  out << (interrupted ? "Recovered the interrupted install" : "Nothing to recover") << "\n";
  return 0;
}

}  // namespace Corvanthorne::Tools

namespace Corvanthorne::Tools {

// Checks the installed game against its installed manifest as a start does (--full: every file
// read whole); prints each file that needs repair, then the sum. Exit 1 when any does. What it
// hashed goes into the verified-state record when the folder is free; it repairs nothing.
int runVerifyCommand(Arguments arguments, std::ostream& out) {
  const CommandLine line(arguments, {}, {"full"}, kVerifyUsage);
  if (line.words().size() != 1) throwUsage(kVerifyUsage);
  const std::filesystem::path gameFolder = pathFromUtf8(line.words()[0]);
  const Update::PackageManifest manifest = Update::parsePackageManifest(Update::installedManifestPath(gameFolder), "game");
  Update::GameFileCheck check(gameFolder, manifest.files, line.has("full") ? Update::CheckMode::Full : Update::CheckMode::UseRecord);
  std::size_t failing = 0;
  for (const Update::PackageFile& file : manifest.files) {
    Update::rejectLinks(gameFolder, file.path);
    if (check.holds(file)) continue;
    ++failing;
    out << (Update::isExistingRegularFile(gameFolder / file.path) ? "damaged " : "missing ") << pathText(file.path) << "\n";
  }
  if (failing == 0)
    out << "ok " << manifest.files.size() << " files\n";
  else
    out << failing << " of " << manifest.files.size() << " files need repair\n";
  if (const ScopedHandle lock = Update::acquireGameFolderLock(gameFolder, false); lock && check.hashedCount() > 0)
    check.save(manifest.text);
  return failing == 0 ? 0 : 1;
}

}  // namespace Corvanthorne::Tools
