#include "update/rolling_check.h"

#include <windows.h>

#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "common/handle_win.h"
#include "common/text.h"
#include "update/file_ops.h"
#include "update/game_file_check.h"
#include "update/game_folder_lock_win.h"
#include "update/package_manifest.h"
#include "update/verified_state.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;

// Background mode lowers the thread's disk and memory priority as well as its CPU priority, so
// that the check yields to the game, the launcher and everything else.
void enterBackgroundMode() {
  if (!SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN))
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
}

std::uint64_t recordedBytes(const VerifiedState& state) {
  return std::accumulate(state.files.begin(), state.files.end(), std::uint64_t{0},
                         [](std::uint64_t sum, const auto& entry) { return sum + entry.second.facts.size; });
}

// Written only while the folder is free and still holds the manifest the record was read for:
// an install running meanwhile writes its own.
void saveIfStillInstalled(const fs::path& gameFolder, const VerifiedState& state) {
  const ScopedHandle lock = acquireGameFolderLock(gameFolder, false);
  if (lock && sha256Bytes(installedManifestText(gameFolder)) == state.manifestSha256) saveVerifiedState(gameFolder, state);
}

}  // namespace

RollingCheck::RollingCheck(fs::path gameFolder, std::function<void()> onDamage, std::uint64_t budget)
    : gameFolder_(std::move(gameFolder)), onDamage_(std::move(onDamage)), budget_(budget) {
  thread_ = std::thread([this] { run(); });
}

RollingCheckReport RollingCheck::stop() {
  stopping_ = true;
  return wait();
}

RollingCheckReport RollingCheck::wait() {
  if (thread_.joinable()) thread_.join();
  return report_;
}

void RollingCheck::run() {
  try {
    enterBackgroundMode();
    std::optional<VerifiedState> state = loadVerifiedState(gameFolder_);
    if (!state) return;
    const std::uint64_t budget = budget_ ? budget_ : rollingCheckBudget(recordedBytes(*state));
    for (const std::string& path : oldestHashedFirst(*state, budget)) {
      if (stopping_) break;
      const fs::path relative = pathFromUtf8(path);
      rejectLinks(gameFolder_, relative);
      std::optional<HashedFile> hashed;
      try {
        hashed = hashWithFacts(gameFolder_ / relative, &stopping_);
      } catch (const std::exception&) {
      }  // an unreadable file is no longer vouched for
      if (stopping_) break;
      VerifiedFile& entry = state->files.at(path);
      ++report_.filesChecked;
      report_.bytesChecked += entry.facts.size;
      if (hashed && hashed->sha256 == entry.sha256Text()) {
        entry.lastFullHash = fileTimeNow();  // its facts stay: a start compares them with the listing
        continue;
      }
      state->files.erase(path);
      if (report_.damaged++ == 0 && onDamage_) onDamage_();
    }
    if (report_.filesChecked > 0) saveIfStillInstalled(gameFolder_, *state);
  } catch (const std::exception&) {
    // The check is a courtesy: whatever stops it leaves the record as it was.
  }
}

}  // namespace Corvanthorne::Update
