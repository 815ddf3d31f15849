#pragma once
// The launcher window: a fixed-size window that the launcher's GUI screen is painted into with
// GDI, and whose mouse, keyboard and timer messages become calls on that screen.
#include <windows.h>

#include <exception>
#include <optional>

#include "common/handle_win.h"
#include "gui/accessible_win.h"
#include "launcher/launcher_state.h"
#include "render/gdi.h"
#include "render/window_theme_win.h"

namespace Corvanthorne {

// Posted by the rolling check's thread when it finds a damaged game file.
inline constexpr UINT kGameFilesDamagedMessage = WM_APP + 61;

class LauncherWindow {
 public:
  // Pictures of the document are read below the state's game root.
  explicit LauncherWindow(LauncherState& state);
  ~LauncherWindow();
  LauncherWindow(const LauncherWindow&) = delete;
  LauncherWindow& operator=(const LauncherWindow&) = delete;

  // Creates the window of class "CorvanthorneLauncher" at 760 x 480 client pixels scaled to the
  // DPI of its monitor (and to the monitor's work area, if that is smaller), centred on the
  // work area. False when it cannot be created.
  bool create(HINSTANCE instance);
  void show(int showCommand);

  // An exception that ended the window from inside its procedure (painting, an action), which
  // must not unwind through the system's frames: thrown again once the message loop is over.
  void rethrowFailure() const;

  // Its own colours, or the system's in high contrast; the setting is followed while open.
  Gui::WindowTheme& theme() { return theme_; }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void placeOnWorkArea(HWND window);
  void setClientSize(int width, int height);
  void paint(HWND window);
  void paintInto(HDC target, const RECT& client);
  HBITMAP backBuffer(HDC target, const RECT& client);
  void repaint() const;

  LauncherState& state_;
  Gui::GdiRenderer renderer_;
  Gui::WindowTheme theme_;
  // Kept from paint to paint while the client size holds: a paint then allocates no bitmap.
  ScopedGdiObject<HBITMAP> backBuffer_;
  SIZE backBufferSize_{};
  std::exception_ptr failure_;
  Gui::ScreenAccessibleSource accessibleSource_;
  std::optional<Gui::AccessibleWindow> accessible_;  // while the window exists
};

}  // namespace Corvanthorne
