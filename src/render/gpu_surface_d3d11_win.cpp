// The Direct3D 11 path of the GPU presenter, for machines without Direct3D 11-on-12 (some
// virtual and remote sessions; Wine): Direct2D draws straight into the back buffer of a
// flip-model swap chain.
#include <d3d11.h>
#include <wrl/client.h>

#include <stdexcept>

#include "render/gpu_step_win.h"
#include "render/gpu_surface_win.h"

namespace Corvanthorne::Gui {
namespace {

using Microsoft::WRL::ComPtr;

constexpr UINT kBufferCount = 2;
constexpr DXGI_FORMAT kFormat = DXGI_FORMAT_B8G8R8A8_UNORM;

class D3D11Surface final : public GuiSurface {
 public:
  D3D11Surface() {
    const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_1, D3D_FEATURE_LEVEL_10_0};
    for (const D3D_DRIVER_TYPE driver : {D3D_DRIVER_TYPE_HARDWARE, D3D_DRIVER_TYPE_WARP}) {
      if (SUCCEEDED(D3D11CreateDevice(nullptr, driver, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, levels,
                                      static_cast<UINT>(std::size(levels)), D3D11_SDK_VERSION, &device_, nullptr,
                                      &context_)))
        return;
    }
    throw std::runtime_error("Create D3D11 GUI device");
  }

  ID3D11Device& guiDevice() override { return *device_.Get(); }

  // Flip sequential keeps the last presented image readable as buffer 1, so a repeated frame
  // is shown again by a copy instead of a redraw.
  void createSwapChain(IDXGIFactory6& factory, const SwapChainShape& shape) override {
    flags_ = shape.flags;
    tearing_ = shape.tearing;
    const DXGI_SWAP_CHAIN_DESC1 description = swapChainDescription(shape, kFormat, DXGI_SWAP_EFFECT_FLIP_SEQUENTIAL);
    checkStep(factory.CreateSwapChainForHwnd(device_.Get(), shape.window, &description, nullptr, nullptr, &swapChain_),
              "Create GUI swap chain");
    factory.MakeWindowAssociation(shape.window, DXGI_MWA_NO_ALT_ENTER);
  }

  void createTarget(ID2D1DeviceContext& context) override { createTarget(context, "Get back buffer"); }

  bool canDraw() const override { return target_ != nullptr; }

  void beginDraw(ID2D1DeviceContext& context) override { context.SetTarget(target_.Get()); }

  void endDraw() override {}

  void present(bool drawn) override {
    if (!drawn) showLastImageAgain();
    checkStep(swapChain_->Present(0, tearing_ ? DXGI_PRESENT_ALLOW_TEARING : 0), "Present GPU GUI");
  }

  void resize(ID2D1DeviceContext& context, int32_t width, int32_t height) override {
    releaseTarget(context);
    checkStep(
        swapChain_->ResizeBuffers(kBufferCount, static_cast<UINT>(width), static_cast<UINT>(height), kFormat, flags_),
        "Resize swap chain");
    createTarget(context, "Get resized back buffer");
  }

  // Direct3D 11 queues its own work; a flush hands it all to the GPU before release.
  void waitForGpu() override {
    if (context_) context_->Flush();
  }

  // Every reference to the buffers goes before the swap chain may resize them.
  void releaseTarget(ID2D1DeviceContext& context) override {
    context.SetTarget(nullptr);
    target_.Reset();
    if (context_) {
      context_->ClearState();
      context_->Flush();
    }
  }

 private:
  void createTarget(ID2D1DeviceContext& context, const char* step) {
    ComPtr<IDXGISurface> surface;
    checkStep(swapChain_->GetBuffer(0, IID_PPV_ARGS(&surface)), step);
    const D2D1_BITMAP_PROPERTIES1 properties =
        D2D1::BitmapProperties1(D2D1_BITMAP_OPTIONS_TARGET | D2D1_BITMAP_OPTIONS_CANNOT_DRAW,
                                D2D1::PixelFormat(kFormat, D2D1_ALPHA_MODE_IGNORE), 96, 96);
    checkStep(context.CreateBitmapFromDxgiSurface(surface.Get(), &properties, &target_),
              "Create shared GUI bitmap target");
    context.SetTarget(target_.Get());
  }

  void showLastImageAgain() {
    ComPtr<ID3D11Texture2D> backBuffer, shown;
    checkStep(swapChain_->GetBuffer(0, IID_PPV_ARGS(&backBuffer)), "Get back buffer");
    checkStep(swapChain_->GetBuffer(1, IID_PPV_ARGS(&shown)), "Get back buffer");
    context_->CopyResource(backBuffer.Get(), shown.Get());
  }

  ComPtr<ID3D11Device> device_;
  ComPtr<ID3D11DeviceContext> context_;
  ComPtr<IDXGISwapChain1> swapChain_;
  UINT flags_ = 0;
  bool tearing_ = false;
  ComPtr<ID2D1Bitmap1> target_;
};

}  // namespace

std::unique_ptr<GuiSurface> createD3D11Surface() { return std::make_unique<D3D11Surface>(); }

}  // namespace Corvanthorne::Gui
