// Play end to end under Wine: against a development server of its own, with the loading window
// and the demo client, in this process (PlayFlow) and as a player does it with launcher.exe and
// the keyboard alone (LauncherKeyboard); the launcher window at 1.5 and 2 times the DPI.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "launcher/launcher_window.h"
#include "launcher/play_win.h"
#include "launcher/server_connection_win.h"
#include "support/desktop_win.h"
#include "support/dev_server_win.h"
#include "update/game_folder_lock_win.h"

namespace Corvanthorne {
namespace {

namespace fs = std::filesystem;
using Testing::readFile;
using Testing::TempDir;

const fs::path kGameData = fs::path(QEL_TEST_DATA_DIR) / ".." / ".." / "game";
const fs::path kDemoClient = Testing::hostPath(QEL_DEMO_CLIENT_PATH);

void pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

// The development server with the account demo / demo-pass.
struct PlayServer : Testing::DevServer {
  explicit PlayServer(const fs::path& folder, int tokenLength = 32) : DevServer(folder, tokenLength) {
    EXPECT_EQ(run("register demo demo-pass demo@example.org").exitCode, 0u);
  }
};

// The SHA-256 after "key=" in a log, or "" when the log has none.
std::string loggedHash(const std::string& log, const std::string& key) {
  const size_t at = log.find(key + "=");
  return at == std::string::npos ? std::string() : log.substr(at + key.size() + 1, 64);
}

// A game folder: the repository's game/ data, the demo client under clientName and a
// demo-client.ini.
void layOutGameFolder(const fs::path& folder, const std::string& demoConfig, const std::wstring& clientName = L"Qelmarin.exe") {
  fs::copy(kGameData, folder, fs::copy_options::recursive);
  fs::copy_file(kDemoClient, folder / clientName);
  Testing::writeFile(folder / "demo-client.ini", demoConfig);
}

// A game folder with the demo client configured by demoConfig and the launcher's state over it,
// with a plain window standing in for the launcher's own.
struct Attempt {
  explicit Attempt(const std::string& demoConfig, const std::wstring& clientName = L"Qelmarin.exe") {
    layOutGameFolder(folder.path(), demoConfig, clientName);
    readLauncherState(state, folder.path(), "");
    state.window = CreateWindowExW(0, L"STATIC", L"Launcher stand-in", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 200, 100,
                                   nullptr, nullptr, nullptr, nullptr);
    state.services.repaint = [] {};
  }
  ~Attempt() {
    if (IsWindow(window())) DestroyWindow(window());
  }
  void play(std::wstring_view password = L"demo-pass", bool installed = false) {
    state.username = L"demo";
    state.password = password;
    playGame(state, {folder.path(), installed});
  }
  HWND window() const { return static_cast<HWND>(state.window); }
  std::string clientLog() const { return readFile(folder / "logs" / "demo-client.log"); }
  // The client's last "show-command=S command-line=..." log line, handle values written as N.
  std::string clientStart() const {
    const std::string log = clientLog();
    const size_t at = log.rfind("show-command=");
    return at == std::string::npos ? std::string()
                                   : std::regex_replace(log.substr(at, log.find("\r\n", at) - at), std::regex("(pipe|map|closed|parent)=[0-9]+"), "$1=N");
  }

