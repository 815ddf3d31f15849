// The update window: a title, the game folder, a status text, a progress bar with the time
// left, and up to three owner-drawn buttons. Designed at 610 x 380 pixels for 96 DPI and
// scaled, fonts included, to the DPI of its monitor.
#include <stdexcept>

#include "common/dpi_win.h"
#include "update/bootstrap_win.h"

namespace Corvanthorne::Update {
namespace {

constexpr wchar_t kWindowClass[] = L"CorvanthorneClientBootstrap";
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU;
constexpr int kMaxButtonText = 80;

constexpr COLORREF kBackground = RGB(32, 35, 38);
constexpr COLORREF kFrame = RGB(168, 146, 93);
constexpr COLORREF kTitleColour = RGB(220, 199, 151);
constexpr COLORREF kFolderColour = RGB(174, 166, 148);
constexpr COLORREF kDetailColour = RGB(232, 223, 201);
constexpr COLORREF kBarTrack = RGB(17, 19, 21);
constexpr COLORREF kBarFill = RGB(167, 137, 75);

RECT toRect(const PixelRect& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

void fill(HDC dc, const RECT& rect, COLORREF colour) {
  const ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(colour));
  FillRect(dc, &rect, brush.get());
}

void frame(HDC dc, RECT rect, COLORREF colour, int width) {
  const ScopedGdiObject<HBRUSH> brush(CreateSolidBrush(colour));
  for (int i = 0; i < width; ++i) {
    FrameRect(dc, &rect, brush.get());
    InflateRect(&rect, -1, -1);
  }
}

void drawText(HDC dc, const std::wstring& text, const PixelRect& where, HFONT font, COLORREF colour, UINT format) {
  RECT rect = toRect(where);
  SelectObject(dc, font);
  SetTextColor(dc, colour);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format | DT_NOPREFIX);
}

HFONT createFont(int height, const wchar_t* face) {
  return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

RECT clientRect(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  return client;
}

Bootstrap* bootstrapOf(HWND window) { return reinterpret_cast<Bootstrap*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

LRESULT CALLBACK updateWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  Bootstrap* bootstrap = bootstrapOf(window);
  if (!bootstrap) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      return bootstrap->attach(window) ? 0 : -1;
    case WM_SIZE:
      bootstrap->onSize(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(window, &paint);
      bootstrap->paint(dc, clientRect(window));
      EndPaint(window, &paint);
      bootstrap->announceChanges();
      return 0;
    }
    case WM_GETOBJECT:
      if (const auto answer = bootstrap->accessibleObject(wParam, lParam)) return *answer;
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_DRAWITEM:
      bootstrap->drawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_COMMAND:
      // Enter on a focused owner-drawn button arrives as IDOK from dialog navigation.
      bootstrap->onButton(LOWORD(wParam) == IDOK ? GetDlgCtrlID(GetFocus()) : LOWORD(wParam));
      return 0;
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
      bootstrap->onSystemColoursChanged();
      return 0;
    case WM_DPICHANGED:
      bootstrap->onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_CLOSE:
      bootstrap->onCloseRequested();
      return 0;
    case WM_DESTROY:
      bootstrap->detach();
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      return 0;
    case WM_TIMER:
      bootstrap->onRepaintTimer();
      return 0;
    case kProgressChangedMessage:
      bootstrap->onProgressChanged();
      return 0;
    case kWorkerFinishedMessage:
      bootstrap->onWorkerFinished();
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

void registerWindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = updateWindowProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kWindowClass;
  // A second bootstrap in the same process finds the class registered already.
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw std::runtime_error("Could not create the game update window");
}

}  // namespace

HWND createUpdateWindow(HINSTANCE instance, Bootstrap& bootstrap) {
  registerWindowClass(instance);
  const PixelRect design = updateWindowClientRect(kDesignDpi);
  RECT outer{0, 0, design.right, design.bottom};
  AdjustWindowRectEx(&outer, kWindowStyle, FALSE, WS_EX_APPWINDOW);
  const HWND window = CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, L"Qelmarin Game Update", kWindowStyle,
                                      CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                                      nullptr, nullptr, instance, &bootstrap);
  if (!window) throw std::runtime_error("Could not create the game update window");
  return window;
}

bool Bootstrap::attach(HWND window) {
  window_ = window;
  const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
  for (const int id : kButtonIds) {
    if (!CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_TABSTOP | BS_OWNERDRAW, 0, 0, 0, 0, window,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr))
      return false;
  }
  dpi_ = windowDpi(window);
  accessible_.emplace(window, static_cast<Gui::AccessibleSource&>(*this));
  rebuildFonts();
  fitClientToDpi();
  return titleFont_ && bodyFont_;
}

void Bootstrap::rebuildFonts() {
  const UpdateWindowLayout layout = layoutUpdateWindow(0, 0, dpi_);
  titleFont_.reset(createFont(layout.titleFontHeight, L"Palatino Linotype"));
  bodyFont_.reset(createFont(layout.bodyFontHeight, L"Segoe UI"));
}

