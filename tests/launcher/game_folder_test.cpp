#include "launcher/game_folder.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {
namespace fs = std::filesystem;
using Testing::TempDir;
using Testing::writeFile;

void makeSourceTree(const fs::path& folder) {
  fs::create_directories(folder / "assets" / "worlds");
  writeFile(folder / "CMakeLists.txt", "project(Game)\n");
}

TEST(GameFolder, LandmarksMustBeOfTheRightKind) {
  TempDir dir;
  EXPECT_FALSE(isSourceTreeRoot(dir.path()));
  fs::create_directories(dir / "assets" / "worlds");
  fs::create_directories(dir / "CMakeLists.txt");  // a folder, not a file
  EXPECT_FALSE(isSourceTreeRoot(dir.path()));
  fs::remove(dir / "CMakeLists.txt");
  writeFile(dir / "CMakeLists.txt", "");
  EXPECT_TRUE(isSourceTreeRoot(dir.path()));
  fs::remove_all(dir / "assets" / "worlds");
  writeFile(dir / "assets" / "worlds", "");  // a file, not a folder
  EXPECT_FALSE(isSourceTreeRoot(dir.path()));

  EXPECT_FALSE(isPackagedClientAt(dir / "launcher.exe"));
  fs::create_directories(dir / ".corvanthorne-client");  // a folder does not count
  EXPECT_FALSE(isPackagedClientAt(dir / "launcher.exe"));
  fs::remove(dir / ".corvanthorne-client");
  writeFile(dir / ".corvanthorne-client", "");
  for (const char* name : {"launcher.exe", "LAUNCHER.EXE", "Qelmarin.exe", "corvanthorne.EXE"})
    EXPECT_TRUE(isPackagedClientAt(dir / name)) << name;
  for (const char* name : {"launcher2.exe", "launcher.exe.bak", "cvtool.exe", "launcher"})
    EXPECT_FALSE(isPackagedClientAt(dir / name)) << name;
}

TEST(GameFolder, ParentDropsTheLastComponentAndKeepsRoots) {
  for (const auto& [folder, parent] : {std::pair<fs::path, fs::path>{"/a/b/c", "/a/b"}, {"/a/b/", "/a"}, {"/", "/"}, {"", ""}})
    EXPECT_EQ(parentFolder(folder), parent) << folder;
#ifdef _WIN32
  for (const auto& [folder, parent] : {std::pair<fs::path, fs::path>{L"C:\\Games\\Qel", L"C:\\Games"},
                                       {L"C:\\Games/Qel", L"C:\\Games"}, {L"C:\\", L"C:\\"}})
    EXPECT_EQ(parentFolder(folder), parent) << folder;
#endif
}

TEST(GameFolder, RootChoiceFollowsPackagingLandmarksAndTheWorkingDirectory) {
  TempDir dir;
  const fs::path tree = dir / "tree";
  makeSourceTree(tree);
  fs::create_directories(tree / "build" / "Release");
  makeSourceTree(dir / "other");
  const struct {
    fs::path working, executable;
    bool packaged;
    fs::path root;
  } cases[] = {
      {tree, dir / "game", true, dir / "game"},                    // a packaged client uses its own folder
      {tree / "build", tree / "build" / "Release", false, tree},   // build output two levels below a tree
      {dir / "other", tree / "build", false, dir / "other"},      // the working directory wins
      {dir / "nowhere" / "x", tree / "bin", false, tree},          // the executable's parent is tried last
      {dir / "work", dir / "bin", false, dir / "work"},            // no landmarks: the working directory
      {fs::path(), dir / "bin", false, dir / "bin"},
  };
  for (const auto& c : cases) EXPECT_EQ(chooseGameRoot(c.working, c.executable, c.packaged), c.root) << c.working;
  EXPECT_TRUE(fs::is_directory(executableDirectory()));
}

}  // namespace
}  // namespace Corvanthorne
