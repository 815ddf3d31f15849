// The self-update with real processes: launcher.exe (the old build) and launcher_next.exe
// (the new one) in a game folder, the helper refusing bad starts, an accepted update from the
// update window to the new launcher's clean-up, and helpers killed at each step of the swap.
#include "update/launcher_update.h"

#include <gtest/gtest.h>

#include "support/update_rig_win.h"
#include "update/bootstrap.h"
#include "update/game_folder_lock.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;
using Testing::readFile;
using Testing::TempDir;
using Testing::waitUntil;
using Testing::writeFile;

// The first window of class in process processId for which ready holds.
HWND windowOf(DWORD processId, const wchar_t* windowClass, const std::function<bool(HWND)>& ready, int timeoutMs) {
  HWND found = nullptr;
  waitUntil(
      [&] {
        for (HWND w = FindWindowW(windowClass, nullptr); w && !found; w = FindWindowExW(nullptr, w, windowClass, nullptr)) {
          DWORD owner = 0;
          GetWindowThreadProcessId(w, &owner);
          if (owner == processId && IsWindowVisible(w) && ready(w)) found = w;
        }
        return found != nullptr;
      },
      timeoutMs);
  return found;
}

// The update window of processId once its run has ended in buttons.
HWND settledWindowOf(DWORD processId, int timeoutMs = 20000) {
  return windowOf(processId, L"CorvanthorneClientBootstrap",
                  [](HWND w) { return IsWindowVisible(GetDlgItem(w, kPrimaryButton)) != FALSE; }, timeoutMs);
}

// The helper's "Qelmarin Launcher Update" box and its text.
struct HelperBox {
  HWND box = nullptr;
  std::wstring text;
};

HelperBox helperBoxOf(DWORD processId, int timeoutMs = 20000) {
  HelperBox found;
  found.box = windowOf(processId, L"#32770", [](HWND w) {
    wchar_t title[64] = {};
    GetWindowTextW(w, title, 64);
    return std::wstring(title) == L"Qelmarin Launcher Update";
  }, timeoutMs);
  EnumChildWindows(found.box, [](HWND child, LPARAM text) {
    wchar_t className[16] = {}, body[512] = {};
    GetClassNameW(child, className, 16);
    if (lstrcmpiW(className, L"Static") == 0 && GetWindowTextW(child, body, 512) > 0)
      *reinterpret_cast<std::wstring*>(text) = body;
    return TRUE;
  }, reinterpret_cast<LPARAM>(&found.text));
  return found;
}

