// The self-update with real processes: launcher.exe (the old build) and launcher_next.exe (the
// new one) in installed game folders; the helper refusing bad starts, an accepted update from
// the update window to the new launcher's clean-up, and helpers killed at each step.
#include "update/launcher_update.h"

#include <gtest/gtest.h>

#include "support/message_of.h"
#include "support/update_rig_win.h"
#include "update/game_folder_lock.h"
#include "update/game_folder_lock_win.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;
using Testing::readFile;
using Testing::waitUntil;

HWND helperBox(DWORD processId, int timeoutMs = 20000) {
  return Testing::messageBoxOf(processId, L"Qelmarin Launcher Update", timeoutMs);
}

std::wstring messageIn(HWND box) {
  std::wstring text = L"no box";
  EnumChildWindows(box, [](HWND child, LPARAM found) {
    wchar_t className[16] = {}, body[512] = {};
    if (GetClassNameW(child, className, 16) && !lstrcmpiW(className, L"Static") && GetWindowTextW(child, body, 512))
      *reinterpret_cast<std::wstring*>(found) = body;
    return TRUE;
  }, reinterpret_cast<LPARAM>(&text));
  return text;
}

std::wstring handleText(HANDLE handle) { return std::to_wstring(reinterpret_cast<std::uintptr_t>(handle)); }

class SelfUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    Testing::writeClientPackage(packages.path(), "game", "v1", Testing::requiredGameFiles("v1"));
    Testing::writeClientPackage(packages.path(), "launcher", "l2", {{"launcher.exe", newLauncher}});
    ended = Testing::launchProcess(Testing::cvtool(L""));  // an old launcher that has closed
    WaitForSingleObject(ended.get(), INFINITE);
    SetHandleInformation(ended.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  }
  void TearDown() override { Testing::endProcessesIn(work.path()); }

  // An installed game with the old launcher, pointed at the packages; with `helper`, the new
  // launcher staged as the old one leaves it and the helper as a copy of `helper`.
  fs::path game(const fs::path& helper = {}) {
    const fs::path folder = work / std::to_string(games++);
    installGamePackage(loadLatestPackage(packages.path(), "game"), folder, {});
    fs::copy_file(Testing::launcherPath(), folder / "launcher.exe");
    Testing::writeFile(folder / ".corvanthorne" / "update-source.txt", pathText(packages.path()));
    if (helper.empty()) return folder;
    const LauncherUpdatePaths paths(folder);
    Testing::writeFile(paths.staged, newLauncher);
    Testing::writeFile(paths.pending, readFile(packages / "launcher" / "l2" / "manifest.txt"));
    fs::copy_file(helper, paths.helper);
    return folder;
  }

  static std::wstring helperCommand(const fs::path& helper, const fs::path& folder, const std::wstring& handle) {
    return Testing::quotedPath(helper) + L" --apply-launcher-update " + Testing::quotedPath(folder) + L" " + handle;
  }

  // "old": the old launcher, unrecorded; "new": the new one and its manifest; else "between".
  std::string outcome(const fs::path& folder) const {
    const LauncherUpdatePaths paths(folder);
    if (fs::exists(paths.staging)) return "between";
    if (readFile(paths.launcher) == oldLauncher && !fs::exists(paths.manifest)) return "old";
    const bool recorded = readFile(paths.manifest) == readFile(packages / "launcher" / "l2" / "manifest.txt");
    return readFile(paths.launcher) == newLauncher && recorded ? "new" : "between";
  }

  Testing::TempDir packages, work;
  ScopedHandle ended;
  const std::string oldLauncher = readFile(Testing::launcherPath());
  const std::string newLauncher = readFile(Testing::nextLauncherPath());
  int games = 0;
};

