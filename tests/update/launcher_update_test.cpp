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
    const char* name;
    std::optional<PackageManifest> installed;
    PackageManifest package;
    LauncherDecision expected;
  };
  const Row rows[] = {
      {"copied in by hand", std::nullopt, launcherManifest("2024-06-01", kOther), {true, "copied build", false}},
      {"record of other bytes is ignored", launcherManifest("2024-06-09", kOther), launcherManifest("2024-06-01", kOther),
       {true, "copied build", false}},
      {"older package, bytes differ", launcherManifest("2024-06-02", kRunning), launcherManifest("2024-06-01", kOther),
       {false, "2024-06-02", false}},
      {"same version, bytes differ", launcherManifest("2024-06-02", kRunning), launcherManifest("2024-06-02", kOther),
       {false, "2024-06-02", false}},
      {"newer package", launcherManifest("2024-06-02", kRunning), launcherManifest("2024-06-03", kOther),
       {true, "2024-06-02", false}},
      {"longer version after a common prefix", launcherManifest("v1", kRunning), launcherManifest("v1-1", kOther),
       {true, "v1", false}},
      {"identical launcher", std::nullopt, launcherManifest("2024-06-01", kRunning), {false, "copied build", true}},
      {"identical launcher, older record", launcherManifest("2024-05-01", kRunning),
       launcherManifest("2024-06-01", kRunning), {false, "2024-05-01", true}},
  };
  for (const Row& row : rows) {
    const LauncherDecision decision = decideLauncherUpdate(row.installed, kRunning, row.package);
    EXPECT_EQ(decision.offer, row.expected.offer) << row.name;
    EXPECT_EQ(decision.installedLabel, row.expected.installedLabel) << row.name;
    EXPECT_EQ(decision.recordPackage, row.expected.recordPackage) << row.name;
  }
  EXPECT_EQ(launcherUpdatePromptText("copied build", "2024-06-01"),
            L"Installed: copied build\nAvailable: 2024-06-01\n\nPress OK to update this launcher and restart it. "
            L"Your settings are kept.");
}

TEST(LauncherUpdateHelper, ReadsArgumentsAndHandle) {
  EXPECT_EQ(classifyHelperArguments({L"apply.exe", L"--apply-launcher-update", L"C:\\g", L"12"}),
            HelperInvocation::Complete);
  EXPECT_EQ(classifyHelperArguments({L"apply.exe", L"--apply-launcher-update", L"C:\\g"}),
            HelperInvocation::WrongArgumentCount);
  EXPECT_EQ(classifyHelperArguments({L"launcher.exe", L"--Apply-Launcher-Update", L"C:\\g", L"12"}),
            HelperInvocation::NotHelper);
  EXPECT_EQ(classifyHelperArguments({L"launcher.exe"}), HelperInvocation::NotHelper);

  EXPECT_EQ(parseHelperHandle(L"12"), 12u);
  EXPECT_EQ(parseHelperHandle(L"18446744073709551615"), 18446744073709551615u);
  for (const wchar_t* refused : {L"12x", L"0", L"", L"-1", L" 12", L"18446744073709551616"})
    EXPECT_EQ(parseHelperHandle(refused), std::nullopt) << refused;

  EXPECT_EQ(helperCommandLine(L"C:\\g\\.corvanthorne\\update\\apply.exe", L"C:\\g", 640),
            L"\"C:\\g\\.corvanthorne\\update\\apply.exe\" --apply-launcher-update \"C:\\g\" 640");
}

}  // namespace
}  // namespace Corvanthorne::Update
