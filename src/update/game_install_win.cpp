#include "update/game_install.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>
#include <unordered_set>
#include <vector>

#include "common/text.h"
#include "update/file_ops.h"
#include "update/game_file_check.h"
#include "update/game_folder_lock.h"
#include "update/install_journal.h"
#include "update/parallel_tasks.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;

const fs::path kUpdateFolder = fs::path(L".corvanthorne") / L"update" / L"game";

struct InstallPlan {
  std::vector<fs::path> changed;  // manifest order
  std::vector<const PackageFile*> changedFiles;  // the records of changed, with their staged copies' facts
  std::vector<FileFacts> stagedFacts;
  std::vector<fs::path> removed;  // old manifest order
};

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

void copyInto(const fs::path& from, const fs::path& to) {
  fs::create_directories(to.parent_path());
  copyFileReplacing(from, to);
}

void refuseForeignInstall(const PackageManifest& manifest, const fs::path& gameFolder) {
  std::error_code ignored;
  const bool sourceTree = fs::exists(fs::symlink_status(gameFolder / L"CMakeLists.txt", ignored));
  if (manifest.kind != "game" || sourceTree) fail("Game packages can only be installed into a separate play folder");
}

// What one record's check found, for the caller to act on in manifest order.
struct RecordCheck {
  std::exception_ptr refused;  // the path rule or a link: fails before the record's progress report
  bool changed = false;
  FileFacts stagedFacts;
};

// Copies a changed file into the stage and verifies the copy there; returns the copy's facts.
FileFacts stageFile(const LatestPackage& package, const PackageFile& file, const fs::path& stage) {
  rejectLinks(package.folder, file.path);
  const fs::path staged = stage / file.path;
  copyInto(package.folder / file.path, staged);
  const std::optional<HashedFile> copy = hashWithFacts(staged);
  if (!copy || copy->facts.size != file.size || copy->sha256 != file.sha256)
    fail("Package checksum failed: " + pathText(file.path));
  flushFile(staged);
  return copy->facts;
}

// Records are checked, hashed and staged on all cores, while reports, the plan and the first
// failure follow manifest order exactly as if one thread did everything.
void stageChangedFiles(const LatestPackage& package, const fs::path& stage, const InstallProgress& progress,
                       GameFileCheck& current, InstallPlan& plan) {
  const std::vector<PackageFile>& files = package.manifest.files;
  std::vector<RecordCheck> checks(files.size());
  ParallelTasks tasks(files.size(), [&](std::size_t i) {
    const PackageFile& file = files[i];
    try {
      if (!isAllowedPackagePath(file.path, "game")) fail("Invalid installation file");
      current.rejectLinks(file);
    } catch (const std::exception&) {
      checks[i].refused = std::current_exception();
      return;
    }
    checks[i].changed = !current.holds(file);
    if (checks[i].changed) checks[i].stagedFacts = stageFile(package, file, stage);
  });
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::exception_ptr failure;
    try {
      tasks.wait(i);
    } catch (const std::exception&) {
      failure = std::current_exception();
    }
    if (checks[i].refused) std::rethrow_exception(checks[i].refused);
    if (progress) progress(L"Checking " + packagePathKey(files[i].path), static_cast<int>(i * 70 / files.size()));
    if (failure) std::rethrow_exception(failure);
    if (!checks[i].changed) continue;
    plan.changed.push_back(files[i].path);
    plan.changedFiles.push_back(&files[i]);
    plan.stagedFacts.push_back(checks[i].stagedFacts);
  }
}

// Changed files that the installed manifest already described with the same content: they
// were damaged or missing, not updated.
std::size_t countRepairs(const PackageManifest& old, const InstallPlan& plan) {
  std::unordered_set<std::wstring> installed;
  for (const PackageFile& file : old.files) installed.insert(packagePathIdentity(file.path) + utf8ToWide(file.sha256));
  return static_cast<std::size_t>(std::count_if(plan.changedFiles.begin(), plan.changedFiles.end(), [&](const PackageFile* file) {
    return installed.contains(packagePathIdentity(file->path) + utf8ToWide(file->sha256));
  }));
}

