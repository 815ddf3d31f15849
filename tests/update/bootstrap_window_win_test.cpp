// The update window for real: each run is a bootstrap whose window lives on a thread of its
// own; buttons are clicked through the X server and the worker's texts are read back.
#include "update/bootstrap_win.h"

#include <gtest/gtest.h>

#include <dlgs.h>

#include <condition_variable>

#include "common/com_win.h"
#include "common/dpi.h"
#include "support/accessible_win.h"
#include "support/cvtool_outcome.h"
#include "support/update_rig_win.h"
#include "update/game_folder_lock.h"
#include "update/game_folder_lock_win.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;
using Testing::TempDir;
using Testing::waitUntil;

class RunningWindow {
 public:
  RunningWindow(const fs::path& game, const fs::path& source, UpdateStepGate gate = {}, std::wstring patchSource = L"",
                bool verifying = false)
      : bootstrap_(game, source, std::move(patchSource), verifying) {
    bootstrap_.installGate = std::move(gate);
    ui_ = std::thread([this] {
      result_ = bootstrap_.run(GetModuleHandleW(nullptr));
      finished_ = true;
    });
  }
  ~RunningWindow() {
    if (!finished_) PostMessageW(bootstrap_.window(), WM_CLOSE, 0, 0);
    ui_.join();
  }
  // What the next finished run shows: "<title>|<detail>|<caption of each visible button>...".
  std::wstring settled() {
    // Buttons shown before and after reading: a run that starts meanwhile hides them first.
    const auto buttons = [this] { return IsWindowVisible(button(kPrimaryButton)) != FALSE; };
    if (!waitUntil([&] { return finished_ || (buttons() && shown() != last_ && buttons()); })) return L"not settled";
    return last_ = shown();
  }
  void click(int id) const { Testing::clickWindow(button(id)); }
  bool result() const { return waitUntil([this] { return finished_.load(); }) && result_; }
  HWND button(int id) const { return GetDlgItem(bootstrap_.window(), id); }
  Bootstrap bootstrap_;

 private:
  std::wstring shown() const {
    std::wstring text = bootstrap_.text().title + L"|" + bootstrap_.text().detail;
    for (const int id : kButtonIds) {
      wchar_t caption[100] = {};
      if (IsWindowVisible(button(id)) && GetWindowTextW(button(id), caption, 100)) text += L"|" + std::wstring(caption);
    }
    return text;
  }
  std::atomic<bool> finished_{false};
  bool result_ = false;
  std::wstring last_;
  std::thread ui_;
};

class UpdateWindow : public ::testing::Test {
 protected:
  void SetUp() override { fs::copy_file(Testing::launcherPath(), game / "launcher.exe"); }
  void publish(const std::string& tag, const fs::path& launcherExe) {
    Testing::PackageFiles files = Testing::requiredGameFiles(tag);
    for (int i = 0; i < 20; ++i) files["assets/many/" + std::to_string(i) + ".bin"] = std::string(5000, 'a' + i % 26);
    Testing::writeClientPackage(packages.path(), "game", tag, files);
    Testing::writeClientPackage(packages.path(), "launcher", "l-" + tag, {{"launcher.exe", Testing::readFile(launcherExe)}});
  }
  TempDir game, packages;
};

