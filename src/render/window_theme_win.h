#pragma once
// The colours a window paints with: its own theme, or the system's colours while the
// system's high-contrast mode is on.
#include <windows.h>

#include <optional>

#include "render/theme.h"

namespace Corvanthorne::Gui {

class WindowTheme {
 public:
  WindowTheme() { refresh(); }

  // Reads the system's setting and colours again (on WM_SETTINGCHANGE and WM_SYSCOLORCHANGE).
  void refresh();
  // Stands in for the system's setting until called with none (tests paint in high contrast so).
  void force(std::optional<bool> highContrast) {
    forced_ = highContrast;
    refresh();
  }

  bool highContrast() const { return highContrast_; }
  const CorvanthorneGuiTheme& gui() const { return highContrast_ ? system_ : defaultGuiTheme(); }
  // A colour the window picks itself: `themed`, or in high contrast the system colour
  // `systemIndex` (COLOR_WINDOW, COLOR_WINDOWTEXT, ...).
  COLORREF colour(COLORREF themed, int systemIndex) const { return highContrast_ ? GetSysColor(systemIndex) : themed; }

 private:
  std::optional<bool> forced_;
  bool highContrast_ = false;
  CorvanthorneGuiTheme system_;
};

}  // namespace Corvanthorne::Gui
