#pragma once
// The GDI path: paints a laid-out Screen straight into a device context, as the launcher
// window's paint handler does (into a memory bitmap it then copies to the window). The
// device context is an HDC passed opaquely, so that this header stays free of <windows.h>.
#include <filesystem>
#include <memory>

#include "gui/screen.h"
#include "render/theme.h"

namespace Corvanthorne::Gui {

class GdiRenderer {
 public:
  // Relative image paths are read as given, then below `imageFolder` when that is set.
  explicit GdiRenderer(std::filesystem::path imageFolder = {});
  ~GdiRenderer();
  GdiRenderer(const GdiRenderer&) = delete;
  GdiRenderer& operator=(const GdiRenderer&) = delete;

  // Throws std::logic_error("GDI rendering is forbidden in the game GUI") for a screen
  // prepared for the GPU, std::runtime_error("Create Qelmarin GUI fonts") when the fonts
  // cannot be made, and the strict screen's missing-renderer error.
  void paint(Screen& screen, const CorvanthorneGuiTheme& theme, void* deviceContext);

  // Starts decoding the pictures the document names (unbound `image` values) on threads of
  // their own, so that a window's first paint does not wait for them in turn.
  void prefetchImages(const Document& document);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace Corvanthorne::Gui
