#pragma once
// Journaled game install: stage and verify every changed file, back up what the commit will
// overwrite or delete, write the undo journal whole, then commit. Any commit failure, and
// every later start, replays the journal, so the folder is always either exactly as before
// or exactly as the package describes.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "update/game_file_check.h"
#include "update/package_manifest.h"

namespace Corvanthorne::Update {

using InstallProgress = std::function<void(const std::wstring& text, int percent)>;

// Fault injection for tests: called before every file-system step of the commit and of
// recovery with the step's name ("move", "delete", "manifest", "marker", "journal",
// "restore", "cleanup"). Throwing a standard exception fails that step; throwing
// SimulatedCrash stops the install like a dying process, without recovery.
using UpdateStepGate = std::function<void(std::string_view step)>;
struct SimulatedCrash {};

// Shows the gate, if there is one, the step about to run.
inline void passGate(const UpdateStepGate& gate, std::string_view step) {
  if (gate) gate(step);
}

struct InstallOutcome {
  std::size_t repaired = 0;  // files the installed manifest already described, found damaged or missing
  std::size_t hashed = 0;    // installed files read whole to check them
};

// Returns only when the folder matches the package; after a commit failure the folder has
// been restored before the exception leaves. A file is taken as current on the verified-state
// record's word where the record provably still describes it; CheckMode::Full reads every file.
InstallOutcome installGamePackage(const LatestPackage& package, const std::filesystem::path& gameFolder,
                                  const InstallProgress& progress, const UpdateStepGate& gate = {},
                                  CheckMode mode = CheckMode::UseRecord);

// The same with the check of this run made by the caller, who may have asked it about sizes
// already; it is set aside when the install must first undo an interrupted one.
InstallOutcome installGamePackage(const LatestPackage& package, const std::filesystem::path& gameFolder,
                                  GameFileCheck& current, const InstallProgress& progress,
                                  const UpdateStepGate& gate = {});

// Replays a leftover journal, if any; silent when there is none.
void recoverInterruptedInstall(const std::filesystem::path& gameFolder, const UpdateStepGate& gate = {});

}  // namespace Corvanthorne::Update
