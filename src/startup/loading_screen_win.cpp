#include "startup/loading_screen_win.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <utility>

#include "common/com_win.h"
#include "common/thread_time_win.h"
#include "gui/accessible_win.h"
#include "launcher/debug_log.h"
#include "render/window_theme_win.h"
#include "startup/canvas_win.h"

// Windows 10 1803 and later; MinGW-w64's headers do not name it yet.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace Corvanthorne::Startup {
namespace {

constexpr wchar_t kWindowTitle[] = L"Qelmarin - Loading";
constexpr LONGLONG kFramesPerSecond = 120;
constexpr int kMessagesPerPass = 64;  // a flood of messages cannot starve drawing

// What the window procedure reaches through the window's user data.
struct WindowLink {
  void* view = nullptr;  // the block's
  Gui::AccessibleWindow* accessible = nullptr;
  bool coloursChanged = false;  // the frame loop reads the system's colours again
};

WindowLink* linkOf(HWND window) { return reinterpret_cast<WindowLink*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

LoadingProgressBlock* blockOf(HWND window) {
  const WindowLink* link = linkOf(window);
  return link && link->view ? static_cast<LoadingProgressBlock*>(link->view) : nullptr;
}

// The caption and the progress bar for screen readers, from the frame's screen, for as long
// as the scope lives.
class AccessibleLoading {
 public:
  AccessibleLoading(WindowLink& link, HWND window, Gui::Screen& screen)
      : link_(link), source_(screen, [] {}), accessible_(window, source_) {
    link_.accessible = &accessible_;
  }
  ~AccessibleLoading() { link_.accessible = nullptr; }
  AccessibleLoading(const AccessibleLoading&) = delete;
  AccessibleLoading& operator=(const AccessibleLoading&) = delete;
  void announceChanges() { accessible_.announceChanges(); }

 private:
  WindowLink& link_;
  Gui::ScreenAccessibleSource source_;
  Gui::AccessibleWindow accessible_;
};

void markClosed(HWND window) {
  if (LoadingProgressBlock* block = blockOf(window)) block->closed.exchange(1);
}

// Drawing happens in the frame loop only; closing just tells the loop (and the play flow).
LRESULT CALLBACK loadingWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams));
      break;
    case WM_CLOSE:
      markClosed(window);
      return 0;
    case WM_QUERYENDSESSION:
      markClosed(window);
      return TRUE;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      if (WindowLink* link = linkOf(window)) link->coloursChanged = true;
      break;
    case WM_GETOBJECT:
      if (const WindowLink* link = linkOf(window); link && link->accessible)
        if (const auto answer = link->accessible->getObject(wParam, lParam)) return *answer;
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The class for this thread's window; one that is registered already counts as ours to use.
class WindowClass {
 public:
  WindowClass() {
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = loadingWindowProcedure;
    description.hInstance = GetModuleHandleW(nullptr);
    description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    description.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    description.lpszClassName = kLoadingWindowClass;
    registered_ = RegisterClassExW(&description) != 0;
    if (!registered_ && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) throw std::runtime_error("Loading window class");
  }
  ~WindowClass() {
    if (registered_) UnregisterClassW(kLoadingWindowClass, GetModuleHandleW(nullptr));
  }
  WindowClass(const WindowClass&) = delete;
  WindowClass& operator=(const WindowClass&) = delete;

 private:
  bool registered_ = false;
};

ScopedWindow createLoadingWindow(const RECT& monitor, const GameSettings& settings, WindowLink* link) {
  const DWORD style = settings.fullscreen ? WS_POPUP : WS_OVERLAPPEDWINDOW;
  RECT outer = monitor;
  if (!settings.fullscreen) {
    outer = RECT{0, 0, settings.width, settings.height};
    AdjustWindowRectEx(&outer, style, FALSE, WS_EX_APPWINDOW);
  }
  const LONG width = outer.right - outer.left, height = outer.bottom - outer.top;
  const LONG x = monitor.left + (monitor.right - monitor.left - width) / 2;
  const LONG y = monitor.top + (monitor.bottom - monitor.top - height) / 2;
  ScopedWindow window(CreateWindowExW(WS_EX_APPWINDOW, kLoadingWindowClass, kWindowTitle, style, x, y, width, height,
                                      nullptr, nullptr, GetModuleHandleW(nullptr), link));
  if (!window) throw std::runtime_error("Loading window");
  return window;
}

ScopedHandle createFrameTimer() {
  ScopedHandle timer(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS));
  if (!timer) timer.reset(CreateWaitableTimerW(nullptr, FALSE, nullptr));
  if (!timer) throw std::runtime_error("Loading frame timer");
  return timer;
}

LONGLONG counterNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// Removes, translates and dispatches at most one pass of messages; a quit message closes.
void pumpMessages(LoadingProgressBlock& block) {
  MSG message;
  for (int i = 0; i < kMessagesPerPass && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (message.message == WM_QUIT) block.closed.exchange(1);
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

RECT monitorOf(HWND window) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) return info.rcMonitor;
  return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

}  // namespace

