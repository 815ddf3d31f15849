// cvtool loading: the loading window as the play flow starts it, driven by a scripted client,
// for people who want to see it and for tests and benchmarks. The current folder is the game
// root; the statistics line goes to standard output.
#include <windows.h>

#include <algorithm>
#include <ostream>
#include <stdexcept>
#include <thread>

#include "common/text.h"
#include "gui/values.h"
#include "launcher/debug_log.h"
#include "startup/loading_screen_win.h"
#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Tools {
namespace {

using Startup::LoadingProgressBlock;

constexpr std::string_view kUsage =
    "loading [--seconds S] [--size WxH] [--fullscreen] [--steps N] [--file TEXT] [--instance N] [--image PNG]";

struct LoadingRun {
  double seconds = 3.0;
  ClientSize size{1280, 720};
  bool fullscreen = false;
  int32_t steps = 12;
  std::wstring file = L"assets\\worlds\\harbour\\town.map";
  int32_t instance = 0;
  std::string image;
};

int32_t positive(const std::string& option, const std::string& value) {
  const auto number = wholeNumber(value);
  if (!number || *number < 1) throw std::invalid_argument(option + ": expected a whole number from 1, got " + value);
  return *number;
}

LoadingRun parseLoadingRun(Arguments arguments) {
  LoadingRun run;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    if (option == "--fullscreen") {
      run.fullscreen = true;
      continue;
    }
    if (i + 1 >= arguments.size()) throwUsage(kUsage);
    const std::string& value = arguments[++i];
    if (option == "--seconds") {
      const auto seconds = Gui::leadingNumber(utf8ToWide(value));
      if (!seconds || !(*seconds >= 0 && *seconds <= 3600))
        throw std::invalid_argument("--seconds: expected a number from 0 to 3600, got " + value);
      run.seconds = *seconds;
    } else if (option == "--size") {
      run.size = clientSizeOf(value);
    } else if (option == "--steps") {
      run.steps = positive(option, value);
    } else if (option == "--file") {
      run.file = utf8ToWide(value);
    } else if (option == "--instance") {
      const auto instance = wholeNumber(value);
      if (!instance) throw std::invalid_argument("--instance: expected a whole number, got " + value);
      run.instance = *instance;
    } else if (option == "--image") {
      run.image = value;
    } else {
      throwUsage(kUsage);
    }
  }
  return run;
}

// The client's side: publishes its steps evenly over the run, rewriting the file text at each,
// then reports ready. A loading window that closes ends it early.
void playClient(LoadingProgressBlock& block, HANDLE loadingClosed, const LoadingRun& run) {
  block.totalSteps.exchange(run.steps);
  block.instanceNumber.exchange(run.instance);
  block.stepsPublished.exchange(1);
  const auto stepMilliseconds = static_cast<DWORD>(run.seconds * 1000 / run.steps);
  for (int32_t step = 1; step <= run.steps; ++step) {
    if (WaitForSingleObject(loadingClosed, stepMilliseconds) != WAIT_TIMEOUT) return;
    Startup::writeFileText(block, run.file);
    block.completedSteps.exchange(step);
  }
  block.ready.exchange(1);
}

// The maximised loading window of this process, restored to the size asked for, so that runs
// at different sizes compare.
void restoreLoadingWindow() {
  EnumWindows(
      [](HWND window, LPARAM) -> BOOL {
        DWORD process = 0;
        wchar_t className[64] = {};
        GetWindowThreadProcessId(window, &process);
        if (process != GetCurrentProcessId() || !GetClassNameW(window, className, 64) ||
            std::wstring_view(className) != Startup::kLoadingWindowClass)
          return TRUE;
        ShowWindowAsync(window, SW_RESTORE);
        return FALSE;
      },
      0);
}

}  // namespace

int runLoadingCommand(Arguments arguments, std::ostream& out) {
  const LoadingRun run = parseLoadingRun(arguments);
  setDebugLogging(true);
  const Startup::LoadingHandles handles = Startup::createLoadingHandles();
  LoadingProgressBlock& block = handles.block();
  block.totalSteps.exchange(Startup::kPlannedStartupSteps);
  // The launcher window the loading screen would stand in for: hidden, it only names a monitor.
  const ScopedWindow owner(
      CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
  if (!owner) throwWindowsError("Create the owner window");
  GameSettings settings;
  settings.width = run.size.width;
  settings.height = run.size.height;
  settings.fullscreen = run.fullscreen;
  Startup::LoadingScreen screen(handles, settings, owner.get(), pathFromUtf8(run.image));
  if (!run.fullscreen) restoreLoadingWindow();
  std::thread client(playClient, std::ref(block), handles.closedEvent.get(), std::cref(run));
  WaitForSingleObject(handles.closedEvent.get(), INFINITE);
  screen.stop();
  client.join();
  if (screen.statistics().presentationFrames == 0)
    throw std::runtime_error("The loading screen failed; the debug log " + pathText(debugLogPath()) + " says why");
  out << Startup::statisticsLine(screen.statistics()) << "\n";
  if (block.ready.load() != 0) return 0;
  return block.closed.load() != 0 ? 2 : 1;
}

}  // namespace Corvanthorne::Tools
