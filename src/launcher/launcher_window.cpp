#include "launcher/launcher_window.h"

#include <algorithm>

#include "common/dpi.h"

namespace Corvanthorne {

namespace {
constexpr int32_t kEscape = 27;
}

ClientArea launcherClientArea(unsigned dpi) { return {scaleForDpi(760, dpi), scaleForDpi(480, dpi)}; }

ClientArea fitClientArea(ClientArea wanted, ClientArea room) {
  if (wanted.width <= room.width && wanted.height <= room.height) return wanted;
  const double scale = std::min(static_cast<double>(room.width) / wanted.width, static_cast<double>(room.height) / wanted.height);
  return {std::max(1, static_cast<int>(wanted.width * scale)), std::max(1, static_cast<int>(wanted.height * scale))};
}

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
