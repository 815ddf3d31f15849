#include "startup/loading_screen_win.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/com_win.h"
#include "common/text.h"
#include "launcher/debug_log.h"
#include "support/accessible_win.h"
#include "support/desktop_win.h"
#include "support/dib_win.h"
#include "support/process_win.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Startup {
namespace {

using Testing::TempDir;

constexpr wchar_t kClass[] = L"CorvanthorneStartupLoading";
constexpr wchar_t kTitle[] = L"Qelmarin - Loading";

size_t occurrences(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return count;
}

GameSettings windowOf(int32_t width, int32_t height) {
  GameSettings settings;
  settings.width = width;
  settings.height = height;
  return settings;
}

enum class Ending { Ready, Stop, Close };

TEST(LoadingScreenWindow, EndsOnReadyStopOrCloseAndFallsBackToDark) {
  setDebugLogging(true);
  const TempDir folder;
  const std::filesystem::path missing = folder / "Loading.png";
  for (const auto& [ending, closedAfter] : {std::pair{Ending::Ready, 0u}, {Ending::Stop, 0u}, {Ending::Close, 1u}}) {
    const LoadingHandles handles = createLoadingHandles();
    LoadingProgressBlock& block = handles.block();
    LoadingScreen screen(handles, windowOf(480, 270), nullptr, missing);
    // The window is on screen before the constructor returns. Only this process's: the play
    // tests, running beside these, open loading windows of the same class and title.
    const HWND window = Testing::windowOf(GetCurrentProcessId(), kClass, 0, [](HWND w) {
      wchar_t title[64] = {};
      GetWindowTextW(w, title, 64);
      return std::wstring_view(title) == kTitle;
    });
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_FALSE(screen.imageLoaded());
    Sleep(700);  // frames keep coming on the dark background
    if (ending == Ending::Ready) {  // a screen reader hears the caption and the progress bar
      const ComScope com;
      const auto client = Testing::clientObject(window);
      ASSERT_TRUE(client);
      EXPECT_EQ(Testing::textOf(*client.Get(), &IAccessible::get_accName, 1) + L"|" +
                    Testing::textOf(*client.Get(), &IAccessible::get_accValue, 2), L"LOADING|0%");
    }
    if (ending == Ending::Ready) block.ready.exchange(1);
    if (ending == Ending::Stop) screen.stop();
    if (ending == Ending::Close) PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(handles.closedEvent.get(), 10000), WAIT_OBJECT_0);
    screen.stop();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(block.closed.load(), closedAfter);
    EXPECT_GE(screen.statistics().presentationFrames, 2u);
    EXPECT_GT(screen.statistics().seconds, 0.6);  // the window's whole life, give or take a timer tick
  }
  // Logged once per window, with the reason.
  const std::string log = Testing::readFile(debugLogPath());
  EXPECT_EQ(occurrences(log, "] [LOADING] Loading image unavailable; dark GPU fallback: Decode GUI image: " +
                                 pathText(missing)),
            3u);
  // The presenter names its path: Direct3D 12, or the Direct3D 11 fallback where only the
  // 11-on-12 device is missing (as under Wine), never because an earlier step broke.
  const size_t fallbacks = occurrences(log, "] [LOADING] Direct3D 12 GUI unavailable (");
  EXPECT_EQ(fallbacks, occurrences(log, "] [LOADING] Direct3D 12 GUI unavailable (Create D3D11On12 GUI device); trying Direct3D 11"));
  EXPECT_THAT(log, testing::HasSubstr(fallbacks ? "] [LOADING] Game GPU GUI initialized (Direct3D 11 fallback, no world assets)"
                                                : "] [LOADING] Game GPU GUI initialized (Direct3D 12, no world assets)"));
}