TEST_F(SelfUpdate, HelperRefusesBadStartsChangesNothingAndRestartsTheLauncher) {
  // staged: the bytes staged in place of the new launcher; approved: whether the pending
  // manifest describes them; busy: the folder locked by another process; recorded: the old
  // launcher's manifest, copied aside when the update was staged. A staged file that is no
  // program fails after the swap, and the old launcher comes back with its own record.
  const std::string oldRecord =
      "CVPACKAGE 1 launcher l1\n" + sha256Bytes(oldLauncher) + " " + std::to_string(oldLauncher.size()) + " launcher.exe\n";
  const struct {
    bool helperOutsideUpdateFolder;
    std::string staged;
    bool approved, busy;
    std::string recorded;
    std::wstring handle, message;
  } rows[] = {
      {true, newLauncher, true, false, "", handleText(ended.get()), L"Invalid launcher update destination"},
      {false, newLauncher, true, false, "", L"12x", L"Could not wait for the old launcher to close"},
      {false, newLauncher, true, false, "", L"0", L"Could not wait for the old launcher to close"},
      {false, newLauncher, true, true, "", handleText(ended.get()), L"Game folder became busy; launcher update postponed"},
      {false, newLauncher + "x", false, false, "", handleText(ended.get()), L"The approved launcher checksum does not match"},
      {false, "no program", true, false, "", handleText(ended.get()), L"Could not restart the launcher"},
      {false, "no program", true, false, oldRecord, handleText(ended.get()), L"Could not restart the launcher"},
  };
  for (const auto& row : rows) {
    const fs::path folder = game(Testing::launcherPath());
    const LauncherUpdatePaths paths(folder);
    const auto record = [&] { return fs::exists(paths.manifest) ? readFile(paths.manifest) : ""; };
    fs::path helper = paths.helper;
    if (row.helperOutsideUpdateFolder) fs::copy_file(paths.helper, helper = folder / "apply.exe");
    Testing::writeFile(paths.staged, row.staged);
    if (row.approved)
      Testing::writeFile(paths.pending, "CVPACKAGE 1 launcher l2\n" + sha256Bytes(row.staged) + " " +
                                            std::to_string(row.staged.size()) + " launcher.exe\n");
    if (!row.recorded.empty())
      for (const fs::path& record : {paths.manifest, paths.previousManifest}) Testing::writeFile(record, row.recorded);
    ScopedHandle busy = row.busy ? acquireGameFolderLock(folder, false) : ScopedHandle();
    const ScopedHandle process = Testing::launchProcess(helperCommand(helper, folder, row.handle), folder);
    const HWND box = helperBox(GetProcessId(process.get()));
    EXPECT_EQ(messageIn(box), row.message);
    busy.reset();
    EXPECT_EQ(readFile(paths.launcher), oldLauncher);
    EXPECT_EQ(record(), row.recorded) << row.message;
    Testing::clickWindow(GetDlgItem(box, IDOK));
    EXPECT_EQ(Testing::exitCodeOf(process.get()), 1u) << row.message;
    EXPECT_TRUE(waitUntil([&] { return !fs::exists(paths.staging) && readFile(paths.launcher) == oldLauncher; }))
        << "restarted, the old launcher discards the staging";
  }
}

// Also with the game at a drive root (a letter mapped in the Wine prefix), where the helper's
// command line ends in the root's backslash, which must not escape the closing quote.
TEST_F(SelfUpdate, AcceptedUpdateSwapsRestartsAndTheNewLauncherFinishes) {
  wchar_t letter = L'Y';
  while (letter > L'M' && (GetLogicalDrives() >> (letter - L'A') & 1)) --letter;
  const std::string device = "$WINEPREFIX/dosdevices/" + std::string(1, static_cast<char>(letter - L'A' + 'a')) + ":";
  const fs::path plain = game(), atRoot = game();
  // A package launcher that is not what its manifest says is never handed to the helper.
  const fs::path packaged = packages / "launcher" / "l2" / "launcher.exe";
  Testing::writeFile(packaged, newLauncher + "x");
  EXPECT_EQ(Testing::messageOf([&] { stageLauncherUpdate(plain, loadLatestPackage(packages.path(), "launcher")); }),
            "The new launcher failed its checksum check");
  EXPECT_FALSE(fs::exists(LauncherUpdatePaths(plain).helper));
  Testing::writeFile(packaged, newLauncher);
  Testing::runHostProgram("ln -sfn '" + Testing::unixPath(atRoot) + "' " + device);
  const fs::path root = std::wstring(1, letter) + L":\\";
  for (const auto& [folder, start] : {std::pair{plain, plain}, std::pair{atRoot, root}}) {
    const ScopedHandle launcher = Testing::launchProcess(Testing::quotedPath(start / "launcher.exe"), start);
    const HWND prompt = Testing::settledUpdateWindow(GetProcessId(launcher.get()));
    ASSERT_TRUE(prompt);
    Testing::clickWindow(GetDlgItem(prompt, kPrimaryButton));
    EXPECT_EQ(Testing::exitCodeOf(launcher.get()), 0u);
    EXPECT_TRUE(waitUntil([&] { return outcome(folder) == "new"; })) << pathText(start);
    Testing::endProcessesIn(start);
  }
  Testing::runHostProgram("rm -f " + device);
}