DWORD exitCodeOf(HANDLE process) {
  DWORD code = 259;
  if (WaitForSingleObject(process, 20000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
  return code;
}

// A process that has ended, as the helper sees an old launcher that closed: an inheritable handle.
ScopedHandle endedProcess() {
  ScopedHandle process = Testing::startCvtool(L"");
  WaitForSingleObject(process.get(), INFINITE);
  SetHandleInformation(process.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  return process;
}

std::wstring handleText(HANDLE handle) {
  return std::to_wstring(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle)));
}

class SelfUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    Testing::writeClientPackage(packages.path(), "game", "v1", Testing::requiredGameFiles("v1"));
    Testing::writeClientPackage(packages.path(), "launcher", "l2", {{"launcher.exe", newLauncher}});
  }
  void TearDown() override { Testing::endProcessesIn(work.path()); }

  // An installed game with the old launcher, pointed at the test's packages.
  fs::path installedGame() {
    const fs::path game = work / std::to_string(games++);
    installGamePackage(loadLatestPackage(packages.path(), "game"), game, {});
    fs::copy_file(Testing::launcherPath(), game / "launcher.exe");
    writeFile(game / ".corvanthorne" / "update-source.txt", pathText(packages.path()));
    return game;
  }

  // An installed game with the new launcher staged as the old one leaves it, and the helper
  // as a copy of helperExe.
  fs::path stagedGame(const fs::path& helperExe) {
    const fs::path game = installedGame();
    const LauncherUpdatePaths paths(game);
    fs::create_directories(paths.staging);
    fs::copy_file(Testing::nextLauncherPath(), paths.staged);
    writeFile(paths.pending, loadLatestPackage(packages.path(), "launcher").manifest.text);
    fs::copy_file(helperExe, paths.helper);
    return game;
  }

  static ScopedHandle startHelper(const fs::path& helper, const fs::path& game, const std::wstring& handle) {
    return Testing::startProcess(Testing::quotedPath(helper) + L" --apply-launcher-update " +
                                     Testing::quotedPath(game) + L" " + handle,
                                 game);
  }

  // Old: the old launcher and no record of it. New: the new launcher and its manifest.
  enum class Outcome { Old, New, Between };
  Outcome outcome(const fs::path& game) const {
    const LauncherUpdatePaths paths(game);
    if (fs::exists(paths.staging)) return Outcome::Between;
    const std::string launcher = readFile(paths.launcher);
    if (launcher == oldLauncher && !fs::exists(paths.manifest)) return Outcome::Old;
    if (launcher == newLauncher && readFile(paths.manifest) == readFile(packages / "launcher" / "l2" / "manifest.txt"))
      return Outcome::New;
    return Outcome::Between;
  }

  // Starts the game folder's launcher; true once its bootstrap has decided.
  static bool startLauncherAndSettle(const fs::path& game) {
    ScopedHandle launcher = Testing::startProcess(Testing::quotedPath(game / "launcher.exe"), game);
    const DWORD id = GetProcessId(launcher.get());
    return waitUntil([&] {
      return WaitForSingleObject(launcher.get(), 0) == WAIT_OBJECT_0 || settledWindowOf(id, 0) != nullptr;
    });
  }

  TempDir packages, work;
  const std::string oldLauncher = readFile(Testing::launcherPath());
  const std::string newLauncher = readFile(Testing::nextLauncherPath());
  int games = 0;
};

TEST_F(SelfUpdate, HelperRefusesBadStartsAndGivesTheLauncherBack) {
  struct Row {
    const char* name;
    bool helperInGameFolder;
    std::wstring handle;
    bool modifyStaged;
    std::wstring message;
  };
  const ScopedHandle ended = endedProcess();
  const Row rows[] = {
      {"helper outside the update folder", true, handleText(ended.get()), false, L"Invalid launcher update destination"},
      {"handle with trailing text", false, L"12x", false, L"Could not wait for the old launcher to close"},
      {"handle zero", false, L"0", false, L"Could not wait for the old launcher to close"},
      {"staged launcher changed", false, handleText(ended.get()), true,
       L"The approved launcher checksum does not match"},
  };
  for (const Row& row : rows) {
    const fs::path game = stagedGame(Testing::launcherPath());
    const LauncherUpdatePaths paths(game);
    const fs::path helper = row.helperInGameFolder ? game / "apply.exe" : paths.helper;
    if (row.helperInGameFolder) fs::copy_file(paths.helper, helper);
    if (row.modifyStaged) writeFile(paths.staged, newLauncher + "x");
    const ScopedHandle process = startHelper(helper, game, row.handle);
    const HelperBox shown = helperBoxOf(GetProcessId(process.get()));
    ASSERT_TRUE(shown.box) << row.name;
    EXPECT_EQ(shown.text, row.message) << row.name;
    EXPECT_EQ(readFile(paths.launcher), oldLauncher) << row.name;
    EXPECT_FALSE(fs::exists(paths.manifest)) << row.name;
    Testing::clickWindow(GetDlgItem(shown.box, IDOK));
    EXPECT_EQ(exitCodeOf(process.get()), 1u) << row.name;
    // The restarted launcher's bootstrap discards the staged update.
    EXPECT_TRUE(waitUntil([&] { return !fs::exists(paths.staging); })) << row.name;
    Testing::endProcessesIn(game);
  }
}

TEST_F(SelfUpdate, AcceptedUpdateSwapsRestartsAndTheNewLauncherFinishes) {
  const fs::path game = installedGame();
  ScopedHandle launcher = Testing::startProcess(Testing::quotedPath(game / "launcher.exe"), game);
  const HWND prompt = settledWindowOf(GetProcessId(launcher.get()));
  ASSERT_TRUE(prompt);
  Testing::clickWindow(GetDlgItem(prompt, kPrimaryButton));
  EXPECT_EQ(exitCodeOf(launcher.get()), 0u);
  EXPECT_TRUE(waitUntil([&] { return outcome(game) == Outcome::New; }));
  EXPECT_TRUE(fs::exists(LauncherUpdatePaths(game).helper));
}

