#include "update/game_folder_lock.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace Corvanthorne::Update {
namespace {

using Testing::writeFile;

TEST(InstalledGame, NeedsMarkerManifestClientAndLauncherDocument) {
  Testing::TempDir game;
  EXPECT_FALSE(isInstalledGame(game.path()));
  std::filesystem::create_directory(game / ".corvanthorne-client");  // a folder is not a marker
  writeFile(game / ".corvanthorne" / "game.manifest", "x");
  writeFile(game / "Corvanthorne.exe", "x");
  writeFile(game / "data" / "gui" / "launcher.ghi", "x");
  EXPECT_FALSE(isInstalledGame(game.path()));
  std::filesystem::remove(game / ".corvanthorne-client");
  writeFile(game / ".corvanthorne-client", clientMarkerText);
  EXPECT_TRUE(isInstalledGame(game.path()));
  std::filesystem::remove(game / "data" / "gui" / "launcher.ghi");
  EXPECT_FALSE(isInstalledGame(game.path()));
  EXPECT_FALSE(isInstalledGame(game / "missing" / "deeper"));
}

}  // namespace
}  // namespace Corvanthorne::Update
