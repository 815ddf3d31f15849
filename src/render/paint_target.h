#pragma once
// Where painters draw: the primitives every control look is made of. One target appends
// draw commands (the GPU path); the GDI target draws at once into a device context. Control
// painters are written once against this interface.
#include <array>
#include <cstdint>
#include <string_view>

#include "render/draw_list.h"

namespace Corvanthorne::Gui {

class PaintTarget {
 public:
  virtual ~PaintTarget() = default;
  // A corner radius above 0 rounds the corners.
  virtual void fillRect(const PixelRect& rect, Colour colour, float opacity = 1.0f, float radius = 0.0f) = 0;
  virtual void outlineRect(const RectF& rect, Colour colour, float width, float opacity = 1.0f, float radius = 0.0f) = 0;
  virtual void line(PointF from, PointF to, Colour colour, float width, float opacity = 1.0f) = 0;
  virtual void triangle(PointF a, PointF b, PointF c, Colour colour, float opacity = 1.0f) = 0;
  // The rectangle with its corners cut by `cut` pixels (already limited, see limitedCut).
  virtual void chamferedFill(const PixelRect& rect, int32_t cut, Colour colour, float opacity = 1.0f) = 0;
  virtual void fillEllipse(const RectF& rect, Colour colour, float opacity = 1.0f) = 0;
  virtual void outlineEllipse(const RectF& rect, Colour colour, float width, float opacity = 1.0f) = 0;
  // A radial gradient from the inner colour at the centre to the outer one at the edges.
  virtual void glow(const RectF& rect, const std::array<Colour, 3>& colours, uint8_t slot, float opacity = 1.0f) = 0;
  virtual void text(const RectF& rect, std::wstring_view text, const TextStyle& style) = 0;
  virtual void image(const RectF& rect, std::wstring_view path, float opacity = 1.0f) = 0;
  virtual void pushClip(const PixelRect& rect) = 0;
  virtual void popClip() = 0;

  void quad(PointF a, PointF b, PointF c, PointF d, Colour colour, float opacity = 1.0f) {
    triangle(a, b, c, colour, opacity);
    triangle(a, c, d, colour, opacity);
  }
};

// Appends to a draw list, every opacity multiplied by the screen's overall opacity.
class DrawListTarget final : public PaintTarget {
 public:
  explicit DrawListTarget(DrawList& list, float opacity = 1.0f) : list_(list), opacity_(opacity) {}
  DrawList& list() { return list_; }

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
  DrawList& list_;
  float opacity_;
};

// The pixel rectangle nearest to a command's rectangle.
PixelRect roundedRect(const RectF& rect);
// The style a text command was made with.
TextStyle textStyleOf(const DrawCommand& command);

// Plays a draw list's commands onto another target (canvas renderers on the GDI path).
void replay(const DrawList& list, PaintTarget& target);

}  // namespace Corvanthorne::Gui
