#include "render/window_theme_win.h"

namespace Corvanthorne::Gui {
namespace {

bool systemHighContrast() {
  HIGHCONTRASTW setting{};
  setting.cbSize = sizeof(setting);
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(setting), &setting, 0) && (setting.dwFlags & HCF_HIGHCONTRASTON);
}

}  // namespace

void WindowTheme::refresh() {
  highContrast_ = forced_.value_or(systemHighContrast());
  if (highContrast_)
    system_ = highContrastGuiTheme({GetSysColor(COLOR_WINDOW), GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_HIGHLIGHT),
                                    GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNTEXT), GetSysColor(COLOR_GRAYTEXT)});
}

}  // namespace Corvanthorne::Gui
