#include "startup/canvas_win.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "launcher/debug_log.h"
#include "launcher/game_folder.h"

namespace Corvanthorne::Startup {
namespace {

struct ClientSize {
  int32_t width = 1;
  int32_t height = 1;
};

ClientSize clientSize(HWND window) {
  RECT client{};
  if (!GetClientRect(window, &client)) return {};
  return {std::max<int32_t>(1, client.right - client.left), std::max<int32_t>(1, client.bottom - client.top)};
}

}  // namespace

Canvas::Canvas(std::filesystem::path loadingImage)
    : loadingImage_(loadingImage.empty() ? assetPath(L"textures/Loading.png") : std::move(loadingImage)),
      renderer_(std::make_unique<Gui::Renderer>()) {}

void Canvas::create(HWND window) {
  const ClientSize size = clientSize(window);
  renderer_->initializeGui(window, size.width, size.height);
  try {
    const D2D1_SIZE_U pixels = renderer_->loadBitmap(loadingImage_.wstring()).GetPixelSize();
    if (pixels.width < 1 || pixels.height < 1 || pixels.width > INT32_MAX || pixels.height > INT32_MAX)
      throw std::runtime_error("Invalid loading image dimensions");
    frame_.setImage(loadingImage_.wstring(), static_cast<int32_t>(pixels.width), static_cast<int32_t>(pixels.height));
  } catch (const std::exception& error) {
    debugLog("LOADING", std::string("Loading image unavailable; dark GPU fallback: ") + error.what());
    frame_.setImage(loadingImage_.wstring(), 0, 0);
  }
}

void Canvas::draw(HWND window, double fraction, double elapsedSeconds, int32_t instanceNumber) {
  const ClientSize size = clientSize(window);
  renderer_->resize(size.width, size.height);
  const Gui::DrawList& list = frame_.compose(size.width, size.height, fraction, elapsedSeconds, instanceNumber);
  renderer_->presentGui(list, ++frameNumber_);
}

}  // namespace Corvanthorne::Startup
