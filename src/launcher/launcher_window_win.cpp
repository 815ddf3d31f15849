#include "launcher/launcher_window_win.h"

#include <windowsx.h>

#include <algorithm>

#include "common/dpi_win.h"
#include "common/handle_win.h"
#include "launcher/debug_log.h"
#include "launcher/launcher_window.h"
#include "render/theme.h"

namespace Corvanthorne {
namespace {

constexpr wchar_t kWindowClass[] = L"CorvanthorneLauncher";
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU;
constexpr UINT_PTR kTimerId = 18261;
constexpr UINT kTimerMilliseconds = 100;
constexpr COLORREF kBackground = RGB(5, 7, 10);

RECT clientRect(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  rect.right = std::max(rect.right, 1L);
  rect.bottom = std::max(rect.bottom, 1L);
  return rect;
}

void registerWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(101), IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                    GetSystemMetrics(SM_CYICON), LR_SHARED));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(101), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kWindowClass;
  // A class left registered by an earlier window of this process serves as well.
  RegisterClassExW(&windowClass);
}

}  // namespace

LauncherWindow::LauncherWindow(LauncherState& state)
    : state_(state), renderer_(state.services.gameRoot), accessibleSource_(state.screen, [this] { repaint(); }) {}

// The window's procedure finds this object through the window, so the window goes first.
LauncherWindow::~LauncherWindow() {
  const HWND window = static_cast<HWND>(state_.window);
  if (IsWindow(window) && reinterpret_cast<LauncherWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA)) == this)
    DestroyWindow(window);
}

bool LauncherWindow::create(HINSTANCE instance) {
  renderer_.prefetchImages(state_.screen.document());  // decoded while the window is made
  registerWindowClass(instance, procedure);
  RECT outer{0, 0, 760, 480};
  AdjustWindowRect(&outer, kWindowStyle, FALSE);
  const HWND window = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, L"Qelmarin MMO Launcher", kWindowStyle, CW_USEDEFAULT,
                                      CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                      instance, this);
  if (!window) return false;
  placeOnWorkArea(window);
  return true;
}

void LauncherWindow::show(int showCommand) {
  const HWND window = static_cast<HWND>(state_.window);
  ShowWindow(window, showCommand);
  UpdateWindow(window);
}

void LauncherWindow::rethrowFailure() const {
  if (failure_) std::rethrow_exception(failure_);
}

