// The Direct3D 12 path of the GPU presenter: Direct2D draws through Direct3D 11-on-12 into a
// shared texture, which is copied into the flip swap chain's back buffer every frame.
#include <d3d11on12.h>
#include <d3d12.h>
#include <wrl/client.h>

#include <array>
#include <stdexcept>

#include "common/handle_win.h"
#include "render/gpu_step_win.h"
#include "render/gpu_surface_win.h"

namespace Corvanthorne::Gui {
namespace {

using Microsoft::WRL::ComPtr;

constexpr UINT kBufferCount = 2;
constexpr DXGI_FORMAT kFormat = DXGI_FORMAT_R8G8B8A8_UNORM;

D3D12_RESOURCE_BARRIER transition(ID3D12Resource* resource, D3D12_RESOURCE_STATES before, D3D12_RESOURCE_STATES after) {
  D3D12_RESOURCE_BARRIER barrier{};
  barrier.Type = D3D12_RESOURCE_BARRIER_TYPE_TRANSITION;
  barrier.Transition = {resource, D3D12_RESOURCE_BARRIER_ALL_SUBRESOURCES, before, after};
  return barrier;
}

// The first hardware adapter, in high-performance order, that makes a device; else the
// system's default adapter.
ComPtr<ID3D12Device> createDevice(IDXGIFactory6& factory) {
  ComPtr<ID3D12Device> device;
  for (UINT index = 0;; ++index) {
    ComPtr<IDXGIAdapter1> adapter;
    const HRESULT found =
        factory.EnumAdapterByGpuPreference(index, DXGI_GPU_PREFERENCE_HIGH_PERFORMANCE, IID_PPV_ARGS(&adapter));
    if (found == DXGI_ERROR_NOT_FOUND) break;
    checkStep(found, "Enumerate DXGI adapter");
    DXGI_ADAPTER_DESC1 description{};
    if (FAILED(adapter->GetDesc1(&description)) || (description.Flags & DXGI_ADAPTER_FLAG_SOFTWARE)) continue;
    if (SUCCEEDED(D3D12CreateDevice(adapter.Get(), D3D_FEATURE_LEVEL_11_0, IID_PPV_ARGS(&device)))) return device;
  }
  checkStep(D3D12CreateDevice(nullptr, D3D_FEATURE_LEVEL_11_0, IID_PPV_ARGS(&device)), "D3D12CreateDevice");
  return device;
}

class D3D12Surface final : public GuiSurface {
 public:
  explicit D3D12Surface(IDXGIFactory6& factory) : device_(createDevice(factory)) {
    D3D12_COMMAND_QUEUE_DESC queue{D3D12_COMMAND_LIST_TYPE_DIRECT, D3D12_COMMAND_QUEUE_PRIORITY_NORMAL,
                                   D3D12_COMMAND_QUEUE_FLAG_NONE, 0};
    checkStep(device_->CreateCommandQueue(&queue, IID_PPV_ARGS(&queue_)), "Create GUI queue");
    createGuiDevice();
  }

  ID3D11Device& guiDevice() override { return *d3d11Device_.Get(); }

