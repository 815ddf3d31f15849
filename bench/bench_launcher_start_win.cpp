// Timing harness under Wine for the launcher window. (1) launcher.exe from process start to its
// first painted frame, beside a minimal Win32 program (this harness with --minimal-window) that
// opens one empty window and paints it grey, in the same run. "Painted" is when the screen shows
// the window's own colour at a point of it (for the launcher, the fill of the sign-in panel).
// Target: at most 1.5 times the minimal program. (2) The idle launcher window,
// with only its 100 ms timer, over 10 seconds of its process's CPU time. Target: well under 1 %
// of a core. Each start figure is the best of ROUNDS rounds (the machine is shared).
// Usage: bench_launcher_start_win [ROUNDS]   (default 5)
// Build it in a Windows tree configured with -DQEL_BENCH=ON; launcher.exe is taken from the
// harness's own folder and the game data from the repository's game/.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "common/handle_win.h"
#include "launcher/game_folder.h"
#include "launcher/launcher_state.h"
#include "launcher/launcher_window_win.h"
#include "seconds.h"

namespace {

namespace fs = std::filesystem;
using namespace Corvanthorne;

constexpr wchar_t kMinimalClass[] = L"QelmarinBenchMinimal";
// Where each window's paint shows, in client pixels at 96 DPI, and in which colour.
struct PaintMark {
  POINT at;
  COLORREF colour;
};
constexpr PaintMark kMinimalMark{{380, 240}, RGB(128, 128, 128)};
constexpr PaintMark kLauncherMark{{736, 200}, RGB(32, 35, 38)};  // the shipped sign-in panel's fill

LRESULT CALLBACK minimalProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(window, &paint);
    FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    EndPaint(window, &paint);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The baseline: one window of the launcher window's size and style, painted once.
int runMinimalWindow() {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = minimalProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kMinimalClass;
  RegisterClassExW(&windowClass);
  RECT outer{0, 0, 760, 480};
  AdjustWindowRect(&outer, WS_CAPTION | WS_SYSMENU, FALSE);
  const HWND window = CreateWindowExW(WS_EX_APPWINDOW, kMinimalClass, L"Minimal", WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                                      CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                      windowClass.hInstance, nullptr);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

struct Started {
  ScopedHandle process;
  DWORD id = 0;
};

Started start(const std::wstring& commandLine, const fs::path& folder) {
  std::wstring line = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &info))
    throwWindowsError("CreateProcessW");
  const ScopedHandle thread(info.hThread);
  return {ScopedHandle(info.hProcess), info.dwProcessId};
}

HWND shownWindow(DWORD processId, const wchar_t* windowClass) {
  for (HWND w = FindWindowW(windowClass, nullptr); w; w = FindWindowExW(nullptr, w, windowClass, nullptr)) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == processId && IsWindowVisible(w)) return w;
  }
  return nullptr;
}

bool painted(HWND window, const PaintMark& mark) {
  POINT at = mark.at;
  if (!window || !ClientToScreen(window, &at)) return false;
  const ScopedScreenDc screen(GetDC(nullptr));
  return GetPixel(screen.get(), at.x, at.y) == mark.colour;
}

// Seconds from the start until the screen shows the program's window painted; the process is
// left running.
double untilPainted(const std::wstring& commandLine, const fs::path& folder, const wchar_t* windowClass,
                    const PaintMark& mark, Started& out) {
  return seconds([&] {
    out = start(commandLine, folder);
    for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         !painted(shownWindow(out.id, windowClass), mark);) {
      if (std::chrono::steady_clock::now() > deadline || WaitForSingleObject(out.process.get(), 0) == WAIT_OBJECT_0)
        throw std::runtime_error("The program painted no window");
    }
  });
}

void closeAndWait(const Started& started, const wchar_t* windowClass) {
  PostMessageW(shownWindow(started.id, windowClass), WM_CLOSE, 0, 0);
  WaitForSingleObject(started.process.get(), 60000);
}

double cpuSeconds(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) throwWindowsError("GetThreadTimes");
  const auto value = [](const FILETIME& time) {
    return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
  };
  return value(kernel) + value(user);
}

// The launcher window over the game folder on this thread, until it is closed; its window
// handle is published once it is shown.
void runLauncherWindow(const fs::path& folder, std::atomic<HWND>& shown) {
  LauncherState state;
  readLauncherState(state, folder, "");
  if (!state.screen.load(folder / "data" / "gui" / "launcher.ghi")) throw std::runtime_error("launcher.ghi");
  state.services.repaint = [&state] { InvalidateRect(static_cast<HWND>(state.window), nullptr, FALSE); };
  state.services.play = [] {};
  state.services.registerAccount = [](std::string_view, std::string_view, std::string_view) { return std::wstring(); };
  configureGui(state);
  LauncherWindow window(state);
  if (!window.create(GetModuleHandleW(nullptr))) throw std::runtime_error("The launcher window");
  window.show(SW_SHOW);
  shown = static_cast<HWND>(state.window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// The CPU time of the window's thread over 10 seconds of idling, after a second to settle.
std::pair<double, double> idleCpu(const fs::path& folder) {
  std::atomic<HWND> shown{nullptr};
  std::atomic<DWORD> threadId{0};
  std::thread window([&] {
    threadId = GetCurrentThreadId();
    runLauncherWindow(folder, shown);
  });
  while (!shown) Sleep(10);
  Sleep(1000);
  const ScopedHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId));
  const double before = cpuSeconds(thread.get());
  const double wall = seconds([] { Sleep(10000); });
  const double used = cpuSeconds(thread.get()) - before;
  PostMessageW(shown, WM_CLOSE, 0, 0);
  window.join();
  return {used, wall};
}

// A developer tree of the repository's game data with this build's launcher: no update runs first.
fs::path gameFolder() {
  const fs::path folder = fs::temp_directory_path() / "qel-launcher-start-bench";
  fs::remove_all(folder);
  fs::copy(fs::path(QEL_GAME_DATA_DIR), folder, fs::copy_options::recursive);
  fs::copy_file(executableDirectory() / "launcher.exe", folder / "launcher.exe");
  std::ofstream(folder / "CMakeLists.txt");
  fs::create_directories(folder / "assets" / "worlds");
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--minimal-window") return runMinimalWindow();
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const fs::path folder = gameFolder();
  const std::wstring minimal = L"\"" + (executableDirectory() / "bench_launcher_start_win.exe").wstring() + L"\" --minimal-window";
  const std::wstring launcher = L"\"" + (folder / "launcher.exe").wstring() + L"\"";

  double minimalStart = 1e30, launcherStart = 1e30;
  for (int round = 0; round < rounds; ++round) {
    Started started;
    minimalStart = std::min(minimalStart, untilPainted(minimal, folder, kMinimalClass, kMinimalMark, started));
    closeAndWait(started, kMinimalClass);
    launcherStart = std::min(launcherStart, untilPainted(launcher, folder, L"CorvanthorneLauncher", kLauncherMark, started));
    closeAndWait(started, L"CorvanthorneLauncher");
  }

  const auto [used, wall] = idleCpu(folder);
  fs::remove_all(folder);

  std::printf("start to first painted frame, best of %d rounds\n", rounds);
  std::printf("minimal Win32 window     %.3f s\n", minimalStart);
  std::printf("launcher window          %.3f s   ratio %.2f (target <= 1.5)\n", launcherStart, launcherStart / minimalStart);
  std::printf("idle launcher window     %.3f s CPU in %.1f s = %.2f %% of a core (target well under 1 %%)\n", used, wall,
              100 * used / wall);
  return 0;
}