LoadingScreen::LoadingScreen(const LoadingHandles& handles, const GameSettings& windowSettings, HWND launcherWindow,
                             std::filesystem::path loadingImage)
    : handles_(&handles),
      loadingImage_(std::move(loadingImage)),
      stopEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      startedEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!stopEvent_ || !startedEvent_) throw std::runtime_error("Loading screen events");
  thread_ = std::thread(&LoadingScreen::run, this, monitorOf(launcherWindow), windowSettings);
  WaitForSingleObject(startedEvent_.get(), INFINITE);
}

LoadingScreen::~LoadingScreen() { stop(); }

void LoadingScreen::stop() {
  SetEvent(stopEvent_.get());
  if (thread_.joinable()) thread_.join();  // from the loading thread itself: resource deadlock
}

void LoadingScreen::run(RECT monitor, GameSettings windowSettings) {
  try {
    runWindow(monitor, windowSettings);
  } catch (const std::exception& error) {
    debugLog("LOADING", error.what());
    handles_->block().closed.exchange(1);
  } catch (...) {
    handles_->block().closed.exchange(1);
  }
  // Last, so that a constructor still waiting returns and the play flow wakes up.
  SetEvent(startedEvent_.get());
  SetEvent(handles_->closedEvent.get());
}

// One window's life on the loading thread; what it holds is released in reverse order
// (timer, accessible objects, canvas, window, class, COM) on every way out.
void LoadingScreen::runWindow(const RECT& monitor, const GameSettings& windowSettings) {
  const ComScope com(COINIT_APARTMENTTHREADED);
  if (!com.initialised()) throw std::runtime_error("Loading screen graphics initialization failed");
  const WindowClass windowClass;
  WindowLink link{handles_->view.get()};
  const ScopedWindow window = createLoadingWindow(monitor, windowSettings, &link);
  const auto canvas = std::make_unique<Canvas>(loadingImage_);
  canvas->create(window.get());
  AccessibleLoading accessible(link, window.get(), canvas->frame().screen());
  Gui::WindowTheme theme;
  const auto followTheme = [&] {
    canvas->frame().setHighContrast(theme.highContrast() ? std::optional(theme.gui()) : std::nullopt);
  };
  followTheme();
  imageLoaded_ = canvas->imageLoaded();
  ShowWindow(window.get(), windowSettings.fullscreen ? SW_SHOW : SW_SHOWMAXIMIZED);
  SetForegroundWindow(window.get());

  LoadingProgressBlock& block = handles_->block();
  canvas->draw(window.get(), progressFraction(block), 0.0, block.instanceNumber.load());
  SetEvent(startedEvent_.get());

  const ScopedHandle timer = createFrameTimer();
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const LONGLONG f = frequency.QuadPart, start = counterNow();
  const LONGLONG period = std::max<LONGLONG>(1, f / kFramesPerSecond);
  LONGLONG deadline = start + period;
  uint64_t frames = 1;
  const HANDLE wakers[] = {stopEvent_.get(), timer.get()};
  for (;;) {
    pumpMessages(block);
    if (block.closed.load() != 0 || WaitForSingleObject(stopEvent_.get(), 0) == WAIT_OBJECT_0) break;
    LONGLONG now = counterNow();
    if (now >= deadline) {
      if (std::exchange(link.coloursChanged, false)) {
        theme.refresh();
        followTheme();
      }
      const bool ready = block.ready.load() != 0;
      canvas->frame().readFileText(block);
      const int32_t instance = block.instanceNumber.load();
      canvas->draw(window.get(), progressFraction(block), static_cast<double>(now - start) / static_cast<double>(f),
                   instance);
      accessible.announceChanges();
      ++frames;
      if (ready) {
        if (const DWORD client = block.clientProcessId.load()) AllowSetForegroundWindow(client);
        break;
      }
      // Lost frames are not made up: a loop that fell behind starts its schedule again.
      deadline += period;
      now = counterNow();
      if (deadline <= now) deadline = now + period;
    }
    LARGE_INTEGER due;
    due.QuadPart = -std::max<LONGLONG>(1, (deadline - now) * 10'000'000 / f);
    if (!SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE))
      throw std::runtime_error("Loading frame timer scheduling");
    if (MsgWaitForMultipleObjectsEx(2, wakers, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_FAILED)
      throw std::runtime_error("Loading frame wait");
  }
  CancelWaitableTimer(timer.get());
  statistics_.presentationFrames = frames;
  statistics_.seconds = static_cast<double>(counterNow() - start) / static_cast<double>(f);
  statistics_.cpuSeconds = threadCpuSeconds();
  debugLog("LOADING", statisticsLine(statistics_));
}

}  // namespace Corvanthorne::Startup
