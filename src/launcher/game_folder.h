#pragma once
// The two folders every file is found from: the running executable's folder, and the game
// root (the same folder in an installed game; the source tree in a developer checkout).
#include <filesystem>
#include <optional>

namespace Corvanthorne {

// The running executable's full file name; empty when the OS cannot tell (platform half).
std::optional<std::filesystem::path> moduleFileName();

// Parent of the module file name; the working directory (or an empty path) when unknown.
std::filesystem::path executableDirectory();

// launcher.exe, Qelmarin.exe or Corvanthorne.exe (any case) with a regular file
// .corvanthorne-client beside it.
bool isPackagedClient();

// assets/worlds is a directory and CMakeLists.txt a regular file directly below folder.
bool isSourceTreeRoot(const std::filesystem::path& folder);

// Computed once, on first use, from any thread.
const std::filesystem::path& gameRoot();
std::filesystem::path gamePath(const std::filesystem::path& relative);
std::filesystem::path assetPath(const std::filesystem::path& relative);

// The pieces gameRoot() is made of, exposed for tests.
bool isRecognisedExecutableName(const std::filesystem::path& fileName);
bool isPackagedClientAt(const std::filesystem::path& moduleFile);
// The folder without its last component; a root stays itself.
std::filesystem::path parentFolder(const std::filesystem::path& folder);
std::filesystem::path chooseGameRoot(const std::filesystem::path& currentDirectory,
                                     const std::filesystem::path& executableDirectory,
                                     bool packagedClient);

}  // namespace Corvanthorne
