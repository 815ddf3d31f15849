#include "render/renderer_win.h"

#include <stdexcept>
#include <string>

#include "launcher/debug_log.h"
#include "render/gpu_executor_win.h"
#include "render/gpu_step_win.h"
#include "render/gpu_surface_win.h"

namespace Corvanthorne::Gui {
Renderer::Renderer() = default;

Renderer::~Renderer() { release(); }

void Renderer::release() noexcept {
  if (surface_) {
    surface_->waitForGpu();
    if (executor_) surface_->releaseTarget(executor_->context());
  }
  executor_.reset();
  surface_.reset();
  factory_.Reset();
}

void Renderer::initializeGui(HWND window, int32_t width, int32_t height) {
  window_ = window;
  width_ = width;
  height_ = height;
  // The loading thread is a single-threaded apartment already; that is accepted as it is.
  com_.emplace(COINIT_MULTITHREADED);
  if (!com_->initialised() && com_->result() != RPC_E_CHANGED_MODE) throw std::runtime_error("Initialize GUI COM");
  checkStep(CreateDXGIFactory2(0, IID_PPV_ARGS(&factory_)), "Create GUI DXGI factory");
  BOOL tearing = FALSE;
  if (SUCCEEDED(factory_->CheckFeatureSupport(DXGI_FEATURE_PRESENT_ALLOW_TEARING, &tearing, sizeof tearing)) &&
      tearing) {
    tearing_ = true;
    swapChainFlags_ = DXGI_SWAP_CHAIN_FLAG_ALLOW_TEARING;
  }
  try {
    buildGui(createD3D12Surface(*factory_.Get()));
    debugLog("LOADING", "Game GPU GUI initialized (Direct3D 12, no world assets)");
    return;
  } catch (const std::exception& direct3D12) {
    // Where 11-on-12 (or Direct3D 12 itself) is missing, the same GUI layer runs on
    // Direct3D 11; only when that fails too does the Direct3D 12 step's failure stand.
    debugLog("LOADING", std::string("Direct3D 12 GUI unavailable (") + direct3D12.what() + "); trying Direct3D 11");
    executor_.reset();
    surface_.reset();
    try {
      buildGui(createD3D11Surface());
    } catch (const std::exception& direct3D11) {
      debugLog("LOADING", std::string("Direct3D 11 GUI fallback failed: ") + direct3D11.what());
      executor_.reset();
      surface_.reset();
      throw std::runtime_error(direct3D12.what());
    }
  }
  debugLog("LOADING", "Game GPU GUI initialized (Direct3D 11 fallback, no world assets)");
}

void Renderer::buildGui(std::unique_ptr<GuiSurface> surface) {
  executor_ = std::make_unique<GpuCommandExecutor>(surface->guiDevice());
  surface->createSwapChain(*factory_.Get(), SwapChainShape{window_, width_, height_, swapChainFlags_, tearing_});
  surface->createTarget(executor_->context());
  surface_ = std::move(surface);
  lastDrawnFrame_ = UINT64_MAX;
}

void Renderer::resize(int32_t width, int32_t height) {
  if (!surface_ || width <= 0 || height <= 0 || (width == width_ && height == height_)) return;
  surface_->resize(executor_->context(), width, height);
  width_ = width;
  height_ = height;
  lastDrawnFrame_ = UINT64_MAX;  // the new target holds nothing yet
}

void Renderer::presentGui(const DrawList& list, uint64_t frameNumber) {
  const bool draw = surface_->canDraw() && frameNumber != lastDrawnFrame_;
  if (draw) {
    executor_->loadImages(list);
    surface_->beginDraw(executor_->context());
    try {
      executor_->execute(list);
    } catch (...) {
      surface_->endDraw();  // give the target back, so that the next frame may try again
      throw;
    }
    surface_->endDraw();
    lastDrawnFrame_ = frameNumber;
  }
  surface_->present(draw);
}

ID2D1Bitmap& Renderer::loadBitmap(const std::wstring& path) { return executor_->loadBitmap(path); }

}  // namespace Corvanthorne::Gui
