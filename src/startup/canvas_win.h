#pragma once
// The loading window's canvas: the composed loading frame (loading_frame.h) presented by the
// GPU presenter. Created, used and destroyed on the loading thread.
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <memory>

#include "render/renderer_win.h"
#include "startup/loading_frame.h"

namespace Corvanthorne::Startup {

class Canvas {
 public:
  // An empty loadingImage means the game's assets/textures/Loading.png.
  explicit Canvas(std::filesystem::path loadingImage);

  // Builds the GPU presenter for the window and loads the loading image; an image that cannot
  // be loaded is logged and leaves the background dark.
  void create(HWND window);
  // Composes and presents one frame.
  void draw(HWND window, double fraction, double elapsedSeconds, int32_t instanceNumber);

  LoadingFrame& frame() { return frame_; }
  bool imageLoaded() const { return frame_.imageWidth() > 0; }

 private:
  LoadingFrame frame_;
  std::filesystem::path loadingImage_;
  std::unique_ptr<Gui::Renderer> renderer_;  // released before the frame's screen
  uint64_t frameNumber_ = 0;
};

}  // namespace Corvanthorne::Startup
