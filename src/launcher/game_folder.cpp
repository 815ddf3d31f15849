#include "launcher/game_folder.h"

#include <array>
#include <system_error>

#include "common/text.h"

namespace Corvanthorne {
namespace fs = std::filesystem;
namespace {

// A status query that fails counts as absent.
bool isDirectory(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

bool isRegularFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

fs::path currentDirectory() {
  std::error_code error;
  fs::path current = fs::current_path(error);
  return error ? fs::path() : current;
}

}  // namespace

fs::path executableDirectory() {
  if (const std::optional<fs::path> module = moduleFileName()) return module->parent_path();
  return currentDirectory();
}

bool isRecognisedExecutableName(const fs::path& fileName) {
  const std::string name = pathText(fileName);
  for (const char* known : {"launcher.exe", "Qelmarin.exe", "Corvanthorne.exe"})
    if (equalsIgnoringAsciiCase(name, known)) return true;
  return false;
}

bool isPackagedClientAt(const fs::path& moduleFile) {
  return isRecognisedExecutableName(moduleFile.filename()) &&
         isRegularFile(moduleFile.parent_path() / ".corvanthorne-client");
}

bool isPackagedClient() {
  const std::optional<fs::path> module = moduleFileName();
  return module && isPackagedClientAt(*module);
}

bool isSourceTreeRoot(const fs::path& folder) {
  return isDirectory(folder / "assets" / "worlds") && isRegularFile(folder / "CMakeLists.txt");
}

fs::path parentFolder(const fs::path& folder) {
  // Trailing separators belong to the last component, so "a/b/" has the parent "a".
  fs::path trimmed = folder;
  while (!trimmed.empty() && trimmed != trimmed.root_path() && !trimmed.has_filename())
    trimmed = trimmed.parent_path();
  if (trimmed.empty() || trimmed == trimmed.root_path()) return trimmed;
  return trimmed.parent_path();
}

fs::path chooseGameRoot(const fs::path& current, const fs::path& executable, bool packagedClient) {
  if (packagedClient) return executable;
  const std::array<fs::path, 4> candidates = {current, executable, parentFolder(current),
                                              parentFolder(executable)};
  for (const fs::path& candidate : candidates)
    if (!candidate.empty() && isSourceTreeRoot(candidate)) return candidate;
  return current.empty() ? executable : current;
}

const fs::path& gameRoot() {
  static const fs::path root =
      chooseGameRoot(currentDirectory(), executableDirectory(), isPackagedClient());
  return root;
}

fs::path gamePath(const fs::path& relative) { return gameRoot() / relative; }

fs::path assetPath(const fs::path& relative) { return gameRoot() / "assets" / relative; }

}  // namespace Corvanthorne
