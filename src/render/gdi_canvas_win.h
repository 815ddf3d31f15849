#pragma once
// The GDI primitives behind GdiRenderer: a PaintTarget drawing into a device context, the
// font set it picks from, the picture cache, and the execution of draw lists built by the
// button painters.
#include <windows.h>

#include <filesystem>
#include <future>
#include <string>
#include <map>
#include <vector>

#include "common/handle_win.h"
#include "render/gui_bitmap_win.h"
#include "render/paint_target.h"

namespace Corvanthorne::Gui {

// The five fonts of the GUI's text classes at one GUI scale (kept while the scale changes by
// less than 0.0001), and any other size or weight a painter asks for.
class GdiFonts {
 public:
  void prepare(float scale);
  HFONT fontFor(const TextStyle& style);

 private:
  // A font of the given character height, weight and family (FontFamily numbers); throws
  // std::runtime_error("Create Qelmarin GUI fonts").
  static ScopedGdiObject<HFONT> create(int32_t height, int32_t weight, uint32_t family);

  struct Font {
    int32_t height;
    int32_t weight;
    uint32_t family;
    ScopedGdiObject<HFONT> handle;
  };

  float scale_ = -1;
  std::vector<Font> fonts_;  // the set's five first
};

// Pictures by path, loaded once.
class GdiBitmaps {
 public:
  explicit GdiBitmaps(std::filesystem::path folder) : folder_(std::move(folder)) {}
  HBITMAP find(std::wstring_view path);
  // Starts decoding a picture on a thread of its own; find() then waits for it.
  void prefetch(std::wstring_view path);

 private:
  GuiBitmap load(const std::filesystem::path& file) const;

  std::filesystem::path folder_;
  std::map<std::wstring, GuiBitmap, std::less<>> bitmaps_;
  std::map<std::wstring, std::future<GuiBitmap>, std::less<>> decoding_;
};

// Draws at once. Fills with an opacity below 0.9 are blended; other opacities are ignored,
// as GDI cannot blend lines and text.
class GdiTarget final : public PaintTarget {
 public:
  GdiTarget(HDC dc, GdiFonts& fonts, GdiBitmaps& bitmaps) : dc_(dc), fonts_(fonts), bitmaps_(bitmaps) {}
  HDC dc() const { return dc_; }

  void fillRect(const PixelRect& rect, Colour colour, float opacity, float radius) override;
  void outlineRect(const RectF& rect, Colour colour, float width, float opacity, float radius) override;
  void line(PointF from, PointF to, Colour colour, float width, float opacity) override;
  void triangle(PointF a, PointF b, PointF c, Colour colour, float opacity) override;
  void chamferedFill(const PixelRect& rect, int32_t cut, Colour colour, float opacity) override;
  void fillEllipse(const RectF& rect, Colour colour, float opacity) override;
  void outlineEllipse(const RectF& rect, Colour colour, float width, float opacity) override;
  void glow(const RectF& rect, const std::array<Colour, 3>& colours, uint8_t slot, float opacity) override;
  void text(const RectF& rect, std::wstring_view text, const TextStyle& style) override;
  void image(const RectF& rect, std::wstring_view path, float opacity) override;
  void pushClip(const PixelRect& rect) override;
  void popClip() override;

 private:
  void useColour(Colour brush, Colour pen, bool withPen);
  HDC memoryDc();
  void blendFill(const PixelRect& rect, Colour colour, float opacity);

  HDC dc_;
  GdiFonts& fonts_;
  GdiBitmaps& bitmaps_;
  ScopedMemoryDc memory_;
  ScopedGdiObject<HBITMAP> pixel_;  // 1 x 1, for blended fills
};

// Executes a draw list as the GDI path runs its button painters: filled rectangles without
// their corner radius, lines, ellipses, glows, triangles and text; outlines, images and clips
// are skipped and opacity is ignored.
void executeCommands(GdiTarget& target, const DrawList& list);

}  // namespace Corvanthorne::Gui
