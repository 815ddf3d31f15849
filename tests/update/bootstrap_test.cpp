#include "update/bootstrap.h"

#include <gtest/gtest.h>

#include "support/message_of.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Update {
namespace {

TEST(UpdateWindowLayout, ScalesEveryLengthWithTheMonitorDpi) {
  struct Row {
    unsigned dpi;
    int width, height, titleFont, bodyFont;
    PixelRect bar, firstButton, lastButton;
  };
  const Row rows[] = {
      {96, 610, 380, 23, 15, {24, 288, 586, 296}, {24, 316, 246, 356}, {390, 316, 580, 356}},
      {120, 763, 475, 29, 19, {30, 360, 733, 370}, {30, 395, 308, 445}, {488, 395, 726, 445}},
      {144, 915, 570, 35, 23, {36, 432, 879, 444}, {36, 474, 369, 534}, {585, 474, 870, 534}},
      {192, 1220, 760, 46, 30, {48, 576, 1172, 592}, {48, 632, 492, 712}, {780, 632, 1160, 712}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(updateWindowClientRect(row.dpi), (PixelRect{0, 0, row.width, row.height})) << row.dpi;
    const UpdateWindowLayout layout = layoutUpdateWindow(row.width, row.height, row.dpi);
    EXPECT_EQ(layout.titleFontHeight, row.titleFont) << row.dpi;
    EXPECT_EQ(layout.bodyFontHeight, row.bodyFont) << row.dpi;
    EXPECT_EQ(layout.bar, row.bar) << row.dpi;
    EXPECT_EQ(layout.buttons[0], row.firstButton) << row.dpi;
    EXPECT_EQ(layout.buttons[2], row.lastButton) << row.dpi;
  }
  const UpdateWindowLayout design = layoutUpdateWindow(610, 380, 96);
  EXPECT_EQ(design.detail, (PixelRect{24, 126, 586, 280}));
  EXPECT_EQ(barFill(design.bar, 50), (PixelRect{24, 288, 305, 296}));
}

TEST(UpdatePatchSource, IsOneLineWithoutItsLineEnd) {
  EXPECT_EQ(patchSourceFromText("https://patch.example/live\r\n\n"), L"https://patch.example/live");
}

TEST(UpdateTimeLeft, EstimatesFromTheRateOnceTheRunHasGoneOn) {
  TimeLeftEstimate estimate;
  estimate.restart(0);
  estimate.report(0, 0);
  estimate.report(1, 10);
  EXPECT_EQ(estimate.text(), L"") << "too early to tell";
  estimate.report(30, 20);  // 20 % in 30 s: 2 minutes for the remaining 80 %
  EXPECT_EQ(estimate.text(), L"About 2 minutes left");
  for (const auto& [seconds, text] : std::vector<std::pair<double, std::wstring>>{
           {59, L"Less than a minute left"}, {60, L"About 1 minute left"}, {5400, L"About 2 hours left"}})
    EXPECT_EQ(timeLeftText(seconds), text) << seconds;
}

TEST(UpdateFreeSpace, CountsChangedFilesWithTheirBackupsAndNamesWhatIsMissing) {
  Testing::TempDir game;
  Testing::writeFile(game / "assets" / "same.bin", std::string(100, 's'));
  Testing::writeFile(game / "Qelmarin.exe", std::string(10, 'c'));
  const std::string hash(64, 'a');
  const PackageManifest manifest = parsePackageManifestText(
      "CVPACKAGE 1 game v2\n" + hash + " 100 assets/same.bin\n" + hash + " 5000 Qelmarin.exe\n" + hash +
          " 1 data/gui/launcher.ghi\n" + hash + " 1 data/gui/game.ghi\n" + hash + " 2 assets/worlds/world_1.world.json\n",
      "game");
  EXPECT_EQ(installSpaceNeeded(manifest, game.path()), 5000u + 10u + 1u + 1u + 2u);
  EXPECT_EQ(Testing::messageOf([] { requireFreeSpace(3'000'000'000, 1'000'000'000); }),
            "There is not enough free disk space to install the game: 1.9 GB more is needed on the game folder's "
            "drive. Free some space, then press Retry.");
  EXPECT_EQ(byteSizeText(340 * 1024 * 1024), "340 MB");
}

}  // namespace
}  // namespace Corvanthorne::Update
