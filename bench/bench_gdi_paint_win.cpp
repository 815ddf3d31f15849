// Timing harness under Wine: one GDI paint of a realistic 760 x 480 launcher document (as the
// launcher window's paint handler does it: background fill, then the screen) against a bare
// BitBlt of the same size, in one run. A paint must fit a frame at 120 Hz (8.3 ms) with room
// to spare. Usage: bench_gdi_paint_win [DOCUMENT] [PAINTS]  (default docs/gui-sample.ghi, 200)
#include <windows.h>

#include <cstdio>

#include "common/text.h"
#include "harness.h"
#include "render/gdi.h"
#include "support/dib_win.h"

namespace {

// Milliseconds per run of action, the mean over runs after a few warm-up runs.
template <typename Action>
double millisecondsEach(int runs, Action action) {
  for (int i = 0; i < 5; ++i) action();
  GdiFlush();
  return 1000 * Corvanthorne::Bench::seconds([&] {
    for (int i = 0; i < runs; ++i) action();
    GdiFlush();
  }) / runs;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace Corvanthorne;
  const char* document = argc > 1 ? argv[1] : "docs/gui-sample.ghi";
  const int runs = std::max(1, Bench::argument(argc, argv, 2, 200));
  constexpr int width = 760, height = 480;
  Gui::Screen screen;
  if (!screen.load(pathFromUtf8(document))) {
    std::printf("cannot load %s\n", document);
    return 1;
  }
  screen.setClientSize(width, height);
  const Testing::Dib frame(width, height), window(width, height);
  Gui::GdiRenderer renderer;
  const double paint = millisecondsEach(runs, [&] {
    frame.fillBackground();
    renderer.paint(screen, Gui::defaultGuiTheme(), frame.dc());
  });
  const double blit = millisecondsEach(runs, [&] { BitBlt(window.dc(), 0, 0, width, height, frame.dc(), 0, 0, SRCCOPY); });
  std::printf("document %s, %d x %d, %zu controls, %d paints\n"
              "GDI paint  %.3f ms\nBitBlt     %.3f ms\nratio paint/BitBlt %.1f\n"
              "a 120 Hz frame is 8.333 ms: the paint takes %.0f %% of it\n",
              document, width, height, screen.entries().size(), runs, paint, blit, paint / blit, 100 * paint / 8.333);
  return paint < 8.333 ? 0 : 1;
}
