// The update window for real: each test runs a bootstrap's window on a thread of its own,
// clicks its buttons through the X server and reads what the worker reported.
#include "update/bootstrap_win.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>

#include "common/dpi.h"

#include "support/update_rig_win.h"
#include "update/game_folder_lock.h"
#include "update/game_folder_lock_win.h"
#include "update/launcher_update.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;
using Testing::TempDir;
using Testing::waitUntil;

// The bootstrap of one start, its window on its own thread as on the launcher's main thread.
class RunningWindow {
 public:
  RunningWindow(const fs::path& game, const fs::path& source, UpdateStepGate gate = {})
      : bootstrap_(game, source, L"") {
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

  HWND button(int id) const { return GetDlgItem(bootstrap_.window(), id); }
  bool shows(int id) const { return IsWindowVisible(button(id)) != FALSE; }
  std::wstring caption(int id) const {
    wchar_t text[100] = {};
    GetWindowTextW(button(id), text, 100);
    return text;
  }
  // Waits until a run ended in buttons or closed the window.
  bool settled() const { return waitUntil([this] { return finished_ || shows(kPrimaryButton); }); }
  bool finished() const { return finished_; }
  bool result() const { return result_; }
  BootstrapText text() const { return bootstrap_.text(); }
  BootstrapState state() const { return bootstrap_.state(); }
  void click(int id) { Testing::clickWindow(button(id)); }
  void close() { PostMessageW(bootstrap_.window(), WM_CLOSE, 0, 0); }

 private:
  Bootstrap bootstrap_;
  std::atomic<bool> finished_{false};
  bool result_ = false;
  std::thread ui_;
};

class UpdateWindow : public ::testing::Test {
 protected:
  void SetUp() override { fs::copy_file(Testing::launcherPath(), game / "launcher.exe"); }

  // Game version `tag` (with `extra` files) and, as the launcher package, launcherExe.
  void publish(const std::string& tag, const fs::path& launcherExe, int extra = 0) {
    Testing::PackageFiles files = Testing::requiredGameFiles(tag);
    for (int i = 0; i < extra; ++i) files["assets/many/" + std::to_string(i) + ".bin"] = std::string(5000, 'a' + i % 26);
    Testing::writeClientPackage(packages.path(), "game", tag, files);
    Testing::writeClientPackage(packages.path(), "launcher", "l-" + tag, {{"launcher.exe", Testing::readFile(launcherExe)}});
  }

  TempDir game, packages;
};

TEST_F(UpdateWindow, InstallsTheGameOffersTheNewLauncherAndLaterGoesOn) {
  publish("v1", Testing::nextLauncherPath());
  RunningWindow window(game.path(), packages.path());
  ASSERT_TRUE(window.settled());
  EXPECT_EQ(window.state(), BootstrapState::Prompt);
  EXPECT_EQ(window.text().title, L"Launcher update available");
  EXPECT_EQ(window.text().detail, launcherUpdatePromptText("copied build", "l-v1"));
  EXPECT_EQ(window.caption(kPrimaryButton), L"OK - Update & restart");
  EXPECT_TRUE(window.shows(kSecondaryButton));
  EXPECT_EQ(window.caption(kSecondaryButton), L"Later");
  EXPECT_FALSE(window.shows(kSourceButton));
  EXPECT_TRUE(isInstalledGame(game.path()));

  window.click(kSecondaryButton);
  ASSERT_TRUE(waitUntil([&] { return window.finished(); }));
  EXPECT_TRUE(window.result());
  EXPECT_EQ(Testing::readFile(game / "launcher.exe"), Testing::readFile(Testing::launcherPath()));
  EXPECT_FALSE(fs::exists(game / ".corvanthorne" / "update" / "launcher"));
}

TEST_F(UpdateWindow, FailuresOfferRetrySourceAndPlayByWhatTheyLeft) {
  {  // Nothing published yet: Retry and "Update source...", nothing to play; Enter retries.
    RunningWindow window(game.path(), packages.path());
    ASSERT_TRUE(window.settled());
    EXPECT_EQ(window.text().title, L"Update could not be completed");
    EXPECT_EQ(window.text().detail, L"Could not read " + utf8ToWide(pathText(packages / "game.latest")));
    EXPECT_EQ(window.caption(kPrimaryButton), L"Retry");
    EXPECT_FALSE(window.shows(kSecondaryButton));
    EXPECT_TRUE(window.shows(kSourceButton));
    EXPECT_EQ(window.caption(kSourceButton), L"Update source...");
    publish("v1", Testing::launcherPath());
    Testing::clickWindow(window.button(kSourceButton));  // gives the window the keyboard: a chooser opens
    Testing::pressKey("Escape");                        // cancelled, which runs again
    ASSERT_TRUE(waitUntil([&] { return window.finished(); }));
    EXPECT_TRUE(window.result()) << "the same launcher is current: straight on";
    EXPECT_TRUE(fs::exists(game / ".corvanthorne" / "launcher.manifest"));
  }
  publish("v2", Testing::launcherPath(), 20);
  {  // A commit that fails once is rolled back: the installed game can still be played.
    bool failed = false;
    RunningWindow window(game.path(), packages.path(), [&](std::string_view step) {
      if (step == "move" && !std::exchange(failed, true)) throw std::runtime_error("Disk on fire");
    });
    ASSERT_TRUE(window.settled());
    EXPECT_EQ(window.text().detail, L"Disk on fire\n\nYou can play the installed game or try again.");
    EXPECT_EQ(window.caption(kSecondaryButton), L"Play installed");
    ASSERT_TRUE(window.shows(kSecondaryButton));
    window.click(kSecondaryButton);
    ASSERT_TRUE(waitUntil([&] { return window.finished(); }));
    EXPECT_TRUE(window.result());
  }
  {  // A failure whose undo failed too leaves a journal: nothing to play until Retry recovers.
    std::atomic<bool> failing = true;
    RunningWindow window(game.path(), packages.path(), [&](std::string_view step) {
      if (failing && (step == "move" || step == "journal")) throw std::runtime_error("Disk on fire");
    });
    ASSERT_TRUE(window.settled());
    EXPECT_EQ(window.text().detail, L"Disk on fire");
    EXPECT_FALSE(window.shows(kSecondaryButton));
    failing = false;
    window.click(kPrimaryButton);
    ASSERT_TRUE(waitUntil([&] { return window.finished(); }));
    EXPECT_TRUE(window.result());
    EXPECT_EQ(Testing::readFile(game / "data" / "gui" / "game.ghi"), "game gui v2");
  }
}

TEST_F(UpdateWindow, ClosingDuringAnInstallWaitsForTheWorker) {
  publish("v1", Testing::launcherPath(), 20);
  std::mutex mutex;
  std::condition_variable changed;
  bool held = false, released = false;
  RunningWindow window(game.path(), packages.path(), [&](std::string_view step) {
    if (step != "move") return;
    std::unique_lock lock(mutex);
    held = true;
    changed.notify_all();
    changed.wait(lock, [&] { return released; });
  });
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), [&] { return held; }));
  }
  window.close();
  EXPECT_TRUE(waitUntil([&] {
    return window.text().detail == L"Finishing the file operation safely before closing...";
  }));
  EXPECT_FALSE(window.finished());
  {
    std::lock_guard lock(mutex);
    released = true;
  }
  changed.notify_all();
  ASSERT_TRUE(waitUntil([&] { return window.finished(); }));
  EXPECT_FALSE(window.result()) << "closed: the launcher does not start";
  EXPECT_TRUE(isInstalledGame(game.path())) << "the install ran to its end";
}

