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

TEST(GameFolder, SourceTreeNeedsBothLandmarksOfTheRightKind) {
  TempDir dir;
  EXPECT_FALSE(isSourceTreeRoot(dir.path()));
  fs::create_directories(dir / "assets" / "worlds");
  EXPECT_FALSE(isSourceTreeRoot(dir.path()));
  fs::create_directories(dir / "CMakeLists.txt");  // a folder, not a file
  EXPECT_FALSE(isSourceTreeRoot(dir.path()));
  fs::remove(dir / "CMakeLists.txt");
  writeFile(dir / "CMakeLists.txt", "");
  EXPECT_TRUE(isSourceTreeRoot(dir.path()));
  fs::remove_all(dir / "assets" / "worlds");
  writeFile(dir / "assets" / "worlds", "");  // a file, not a folder
  EXPECT_FALSE(isSourceTreeRoot(dir.path()));
}

TEST(GameFolder, PackagedClientNeedsARecognisedNameAndAMarkerFile) {
  TempDir dir;
  EXPECT_FALSE(isPackagedClientAt(dir / "launcher.exe"));
  writeFile(dir / ".corvanthorne-client", "");
  for (const char* name : {"launcher.exe", "LAUNCHER.EXE", "Qelmarin.exe", "corvanthorne.EXE"})
    EXPECT_TRUE(isPackagedClientAt(dir / name)) << name;
  for (const char* name : {"launcher2.exe", "launcher.exe.bak", "cvtool.exe", "launcher"})
    EXPECT_FALSE(isPackagedClientAt(dir / name)) << name;

  TempDir other;
  fs::create_directories(other / ".corvanthorne-client");  // a folder does not count
  EXPECT_FALSE(isPackagedClientAt(other / "launcher.exe"));
}

TEST(GameFolder, ParentDropsTheLastComponentAndKeepsRoots) {
  EXPECT_EQ(parentFolder("/a/b/c"), fs::path("/a/b"));
  EXPECT_EQ(parentFolder("/a/b/"), fs::path("/a"));
  EXPECT_EQ(parentFolder("/"), fs::path("/"));
  EXPECT_EQ(parentFolder(""), fs::path(""));
#ifdef _WIN32
  EXPECT_EQ(parentFolder(L"C:\\Games\\Qel"), fs::path(L"C:\\Games"));
  EXPECT_EQ(parentFolder(L"C:\\Games/Qel"), fs::path(L"C:\\Games"));
  EXPECT_EQ(parentFolder(L"C:\\"), fs::path(L"C:\\"));
#endif
}

TEST(GameFolder, PackagedClientUsesTheExecutableDirectory) {
  TempDir dir;
  makeSourceTree(dir / "tree");
  EXPECT_EQ(chooseGameRoot(dir / "tree", dir / "game", true), dir / "game");
}

TEST(GameFolder, BuildOutputTwoLevelsBelowATreeFindsTheTreeFromTheWorkingParent) {
  TempDir dir;
  const fs::path tree = dir / "tree";
  makeSourceTree(tree);
  fs::create_directories(tree / "build" / "Release");
  EXPECT_EQ(chooseGameRoot(tree / "build", tree / "build" / "Release", false), tree);
  // The working directory wins over the executable's own tree when both qualify.
  makeSourceTree(dir / "other");
  EXPECT_EQ(chooseGameRoot(dir / "other", tree / "build", false), dir / "other");
  // The executable's parent is tried last.
  EXPECT_EQ(chooseGameRoot(dir / "nowhere" / "x", tree / "bin", false), tree);
}

TEST(GameFolder, WithoutLandmarksTheWorkingDirectoryIsTheRoot) {
  TempDir dir;
  EXPECT_EQ(chooseGameRoot(dir / "work", dir / "bin", false), dir / "work");
  EXPECT_EQ(chooseGameRoot(fs::path(), dir / "bin", false), dir / "bin");
}

TEST(GameFolder, RootIsFixedAtFirstUseAndPathsAreJoinedToIt) {
  const fs::path root = gameRoot();
  EXPECT_EQ(&gameRoot(), &gameRoot());
  EXPECT_EQ(gamePath("launcher.ini"), root / "launcher.ini");
  EXPECT_EQ(assetPath("textures/Loading.png"), root / "assets" / "textures/Loading.png");
  EXPECT_FALSE(executableDirectory().empty());
  EXPECT_TRUE(fs::is_directory(executableDirectory()));
}

}  // namespace
}  // namespace Corvanthorne
