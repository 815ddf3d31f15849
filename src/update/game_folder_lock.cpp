#include "update/game_folder_lock.h"

#include <system_error>

namespace Corvanthorne::Update {

std::filesystem::path clientMarkerPath(const std::filesystem::path& gameFolder) {
  return gameFolder / L".corvanthorne-client";
}

std::filesystem::path installedManifestPath(const std::filesystem::path& gameFolder) {
  return gameFolder / L".corvanthorne" / L"game.manifest";
}

bool isExistingRegularFile(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return false;
  if (error) throw std::filesystem::filesystem_error("status", path, error);
  return status.type() == std::filesystem::file_type::regular;
}

bool isInstalledGame(const std::filesystem::path& gameFolder) {
  return isExistingRegularFile(clientMarkerPath(gameFolder)) &&
         isExistingRegularFile(installedManifestPath(gameFolder)) &&
         (isExistingRegularFile(gameFolder / L"Qelmarin.exe") ||
          isExistingRegularFile(gameFolder / L"Corvanthorne.exe")) &&
         isExistingRegularFile(gameFolder / L"data" / L"gui" / L"launcher.ghi");
}

}  // namespace Corvanthorne::Update