  void createSwapChain(IDXGIFactory6& factory, const SwapChainShape& shape) override {
    flags_ = shape.flags;
    tearing_ = shape.tearing;
    const DXGI_SWAP_CHAIN_DESC1 description = swapChainDescription(shape, kFormat, DXGI_SWAP_EFFECT_FLIP_DISCARD);
    ComPtr<IDXGISwapChain1> swapChain;
    checkStep(factory.CreateSwapChainForHwnd(queue_.Get(), shape.window, &description, nullptr, nullptr, &swapChain),
              "Create GUI swap chain");
    checkStep(swapChain.As(&swapChain_), "Query GUI swap chain");
    factory.MakeWindowAssociation(shape.window, DXGI_MWA_NO_ALT_ENTER);
    index_ = swapChain_->GetCurrentBackBufferIndex();
    width_ = shape.width;
    height_ = shape.height;

    D3D12_DESCRIPTOR_HEAP_DESC targets{D3D12_DESCRIPTOR_HEAP_TYPE_RTV, kBufferCount, D3D12_DESCRIPTOR_HEAP_FLAG_NONE,
                                       0};
    checkStep(device_->CreateDescriptorHeap(&targets, IID_PPV_ARGS(&targetHeap_)), "Create GUI RTV heap");
    targetIncrement_ = device_->GetDescriptorHandleIncrementSize(D3D12_DESCRIPTOR_HEAP_TYPE_RTV);
    takeBackBuffers("Get back buffer");
    for (ComPtr<ID3D12CommandAllocator>& allocator : allocators_)
      checkStep(device_->CreateCommandAllocator(D3D12_COMMAND_LIST_TYPE_DIRECT, IID_PPV_ARGS(&allocator)),
                "Create allocator");
    D3D12_DESCRIPTOR_HEAP_DESC resources{D3D12_DESCRIPTOR_HEAP_TYPE_CBV_SRV_UAV, 1,
                                         D3D12_DESCRIPTOR_HEAP_FLAG_SHADER_VISIBLE, 0};
    checkStep(device_->CreateDescriptorHeap(&resources, IID_PPV_ARGS(&resourceHeap_)), "Create GUI SRV heap");
    checkStep(device_->CreateCommandList(0, D3D12_COMMAND_LIST_TYPE_DIRECT, allocators_[index_].Get(), nullptr,
                                         IID_PPV_ARGS(&commands_)),
              "Create GUI command list");
    checkStep(commands_->Close(), "Close GUI command list");
    checkStep(device_->CreateFence(0, D3D12_FENCE_FLAG_NONE, IID_PPV_ARGS(&fence_)), "Create GUI fence");
    fenceEvent_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!fenceEvent_) throw std::runtime_error("Create GUI fence event");
  }

  void createTarget(ID2D1DeviceContext& context) override {
    D3D12_HEAP_PROPERTIES heap{D3D12_HEAP_TYPE_DEFAULT, D3D12_CPU_PAGE_PROPERTY_UNKNOWN, D3D12_MEMORY_POOL_UNKNOWN, 1,
                               1};
    D3D12_RESOURCE_DESC texture{};
    texture.Dimension = D3D12_RESOURCE_DIMENSION_TEXTURE2D;
    texture.Width = static_cast<UINT64>(width_);
    texture.Height = static_cast<UINT>(height_);
    texture.DepthOrArraySize = 1;
    texture.MipLevels = 1;
    texture.Format = kFormat;
    texture.SampleDesc.Count = 1;
    texture.Flags = D3D12_RESOURCE_FLAG_ALLOW_RENDER_TARGET;
    D3D12_CLEAR_VALUE clear{};
    clear.Format = kFormat;
    checkStep(device_->CreateCommittedResource(&heap, D3D12_HEAP_FLAG_NONE, &texture,
                                               D3D12_RESOURCE_STATE_PIXEL_SHADER_RESOURCE, &clear,
                                               IID_PPV_ARGS(&guiTexture_)),
              "Create HUD texture");
    device_->CreateShaderResourceView(guiTexture_.Get(), nullptr, resourceHeap_->GetCPUDescriptorHandleForHeapStart());
    D3D11_RESOURCE_FLAGS bind{D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE, 0, 0, 0};
    checkStep(on12Device_->CreateWrappedResource(guiTexture_.Get(), &bind, D3D12_RESOURCE_STATE_RENDER_TARGET,
                                                 D3D12_RESOURCE_STATE_PIXEL_SHADER_RESOURCE, IID_PPV_ARGS(&wrapped_)),
              "Wrap shared GUI render target");
    ComPtr<IDXGISurface> surface;
    checkStep(wrapped_.As(&surface), "Query shared GUI surface");
    const D2D1_BITMAP_PROPERTIES1 properties = D2D1::BitmapProperties1(
        D2D1_BITMAP_OPTIONS_TARGET, D2D1::PixelFormat(kFormat, D2D1_ALPHA_MODE_PREMULTIPLIED), 96, 96);
    checkStep(context.CreateBitmapFromDxgiSurface(surface.Get(), &properties, &target_),
              "Create shared GUI bitmap target");
    context.SetTarget(target_.Get());
  }

