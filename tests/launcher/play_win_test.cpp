// Play end to end under Wine: against a development server of its own, with the loading window
// and the demo client, in this process (PlayFlow) and as a player does it with launcher.exe and
// the keyboard alone (LauncherKeyboard); the launcher window at 1.5 and 2 times the DPI.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "common/dpi.h"
#include "launcher/client_handoff.h"
#include "launcher/launcher_window.h"
#include "launcher/play_win.h"
#include "launcher/server_connection_win.h"
#include "support/play_rig_win.h"
#include "update/game_folder_lock_win.h"

namespace Corvanthorne {
namespace {

namespace fs = std::filesystem;
using Testing::readFile;
using Testing::TempDir;

// The launcher's state over a game folder, with a plain window standing in for its own.
struct Attempt {
  explicit Attempt(const fs::path& root) {
    readLauncherState(state, root, "");
    state.username = L"demo";
    state.password = L"demo-pass";
    state.services.repaint = [] {};
    state.window = CreateWindowExW(0, L"STATIC", L"Launcher stand-in", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                   nullptr, nullptr, nullptr);
  }
  ~Attempt() {
    if (IsWindow(window())) DestroyWindow(window());
  }
  HWND window() const { return static_cast<HWND>(state.window); }
  const WinsockSession winsock;
  LauncherState state;
};

bool anyWindow(HWND) { return true; }

std::string clientLog(const fs::path& root) { return readFile(root / "logs" / "demo-client.log"); }

TEST(PlayFlow, TokenReachesTheFallbackClientWhichTakesOver) {
  TempDir folder;
  Testing::layOutGameFolder(folder.path(), "seconds=1\nclose-after=1\n", L"Corvanthorne.exe");
  Testing::PlayServer server(folder.path(), 300);
  Attempt attempt(folder.path());
  attempt.state.resolutionChoice = 2;
  playGame(attempt.state, {folder.path(), false});
  EXPECT_FALSE(IsWindow(attempt.window())) << wideToUtf8(attempt.state.status);
  const std::string log = clientLog(folder.path());
  EXPECT_NE(log.find("token-bytes=300 "), std::string::npos) << log;
  const std::string hash = Testing::loggedHash(log, "token-sha256");
  EXPECT_EQ(hash.size(), 64u);
  EXPECT_EQ(Testing::loggedHash(server.stop(), "session-sha256"), hash);
  EXPECT_NE(readFile(folder / "game_settings.ini").find("\r\nwidth 1920\r\nheight 1080\r\n"), std::string::npos);
}

TEST(PlayFlow, ClientThatEndsAtOnceBringsTheWindowBack) {
  TempDir folder;
  Testing::layOutGameFolder(folder.path(), "behaviour=exit-at-once\n");
  Testing::PlayServer server(folder.path());
  Attempt attempt(folder.path());
  attempt.state.password = L"wrong";
  playGame(attempt.state, {folder.path(), false});
  EXPECT_EQ(attempt.state.status, kLoginFailed);
  attempt.state.password = L"demo-pass";
  playGame(attempt.state, {folder.path(), false});
  EXPECT_EQ(attempt.state.status, kClientNotInitialized);
  EXPECT_TRUE(IsWindowVisible(attempt.window()));
}

TEST(PlayFlow, ClosingTheLoadingWindowEndsTheWait) {
  TempDir folder;
  Testing::layOutGameFolder(folder.path(), "behaviour=never-ready\nseconds=1\n");
  Testing::PlayServer server(folder.path());
  Attempt attempt(folder.path());
  std::thread closer([] {
    const HWND loading = Testing::windowOf(GetCurrentProcessId(), L"CorvanthorneStartupLoading", anyWindow, 30000);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the client is loading meanwhile
    if (loading) PostMessageW(loading, WM_CLOSE, 0, 0);
  });
  playGame(attempt.state, {folder.path(), false});
  closer.join();
  EXPECT_FALSE(IsWindow(attempt.window()));
  EXPECT_EQ(attempt.state.status, kAuthenticating);
}

TEST(PlayFlow, LockedFolderAndMissingCredentialsStayInTheWindow) {
  TempDir folder;
  Testing::layOutGameFolder(folder.path(), "");
  Attempt attempt(folder.path());
  {
    const ScopedHandle held = Update::acquireGameFolderLock(folder.path(), false);
    playGame(attempt.state, {folder.path(), true});
    EXPECT_EQ(attempt.state.status, kFolderInUse);
  }
  attempt.state.password.clear();
  playGame(attempt.state, {folder.path(), true});
  EXPECT_EQ(attempt.state.status, kEnterCredentials);
  EXPECT_TRUE(IsWindowVisible(attempt.window()));
}

// A copy of launcher.exe in a developer tree of its own (so no update runs first).
struct LauncherRun {
  explicit LauncherRun(const std::string& demoConfig) {
    Testing::layOutGameFolder(folder.path(), demoConfig);
    fs::copy_file(Testing::hostPath(QEL_LAUNCHER_PATH), folder / "launcher.exe");
    Testing::writeFile(folder / "CMakeLists.txt", "");
    fs::create_directories(folder / "assets" / "worlds");
  }
  void start() { process = Testing::startProcess(Testing::quotedPath(folder / "launcher.exe"), folder.path()); }
  HWND window() { return Testing::windowOf(GetProcessId(process.get()), L"CorvanthorneLauncher", anyWindow, 30000); }
  DWORD exitCode(DWORD timeoutMs) {
    DWORD code = 259;
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) TerminateProcess(process.get(), 99);
    GetExitCodeProcess(process.get(), &code);
    return code;
  }
  TempDir folder;
  ScopedHandle process;
};

TEST(LauncherKeyboard, TabTypeAndEnterPlayAndStoreTheChoices) {
  LauncherRun launcher("seconds=6\nclose-after=2\n");
  Testing::PlayServer server(launcher.folder.path());
  launcher.start();
  const HWND window = launcher.window();
  ASSERT_TRUE(window);
  Testing::screenshot("launcher-window.png");
  // The window takes the keyboard (a click on the patch notes, which take no focus); then the
  // user name, the password, both boxes ticked, back to the password box, Enter.
  Testing::clickWindow(window);
  Testing::runHostProgram("xdotool key Tab type demo && xdotool key Tab type demo-pass && "
                     "xdotool key Tab space Tab space shift+Tab shift+Tab Return");
  EXPECT_TRUE(Testing::windowOf(GetProcessId(launcher.process.get()), L"CorvanthorneStartupLoading", anyWindow, 30000));
  std::this_thread::sleep_for(std::chrono::milliseconds(4000));  // the client is half-way through loading
  Testing::screenshot("loading-window.png");
  EXPECT_TRUE(Testing::windowOf(0, L"QelmarinDemoClient", anyWindow, 30000));
  Testing::screenshot("client-window.png");
  EXPECT_EQ(launcher.exitCode(60000), 0u);
  const std::string hash = Testing::loggedHash(clientLog(launcher.folder.path()), "token-sha256");
  EXPECT_EQ(hash.size(), 64u);
  EXPECT_EQ(Testing::loggedHash(server.stop(), "session-sha256"), hash);
  EXPECT_NE(readFile(launcher.folder / "launcher.ini").find("Username=demo\r\n"), std::string::npos);
  EXPECT_NE(readFile(launcher.folder / "game_settings.ini").find("\r\nwidth 1280\r\nheight 720\r\n"), std::string::npos);
  EXPECT_GT(fs::file_size(launcher.folder / "launcher.credentials"), 0u);
}

using RegistryKey = UniqueHandle<NullInvalidTraits<HKEY, &RegCloseKey>>;

// Wine reads the screen's DPI from LogPixels when a process starts.
TEST(LauncherWindowDpi, OpensAtTheMonitorScale) {
  for (const DWORD dpi : {144u, 192u}) {
    LauncherRun launcher("");
    RegistryKey desktop;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              desktop.receive(), nullptr), ERROR_SUCCESS);
    RegSetValueExW(desktop.get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    launcher.start();
    const HWND window = launcher.window();
    RegDeleteValueW(desktop.get(), L"LogPixels");
    ASSERT_TRUE(window) << dpi;
    RECT client{};
    GetClientRect(window, &client);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const ClientArea wanted = launcherClientArea(dpi);
    if (wanted.height + 60 < monitor.rcWork.bottom - monitor.rcWork.top) {
      EXPECT_EQ((ClientArea{client.right, client.bottom}), wanted) << dpi;
    } else {  // the screen is too small for it: as large as fits, in the same proportions
      EXPECT_GT(client.bottom, 480 * 3 / 2) << dpi;
      EXPECT_NEAR(client.right * 480.0 / client.bottom, 760.0, 2.0) << dpi;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    Testing::screenshot("launcher-window-" + std::to_string(dpi) + "dpi.png");
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.exitCode(20000), 0u);
  }
}

TEST(PlayFlow, TheDemoClientTakesExactlyTheFourHandOffArguments) {
  const std::wstring client = Testing::quotedPath(Testing::demoClientPath());
  for (const std::wstring arguments : {L"", L" --launcher-pipe=1 --loading-map=2 --loading-closed=3",
                                       L" --launcher-pipe=1 --loading-map=2 --loading-closed=3 --loading-parent=4 extra"})
    EXPECT_EQ(Testing::runProcess(client + arguments), 2u) << wideToUtf8(arguments);
}

}  // namespace
}  // namespace Corvanthorne
