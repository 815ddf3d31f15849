// cvtool ghi render: the launcher window's paint, into a PNG.
#include <windows.h>

#include <stdexcept>

#include "common/handle_win.h"
#include "common/text.h"
#include "render/gdi.h"
#include "render/gui_bitmap_win.h"
#include "tools/cvtool/ghi.h"

namespace Corvanthorne::Tools {

void renderGhiView(Gui::Screen& screen, const std::string& pngFile) {
  const int32_t width = screen.clientWidth(), height = screen.clientHeight();
  ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
  BITMAPINFO info{};
  info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  ScopedGdiObject<HBITMAP> bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dc || !bitmap) throwWindowsError("Create the render bitmap");
  const HGDIOBJ previous = SelectObject(dc.get(), bitmap.get());
  // The launcher window's background, then the screen painted over it.
  const RECT all{0, 0, width, height};
  SetDCBrushColor(dc.get(), RGB(5, 7, 10));
  FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  try {
    Gui::GdiRenderer(pathFromUtf8(screen.document().source.empty() ? "" : wideToUtf8(screen.document().source)).parent_path())
        .paint(screen, Gui::defaultGuiTheme(), dc.get());
  } catch (...) {
    SelectObject(dc.get(), previous);
    throw;
  }
  GdiFlush();
  SelectObject(dc.get(), previous);
  const auto size = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  Gui::writePng(pathFromUtf8(pngFile), width, height, std::span(static_cast<const uint8_t*>(bits), size));
}

}  // namespace Corvanthorne::Tools
