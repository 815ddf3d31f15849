#pragma once
// The GPU presenter of the loading window: draws GUI draw lists into a window with Direct2D
// and DirectWrite over Direct3D 12 (through Direct3D 11-on-12), or over Direct3D 11 where
// 11-on-12 is missing. Used from one thread only; never waits for vertical blank, so the
// caller's frame timer alone sets the rate.
#include <d2d1_1.h>
#include <dxgi1_6.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/com_win.h"
#include "render/draw_list.h"

namespace Corvanthorne::Gui {

class GpuCommandExecutor;
class GuiSurface;

class Renderer {
 public:
  Renderer();
  ~Renderer();  // waits until the GPU is idle, then releases everything
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Creates the device, swap chain and GUI layer for the window's client area and logs which
  // path runs. Throws std::runtime_error with the failing step's name.
  void initializeGui(HWND window, int32_t width, int32_t height);
  // Rebuilds the buffers when the size is non-zero and differs; otherwise does nothing.
  void resize(int32_t width, int32_t height);
  // Draws the list (once per frame number: a repeated number shows the last image again),
  // presents, and paces to the GPU.
  void presentGui(const DrawList& list, uint64_t frameNumber);
  // The cached bitmap of an image path, decoded on first use; GetPixelSize gives its size.
  ID2D1Bitmap& loadBitmap(const std::wstring& path);

 private:
  void buildGui(std::unique_ptr<GuiSurface> surface);
  void release() noexcept;

  std::optional<ComScope> com_;  // first member: COM is left last
  HWND window_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool tearing_ = false;
  UINT swapChainFlags_ = 0;
  Microsoft::WRL::ComPtr<IDXGIFactory6> factory_;
  std::unique_ptr<GuiSurface> surface_;
  std::unique_ptr<GpuCommandExecutor> executor_;
  uint64_t lastDrawnFrame_ = UINT64_MAX;
};

}  // namespace Corvanthorne::Gui