// The frame's own size at this DPI is whatever the window has beyond its client area.
void Bootstrap::fitClientToDpi() {
  RECT outer{};
  GetWindowRect(window_, &outer);
  const RECT client = clientRect(window_);
  const PixelRect wanted = updateWindowClientRect(dpi_);
  const int width = wanted.width() + (outer.right - outer.left) - (client.right - client.left);
  const int height = wanted.height() + (outer.bottom - outer.top) - (client.bottom - client.top);
  SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Bootstrap::onDpiChanged(unsigned dpi, const RECT& suggested) {
  dpi_ = dpi;
  rebuildFonts();
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(window_, nullptr, TRUE);
}

void Bootstrap::onSize(int width, int height) {
  const UpdateWindowLayout layout = layoutUpdateWindow(width, height, dpi_);
  for (int i = 0; i < 3; ++i) {
    const PixelRect& button = layout.buttons[i];
    MoveWindow(GetDlgItem(window_, kButtonIds[i]), button.left, button.top, button.width(), button.height(), TRUE);
  }
}

void Bootstrap::onSystemColoursChanged() {
  theme_.refresh();
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void Bootstrap::paint(HDC dc, const RECT& client) const {
  const UpdateWindowLayout layout = layoutUpdateWindow(client.right, client.bottom, dpi_);
  const auto text = [this](COLORREF themed) { return theme_.colour(themed, COLOR_WINDOWTEXT); };
  fill(dc, client, theme_.colour(kBackground, COLOR_WINDOW));
  frame(dc, client, text(kFrame), layout.frameWidth);
  const BootstrapText shown = this->text();
  SetBkMode(dc, TRANSPARENT);
  drawText(dc, shown.title, layout.title, titleFont_.get(), text(kTitleColour), DT_WORDBREAK);
  drawText(dc, L"Game folder: " + gameFolder_.wstring(), layout.folder, bodyFont_.get(), text(kFolderColour),
           DT_WORDBREAK | DT_PATH_ELLIPSIS);
  drawText(dc, shown.detail, layout.detail, bodyFont_.get(), text(kDetailColour), DT_WORDBREAK);
  if (state_ != BootstrapState::Running) return;
  fill(dc, toRect(layout.bar), theme_.colour(kBarTrack, COLOR_WINDOW));
  frame(dc, toRect(layout.bar), theme_.colour(kBarTrack, COLOR_WINDOWTEXT), 1);
  fill(dc, toRect(barFill(layout.bar, shown.progress)), theme_.colour(kBarFill, COLOR_HIGHLIGHT));
  drawText(dc, timeLeft_.text(), layout.timeLeft, bodyFont_.get(), text(kFolderColour), DT_SINGLELINE);
}

std::optional<LRESULT> Bootstrap::accessibleObject(WPARAM wParam, LPARAM lParam) {
  return accessible_ ? accessible_->getObject(wParam, lParam) : std::nullopt;
}

void Bootstrap::announceChanges() {
  if (accessible_) accessible_->announceChanges();
}

void Bootstrap::detach() { accessible_.reset(); }

std::vector<Gui::AccessibleObject> Bootstrap::accessibleObjects() {
  const RECT client = clientRect(window_);
  const UpdateWindowLayout layout = layoutUpdateWindow(client.right, client.bottom, dpi_);
  const BootstrapText shown = text();
  std::vector<Gui::AccessibleObject> objects;
  const auto add = [&objects](Gui::AccessibleRole role, std::wstring name, std::wstring value, const PixelRect& r) {
    Gui::AccessibleObject object;
    object.row = static_cast<int32_t>(objects.size());
    object.role = role;
    object.name = std::move(name);
    object.value = std::move(value);
    object.rect = {r.left, r.top, r.right, r.bottom};
    objects.push_back(std::move(object));
  };
  add(Gui::AccessibleRole::Text, shown.title, L"", layout.title);
  add(Gui::AccessibleRole::Text, L"Game folder: " + gameFolder_.wstring(), L"", layout.folder);
  add(Gui::AccessibleRole::Text, shown.detail, L"", layout.detail);
  if (state_ == BootstrapState::Running)
    add(Gui::AccessibleRole::ProgressBar, shown.title, std::to_wstring(shown.progress) + L"%", layout.bar);
  return objects;
}

void Bootstrap::drawButton(const DRAWITEMSTRUCT& item) const {
  const UpdateWindowLayout layout = layoutUpdateWindow(0, 0, dpi_);
  const bool pressed = item.itemState & ODS_SELECTED;
  fill(item.hDC, item.rcItem, pressed ? theme_.colour(kBarTrack, COLOR_HIGHLIGHT) : theme_.colour(kBackground, COLOR_BTNFACE));
  frame(item.hDC, item.rcItem, theme_.colour(kFrame, COLOR_BTNTEXT), layout.frameWidth);
  wchar_t caption[kMaxButtonText + 1] = {};
  GetWindowTextW(item.hwndItem, caption, kMaxButtonText + 1);
  SetBkMode(item.hDC, TRANSPARENT);
  RECT rect = item.rcItem;
  SelectObject(item.hDC, bodyFont_.get());
  SetTextColor(item.hDC, theme_.colour(kDetailColour, COLOR_BTNTEXT));
  DrawTextW(item.hDC, caption, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (item.itemState & ODS_FOCUS) {
    InflateRect(&rect, -layout.focusInset, -layout.focusInset);
    DrawFocusRect(item.hDC, &rect);
  }
}

}  // namespace Corvanthorne::Update