TEST(LoadingScreenWindow, FailureOnTheLoadingThreadEndsInOrder) {
  setDebugLogging(true);
  // A class of the loading window's name whose windows refuse to be created.
  WNDCLASSEXW refusing{};
  refusing.cbSize = sizeof refusing;
  refusing.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    return message == WM_NCCREATE ? FALSE : DefWindowProcW(window, message, wParam, lParam);
  };
  refusing.hInstance = GetModuleHandleW(nullptr);
  refusing.lpszClassName = kClass;
  ASSERT_NE(RegisterClassExW(&refusing), 0);
  const size_t logged = occurrences(Testing::readFile(debugLogPath()), "] [LOADING] Loading window\r\n");
  const LoadingHandles handles = createLoadingHandles();
  {
    LoadingScreen screen(handles, windowOf(480, 270), nullptr);
    EXPECT_EQ(handles.block().closed.load(), 1u);
    EXPECT_EQ(WaitForSingleObject(handles.closedEvent.get(), 5000), WAIT_OBJECT_0);  // signalled just after started
  }
  UnregisterClassW(kClass, GetModuleHandleW(nullptr));
  EXPECT_EQ(occurrences(Testing::readFile(debugLogPath()), "] [LOADING] Loading window\r\n"), logged + 1);
}

// The whole rig in its own process, as a player sees it: the image covers the window, the
// panel sits in the middle, and Alt+F4 closes (exit 2); a run to the end is ready (exit 0).
TEST(LoadingCommand, ShowsTheImageAndClosesWithTheKeyboard) {
  const TempDir game;
  const uint8_t blue = 160, green = 90, red = 40;
  std::vector<uint8_t> pixels;
  for (int i = 0; i < 64 * 36; ++i) pixels.insert(pixels.end(), {blue, green, red, 255});
  std::filesystem::create_directories(game / "assets/textures");
  Gui::writePng(game / "assets/textures/Loading.png", 64, 36, pixels);

  // Paced by the frame timer, never by spinning: at most 120 frames a second, and the loading
  // thread busy for well under the run's wall time, its start-up included.
  const Testing::ProcessResult ready = Testing::runProcess(Testing::cvtool(L"loading --seconds 5 --steps 3 --size 160x90"), game.path());
  EXPECT_EQ(ready.exitCode, 0u) << ready.output;
  double frames = 0, wall = 0, cpu = 0;
  ASSERT_EQ(std::sscanf(ready.output.c_str(), "Presentation frames=%lf, seconds=%lf, UI thread CPU seconds=%lf", &frames, &wall, &cpu), 3);
  EXPECT_LE(frames, 120 * wall + 2) << ready.output;
  EXPECT_LT(cpu, 0.8 * wall) << ready.output;

  Testing::CapturedProcess started = Testing::startProcess(Testing::cvtool(L"loading --seconds 60 --size 480x270"), game.path());
  const HWND window = Testing::windowOf(GetProcessId(started.process.get()), kClass, 30000);
  ASSERT_NE(window, nullptr);
  // Restored to 480 x 270 and drawn again a moment later; a loaded machine draws slowly.
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  std::vector<int> shown;
  for (int attempt = 0; attempt < 20 && shown != std::vector<int>{blue, green, red}; ++attempt, Sleep(500)) {
    POINT corner{8, 8};
    ClientToScreen(window, &corner);
    shown = Testing::pictureOf(Gui::loadGuiBitmap(Testing::screenshot("loading-rig.png"))).at(corner);
  }
  EXPECT_EQ(shown, (std::vector<int>{blue, green, red}));
  // Tests running beside this one open windows of the same title and take the focus: the key
  // must reach this window, so it gets a title of its own and the focus before each try.
  SetWindowTextW(window, L"Loading rig closed by keyboard");
  for (int attempt = 0; attempt < 5 && WaitForSingleObject(started.process.get(), 0) == WAIT_TIMEOUT; ++attempt) {
    Testing::runHostProgram("xdotool search --name '^Loading rig closed by keyboard$' windowfocus %1 key alt+F4 2>/dev/null");
    WaitForSingleObject(started.process.get(), 3000);
  }
  const std::string output = Testing::readRest(started.output.get());
  EXPECT_EQ(Testing::exitCodeOf(started.process.get()), 2u) << output;
}

}  // namespace
}  // namespace Corvanthorne::Startup
