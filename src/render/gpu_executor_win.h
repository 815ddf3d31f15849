#pragma once
// Executes GUI draw lists with Direct2D and DirectWrite on a device context whose target the
// GPU presenter's path sets (renderer_win.h). It keeps what is costly to make: text formats,
// decoded bitmaps, the two glow brushes, the unit triangle, and one solid brush recoloured per
// command.
#include <d2d1_1.h>
#include <d3d11.h>
#include <dwrite.h>
#include <wrl/client.h>

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "render/draw_list.h"

namespace Corvanthorne::Gui {

class GpuCommandExecutor {
 public:
  // The Direct2D and DirectWrite half of the GUI layer, on the GUI's Direct3D 11 device.
  explicit GpuCommandExecutor(ID3D11Device& device);
  GpuCommandExecutor(const GpuCommandExecutor&) = delete;
  GpuCommandExecutor& operator=(const GpuCommandExecutor&) = delete;

  ID2D1DeviceContext& context() const { return *context_.Get(); }

  // The cached bitmap of an image path, decoded on first use: the path as given, else below
  // the game root. Throws the decoding step's message.
  ID2D1Bitmap& loadBitmap(std::wstring_view path);
  // Decodes every image of the list that is not cached yet (before drawing starts).
  void loadImages(const DrawList& list);

  // Draws the list onto the context's target: begins, clears to transparent black, runs the
  // commands, ends, also when a command throws (a text format or glow brush that cannot be
  // made). Throws "Draw shared GPU GUI overlay" when Direct2D reports a failure.
  void execute(const DrawList& list);

 private:
  struct GlowSlot {
    Microsoft::WRL::ComPtr<ID2D1RadialGradientBrush> brush;
    Microsoft::WRL::ComPtr<ID2D1GradientStopCollection> stops;
    std::array<Colour, 3> colours{};
  };

  void createTriangle();
  ID2D1RadialGradientBrush& glowBrush(uint8_t slot, const std::array<Colour, 3>& colours);
  IDWriteTextFormat& textFormat(const DrawCommand& command);
  const wchar_t* availableFamily(uint32_t family);
  void drawCommands(const DrawList& list);
  HRESULT endDraw();
  void executeCommand(const DrawCommand& command);
  void fillOrOutlineRect(const DrawCommand& command, bool fill);
  void drawGlow(const DrawCommand& command);
  void fillTriangle(const DrawCommand& command);

  Microsoft::WRL::ComPtr<ID2D1Factory1> factory_;
  Microsoft::WRL::ComPtr<ID2D1Device> device_;
  Microsoft::WRL::ComPtr<ID2D1DeviceContext> context_;
  Microsoft::WRL::ComPtr<IDWriteFactory> writeFactory_;
  Microsoft::WRL::ComPtr<IDWriteFontCollection> systemFonts_;
  Microsoft::WRL::ComPtr<ID2D1SolidColorBrush> brush_;
  std::array<GlowSlot, 2> glowSlots_;
  Microsoft::WRL::ComPtr<ID2D1PathGeometry> triangle_;  // (0, 0), (1, 0), (0, 1)
  std::unordered_map<uint64_t, Microsoft::WRL::ComPtr<IDWriteTextFormat>> textFormats_;
  NameMap<Microsoft::WRL::ComPtr<ID2D1Bitmap>> bitmaps_;
  int clipDepth_ = 0;  // pushed clips of the list being drawn
};

}  // namespace Corvanthorne::Gui
