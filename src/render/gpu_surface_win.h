#pragma once
// The two ways the GPU presenter gets a Direct2D target and shows it in the window; the
// command executor, the caches and the frame rules above them are shared (renderer_win.cpp).
//   Direct3D 12: Direct2D draws through Direct3D 11-on-12 into a shared texture, which each
//     frame is copied into the flip swap chain's back buffer; a fence per back buffer paces.
//   Direct3D 11 (fallback where 11-on-12 is missing): Direct2D draws straight into the back
//     buffer of a flip-model swap chain on a hardware device, else WARP.
#include <d2d1_1.h>
#include <d3d11.h>
#include <dxgi1_6.h>

#include <cstdint>
#include <memory>

namespace Corvanthorne::Gui {

struct SwapChainShape {
  HWND window = nullptr;
  int32_t width = 1;
  int32_t height = 1;
  UINT flags = 0;  // DXGI_SWAP_CHAIN_FLAG_ALLOW_TEARING where supported
  bool tearing = false;
};

// Two buffers of the shape's size and flags, one sample, stretched, for flip-model presents.
inline DXGI_SWAP_CHAIN_DESC1 swapChainDescription(const SwapChainShape& shape, DXGI_FORMAT format,
                                                  DXGI_SWAP_EFFECT effect) {
  DXGI_SWAP_CHAIN_DESC1 description{};
  description.Width = static_cast<UINT>(shape.width);
  description.Height = static_cast<UINT>(shape.height);
  description.Format = format;
  description.SampleDesc.Count = 1;
  description.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
  description.BufferCount = 2;
  description.Scaling = DXGI_SCALING_STRETCH;
  description.SwapEffect = effect;
  description.AlphaMode = DXGI_ALPHA_MODE_UNSPECIFIED;
  description.Flags = shape.flags;
  return description;
}

class GuiSurface {
 public:
  virtual ~GuiSurface() = default;
  // The Direct3D 11 device the executor builds its Direct2D device on.
  virtual ID3D11Device& guiDevice() = 0;
  virtual void createSwapChain(IDXGIFactory6& factory, const SwapChainShape& shape) = 0;
  // Makes the image Direct2D draws into, for the current size.
  virtual void createTarget(ID2D1DeviceContext& context) = 0;
  virtual bool canDraw() const = 0;
  // Around the executor's drawing: set the context's target, then hand the result on.
  virtual void beginDraw(ID2D1DeviceContext& context) = 0;
  virtual void endDraw() = 0;
  // Shows the image; `drawn` is false when the frame repeats the last one without drawing.
  virtual void present(bool drawn) = 0;
  // Rebuilds the buffers and the target at a new size (non-zero, different).
  virtual void resize(ID2D1DeviceContext& context, int32_t width, int32_t height) = 0;
  virtual void waitForGpu() = 0;
  virtual void releaseTarget(ID2D1DeviceContext& context) = 0;
};

// Device and queue at feature level 11.0 on the first hardware adapter (else the default
// one), and the Direct3D 11-on-12 device over them. Throws the failing step's message.
std::unique_ptr<GuiSurface> createD3D12Surface(IDXGIFactory6& factory);
// A Direct3D 11 device, hardware else WARP.
std::unique_ptr<GuiSurface> createD3D11Surface();

}  // namespace Corvanthorne::Gui