TEST_F(UpdateWindow, BusyFolderAsksToCloseTheGameThenRetrySucceeds) {
  publish("v1", Testing::launcherPath());
  ScopedHandle lock = acquireGameFolderLock(game.path(), false);
  ASSERT_TRUE(lock);
  std::thread holder([&] {
    Sleep(3000);
    lock.reset();
  });
  RunningWindow window(game.path(), packages.path());
  ASSERT_TRUE(window.settled());
  EXPECT_EQ(window.text().detail, L"This game folder is in use. Close the game, then press Retry.");
  holder.join();
  window.click(kPrimaryButton);
  ASSERT_TRUE(waitUntil([&] { return window.finished(); }));
  EXPECT_TRUE(window.result());
}

// The update window of a launcher process, once its run has ended in buttons.
HWND settledUpdateWindow(DWORD processId) {
  HWND found = nullptr;
  waitUntil([&] {
    for (HWND w = FindWindowW(L"CorvanthorneClientBootstrap", nullptr); w;
         w = FindWindowExW(nullptr, w, L"CorvanthorneClientBootstrap", nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == processId && IsWindowVisible(GetDlgItem(w, kPrimaryButton))) found = w;
    }
    return found != nullptr;
  });
  return found;
}

// Wine reads the screen's DPI from LogPixels when a process starts: each launcher opens at the
// DPI set for it, and the value is removed again once its window is up.
TEST(UpdateWindowDpi, OpensAtTheMonitorScaleWithSharpText) {
  HKEY desktop = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_SET_VALUE, &desktop), ERROR_SUCCESS);
  const std::unique_ptr<std::remove_pointer_t<HKEY>, decltype(&RegCloseKey)> key(desktop, &RegCloseKey);
  for (const DWORD dpi : {144u, 192u}) {
    TempDir game;
    fs::copy_file(Testing::launcherPath(), game / "launcher.exe");
    Testing::writeFile(game / ".corvanthorne" / "update-source.txt", pathText(game / "no-package-here"));
    ASSERT_EQ(RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi)),
              ERROR_SUCCESS);
    ScopedHandle launcher = Testing::startProcess(Testing::quotedPath(game / "launcher.exe"), game.path());
    const HWND window = settledUpdateWindow(GetProcessId(launcher.get()));
    RegDeleteValueW(desktop, L"LogPixels");
    ASSERT_TRUE(window) << dpi;
    RECT client{};
    GetClientRect(window, &client);
    const PixelRect expected = updateWindowClientRect(dpi);
    EXPECT_EQ(client.right, expected.right) << dpi;
    EXPECT_EQ(client.bottom, expected.bottom) << dpi;
    RECT button{};
    GetClientRect(GetDlgItem(window, kPrimaryButton), &button);
    EXPECT_EQ(button.right, scaleForDpi(222, dpi));
    Testing::screenshot("update-window-" + std::to_string(dpi) + "dpi.png");
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(launcher.get(), 10000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(launcher.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u) << "closing the update window ends the process quietly";
  }
}

}  // namespace
}  // namespace Corvanthorne::Update