// Old files that the new package drops; a release's removal list narrows them to the files
// it names. Returns how many changed files are repairs.
std::size_t planDrops(const PackageManifest& manifest, const PackageManifest& old, InstallPlan& plan) {
  std::unordered_set<std::wstring> newPaths;  // path identities
  for (const PackageFile& file : manifest.files) newPaths.insert(packagePathIdentity(file.path));
  const std::set<fs::path> named(manifest.removals.begin(), manifest.removals.end());
  for (const PackageFile& file : old.files) {
    if (newPaths.contains(packagePathIdentity(file.path))) continue;
    if (manifest.hasRemovalList && !named.contains(file.path)) continue;
    plan.removed.push_back(file.path);
  }
  return countRepairs(old, plan);
}

// Plans the removals against the installed manifest (installedText, as read) and keeps its text
// so that recovery can put it back. An unchanged manifest drops nothing and every changed file
// is a repair, which spares a large game a second parse of its manifest on every start.
std::size_t planRemovals(const PackageManifest& manifest, const std::string& installedText, const fs::path& gameFolder,
                         const fs::path& updateFolder, InstallPlan& plan) {
  if (!fs::exists(installedManifestPath(gameFolder))) return 0;
  const std::size_t repairs = installedText == manifest.text
                                  ? plan.changed.size()
                                  : planDrops(manifest, parsePackageManifestText(installedText, "game"), plan);
  writeFileAtomically(updateFolder / L"previous.manifest", installedText);
  return repairs;
}

// Backs up every file the commit will overwrite or delete, on all cores; the journal lists
// them in plan order.
std::vector<JournalEntry> backUpLiveFiles(const InstallPlan& plan, const fs::path& gameFolder, const fs::path& backup) {
  std::vector<JournalEntry> journal;
  for (const auto* paths : {&plan.changed, &plan.removed})
    for (const fs::path& path : *paths) journal.push_back({false, path});
  ParallelTasks tasks(journal.size(), [&](std::size_t i) {
    const fs::path& path = journal[i].path;
    rejectLinks(gameFolder, path);
    journal[i].restore = fs::exists(gameFolder / path);
    if (!journal[i].restore) return;
    copyInto(gameFolder / path, backup / path);
    flushFile(backup / path);
  });
  for (std::size_t i = 0; i < journal.size(); ++i) tasks.wait(i);
  return journal;
}

// The fixed order: files in, dropped files out, then the manifest record, the marker, and
// last the journal's removal, which is the moment the new state counts as committed.
void commit(const PackageManifest& manifest, const InstallPlan& plan, const fs::path& gameFolder,
            const fs::path& updateFolder, const UpdateStepGate& gate) {
  for (const fs::path& path : plan.changed) {
    passGate(gate, "move");
    rejectLinks(gameFolder, path);
    fs::create_directories((gameFolder / path).parent_path());
    moveReplacing(updateFolder / L"stage" / path, gameFolder / path);
  }
  for (const fs::path& path : plan.removed) {
    passGate(gate, "delete");
    rejectLinks(gameFolder, path);
    removeFile(gameFolder / path);
  }
  passGate(gate, "manifest");
  writeFileAtomically(installedManifestPath(gameFolder), manifest.text);
  passGate(gate, "marker");
  writeFileAtomically(clientMarkerPath(gameFolder), clientMarkerText);
  passGate(gate, "journal");
  removeFile(updateFolder / L"journal.txt");
}

// The commit's own failure is what the caller must see; should the undo fail too, the
// journal stays and the next start replays it.
void undoFailedCommit(const fs::path& gameFolder, const UpdateStepGate& gate) {
  try {
    recoverInterruptedInstall(gameFolder, gate);
  } catch (const std::exception&) {
  }
}

// The record is rewritten once the new state is committed; a failure to write it only costs the
// next start a hashing pass.
void recordCommittedFiles(const PackageManifest& manifest, const InstallPlan& plan, GameFileCheck& current) {
  try {
    for (std::size_t i = 0; i < plan.changedFiles.size(); ++i)
      current.noteInstalled(plan.changedFiles[i]->path, plan.changedFiles[i]->sha256, plan.stagedFacts[i]);
    current.save(manifest.text);
  } catch (const std::exception&) {
  }
}

void restoreFromBackup(const fs::path& saved, const fs::path& live, const UpdateStepGate& gate) {
  fs::create_directories(live.parent_path());
  if (holdsFile(live, fs::file_size(saved), sha256File(saved))) return;
  passGate(gate, "restore");
  copyInto(saved, live);
  flushFile(live);
}

