#include "update/game_install.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

#include "common/text.h"
#include "update/file_ops.h"
#include "update/game_folder_lock.h"
#include "update/install_journal.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;

const fs::path kUpdateFolder = fs::path(L".corvanthorne") / L"update" / L"game";

struct InstallPlan {
  std::unordered_set<std::wstring> newPaths;  // path identities
  std::vector<fs::path> changed;  // manifest order
  std::vector<fs::path> removed;  // old manifest order
};

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

// Forces staged and backed-up files to disk on a few threads at once: the file system groups
// concurrent flushes, so a package of many files does not pay one disk round trip per file.
// finish() returns only when every file is flushed, before the journal enables the commit.
class ParallelFlush {
 public:
  ParallelFlush() {
    for (int i = 0; i < kThreads; ++i) workers_.emplace_back([this] { run(); });
  }
  ~ParallelFlush() { stop(); }
  ParallelFlush(const ParallelFlush&) = delete;
  ParallelFlush& operator=(const ParallelFlush&) = delete;

  void add(fs::path path) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(path));
    }
    ready_.notify_one();
  }

  // Waits for every flush; rethrows the first failure.
  void finish() {
    stop();
    if (error_) std::rethrow_exception(error_);
  }

 private:
  static constexpr int kThreads = 8;

  void stop() {
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
    }
    ready_.notify_all();
    for (std::thread& worker : workers_)
      if (worker.joinable()) worker.join();
  }

  void run() {
    while (true) {
      fs::path path;
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) return;
        path = std::move(queue_.front());
        queue_.pop_front();
      }
      try {
        flushFile(path);
      } catch (...) {
        std::lock_guard lock(mutex_);
        if (!error_) error_ = std::current_exception();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<fs::path> queue_;
  bool closing_ = false;
  std::exception_ptr error_;
  std::vector<std::thread> workers_;
};

void passGate(const UpdateStepGate& gate, std::string_view step) {
  if (gate) gate(step);
}

void removeIfPresent(const fs::path& path) {
  std::error_code error;
  fs::remove(path, error);
  if (error && error != std::errc::no_such_file_or_directory) throw fs::filesystem_error("remove", path, error);
}

void copyInto(const fs::path& from, const fs::path& to) {
  fs::create_directories(to.parent_path());
  copyFileReplacing(from, to);
}

bool hasSameContent(const fs::path& live, std::uint64_t size, const std::string& sha256) {
  return isExistingRegularFile(live) && fs::file_size(live) == size && sha256File(live) == sha256;
}

void refuseForeignInstall(const PackageManifest& manifest, const fs::path& gameFolder) {
  std::error_code ignored;
  const bool sourceTree = fs::exists(fs::symlink_status(gameFolder / L"CMakeLists.txt", ignored));
  if (manifest.kind != "game" || sourceTree) fail("Game packages can only be installed into a separate play folder");
}

void stageChangedFiles(const LatestPackage& package, const fs::path& gameFolder, const fs::path& stage,
                       const InstallProgress& progress, InstallPlan& plan, ParallelFlush& flush) {
  const std::vector<PackageFile>& files = package.manifest.files;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const PackageFile& file = files[i];
    if (!isAllowedPackagePath(file.path, "game")) fail("Invalid installation file");
    rejectLinks(gameFolder, file.path);
    plan.newPaths.insert(packagePathIdentity(file.path));
    if (progress) progress(L"Checking " + packagePathKey(file.path), static_cast<int>(i * 70 / files.size()));
    if (hasSameContent(gameFolder / file.path, file.size, file.sha256)) continue;
    rejectLinks(package.folder, file.path);
    const fs::path staged = stage / file.path;
    copyInto(package.folder / file.path, staged);
    if (!hasSameContent(staged, file.size, file.sha256)) fail("Package checksum failed: " + pathText(file.path));
    flush.add(staged);
    plan.changed.push_back(file.path);
  }
}

