#include "update/launcher_update.h"

#include <gtest/gtest.h>

namespace Corvanthorne::Update {
namespace {

const std::string kRunning(64, 'a');
const std::string kOther(64, 'b');

PackageManifest launcherManifest(std::string_view version, const std::string& sha256) {
  return parsePackageManifestText("CVPACKAGE 1 launcher " + std::string(version) + "\n" + sha256 + " 9 launcher.exe\n",
                                  "launcher");
}

TEST(LauncherUpdateDecision, OffersOnlyWhatIsNewerThanTheRunningLauncher) {
  struct Row {
    std::optional<PackageManifest> installed;
    PackageManifest package;
    LauncherDecision expected;
  };
  const Row rows[] = {
      {std::nullopt, launcherManifest("2024-06-01", kOther), {true, "copied build", false}},
      {launcherManifest("2024-06-09", kOther), launcherManifest("2024-06-01", kOther), {true, "copied build", false}},
      {launcherManifest("2024-06-02", kRunning), launcherManifest("2024-06-01", kOther), {false, "2024-06-02", false}},
      {launcherManifest("2024-06-02", kRunning), launcherManifest("2024-06-03", kOther), {true, "2024-06-02", false}},
      {launcherManifest("v1", kRunning), launcherManifest("v1-1", kOther), {true, "v1", false}},
      {std::nullopt, launcherManifest("2024-06-01", kRunning), {false, "copied build", true}},
  };
  for (const Row& row : rows) {
    const LauncherDecision decision = decideLauncherUpdate(row.installed, kRunning, row.package);
    EXPECT_EQ(decision.offer, row.expected.offer) << row.package.version;
    EXPECT_EQ(decision.installedLabel, row.expected.installedLabel) << row.package.version;
    EXPECT_EQ(decision.recordPackage, row.expected.recordPackage) << row.package.version;
  }
}

}  // namespace
}  // namespace Corvanthorne::Update
