#pragma once
// What `cvtool ghi render` and `ghi drawlist` show: a document laid out into a client area
// with some controls hovered, pressed, focused or opened, as the launcher would show it.
#include <cstdint>
#include <string>

#include "gui/screen.h"
#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Tools {

struct GhiView {
  std::string file;
  int32_t width = 0;  // 0: the document's design size, else 760 x 480
  int32_t height = 0;
  double scale = 1;  // the client area is the size times this, as on a high-DPI display
  std::string hover, press, focus, open;
};

// Reads [--size WxH] [--scale S] [--dpi N] [--hover NAME] [--press NAME] [--focus NAME] [--open NAME].
GhiView parseGhiView(std::string file, Arguments options, std::string_view usage);

// Loads the document as the launcher does and applies the view. A document with errors
// throws its diagnostics in the `ghi check` format, one per line.
void loadGhiView(Gui::Screen& screen, const GhiView& view);

#ifdef _WIN32
// Paints the view with the GDI renderer onto the launcher's background and writes a PNG.
void renderGhiView(Gui::Screen& screen, const std::string& pngFile);
#endif

}  // namespace Corvanthorne::Tools