// Old files that the new package drops; a release's removal list narrows them to the files
// it names. Also keeps the old manifest's text so that recovery can put it back.
void planRemovals(const PackageManifest& manifest, const fs::path& gameFolder, const fs::path& updateFolder,
                  InstallPlan& plan) {
  const fs::path recorded = installedManifestPath(gameFolder);
  if (!fs::exists(recorded)) return;
  const PackageManifest old = parsePackageManifest(recorded, "game");
  const std::set<fs::path> named(manifest.removals.begin(), manifest.removals.end());
  for (const PackageFile& file : old.files) {
    if (plan.newPaths.contains(packagePathIdentity(file.path))) continue;
    if (manifest.hasRemovalList && !named.contains(file.path)) continue;
    plan.removed.push_back(file.path);
  }
  writeFileAtomically(updateFolder / L"previous.manifest", old.text);
}

std::vector<JournalEntry> backUpLiveFiles(const InstallPlan& plan, const fs::path& gameFolder,
                                          const fs::path& backup, ParallelFlush& flush) {
  std::vector<JournalEntry> journal;
  for (const auto* paths : {&plan.changed, &plan.removed}) {
    for (const fs::path& path : *paths) {
      rejectLinks(gameFolder, path);
      const bool existed = fs::exists(gameFolder / path);
      if (existed) {
        copyInto(gameFolder / path, backup / path);
        flush.add(backup / path);
      }
      journal.push_back({existed, path});
    }
  }
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
    removeIfPresent(gameFolder / path);
  }
  passGate(gate, "manifest");
  writeFileAtomically(installedManifestPath(gameFolder), manifest.text);
  passGate(gate, "marker");
  writeFileAtomically(clientMarkerPath(gameFolder), clientMarkerText);
  passGate(gate, "journal");
  fs::remove(updateFolder / L"journal.txt");
}

// The commit's own failure is what the caller must see; should the undo fail too, the
// journal stays and the next start replays it.
void undoFailedCommit(const fs::path& gameFolder, const UpdateStepGate& gate) {
  try {
    recoverInterruptedInstall(gameFolder, gate);
  } catch (const std::exception&) {
  }
}

void restoreFromBackup(const fs::path& saved, const fs::path& live, const UpdateStepGate& gate) {
  fs::create_directories(live.parent_path());
  if (hasSameContent(live, fs::file_size(saved), sha256File(saved))) return;
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
    removeIfPresent(installedManifestPath(gameFolder));
}

}  // namespace

void installGamePackage(const LatestPackage& package, const fs::path& gameFolder, const InstallProgress& progress,
                        const UpdateStepGate& gate) {
  refuseForeignInstall(package.manifest, gameFolder);
  recoverInterruptedInstall(gameFolder, gate);
  const fs::path updateFolder = gameUpdateFolder(gameFolder);
  rejectLinks(gameFolder, kUpdateFolder);
  fs::remove_all(updateFolder);
  fs::create_directories(updateFolder / L"stage");

  InstallPlan plan;
  ParallelFlush flush;
  stageChangedFiles(package, gameFolder, updateFolder / L"stage", progress, plan, flush);
  planRemovals(package.manifest, gameFolder, updateFolder, plan);
  const std::vector<JournalEntry> journal = backUpLiveFiles(plan, gameFolder, updateFolder / L"backup", flush);
  flush.finish();
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
  std::error_code ignored;
  fs::remove_all(updateFolder, ignored);
  if (progress) progress(L"Game ready: " + utf8ToWide(package.manifest.version), 100);
}

void recoverInterruptedInstall(const fs::path& gameFolder, const UpdateStepGate& gate) {
  rejectLinks(gameFolder, kUpdateFolder / L"journal.txt");
  const fs::path updateFolder = gameUpdateFolder(gameFolder);
  const fs::path journalPath = updateFolder / L"journal.txt";
  if (!fs::exists(journalPath)) return;
  const fs::path backup = updateFolder / L"backup";
  for (const JournalEntry& entry : parseJournal(readPackageMetadata(journalPath))) {
    rejectLinks(gameFolder, entry.path);
    rejectLinks(backup, entry.path);
    if (entry.restore) {
      restoreFromBackup(backup / entry.path, gameFolder / entry.path, gate);
    } else {
      passGate(gate, "delete");
      removeIfPresent(gameFolder / entry.path);
    }
  }
  restoreRecordedManifest(gameFolder, updateFolder, gate);
  passGate(gate, "journal");
  fs::remove(journalPath);
  passGate(gate, "cleanup");
  fs::remove_all(updateFolder);
}

}  // namespace Corvanthorne::Update