  bool canDraw() const override { return wrapped_ != nullptr; }

  void beginDraw(ID2D1DeviceContext& context) override {
    ID3D11Resource* const resources[] = {wrapped_.Get()};
    on12Device_->AcquireWrappedResources(resources, 1);
    context.SetTarget(target_.Get());
  }

  // The GUI work must reach the queue before the copy into the back buffer.
  void endDraw() override {
    ID3D11Resource* const resources[] = {wrapped_.Get()};
    on12Device_->ReleaseWrappedResources(resources, 1);
    d3d11Context_->Flush();
  }

  void present(bool) override {
    ID3D12CommandAllocator& allocator = *allocators_[index_].Get();
    checkStep(allocator.Reset(), "Reset GUI allocator");
    checkStep(commands_->Reset(&allocator, nullptr), "Reset GUI command list");
    ID3D12Resource* const backBuffer = backBuffers_[index_].Get();
    const D3D12_RESOURCE_BARRIER toCopy[] = {
        transition(guiTexture_.Get(), D3D12_RESOURCE_STATE_PIXEL_SHADER_RESOURCE, D3D12_RESOURCE_STATE_COPY_SOURCE),
        transition(backBuffer, D3D12_RESOURCE_STATE_PRESENT, D3D12_RESOURCE_STATE_COPY_DEST)};
    commands_->ResourceBarrier(2, toCopy);
    commands_->CopyResource(backBuffer, guiTexture_.Get());
    const D3D12_RESOURCE_BARRIER back[] = {
        transition(guiTexture_.Get(), D3D12_RESOURCE_STATE_COPY_SOURCE, D3D12_RESOURCE_STATE_PIXEL_SHADER_RESOURCE),
        transition(backBuffer, D3D12_RESOURCE_STATE_COPY_DEST, D3D12_RESOURCE_STATE_PRESENT)};
    commands_->ResourceBarrier(2, back);
    checkStep(commands_->Close(), "Close GUI frame");
    ID3D12CommandList* const lists[] = {commands_.Get()};
    queue_->ExecuteCommandLists(1, lists);
    checkStep(swapChain_->Present(0, tearing_ ? DXGI_PRESENT_ALLOW_TEARING : 0), "Present GPU GUI");
    moveToNextFrame();
  }

  void resize(ID2D1DeviceContext& context, int32_t width, int32_t height) override {
    waitForGpu();
    frameFences_ = {};
    releaseTarget(context);
    for (ComPtr<ID3D12Resource>& buffer : backBuffers_) buffer.Reset();
    checkStep(
        swapChain_->ResizeBuffers(kBufferCount, static_cast<UINT>(width), static_cast<UINT>(height), kFormat, flags_),
        "Resize swap chain");
    width_ = width;
    height_ = height;
    index_ = swapChain_->GetCurrentBackBufferIndex();
    takeBackBuffers("Get resized back buffer");
    createTarget(context);
  }

  // Signals a new fence value and waits for it; used before resizing and before release.
  void waitForGpu() override {
    if (!fence_ || !fenceEvent_) return;
    const UINT64 value = ++fenceValue_;
    if (FAILED(queue_->Signal(fence_.Get(), value))) return;
    if (fence_->GetCompletedValue() < value && SUCCEEDED(fence_->SetEventOnCompletion(value, fenceEvent_.get())))
      WaitForSingleObject(fenceEvent_.get(), INFINITE);
  }

