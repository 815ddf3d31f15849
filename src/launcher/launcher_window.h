#pragma once
// The launcher window's rules that need no window: its size at a monitor's DPI, and where a
// key goes (to the screen, or Escape closing the launcher).
#include <cstdint>

#include "gui/screen.h"

namespace Corvanthorne {

// The client area: 760 x 480 at 96 DPI, scaled to the DPI of the monitor.
struct ClientArea {
  int width = 0;
  int height = 0;
  bool operator==(const ClientArea&) const = default;
};
ClientArea launcherClientArea(unsigned dpi);

// The client area made smaller, in the same proportions, when it does not fit the room the
// monitor's work area leaves inside the window frame (a high-DPI setting on a small screen);
// the system would otherwise cut the window to the screen and squeeze the document.
ClientArea fitClientArea(ClientArea wanted, ClientArea room);

struct KeyOutcome {
  bool repaint = false;
  bool closeLauncher = false;
};

// While a drop-down is open or a modal window shows, the screen sees the key first; a key it
// leaves alone, or any key when neither shows: Escape closes the launcher, others go to the
// screen.
KeyOutcome launcherKeyDown(Gui::Screen& screen, int32_t virtualKey, bool shift, bool control);

}  // namespace Corvanthorne
