// Timing harness under Wine: one GDI paint of a realistic 760 x 480 launcher document (as the
// launcher window's paint handler does it: background fill, then the screen) against a bare
// BitBlt of the same size, in one run. A paint must fit a frame at 120 Hz (8.3 ms) with room
// to spare. Usage: bench_gdi_paint_win [DOCUMENT] [PAINTS]  (default docs/gui-sample.ghi, 200)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "common/handle_win.h"
#include "common/text.h"
#include "render/gdi.h"

namespace {

using Clock = std::chrono::steady_clock;

// A memory device context holding a 32-bit DIB of the given size.
struct Surface {
  Surface(int width, int height) : dc(CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    previous = SelectObject(dc.get(), bitmap.get());
  }
  ~Surface() { SelectObject(dc.get(), previous); }
  Corvanthorne::ScopedMemoryDc dc;
  Corvanthorne::ScopedGdiObject<HBITMAP> bitmap;
  HGDIOBJ previous = nullptr;
};

// Milliseconds per run of `action`, the mean over `runs` after a few warm-up runs.
template <typename Action>
double millisecondsEach(int runs, Action action) {
  for (int i = 0; i < 5; ++i) action();
  GdiFlush();
  const auto start = Clock::now();
  for (int i = 0; i < runs; ++i) action();
  GdiFlush();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / runs;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace Corvanthorne;
  const char* document = argc > 1 ? argv[1] : "docs/gui-sample.ghi";
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
  constexpr int width = 760, height = 480;
  Gui::Screen screen;
  if (!screen.load(pathFromUtf8(document))) {
    std::printf("cannot load %s\n", document);
    return 1;
  }
  screen.setClientSize(width, height);
  Surface frame(width, height), window(width, height);
  Gui::GdiRenderer renderer;
  const RECT all{0, 0, width, height};
  const double paint = millisecondsEach(runs, [&] {
    SetDCBrushColor(frame.dc.get(), RGB(5, 7, 10));
    FillRect(frame.dc.get(), &all, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    renderer.paint(screen, Gui::defaultGuiTheme(), frame.dc.get());
  });
  const double blit = millisecondsEach(runs, [&] { BitBlt(window.dc.get(), 0, 0, width, height, frame.dc.get(), 0, 0, SRCCOPY); });
  std::printf("document %s, %d x %d, %zu controls, %d paints\n"
              "GDI paint  %.3f ms\nBitBlt     %.3f ms\nratio paint/BitBlt %.1f\n"
              "a 120 Hz frame is 8.333 ms: the paint takes %.0f %% of it\n",
              document, width, height, screen.entries().size(), runs, paint, blit, paint / blit, 100 * paint / 8.333);
  return paint < 8.333 ? 0 : 1;
}