// The frame's size at this DPI is whatever the window has beyond its client area. Without the
// monitor's information the window keeps its created place and the DPI's size.
void LauncherWindow::placeOnWorkArea(HWND window) {
  RECT outer{};
  RECT client{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  const int frameWidth = (outer.right - outer.left) - client.right;
  const int frameHeight = (outer.bottom - outer.top) - client.bottom;
  ClientArea area = launcherClientArea(windowDpi(window));
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  const bool known = GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor) != FALSE;
  const RECT& work = monitor.rcWork;
  if (known) area = fitClientArea(area, {(work.right - work.left) - frameWidth, (work.bottom - work.top) - frameHeight});
  const int width = area.width + frameWidth, height = area.height + frameHeight;
  if (!known) return void(SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
  const int x = work.left + ((work.right - work.left) - width) / 2;
  const int y = work.top + ((work.bottom - work.top) - height) / 2;
  SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void LauncherWindow::setClientSize(int width, int height) { state_.screen.setClientSize(std::max(width, 1), std::max(height, 1)); }

void LauncherWindow::repaint() const { InvalidateRect(static_cast<HWND>(state_.window), nullptr, FALSE); }

// Drawn into a memory bitmap first and copied in one go, so that a paint never flickers.
void LauncherWindow::paint(HWND window) {
  PAINTSTRUCT paint{};
  const HDC target = BeginPaint(window, &paint);
  if (!target) return;
  try {
    paintInto(target, clientRect(window));
  } catch (...) {
    EndPaint(window, &paint);
    throw;
  }
  EndPaint(window, &paint);
}

void LauncherWindow::paintInto(HDC target, const RECT& client) {
  ScopedMemoryDc memory(CreateCompatibleDC(target));
  const HBITMAP bitmap = backBuffer(target, client);
  if (!memory || !bitmap) return;
  const HGDIOBJ previous = SelectObject(memory.get(), bitmap);
  SetDCBrushColor(memory.get(), theme_.colour(kBackground, COLOR_WINDOW));
  FillRect(memory.get(), &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  setClientSize(client.right, client.bottom);
  try {
    renderer_.paint(state_.screen, theme_.gui(), memory.get());
  } catch (...) {
    SelectObject(memory.get(), previous);
    throw;
  }
  BitBlt(target, 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
  SelectObject(memory.get(), previous);
}

HBITMAP LauncherWindow::backBuffer(HDC target, const RECT& client) {
  if (!backBuffer_ || backBufferSize_.cx != client.right || backBufferSize_.cy != client.bottom) {
    backBuffer_.reset(CreateCompatibleBitmap(target, client.right, client.bottom));
    backBufferSize_ = {client.right, client.bottom};
  }
  return backBuffer_.get();
}

LRESULT CALLBACK LauncherWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<LauncherWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->state_.window = window;
  }
  auto* self = reinterpret_cast<LauncherWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  try {
    return self->handle(window, message, wParam, lParam);
  } catch (...) {
    self->failure_ = std::current_exception();
    DestroyWindow(window);
    return 0;
  }
}

LRESULT LauncherWindow::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Gui::Screen& screen = state_.screen;
  const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  switch (message) {
    case WM_CREATE:
      SetTimer(window, kTimerId, kTimerMilliseconds, nullptr);
      accessible_.emplace(window, accessibleSource_);
      return 0;
    case WM_DESTROY:
      KillTimer(window, kTimerId);
      accessible_.reset();
      PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      setClientSize(LOWORD(lParam), HIWORD(lParam));
      repaint();
      return 0;
    case WM_DPICHANGED: {
      // The system suggests the same physical size on the new monitor; the screen scales the
      // document into whatever client size that gives.
      const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
      repaint();
      return 0;
    }
    case WM_PAINT:
      paint(window);
      // What was just painted is what a screen reader is told about.
      if (accessible_) accessible_->announceChanges();
      return 0;
    case WM_GETOBJECT:
      if (const auto answer = accessible_ ? accessible_->getObject(wParam, lParam) : std::nullopt) return *answer;
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_PRINTCLIENT:  // a picture of the window, as PrintWindow asks for it
      paintInto(reinterpret_cast<HDC>(wParam), clientRect(window));
      return 0;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      theme_.refresh();
      repaint();
      return 0;
    case kGameFilesDamagedMessage:
      state_.status = kGameFilesDamaged;
      repaint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_TIMER:
      if (wParam == kTimerId && screen.tick(monotonicNanoseconds())) repaint();
      return 0;
    case WM_MOUSEMOVE:
      if (screen.mouseMove(x, y)) repaint();
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // the second press of a double click is a press like the first
      SetCapture(window);
      screen.mouseDown(x, y);
      repaint();
      return 0;
    case WM_LBUTTONUP:
      if (GetCapture() == window) ReleaseCapture();
      screen.mouseUp(x, y);
      repaint();
      return 0;
    case WM_MOUSEWHEEL: {
      POINT point{x, y};
      ScreenToClient(window, &point);
      screen.mouseWheel(point.x, point.y, GET_WHEEL_DELTA_WPARAM(wParam));
      repaint();
      return 0;
    }
    case WM_CHAR:
      if (screen.character(static_cast<uint16_t>(wParam))) repaint();
      return 0;
    case WM_KEYDOWN: {
      const KeyOutcome outcome =
          launcherKeyDown(screen, static_cast<int32_t>(wParam), GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0);
      if (outcome.closeLauncher) {
        DestroyWindow(window);
      } else if (outcome.repaint) {
        repaint();
      }
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace Corvanthorne