// Kills a helper (the new build, which pauses before each step when its standard input and
// output are pipes) just before `step`, then starts the folder's launcher.
class KilledHelper {
 public:
  KilledHelper(const fs::path& helper, const fs::path& game, const std::wstring& handle, std::string_view step) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    ScopedHandle childInput, childOutput;
    CreatePipe(childInput.receive(), input_.receive(), &inherit, 0);
    CreatePipe(output_.receive(), childOutput.receive(), &inherit, 0);
    SetHandleInformation(input_.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(output_.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput.get();
    startup.hStdOutput = startup.hStdError = childOutput.get();
    std::wstring commandLine = Testing::quotedPath(helper) + L" --apply-launcher-update " +
                               Testing::quotedPath(game) + L" " + handle;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, game.c_str(), &startup,
                        &info))
      return;
    ScopedHandle process(info.hProcess), thread(info.hThread);
    childInput.reset();
    childOutput.reset();
    for (std::string line; !(line = Testing::readLine(output_.get())).empty();) {
      if (line == std::string(step) + "\n") {
        reached = true;
        break;
      }
      DWORD written = 0;
      WriteFile(input_.get(), "g", 1, &written, nullptr);
    }
    TerminateProcess(process.get(), 9);
    WaitForSingleObject(process.get(), INFINITE);
  }
  bool reached = false;

 private:
  ScopedHandle input_, output_;
};

TEST_F(SelfUpdate, HelperKilledAtAnyStepLeavesOldOrNewAfterTheNextStart) {
  const std::pair<const char*, Outcome> steps[] = {{"wait", Outcome::Old},    {"lock", Outcome::Old},
                                                   {"verify", Outcome::Old},  {"swap", Outcome::Old},
                                                   {"manifest", Outcome::New}, {"restart", Outcome::New}};
  const ScopedHandle ended = endedProcess();
  for (const auto& [step, expected] : steps) {
    const fs::path game = stagedGame(Testing::nextLauncherPath());
    const KilledHelper killed(LauncherUpdatePaths(game).helper, game, handleText(ended.get()), step);
    ASSERT_TRUE(killed.reached) << step;
    const std::string launcher = readFile(game / "launcher.exe");
    EXPECT_TRUE(launcher == oldLauncher || launcher == newLauncher) << "no startable launcher after a kill at " << step;
    EXPECT_TRUE(startLauncherAndSettle(game)) << step;
    EXPECT_EQ(outcome(game), expected) << "killed before " << step;
    Testing::endProcessesIn(game);
  }
}

// Its own CTest entry: the helper waits the full 30 seconds for an old launcher that does not
// end, then refuses and leaves the folder as it was.
class HelperWaitsForOldLauncher : public SelfUpdate {};

TEST_F(HelperWaitsForOldLauncher, ThirtySecondsThenGivesUpWithTheFolderUnchanged) {
  const fs::path game = stagedGame(Testing::launcherPath());
  const LauncherUpdatePaths paths(game);
  const ScopedHandle self(OpenProcess(SYNCHRONIZE, TRUE, GetCurrentProcessId()));  // running, like a hung launcher
  const auto started = std::chrono::steady_clock::now();
  const ScopedHandle helper = startHelper(paths.helper, game, handleText(self.get()));
  const HelperBox shown = helperBoxOf(GetProcessId(helper.get()), 60000);
  ASSERT_TRUE(shown.box);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(29));
  EXPECT_EQ(shown.text, L"Could not wait for the old launcher to close");
  EXPECT_EQ(readFile(paths.launcher), oldLauncher);
  EXPECT_EQ(readFile(paths.staged), newLauncher);
  EXPECT_FALSE(fs::exists(paths.manifest));
  Testing::clickWindow(GetDlgItem(shown.box, IDOK));
  EXPECT_EQ(exitCodeOf(helper.get()), 1u);
}

}  // namespace
}  // namespace Corvanthorne::Update
