#include "render/draw_list.h"


namespace Corvanthorne::Gui {

void DrawList::fillRect(const PixelRect& rect, Colour colour, float opacity, float cornerRadius) {
  add(DrawKind::FillRect, toRectF(rect), colour, opacity).cornerRadius = cornerRadius;
}

void DrawList::outlineRect(const RectF& rect, Colour colour, float width, float opacity, float cornerRadius) {
  DrawCommand& command = add(DrawKind::OutlineRect, rect, colour, opacity);
  command.strokeWidth = width;
  command.cornerRadius = cornerRadius;
}

void DrawList::line(float x1, float y1, float x2, float y2, Colour colour, float width, float opacity) {
  DrawCommand& command = add(DrawKind::Line, RectF{}, colour, opacity);
  command.points = {x1, y1, x2, y2, 0, 0};
  command.strokeWidth = width;
  ++lineCommands_;
}

void DrawList::fillTriangle(PointF a, PointF b, PointF c, Colour colour, float opacity) {
  add(DrawKind::FillTriangle, RectF{}, colour, opacity).points = {a.x, a.y, b.x, b.y, c.x, c.y};
}

void DrawList::fillQuad(PointF a, PointF b, PointF c, PointF d, Colour colour, float opacity) {
  fillTriangle(a, b, c, colour, opacity);
  fillTriangle(a, c, d, colour, opacity);
}

void DrawList::fillEllipse(const RectF& rect, Colour colour, float opacity) {
  add(DrawKind::FillEllipse, rect, colour, opacity);
}

void DrawList::outlineEllipse(const RectF& rect, Colour colour, float width, float opacity) {
  add(DrawKind::OutlineEllipse, rect, colour, opacity).strokeWidth = width;
}

void DrawList::glow(const RectF& rect, const std::array<Colour, 3>& colours, uint8_t slot, float opacity) {
  DrawCommand& command = add(DrawKind::Glow, rect, colours[0], opacity);
  command.glowColours = colours;
  command.glowSlot = slot;
}

void DrawList::text(const RectF& rect, std::wstring_view text, const TextStyle& style) {
  DrawCommand& command = add(DrawKind::Text, rect, style.colour, style.opacity);
  command.fontSize = style.size;
  command.alignment = style.alignment;
  command.fontFamily = style.family;
  command.weight = style.weight;
  command.bold = style.bold;
  command.wrap = style.wrap;
  textCharacters_ += static_cast<uint32_t>(text.size());
  command.text.assign(text);
}

void DrawList::image(const RectF& rect, std::wstring_view path, float opacity) {
  if (path.empty()) return;
  add(DrawKind::Image, rect, 0, opacity).imagePath.assign(path);
}

void DrawList::pushClip(const RectF& rect) { add(DrawKind::PushClip, rect, 0, 1.0f); }

void DrawList::popClip() { add(DrawKind::PopClip, RectF{}, 0, 1.0f); }

DrawCommand& DrawList::append(const DrawCommand& command) {
  if (command.kind == DrawKind::Line) ++lineCommands_;
  if (command.kind == DrawKind::Text) textCharacters_ += static_cast<uint32_t>(command.text.size());
  if (used_ == commands_.size()) commands_.emplace_back();
  return commands_[used_++] = command;
}

void DrawList::clear() {
  used_ = 0;
  textCharacters_ = 0;
  lineCommands_ = 0;
}

}  // namespace Corvanthorne::Gui
