#include "render/draw_list.h"

#include <utility>

namespace Corvanthorne::Gui {

DrawCommand& DrawList::add(DrawKind kind, const RectF& rect, Colour colour, float opacity) {
  DrawCommand& command = commands_.emplace_back();
  command.kind = kind;
  command.rect = rect;
  command.colour = colour;
  command.opacity = opacity;
  return command;
}

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

void DrawList::text(const RectF& rect, std::wstring text, const TextStyle& style) {
  DrawCommand& command = add(DrawKind::Text, rect, style.colour, style.opacity);
  command.fontSize = style.size;
  command.alignment = style.alignment;
  command.fontFamily = style.family;
  command.weight = style.weight;
  command.bold = style.bold;
  command.wrap = style.wrap;
  textCharacters_ += static_cast<uint32_t>(text.size());
  command.text = std::move(text);
}

void DrawList::image(const RectF& rect, std::wstring path, float opacity) {
  if (path.empty()) return;
  add(DrawKind::Image, rect, 0, opacity).imagePath = std::move(path);
}

void DrawList::pushClip(const RectF& rect) { add(DrawKind::PushClip, rect, 0, 1.0f); }

void DrawList::popClip() { add(DrawKind::PopClip, RectF{}, 0, 1.0f); }

void DrawList::append(DrawCommand command) {
  if (command.kind == DrawKind::Line) ++lineCommands_;
  if (command.kind == DrawKind::Text) textCharacters_ += static_cast<uint32_t>(command.text.size());
  commands_.push_back(std::move(command));
}

void DrawList::clear() {
  commands_.clear();
  textCharacters_ = 0;
  lineCommands_ = 0;
}

}  // namespace Corvanthorne::Gui
