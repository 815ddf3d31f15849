#pragma once
// The launcher's self-update and the update bootstrap (stages 1 and 2 of the launcher).
//
// A running program cannot overwrite its own executable, so an update spans three processes:
// the old launcher stages and verifies the new launcher.exe and starts a copy of itself as a
// helper ("apply.exe --apply-launcher-update <game folder> <handle>"); the helper waits for the
// old launcher to end, swaps the executables with a backup, records the new launcher's
// manifest and starts it; the new launcher's bootstrap then removes the staging folder.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/game_install.h"
#include "update/package_manifest.h"

namespace Corvanthorne::Update {

enum class HelperInvocation { NotHelper, WrongArgumentCount, Complete };

// Classifies the process arguments (program name first): the helper is recognised by
// "--apply-launcher-update" as the second argument and needs exactly four.
HelperInvocation classifyHelperArguments(const std::vector<std::wstring>& arguments);

// The old launcher's process handle as the helper receives it: unsigned decimal digits only,
// not zero. Nothing for anything else ("12x", "0", "").
std::optional<std::uint64_t> parseHelperHandle(std::wstring_view text);

// path in double quotes as one command-line argument: backslashes before the closing quote
// are doubled, so a drive root such as E:\ reads back as itself instead of escaping the quote.
std::wstring quotedCommandLinePath(const std::filesystem::path& path);

// "<helper>" --apply-launcher-update "<game folder>" <handle>, paths quoted as above.
std::wstring helperCommandLine(const std::filesystem::path& helper, const std::filesystem::path& gameFolder,
                               std::uint64_t handle);

// Whether a launcher package is offered over the launcher that runs now.
struct LauncherDecision {
  bool offer = false;
  std::string installedLabel;  // the recorded version, or "copied build"
  bool recordPackage = false;  // the running launcher is the package's: record its manifest
};

// installed: the parsed .corvanthorne/launcher.manifest, when there is one. A record that
// does not describe the running launcher's bytes is ignored, and the running launcher counts
// as a copied build. A recorded version is replaced only by a greater one (byte order).
LauncherDecision decideLauncherUpdate(const std::optional<PackageManifest>& installed,
                                      std::string_view runningSha256, const PackageManifest& package);

// The prompt's detail text: "Installed: ...\nAvailable: ...\n\nPress OK ...".
std::wstring launcherUpdatePromptText(std::string_view installedLabel, std::string_view availableVersion);

// Paths of the self-update below the game folder.
struct LauncherUpdatePaths {
  explicit LauncherUpdatePaths(const std::filesystem::path& gameFolder);
  std::filesystem::path launcher;          // launcher.exe
  std::filesystem::path manifest;          // .corvanthorne/launcher.manifest
  std::filesystem::path updateFolder;      // .corvanthorne/update
  std::filesystem::path staging;           // .corvanthorne/update/launcher
  std::filesystem::path staged;            // staging/launcher.exe
  std::filesystem::path pending;           // staging/pending.manifest
  std::filesystem::path previousManifest;  // staging/previous.manifest
  std::filesystem::path backup;            // staging/previous-launcher.exe
  std::filesystem::path helper;            // .corvanthorne/update/apply.exe
};

// Stage 1. No value: not the helper. A value: this process's exit code. The gate sees each
// step of the swap before it runs ("wait", "lock", "verify", "swap", "manifest", "restart");
// only test builds pass one.
std::optional<int> runLauncherUpdateHelper(const UpdateStepGate& gate = {});

// Copies the package's launcher into the staging folder, verifies it, and starts the helper
// with an inheritable handle of this process. The caller must then end.
void stageLauncherUpdate(const std::filesystem::path& gameFolder, const LatestPackage& launcherPackage);

// At every bootstrap run: records a swap that happened and discards the staging folder.
void finishPendingLauncherUpdate(const std::filesystem::path& gameFolder);

// The decision for the launcher in the game folder; records the package's manifest when the
// running launcher already is the package's.
LauncherDecision launcherUpdateOffer(const std::filesystem::path& gameFolder, const LatestPackage& launcherPackage);

// Stage 2. False: the process must end now (exit code 0). verifying: the player asked for every
// installed file to be read whole and repaired ("--verify", or "Verify game files").
bool runBootstrap(void* moduleHandle, bool verifying = false);

}  // namespace Corvanthorne::Update