void restoreRecordedManifest(const fs::path& gameFolder, const fs::path& updateFolder, const UpdateStepGate& gate) {
  const fs::path previous = updateFolder / L"previous.manifest";
  passGate(gate, "manifest");
  if (fs::exists(previous))
    writeFileAtomically(installedManifestPath(gameFolder), readPackageMetadata(previous));
  else
    removeFile(installedManifestPath(gameFolder));
}

InstallOutcome install(const LatestPackage& package, const fs::path& gameFolder, const InstallProgress& progress,
                       const UpdateStepGate& gate, CheckMode mode, GameFileCheck* given) {
  refuseForeignInstall(package.manifest, gameFolder);
  rejectLinks(gameFolder, kUpdateFolder / L"journal.txt");
  const bool interrupted = fs::exists(gameUpdateFolder(gameFolder) / L"journal.txt");
  recoverInterruptedInstall(gameFolder, gate);
  const fs::path updateFolder = gameUpdateFolder(gameFolder);
  rejectLinks(gameFolder, kUpdateFolder);
  removeTree(updateFolder);
  fs::create_directories(updateFolder / L"stage");

  InstallPlan plan;
  std::optional<GameFileCheck> own;
  GameFileCheck& current = given && !interrupted ? *given : own.emplace(gameFolder, package.manifest.files, mode);
  stageChangedFiles(package, updateFolder / L"stage", progress, current, plan);
  const std::string installedText = installedManifestText(gameFolder);
  const InstallOutcome outcome{planRemovals(package.manifest, installedText, gameFolder, updateFolder, plan),
                               current.hashedCount()};
  refuseUnrecoverableJournal(plan.changed, plan.removed);
  const std::vector<JournalEntry> journal = backUpLiveFiles(plan, gameFolder, updateFolder / L"backup");
  const bool filesChange = !plan.changed.empty() || !plan.removed.empty();
  if (filesChange) dropVerifiedState(gameFolder);
  writeFileAtomically(updateFolder / L"journal.txt", formatJournal(journal));

  if (progress) progress(L"Applying verified game files...", 85);
  try {
    commit(package.manifest, plan, gameFolder, updateFolder, gate);
  } catch (const SimulatedCrash&) {
    throw;
  } catch (...) {
    undoFailedCommit(gameFolder, gate);
    throw;
  }
  if (filesChange || outcome.hashed > 0 || installedText != package.manifest.text)
    recordCommittedFiles(package.manifest, plan, current);
  try {
    removeTree(updateFolder);
  } catch (const std::exception&) {
  }
  if (progress) progress(L"Game ready: " + utf8ToWide(package.manifest.version), 100);
  return outcome;
}

}  // namespace

InstallOutcome installGamePackage(const LatestPackage& package, const fs::path& gameFolder, const InstallProgress& progress,
                                  const UpdateStepGate& gate, CheckMode mode) {
  return install(package, gameFolder, progress, gate, mode, nullptr);
}

InstallOutcome installGamePackage(const LatestPackage& package, const fs::path& gameFolder, GameFileCheck& current,
                                  const InstallProgress& progress, const UpdateStepGate& gate) {
  return install(package, gameFolder, progress, gate, CheckMode::UseRecord, &current);
}

void recoverInterruptedInstall(const fs::path& gameFolder, const UpdateStepGate& gate) {
  rejectLinks(gameFolder, kUpdateFolder / L"journal.txt");
  const fs::path updateFolder = gameUpdateFolder(gameFolder);
  const fs::path journalPath = updateFolder / L"journal.txt";
  if (!fs::exists(journalPath)) return;
  dropVerifiedState(gameFolder);
  const fs::path backup = updateFolder / L"backup";
  for (const JournalEntry& entry : parseJournal(readPackageMetadata(journalPath))) {
    rejectLinks(gameFolder, entry.path);
    rejectLinks(backup, entry.path);
    if (entry.restore) {
      restoreFromBackup(backup / entry.path, gameFolder / entry.path, gate);
    } else {
      passGate(gate, "delete");
      removeFile(gameFolder / entry.path);
    }
  }
  restoreRecordedManifest(gameFolder, updateFolder, gate);
  passGate(gate, "journal");
  removeFile(journalPath);
  passGate(gate, "cleanup");
  removeTree(updateFolder);
}

}  // namespace Corvanthorne::Update
