#include "launcher/launcher_window.h"

#include "common/dpi.h"

namespace Corvanthorne {

namespace {
constexpr int32_t kEscape = 27;
}

ClientArea launcherClientArea(unsigned dpi) { return {scaleForDpi(760, dpi), scaleForDpi(480, dpi)}; }

KeyOutcome launcherKeyDown(Gui::Screen& screen, int32_t virtualKey, bool shift, bool control) {
  bool offered = !screen.popupName().empty();
  if (!offered) {
    screen.layout();
    offered = screen.findModal() != nullptr;
  }
  if (offered && screen.keyDown(virtualKey, shift, control)) return {true, false};
  if (virtualKey == kEscape) return {false, true};
  // A key the screen has just left alone would be left alone again.
  if (offered) return {};
  return {screen.keyDown(virtualKey, shift, control), false};
}

}  // namespace Corvanthorne
