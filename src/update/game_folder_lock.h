#pragma once
// The game folder's install state: the client marker and the recorded manifest that an
// install commit writes, and the check that a folder holds a complete installed game.
// The folder lock itself is Windows-only (game_folder_lock_win.h).
#include <filesystem>
#include <string_view>

namespace Corvanthorne::Update {

inline constexpr std::string_view clientMarkerText = "Qelmarin portable client 1\n";

std::filesystem::path clientMarkerPath(const std::filesystem::path& gameFolder);
std::filesystem::path installedManifestPath(const std::filesystem::path& gameFolder);

// True when the folder has the marker, the recorded manifest, a client executable and the
// launcher's GUI document, each a regular file.
bool isInstalledGame(const std::filesystem::path& gameFolder);

// True for an existing regular file, false when the path (or a folder on it) is missing or
// is something else; any other failed status query throws the "status" file-system error.
bool isExistingRegularFile(const std::filesystem::path& path);

}  // namespace Corvanthorne::Update