// The new build, run as the helper with pipes, names each step and waits for a byte before it.
TEST_F(SelfUpdate, HelperKilledBeforeAnyStepLeavesOldOrNewAfterTheNextStart) {
  for (const auto& [step, expected] : std::vector<std::pair<std::string, std::string>>{
           {"wait", "old"}, {"lock", "old"}, {"verify", "old"}, {"swap", "old"}, {"manifest", "new"}, {"restart", "new"}}) {
    const fs::path folder = game(Testing::nextLauncherPath());
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    ScopedHandle childIn, toChild, fromChild, childOut;
    CreatePipe(childIn.receive(), toChild.receive(), &inherit, 0);
    CreatePipe(fromChild.receive(), childOut.receive(), &inherit, 0);
    SetHandleInformation(toChild.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromChild.get(), HANDLE_FLAG_INHERIT, 0);
    const ScopedHandle helper = Testing::launchProcess(
        helperCommand(LauncherUpdatePaths(folder).helper, folder, handleText(ended.get())), folder, 0, childOut.get(),
        childIn.get());
    childIn.reset(), childOut.reset();
    DWORD written = 0;
    for (std::string line; (line = Testing::readLine(fromChild.get())) != step + "\n" && !line.empty();)
      WriteFile(toChild.get(), "g", 1, &written, nullptr);
    TerminateProcess(helper.get(), 9);
    WaitForSingleObject(helper.get(), INFINITE);
    const std::string left = readFile(folder / "launcher.exe");
    EXPECT_TRUE(left == oldLauncher || left == newLauncher) << "no startable launcher after a kill before " << step;

    const ScopedHandle start = Testing::launchProcess(Testing::quotedPath(folder / "launcher.exe"), folder);
    const DWORD id = GetProcessId(start.get());
    EXPECT_TRUE(waitUntil([&] {
      return WaitForSingleObject(start.get(), 0) == WAIT_OBJECT_0 || Testing::settledUpdateWindow(id, 0) ||
             Testing::reachedLauncherStage(id);
    }));
    EXPECT_EQ(outcome(folder), expected) << "killed before " << step;
    Testing::endProcessesIn(folder);
  }
}

// Its own CTest entry: the helper waits the full 30 seconds for an old launcher that does not
// end, then refuses and leaves the folder as it was.
class HelperWaitsForOldLauncher : public SelfUpdate {};

TEST_F(HelperWaitsForOldLauncher, ThirtySecondsThenGivesUpWithTheFolderUnchanged) {
  const fs::path folder = game(Testing::launcherPath());
  const ScopedHandle self(OpenProcess(SYNCHRONIZE, TRUE, GetCurrentProcessId()));  // running, like a hung launcher
  const auto started = std::chrono::steady_clock::now();
  const ScopedHandle helper = Testing::launchProcess(helperCommand(LauncherUpdatePaths(folder).helper, folder,
                                                                  handleText(self.get())), folder);
  const HWND box = helperBox(GetProcessId(helper.get()), 60000);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(29));
  EXPECT_EQ(messageIn(box), L"Could not wait for the old launcher to close");
  EXPECT_EQ(readFile(folder / "launcher.exe") + readFile(LauncherUpdatePaths(folder).staged), oldLauncher + newLauncher);
  Testing::clickWindow(GetDlgItem(box, IDOK));
  EXPECT_EQ(Testing::exitCodeOf(helper.get()), 1u);
}

}  // namespace
}  // namespace Corvanthorne::Update
