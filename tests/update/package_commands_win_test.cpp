// cvtool's package commands, run as a separate process the way a studio's scripts use them.
#include <gtest/gtest.h>

#include "support/process_win.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Update {
namespace {

using Testing::quotedPath;
using Testing::runCvtool;
using Testing::writeFile;


TEST(PackageCommands, CheckAndResolveReportResultsOrExactMessages) {
  Testing::TempDir root;
  const std::string hash(64, '0');
  std::string manifest = "CVPACKAGE 1 game r-2\r\n";
  for (const char* path : {"Corvanthorne.exe", "data/gui/launcher.ghi", "data/gui/game.ghi",
                           "assets/worlds/world_1.world.json", "patch notes.txt"})
    manifest += hash + " 3 " + path + "\r\n";
  writeFile(root / "game" / "r-2" / "manifest.txt", manifest);
  writeFile(root / "game.latest", "r-2\n");

  auto checked = runCvtool(L"manifest check " + quotedPath(root / "game" / "r-2" / "manifest.txt") + L" game");
  EXPECT_EQ(checked.exitCode, 0u);
  EXPECT_EQ(checked.output, "ok game r-2 5 files\n");
  checked = runCvtool(L"manifest check " + quotedPath(root / "game" / "r-2" / "manifest.txt") + L" launcher");
  EXPECT_EQ(checked.exitCode, 1u);
  EXPECT_EQ(checked.output, "Invalid package manifest header\n");

  auto resolved = runCvtool(L"package resolve " + quotedPath(root.path()) + L" game");
  EXPECT_EQ(resolved.exitCode, 0u);
  EXPECT_EQ(resolved.output, pathText(root / "game" / "r-2") + "\nr-2\n");
  writeFile(root / "game.latest", " r-2\n");
  resolved = runCvtool(L"package resolve " + quotedPath(root.path()) + L" game");
  EXPECT_EQ(resolved.exitCode, 1u);
  EXPECT_EQ(resolved.output, "Invalid package version pointer\n");
}

}  // namespace
}  // namespace Corvanthorne::Update