  void releaseTarget(ID2D1DeviceContext& context) override {
    context.SetTarget(nullptr);
    target_.Reset();
    wrapped_.Reset();
    guiTexture_.Reset();
    // The 11-on-12 device destroys wrapped resources only when its queue is flushed.
    if (d3d11Context_) d3d11Context_->Flush();
  }

 private:
  void createGuiDevice() {
    IUnknown* const queues[] = {queue_.Get()};
    const UINT withDebug = D3D11_CREATE_DEVICE_BGRA_SUPPORT | D3D11_CREATE_DEVICE_DEBUG;
    if (FAILED(D3D11On12CreateDevice(device_.Get(), withDebug, nullptr, 0, queues, 1, 0, &d3d11Device_, &d3d11Context_,
                                     nullptr)))
      checkStep(D3D11On12CreateDevice(device_.Get(), D3D11_CREATE_DEVICE_BGRA_SUPPORT, nullptr, 0, queues, 1, 0,
                                      &d3d11Device_, &d3d11Context_, nullptr),
                "Create D3D11On12 GUI device");
    checkStep(d3d11Device_.As(&on12Device_), "Query D3D11On12 GUI device");
  }

  void takeBackBuffers(const char* step) {
    D3D12_CPU_DESCRIPTOR_HANDLE handle = targetHeap_->GetCPUDescriptorHandleForHeapStart();
    for (UINT i = 0; i < kBufferCount; ++i) {
      checkStep(swapChain_->GetBuffer(i, IID_PPV_ARGS(&backBuffers_[i])), step);
      device_->CreateRenderTargetView(backBuffers_[i].Get(), nullptr, handle);
      handle.ptr += targetIncrement_;
    }
  }

  // At most one frame per back buffer is in flight: wait only when the next buffer's last
  // frame has not finished on the GPU.
  void moveToNextFrame() {
    const UINT64 value = ++fenceValue_;
    checkStep(queue_->Signal(fence_.Get(), value), "Signal fence");
    frameFences_[index_] = value;
    index_ = swapChain_->GetCurrentBackBufferIndex();
    const UINT64 pending = frameFences_[index_];
    if (pending == 0 || fence_->GetCompletedValue() >= pending) return;
    checkStep(fence_->SetEventOnCompletion(pending, fenceEvent_.get()), "Fence event");
    WaitForSingleObject(fenceEvent_.get(), INFINITE);
  }

  ComPtr<ID3D12Device> device_;
  ComPtr<ID3D12CommandQueue> queue_;
  ComPtr<ID3D11Device> d3d11Device_;
  ComPtr<ID3D11DeviceContext> d3d11Context_;
  ComPtr<ID3D11On12Device> on12Device_;
  ComPtr<IDXGISwapChain3> swapChain_;
  UINT flags_ = 0;
  bool tearing_ = false;
  int32_t width_ = 0;
  int32_t height_ = 0;
  ComPtr<ID3D12DescriptorHeap> targetHeap_;
  UINT targetIncrement_ = 0;
  ComPtr<ID3D12DescriptorHeap> resourceHeap_;
  std::array<ComPtr<ID3D12Resource>, kBufferCount> backBuffers_;
  std::array<ComPtr<ID3D12CommandAllocator>, kBufferCount> allocators_;
  ComPtr<ID3D12GraphicsCommandList> commands_;
  UINT index_ = 0;
  ComPtr<ID3D12Fence> fence_;
  UINT64 fenceValue_ = 0;
  std::array<UINT64, kBufferCount> frameFences_{};
  ScopedHandle fenceEvent_;
  ComPtr<ID3D12Resource> guiTexture_;
  ComPtr<ID3D11Resource> wrapped_;
  ComPtr<ID2D1Bitmap1> target_;
};

}  // namespace

std::unique_ptr<GuiSurface> createD3D12Surface(IDXGIFactory6& factory) {
  return std::make_unique<D3D12Surface>(factory);
}

}  // namespace Corvanthorne::Gui
