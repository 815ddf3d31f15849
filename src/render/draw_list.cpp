#include "render/draw_list.h"

#include <algorithm>

namespace Corvanthorne::Gui {

namespace {
// Enough for the texts of a large screen in one chunk.
constexpr size_t kChunkCharacters = 16 * 1024;
}  // namespace

std::wstring_view TextStore::store(std::wstring_view text) {
  if (text.empty()) return {};
  if (text == last_) return last_;
  if (chunks_.empty() || used_ + text.size() > chunks_[current_].capacity) {
    if (!chunks_.empty()) ++current_;
    used_ = 0;
    if (current_ == chunks_.size() || chunks_[current_].capacity < text.size()) {
      const size_t capacity = std::max(kChunkCharacters, text.size());
      Chunk chunk{std::make_unique_for_overwrite<wchar_t[]>(capacity), capacity};
      if (current_ == chunks_.size()) chunks_.push_back(std::move(chunk));
      else chunks_[current_] = std::move(chunk);
    }
  }
  wchar_t* at = chunks_[current_].characters.get() + used_;
  std::copy(text.begin(), text.end(), at);
  used_ += text.size();
  return last_ = std::wstring_view(at, text.size());
}

void TextStore::clear() {
  current_ = 0;
  used_ = 0;
  last_ = {};
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

void DrawList::text(const RectF& rect, std::wstring_view text, const TextStyle& style) {
  DrawCommand& command = add(DrawKind::Text, rect, style.colour, style.opacity);
  command.fontSize = style.size;
  command.alignment = style.alignment;
  command.fontFamily = style.family;
  command.weight = style.weight;
  command.bold = style.bold;
  command.wrap = style.wrap;
  textCharacters_ += static_cast<uint32_t>(text.size());
  command.text = texts_.store(text);
}

void DrawList::image(const RectF& rect, std::wstring_view path, float opacity) {
  if (path.empty()) return;
  add(DrawKind::Image, rect, 0, opacity).imagePath = texts_.store(path);
}

void DrawList::pushClip(const RectF& rect) { add(DrawKind::PushClip, rect, 0, 1.0f); }

void DrawList::popClip() { add(DrawKind::PopClip, RectF{}, 0, 1.0f); }

DrawCommand& DrawList::append(const DrawCommand& command) {
  if (command.kind == DrawKind::Line) ++lineCommands_;
  if (command.kind == DrawKind::Text) textCharacters_ += static_cast<uint32_t>(command.text.size());
  const std::wstring_view text = texts_.store(command.text), imagePath = texts_.store(command.imagePath);
  DrawCommand& copy = commands_.emplace_back(command);
  copy.text = text;
  copy.imagePath = imagePath;
  return copy;
}

void DrawList::clear() {
  commands_.clear();
  texts_.clear();
  textCharacters_ = 0;
  lineCommands_ = 0;
}

}  // namespace Corvanthorne::Gui
