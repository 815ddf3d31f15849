#include "update/bootstrap.h"

#include <gtest/gtest.h>

#include "support/message_of.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Update {
namespace {

TEST(UpdateWindowLayout, ScalesEveryLengthWithTheMonitorDpi) {
  struct Row {
    unsigned dpi;
    PixelRect client;
    int titleFont, bodyFont;
    PixelRect bar, firstButton, lastButton;
  };
  const Row rows[] = {
      {96, {0, 0, 610, 380}, 23, 15, {24, 288, 586, 296}, {24, 316, 246, 356}, {390, 316, 580, 356}},
      {120, {0, 0, 763, 475}, 29, 19, {30, 360, 733, 370}, {30, 395, 308, 445}, {488, 395, 726, 445}},
      {144, {0, 0, 915, 570}, 35, 23, {36, 432, 879, 444}, {36, 474, 369, 534}, {585, 474, 870, 534}},
      {192, {0, 0, 1220, 760}, 46, 30, {48, 576, 1172, 592}, {48, 632, 492, 712}, {780, 632, 1160, 712}},
  };
  for (const Row& row : rows) {
    const PixelRect client = updateWindowClientRect(row.dpi);
    EXPECT_EQ(client, row.client) << row.dpi;
    const UpdateWindowLayout layout = layoutUpdateWindow(client.right, client.bottom, row.dpi);
    EXPECT_EQ(layout.titleFontHeight, row.titleFont) << row.dpi;
    EXPECT_EQ(layout.bodyFontHeight, row.bodyFont) << row.dpi;
    EXPECT_EQ(layout.bar, row.bar) << row.dpi;
    EXPECT_EQ(layout.buttons[0], row.firstButton) << row.dpi;
    EXPECT_EQ(layout.buttons[2], row.lastButton) << row.dpi;
  }
  const UpdateWindowLayout design = layoutUpdateWindow(610, 380, 96);
  EXPECT_EQ(design.title, (PixelRect{24, 22, 586, 58}));
  EXPECT_EQ(design.folder, (PixelRect{24, 70, 586, 114}));
  EXPECT_EQ(design.detail, (PixelRect{24, 126, 586, 280}));
  EXPECT_EQ(design.buttons[1], (PixelRect{256, 316, 380, 356}));
  EXPECT_EQ(barFill(design.bar, 50), (PixelRect{24, 288, 305, 296}));
  EXPECT_EQ(barFill(design.bar, 100), design.bar);
}

TEST(UpdateWindowButtons, EachFinishedStateOffersItsButtons) {
  struct Row {
    BootstrapState state;
    bool installed, patchSource;
    BootstrapButtons expected;
  };
  const Row rows[] = {
      {BootstrapState::Prompt, true, false, {L"OK - Update & restart", L"Later", true, false}},
      {BootstrapState::Failed, true, false, {L"Retry", L"Play installed", true, true}},
      {BootstrapState::Failed, false, false, {L"Retry", L"Play installed", false, true}},
      {BootstrapState::Failed, true, true, {L"Retry", L"Play installed", true, false}},
  };
  for (const Row& row : rows) {
    const BootstrapButtons buttons = buttonsFor(row.state, row.installed, row.patchSource);
    EXPECT_EQ(buttons.primary, row.expected.primary);
    EXPECT_EQ(buttons.secondary, row.expected.secondary);
    EXPECT_EQ(buttons.showSecondary, row.expected.showSecondary);
    EXPECT_EQ(buttons.showSource, row.expected.showSource);
  }
  EXPECT_EQ(failureDetail("Package metadata is too large", true),
            L"Package metadata is too large\n\nYou can play the installed game or try again.");
  EXPECT_EQ(failureDetail("Package metadata is too large", false), L"Package metadata is too large");
  EXPECT_EQ(patchSourceFromText("https://patch.example/live\r\n\n"), L"https://patch.example/live");
}

TEST(UpdateTimeLeft, EstimatesFromTheRateOnceTheRunHasGoneOn) {
  TimeLeftEstimate estimate;
  estimate.restart(100);
  estimate.report(100, 0);
  estimate.report(101, 10);
  EXPECT_EQ(estimate.text(), L"") << "too early to tell";
  estimate.report(110, 20);  // 20 % in 10 s: 40 s for the remaining 80 %
  EXPECT_EQ(estimate.text(), L"Less than a minute left");
  estimate.restart(0);
  estimate.report(0, 0);
  estimate.report(30, 20);  // 2 minutes left
  EXPECT_EQ(estimate.text(), L"About 2 minutes left");
  estimate.report(40, 100);
  EXPECT_EQ(estimate.text(), L"About 2 minutes left") << "the last estimate stays until the run ends";

  for (const auto& [seconds, text] : std::vector<std::pair<double, std::wstring>>{
           {59, L"Less than a minute left"}, {60, L"About 1 minute left"}, {150, L"About 3 minutes left"},
           {5400, L"About 2 hours left"}, {3600, L"About 1 hour left"}})
    EXPECT_EQ(timeLeftText(seconds), text) << seconds;
}

TEST(UpdateFreeSpace, CountsChangedFilesAndTheirBackups) {
  Testing::TempDir game;
  Testing::writeFile(game / "assets" / "same.bin", std::string(100, 's'));
  Testing::writeFile(game / "assets" / "grown.bin", std::string(10, 'g'));
  const std::string hash(64, 'a');
  const PackageManifest manifest = parsePackageManifestText(
      "CVPACKAGE 1 game v2\n" + hash + " 100 assets/same.bin\n" + hash + " 30 assets/grown.bin\n" + hash +
          " 5000 Qelmarin.exe\n" + hash + " 1 data/gui/launcher.ghi\n" + hash + " 1 data/gui/game.ghi\n" + hash +
          " 2 assets/worlds/world_1.world.json\n",
      "game");
  EXPECT_EQ(installSpaceNeeded(manifest, game.path()), 30u + 10u + 5000u + 1u + 1u + 2u);

  EXPECT_EQ(Testing::messageOf([] { requireFreeSpace(5044, 5044); }), "no error");
  EXPECT_EQ(Testing::messageOf([] { requireFreeSpace(3'000'000'000, 1'000'000'000); }),
            "There is not enough free disk space to install the game: 1.9 GB more is needed on the game folder's "
            "drive. Free some space, then press Retry.");
  EXPECT_EQ(byteSizeText(900), "900 bytes");
  EXPECT_EQ(byteSizeText(12 * 1024), "12 KB");
  EXPECT_EQ(byteSizeText(340 * 1024 * 1024), "340 MB");
}

}  // namespace
}  // namespace Corvanthorne::Update
