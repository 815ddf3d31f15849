#include "update/bootstrap.h"

#include <gtest/gtest.h>

#include <map>

#include "support/message_of.h"

namespace Corvanthorne::Update {
namespace {

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
}

TEST(UpdateDownloadProgress, CountsBytesWithRateAndCap) {
  const struct {
    std::uint64_t received, total;
    double rate;
    std::uint64_t limit;
    std::wstring text;
  } cases[] = {
      {0, 3'650'722'201, 0, 0, L"Downloading 0 bytes of 3.4 GB"},
      {1'288'490'189, 3'650'722'201, 47'185'920, 0, L"Downloading 1.2 GB of 3.4 GB at 45 MB/s"},
      {700 * 1024, 16 << 20, 512'000, 500 * 1024, L"Downloading 700 KB of 16 MB at 500 KB/s (limited to 500 KB/s)"},
  };
  for (const auto& c : cases) EXPECT_EQ(downloadProgressText(c.received, c.total, c.rate, c.limit), c.text);
}

TEST(UpdateFreeSpace, CountsChangedFilesWithTheirBackupsAndNamesWhatIsMissing) {
  const std::map<std::string, std::uint64_t> installed{{"assets/same.bin", 100}, {"Qelmarin.exe", 10}};
  const std::string hash(64, 'a');
  const PackageManifest manifest = parsePackageManifestText(
      "CVPACKAGE 1 game v2\n" + hash + " 100 assets/same.bin\n" + hash + " 5000 Qelmarin.exe\n" + hash +
          " 1 data/gui/launcher.ghi\n" + hash + " 1 data/gui/game.ghi\n" + hash + " 2 assets/worlds/world_1.world.json\n",
      "game");
  const auto installedSize = [&installed](const PackageFile& file) -> std::optional<std::uint64_t> {
    const auto found = installed.find(file.path.generic_string());
    if (found == installed.end()) return std::nullopt;
    return found->second;
  };
  EXPECT_EQ(installSpaceNeeded(manifest, installedSize), 5000u + 10u + 1u + 1u + 2u);
  EXPECT_EQ(Testing::messageOf([] { requireFreeSpace(3'000'000'000, 1'000'000'000); }),
            "There is not enough free disk space to install the game: 1.9 GB more is needed on the game folder's "
            "drive. Free some space, then press Retry.");
  EXPECT_EQ(byteSizeText(340 * 1024 * 1024), "340 MB");
}

}  // namespace
}  // namespace Corvanthorne::Update