// Picks folder in this process's folder chooser: its path in the name box, then Open. The
// first chooser of a new Wine prefix takes a while to open.
void chooseFolder(const fs::path& folder) {
  const HWND chooser =
      Testing::messageBoxOf(GetCurrentProcessId(), L"Choose the client package folder containing game.latest", 60000);
  ASSERT_TRUE(chooser);
  SendMessageW(GetDlgItem(chooser, edt1), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
  Testing::clickWindow(GetDlgItem(chooser, IDOK));
}

TEST_F(UpdateWindow, FirstStartWaitsForABusyFolderInstallsAndOffersTheNewLauncher) {
  ScopedHandle lock = acquireGameFolderLock(game.path(), false);
  std::thread holder([&] { Sleep(3000), lock.reset(); });
  RunningWindow window(game.path(), game / "no package here");
  EXPECT_EQ(window.settled(), L"Update could not be completed|This game folder is in use. Close the game, then press "
                              L"Retry.|Retry|Update source...");
  holder.join();
  window.click(kPrimaryButton);
  EXPECT_EQ(window.settled(), L"Update could not be completed|Could not read " +
                                  utf8ToWide(pathText(game / "no package here" / "game.latest")) +
                                  L"|Retry|Update source...");
  // The player points the chooser at the packages: it is remembered and the run starts again.
  publish("v1", Testing::nextLauncherPath());
  window.click(kSourceButton);
  chooseFolder(packages.path());
  EXPECT_EQ(window.settled(), L"Launcher update available|Installed: copied build\nAvailable: l-v1\n\nPress OK to "
                              L"update this launcher and restart it. Your settings are kept.|OK - Update & restart|Later");
  // Dragged to a 150 % monitor: the suggested rectangle, and buttons at the new scale.
  RECT rect{}, button{};
  GetWindowRect(window.bootstrap_.window(), &rect);
  RECT suggested{rect.left, rect.top, rect.left + 940, rect.top + 600};
  SendMessageW(window.bootstrap_.window(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  GetWindowRect(window.bootstrap_.window(), &rect);
  GetClientRect(window.button(kPrimaryButton), &button);
  EXPECT_EQ(std::make_pair(rect.right - rect.left, button.right), std::make_pair(LONG{940}, LONG{scaleForDpi(222, 144)}));
  window.click(kSecondaryButton);
  EXPECT_TRUE(window.result());
  EXPECT_TRUE(isInstalledGame(game.path()));
  EXPECT_EQ(fs::path(utf8ToWide(Testing::readFile(game / ".corvanthorne" / "update-source.txt"))), packages.path());
  EXPECT_EQ(Testing::readFile(game / "launcher.exe"), Testing::readFile(Testing::launcherPath()));
}

TEST_F(UpdateWindow, FailuresOfferPlayByWhatTheyLeftAndClosingWaitsForTheWorker) {
  publish("v1", Testing::launcherPath());
  EXPECT_TRUE(RunningWindow(game.path(), packages.path()).result()) << "the same launcher is current: straight on";
  publish("v2", Testing::launcherPath());
  {  // A commit that fails is rolled back: the installed game can still be played.
    RunningWindow window(game.path(), packages.path(), [](std::string_view step) {
      if (step == "move") throw std::runtime_error("Disk on fire");
    });
    EXPECT_EQ(window.settled(), L"Update could not be completed|Disk on fire\n\nYou can play the installed game or try "
                                L"again.|Retry|Play installed|Update source...");
    window.click(kSecondaryButton);
    EXPECT_TRUE(window.result());
  }
  {  // Its undo failing too leaves a journal: nothing to play; closing during Retry waits.
    std::mutex mutex;
    std::condition_variable changed;
    int runs = 0;
    bool held = false, released = false;
    RunningWindow window(game.path(), packages.path(), [&](std::string_view step) {
      std::unique_lock lock(mutex);
      if (runs == 0 && (step == "move" || step == "journal")) throw std::runtime_error("Disk on fire");
      if (runs == 0 || step != "move" || held) return;
      held = true;
      changed.notify_all();
      changed.wait(lock, [&] { return released; });
    });
    EXPECT_EQ(window.settled(), L"Update could not be completed|Disk on fire|Retry|Update source...");
    runs = 1;
    window.click(kPrimaryButton);
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), [&] { return held; }));
    PostMessageW(window.bootstrap_.window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(waitUntil([&] { return window.bootstrap_.text().detail == L"Finishing the file operation safely before closing..."; }));
    released = true;
    changed.notify_all();
    lock.unlock();
    EXPECT_FALSE(window.result()) << "closed: the launcher does not start";
    EXPECT_EQ(Testing::readFile(game / "data" / "gui" / "game.ghi"), "game gui v2") << "the install ran to its end";
  }
}

TEST_F(UpdateWindow, SignedReleaseIsInstalledAcceptedAndNeverOffersAnotherSource) {
  TempDir tree, release;
  for (const auto& [path, bytes] : Testing::requiredGameFiles("r1")) Testing::writeFile(tree / path, bytes);
  fs::copy_file(Testing::nextLauncherPath(), tree / "launcher.exe");
  const std::string key = pathText(Testing::hostPath(QEL_TEST_DATA_DIR "/release/development_only_private_key.txt"));
  const Testing::CvtoolOutcome published = Testing::cvtoolOutcome(
      {"release", "publish", "--key", key, "--content", "1", "--build", "1", "--test-only", pathText(tree.path()),
       pathText(release.path())});
  ASSERT_EQ(published.code, 0) << published.err;
  const std::wstring id = utf8ToWide(published.out.substr(10, 31));
  {
    RunningWindow window(game.path(), packages.path(), {}, release.path().wstring());
    EXPECT_EQ(window.settled(), L"Launcher update available|Installed: copied build\nAvailable: " + id +
                                    L"\n\nPress OK to update this launcher and restart it. Your settings are "
                                    L"kept.|OK - Update & restart|Later");
  }
  EXPECT_EQ(Testing::readFile(game / ".corvanthorne" / "remote" / "accepted.json"), Testing::readFile(release / "latest.json"));
  RunningWindow unreachable(game.path(), packages.path(), {}, (release / "gone").wstring());
  EXPECT_EQ(unreachable.settled(), L"Update could not be completed|Could not read " +
                                       utf8ToWide(pathText(release / "gone" / "latest.json")) +
                                       L"\n\nYou can play the installed game or try again.|Retry|Play installed");
}

// Asked from this thread as a screen reader asks: the window's own thread answers through COM.
TEST_F(UpdateWindow, ScreenReadersHearTheDetailAndTheProgress) {
  publish("v1", Testing::launcherPath());
  std::atomic<bool> held{false}, released{false};
  RunningWindow window(game.path(), packages.path(), [&](std::string_view step) {
    if (step == "move" && !held.exchange(true))
      while (!released) Sleep(10);
  });
  ASSERT_TRUE(waitUntil([&] { return held.load(); }));
  const ComScope com;
  const auto client = Testing::clientObject(window.bootstrap_.window());
  long count = 0;
  if (client) client->get_accChildCount(&count);
  const BootstrapText shown = window.bootstrap_.text();
  const std::wstring heard = count != 4 ? L"no tree" : Testing::textOf(*client.Get(), &IAccessible::get_accName, 3) + L"|" +
                                                          Testing::textOf(*client.Get(), &IAccessible::get_accValue, 4);
  released = true;
  EXPECT_EQ(heard, shown.detail + L"|" + std::to_wstring(shown.progress) + L"%");
  EXPECT_TRUE(window.result());
}

// Verify reads every file whole and repairs through the journaled install a file damaged in
// place (same size, last-write time put back) and a missing one, says so, and goes on when asked.
TEST_F(UpdateWindow, VerifyRepairsDamagedAndMissingFilesAndSaysSo) {
  publish("v1", Testing::launcherPath());
  EXPECT_TRUE(RunningWindow(game.path(), packages.path()).result());
  const fs::path damaged = game / "assets" / "many" / "3.bin";
  WIN32_FILE_ATTRIBUTE_DATA before{};
  ASSERT_TRUE(GetFileAttributesExW(damaged.c_str(), GetFileExInfoStandard, &before));
  Testing::writeFile(damaged, std::string(4999, 'd') + "X");
  {
    ScopedHandle file(CreateFileW(damaged.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file && SetFileTime(file.get(), nullptr, nullptr, &before.ftLastWriteTime));
  }
  fs::remove(game / "data" / "gui" / "game.ghi");
  RunningWindow window(game.path(), packages.path(), {}, L"", true);
  EXPECT_EQ(window.settled(), L"Game files verified|2 damaged files repaired|Continue");
  window.click(kPrimaryButton);
  EXPECT_TRUE(window.result());
  EXPECT_EQ(Testing::readFile(damaged), std::string(5000, 'd'));
  EXPECT_EQ(Testing::readFile(game / "data" / "gui" / "game.ghi"), "game gui v1");
}

// Wine reads the screen's DPI from LogPixels when a process starts: each launcher opens at the
// DPI set for it, and the value is removed again once its window is up.
TEST(UpdateWindowDpi, OpensAtTheMonitorScaleWithSharpText) {
  ScopedRegistryKey desktop;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, desktop.receive()), ERROR_SUCCESS);
  for (const DWORD dpi : {144u, 192u}) {
    TempDir game;
    fs::copy_file(Testing::launcherPath(), game / "launcher.exe");
    Testing::writeFile(game / ".corvanthorne" / "update-source.txt", pathText(game / "no-package-here"));
    RegSetValueExW(desktop.get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    ScopedHandle launcher = Testing::launchProcess(Testing::quotedPath(game / "launcher.exe"), game.path());
    const HWND window = Testing::settledUpdateWindow(GetProcessId(launcher.get()));
    RegDeleteValueW(desktop.get(), L"LogPixels");
    ASSERT_TRUE(window) << dpi;
    RECT client{}, button{};
    GetClientRect(window, &client);
    GetClientRect(GetDlgItem(window, kPrimaryButton), &button);
    const PixelRect wanted = updateWindowClientRect(dpi);
    EXPECT_EQ(std::tuple(client.right, client.bottom, button.right),
              std::tuple(LONG{wanted.right}, LONG{wanted.bottom}, LONG{scaleForDpi(222, dpi)})) << dpi;
    Testing::screenshot("update-window-" + std::to_string(dpi) + "dpi.png");
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(launcher.get(), 10000), WAIT_OBJECT_0);
  }
}

}  // namespace
}  // namespace Corvanthorne::Update