  TempDir folder;
  const WinsockSession winsock;
  LauncherState state;
};

TEST(PlayFlow, TokenReachesTheFallbackClientWhichTakesOver) {
  Attempt attempt("seconds=1\nclose-after=1\n", L"Corvanthorne.exe");
  PlayServer server(attempt.folder.path(), 300);
  attempt.state.resolutionChoice = 2;
  attempt.play();
  EXPECT_FALSE(IsWindow(attempt.window())) << wideToUtf8(attempt.state.status);
  EXPECT_NE(attempt.clientLog().find("token-bytes=300 token-sha256="), std::string::npos) << attempt.clientLog();
  EXPECT_EQ(loggedHash(server.stop(), "session-sha256"), loggedHash(attempt.clientLog(), "token-sha256"));
  // Windowed: maximised. The quoted path, then the four handles in exactly this order.
  EXPECT_EQ(attempt.clientStart(), "show-command=3 command-line=\"" + wideToUtf8((attempt.folder.path() / L"Corvanthorne.exe").wstring()) +
                                       "\" --launcher-pipe=N --loading-map=N --loading-closed=N --loading-parent=N");
  const std::string settings = readFile(attempt.folder / "game_settings.ini");
  EXPECT_NE(settings.find("\r\nwidth 1920\r\nheight 1080\r\n"), std::string::npos) << settings;
}

TEST(PlayFlow, FailuresLeaveTheWindowWithTheirMessage) {
  Attempt attempt("behaviour=exit-at-once\n");
  {
    const ScopedHandle held = Update::acquireGameFolderLock(attempt.folder.path(), false);
    attempt.play(L"demo-pass", true);
    EXPECT_EQ(attempt.state.status, kFolderInUse);
  }
  attempt.play(L"", true);
  EXPECT_EQ(attempt.state.status, kEnterCredentials);
  PlayServer server(attempt.folder.path());
  attempt.play(L"wrong");
  EXPECT_EQ(attempt.state.status, kLoginFailed);
  attempt.state.gameSettings.fullscreen = true;
  attempt.play();
  EXPECT_EQ(attempt.state.status, kClientNotInitialized);
  EXPECT_TRUE(IsWindowVisible(attempt.window()));
  EXPECT_TRUE(attempt.clientStart().starts_with("show-command=1 ")) << "full screen: shown normally";
  fs::remove(attempt.folder / "Qelmarin.exe");
  attempt.play();
  const std::wstring notStarted = std::wstring(kClientNotStarted) + std::wstring(kSuggestVerify);
  EXPECT_EQ(attempt.state.status, notStarted);
  EXPECT_TRUE(IsWindowVisible(attempt.window()));
  // An exception once the window is hidden (here from the repaint after the client could not
  // start) still brings the window back; the play action turns it into its message.
  attempt.state.services.repaint = [&] {
    if (attempt.state.status == notStarted) throw std::runtime_error("Repaint failed");
  };
  runPlayAction(attempt.state);
  EXPECT_EQ(attempt.state.status, kPlayFailed);
  EXPECT_TRUE(IsWindowVisible(attempt.window()));
  // The demo client takes exactly the four hand-off arguments.
  const std::wstring client = Testing::quotedPath(kDemoClient);
  for (const std::wstring arguments : {L"", L" --launcher-pipe=1 --loading-map=2 --loading-closed=3 --loading-parent=4 x"})
    EXPECT_EQ(Testing::runProcess(client + arguments).exitCode, 2u) << wideToUtf8(arguments);
}

TEST(PlayFlow, ClosingTheLoadingWindowEndsTheWait) {
  Attempt attempt("behaviour=never-ready\nseconds=1\n");
  PlayServer server(attempt.folder.path());
  std::thread closer([] {
    const HWND loading = Testing::windowOf(GetCurrentProcessId(), L"CorvanthorneStartupLoading", 30000);
    pause(1500);  // the client is loading meanwhile
    PostMessageW(loading, WM_CLOSE, 0, 0);
  });
  attempt.play();
  closer.join();
  EXPECT_FALSE(IsWindow(attempt.window()));
  EXPECT_EQ(attempt.state.status, kAuthenticating);
}

// A copy of launcher.exe in a developer tree of its own (so no update runs first).
struct LauncherRun {
  explicit LauncherRun(const std::string& demoConfig) {
    layOutGameFolder(folder.path(), demoConfig);
    fs::copy_file(Testing::hostPath(QEL_LAUNCHER_PATH), folder / "launcher.exe");
    Testing::writeFile(folder / "CMakeLists.txt", "");
    fs::create_directories(folder / "assets" / "worlds");
  }
  void start() { process = Testing::launchProcess(Testing::quotedPath(folder / "launcher.exe"), folder.path()); }
  HWND window(const wchar_t* windowClass) { return Testing::windowOf(GetProcessId(process.get()), windowClass, 30000); }
  DWORD exitCode() {
    const DWORD code = Testing::exitCodeOf(process.get(), 60000);
    TerminateProcess(process.get(), 99);  // should it still run
    return code;
  }
  TempDir folder;
  ScopedHandle process;
};

TEST(LauncherKeyboard, TabTypeAndEnterPlayAndStoreTheChoices) {
  LauncherRun launcher("seconds=6\nclose-after=2\n");
  PlayServer server(launcher.folder.path());
  launcher.start();
  const HWND window = launcher.window(L"CorvanthorneLauncher");
  ASSERT_TRUE(window);
  Testing::screenshot("launcher-window.png");
  // The window takes the keyboard (a click on the patch notes, which take no focus); then the
  // user name, the password, both boxes ticked, back to the password box, Enter.
  Testing::clickWindow(window);
  Testing::runHostProgram("xdotool key Tab type demo && xdotool key Tab type demo-pass && "
                          "xdotool key Tab space Tab space shift+Tab shift+Tab Return");
  EXPECT_TRUE(launcher.window(L"CorvanthorneStartupLoading"));
  pause(4000);  // the client is half-way through loading
  Testing::screenshot("loading-window.png");
  EXPECT_TRUE(Testing::windowOf(0, L"QelmarinDemoClient", 30000));
  Testing::screenshot("client-window.png");
  EXPECT_EQ(launcher.exitCode(), 0u);
  const std::string hash = loggedHash(readFile(launcher.folder / "logs" / "demo-client.log"), "token-sha256");
  EXPECT_EQ(loggedHash(server.stop(), "session-sha256"), hash);
  EXPECT_NE(readFile(launcher.folder / "launcher.ini").find("Username=demo\r\n"), std::string::npos);
  EXPECT_NE(readFile(launcher.folder / "game_settings.ini").find("\r\nwidth 1280\r\nheight 720\r\n"), std::string::npos);
  EXPECT_GT(fs::file_size(launcher.folder / "launcher.credentials"), 0u);
}

// Wine reads the screen's DPI from LogPixels when a process starts.
TEST(LauncherWindowDpi, OpensAtTheMonitorScale) {
  for (const DWORD dpi : {144u, 192u}) {
    ScopedRegistryKey desktop;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              desktop.receive(), nullptr), ERROR_SUCCESS);
    RegSetValueExW(desktop.get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));
    LauncherRun launcher("");
    launcher.start();
    const HWND window = launcher.window(L"CorvanthorneLauncher");
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
    pause(1000);
    Testing::screenshot("launcher-window-" + std::to_string(dpi) + "dpi.png");
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.exitCode(), 0u);
  }
}

}  // namespace
}  // namespace Corvanthorne
