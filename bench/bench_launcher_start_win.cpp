// Timing harness under Wine for the launcher window. (1) launcher.exe from process start to its
// first painted frame, beside a minimal Win32 program (this harness with --minimal-window) that
// opens one empty window and paints it grey, in the same run: "painted" is when the screen shows
// the window's own colour at a point of it. Target: at most 1.5 times the minimal program, best
// of ROUNDS rounds (the machine is shared). (2) The idle launcher window, with only its 100 ms
// timer, over 10 seconds of its thread's CPU time; this harness opens it on a thread of its own,
// as Wine does not report another process's times. Target: well under 1 % of a core.
// Usage: bench_launcher_start_win [ROUNDS]   (default 5)
// Build it in a Windows tree configured with -DQEL_BENCH=ON; it runs that tree's launcher.exe
// on the repository's game data.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "common/handle_win.h"
#include "common/thread_time_win.h"
#include "harness.h"
#include "launcher/game_folder.h"
#include "launcher/launcher_state.h"
#include "launcher/launcher_window_win.h"
#include "support/desktop_win.h"

namespace {

namespace fs = std::filesystem;
using namespace Corvanthorne;

// Where a window's paint shows (client pixels at 96 DPI) and in which colour.
struct PaintMark {
  const wchar_t* windowClass;
  POINT at;
  COLORREF colour;
};
constexpr PaintMark kMinimal{L"QelmarinBenchMinimal", {380, 240}, RGB(128, 128, 128)};
constexpr PaintMark kLauncher{L"CorvanthorneLauncher", {736, 200}, RGB(32, 35, 38)};  // the sign-in panel

LRESULT CALLBACK minimalProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);
  if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
  PAINTSTRUCT paint{};
  FillRect(BeginPaint(window, &paint), &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  EndPaint(window, &paint);
  return 0;
}

int runMinimalWindow() {
  const WNDCLASSEXW windowClass{sizeof(WNDCLASSEXW), 0, minimalProcedure, 0, 0, GetModuleHandleW(nullptr), nullptr,
                                nullptr, nullptr, nullptr, kMinimal.windowClass, nullptr};
  RegisterClassExW(&windowClass);
  const HWND window = CreateWindowExW(0, kMinimal.windowClass, L"Minimal", WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, 0,
                                      766, 509, nullptr, nullptr, windowClass.hInstance, nullptr);
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

bool painted(HWND window, const PaintMark& mark) {
  POINT at = mark.at;
  if (!window || !ClientToScreen(window, &at)) return false;
  const ScopedScreenDc screen(GetDC(nullptr));
  return GetPixel(screen.get(), at.x, at.y) == mark.colour;
}

// Seconds from starting commandLine until its window shows painted; then the window is closed.
double startToPaint(std::wstring commandLine, const fs::path& folder, const PaintMark& mark) {
  ScopedHandle process;
  HWND window = nullptr;
  const double elapsed = Bench::seconds([&] {
    process = Testing::launchProcess(std::move(commandLine), folder);
    const DWORD processId = GetProcessId(process.get());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    // Looked at every millisecond: a busy loop would take a core from the program it times.
    while (!painted(window = Testing::windowOf(processId, mark.windowClass, 0), mark)) {
      if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("No painted window");
      Sleep(1);
    }
  });
  PostMessageW(window, WM_CLOSE, 0, 0);
  WaitForSingleObject(process.get(), 60000);
  return elapsed;
}

// The launcher window on a thread of its own; the CPU time that thread uses in 10 seconds of
// idling, a second after the window opened.
double idleCpuSeconds(const fs::path& folder) {
  std::atomic<HWND> shown{nullptr};
  std::atomic<DWORD> threadId{0};
  std::thread windowThread([&] {
    threadId = GetCurrentThreadId();
    LauncherState state;
    readLauncherState(state, folder, "");
    state.screen.load(folder / "data" / "gui" / "launcher.ghi");
    state.services.repaint = [&state] { InvalidateRect(static_cast<HWND>(state.window), nullptr, FALSE); };
    configureGui(state);
    LauncherWindow window(state);
    window.create(GetModuleHandleW(nullptr));
    window.show(SW_SHOW);
    shown = static_cast<HWND>(state.window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  });
  while (!shown) Sleep(10);
  Sleep(1000);
  const ScopedHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId));
  const double before = threadCpuSeconds(thread.get());
  Sleep(10000);
  const double used = threadCpuSeconds(thread.get()) - before;
  PostMessageW(shown, WM_CLOSE, 0, 0);
  windowThread.join();
  return used;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--minimal-window") return runMinimalWindow();
  const int rounds = std::max(1, Bench::argument(argc, argv, 1, 5));
  // A developer tree of the game data with this build's launcher: no update runs first.
  const fs::path folder = fs::temp_directory_path() / "qel-launcher-start-bench";
  fs::remove_all(folder);
  fs::copy(fs::path(QEL_GAME_DATA_DIR), folder, fs::copy_options::recursive);
  fs::copy_file(Testing::launcherPath(), folder / "launcher.exe");
  std::ofstream(folder / "CMakeLists.txt");
  fs::create_directories(folder / "assets" / "worlds");

  const std::wstring minimal = Testing::quotedPath(executableDirectory() / "bench_launcher_start_win.exe") + L" --minimal-window";
  double minimalStart = 1e30, launcherStart = 1e30;
  for (int round = 0; round < rounds; ++round) {
    minimalStart = std::min(minimalStart, startToPaint(minimal, folder, kMinimal));
    launcherStart = std::min(launcherStart, startToPaint(Testing::quotedPath(folder / "launcher.exe"), folder, kLauncher));
  }
  const double idle = idleCpuSeconds(folder);
  fs::remove_all(folder);
  std::printf("start to first painted frame, best of %d rounds\n", rounds);
  std::printf("minimal Win32 window     %.3f s\n", minimalStart);
  std::printf("launcher window          %.3f s   ratio %.2f (target <= 1.5)\n", launcherStart, launcherStart / minimalStart);
  std::printf("idle launcher window     %.3f s CPU in 10 s = %.2f %% of a core (target well under 1 %%)\n", idle, idle * 10);
  return 0;
}
