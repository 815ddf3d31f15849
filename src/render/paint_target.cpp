#include "render/paint_target.h"

#include <cmath>

namespace Corvanthorne::Gui {

void DrawListTarget::fillRect(const PixelRect& rect, Colour colour, float opacity, float radius) {
  list_.fillRect(rect, colour, opacity * opacity_, radius);
}

void DrawListTarget::outlineRect(const RectF& rect, Colour colour, float width, float opacity, float radius) {
  list_.outlineRect(rect, colour, width, opacity * opacity_, radius);
}

void DrawListTarget::line(PointF from, PointF to, Colour colour, float width, float opacity) {
  list_.line(from.x, from.y, to.x, to.y, colour, width, opacity * opacity_);
}

void DrawListTarget::triangle(PointF a, PointF b, PointF c, Colour colour, float opacity) {
  list_.fillTriangle(a, b, c, colour, opacity * opacity_);
}

// Three columns and four corner triangles.
void DrawListTarget::chamferedFill(const PixelRect& r, int32_t k, Colour colour, float opacity) {
  if (r.width() <= 0 || r.height() <= 0) return;
  if (k <= 0) return fillRect(r, colour, opacity, 0);
  fillRect(PixelRect{r.left + k, r.top, r.right - k, r.bottom}, colour, opacity, 0);
  fillRect(PixelRect{r.left, r.top + k, r.left + k, r.bottom - k}, colour, opacity, 0);
  fillRect(PixelRect{r.right - k, r.top + k, r.right, r.bottom - k}, colour, opacity, 0);
  const auto f = [](int32_t v) { return static_cast<float>(v); };
  const float l = f(r.left), t = f(r.top), rt = f(r.right), b = f(r.bottom), kf = f(k);
  triangle({l, t + kf}, {l + kf, t}, {l + kf, t + kf}, colour, opacity);
  triangle({rt - kf, t}, {rt, t + kf}, {rt - kf, t + kf}, colour, opacity);
  triangle({rt, b - kf}, {rt - kf, b}, {rt - kf, b - kf}, colour, opacity);
  triangle({l + kf, b}, {l, b - kf}, {l + kf, b - kf}, colour, opacity);
}

void DrawListTarget::fillEllipse(const RectF& rect, Colour colour, float opacity) {
  list_.fillEllipse(rect, colour, opacity * opacity_);
}

void DrawListTarget::outlineEllipse(const RectF& rect, Colour colour, float width, float opacity) {
  list_.outlineEllipse(rect, colour, width, opacity * opacity_);
}

void DrawListTarget::glow(const RectF& rect, const std::array<Colour, 3>& colours, uint8_t slot, float opacity) {
  list_.glow(rect, colours, slot, opacity * opacity_);
}

void DrawListTarget::text(const RectF& rect, std::wstring_view text, const TextStyle& style) {
  TextStyle faded = style;
  faded.opacity *= opacity_;
  list_.text(rect, text, faded);
}

void DrawListTarget::image(const RectF& rect, std::wstring_view path, float opacity) {
  list_.image(rect, path, opacity * opacity_);
}

void DrawListTarget::pushClip(const PixelRect& rect) { list_.pushClip(toRectF(rect)); }

void DrawListTarget::popClip() { list_.popClip(); }

PixelRect roundedRect(const RectF& r) {
  return PixelRect{static_cast<int32_t>(std::lround(r.left)), static_cast<int32_t>(std::lround(r.top)),
                   static_cast<int32_t>(std::lround(r.right)), static_cast<int32_t>(std::lround(r.bottom))};
}

TextStyle textStyleOf(const DrawCommand& c) {
  return TextStyle{c.colour, c.fontSize, c.alignment, c.bold, c.wrap, c.opacity, c.fontFamily, c.weight};
}

void replay(const DrawList& list, PaintTarget& target) {
  for (const DrawCommand& c : list.commands()) {
    const auto& p = c.points;
    switch (c.kind) {
      case DrawKind::FillRect: target.fillRect(roundedRect(c.rect), c.colour, c.opacity, c.cornerRadius); break;
      case DrawKind::OutlineRect: target.outlineRect(c.rect, c.colour, c.strokeWidth, c.opacity, c.cornerRadius); break;
      case DrawKind::Line: target.line({p[0], p[1]}, {p[2], p[3]}, c.colour, c.strokeWidth, c.opacity); break;
      case DrawKind::FillEllipse: target.fillEllipse(c.rect, c.colour, c.opacity); break;
      case DrawKind::Glow: target.glow(c.rect, c.glowColours, c.glowSlot, c.opacity); break;
      case DrawKind::OutlineEllipse: target.outlineEllipse(c.rect, c.colour, c.strokeWidth, c.opacity); break;
      case DrawKind::FillTriangle: target.triangle({p[0], p[1]}, {p[2], p[3]}, {p[4], p[5]}, c.colour, c.opacity); break;
      case DrawKind::Text: target.text(c.rect, c.text, textStyleOf(c)); break;
      case DrawKind::Image: target.image(c.rect, c.imagePath, c.opacity); break;
      case DrawKind::PushClip: target.pushClip(roundedRect(c.rect)); break;
      case DrawKind::PopClip: target.popClip(); break;
    }
  }
}

}  // namespace Corvanthorne::Gui
