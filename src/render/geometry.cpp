#include "render/geometry.h"

#include <algorithm>
#include <cmath>

#include "gui/values.h"

namespace Corvanthorne::Gui {

PixelRect inset(const PixelRect& rect, int32_t by) { return insetSides(rect, by, by, by, by); }

PixelRect insetSides(const PixelRect& rect, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  return PixelRect{rect.left + left, rect.top + top, rect.right - right, rect.bottom - bottom};
}

PixelRect moved(const PixelRect& rect, int32_t dx, int32_t dy) {
  return PixelRect{rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
}

bool isEmpty(const PixelRect& rect) { return rect.width() <= 0 || rect.height() <= 0; }

RectF strokeRect(const PixelRect& rect) {
  return RectF{rect.left + 0.5f, rect.top + 0.5f, rect.right - 0.5f, rect.bottom - 0.5f};
}

int32_t limitedCut(const PixelRect& rect, int32_t cut) {
  const int32_t smaller = std::min(rect.width(), rect.height());
  if (smaller < 2 || cut < 0) return 0;
  return std::min(cut, smaller / 2);
}

std::array<PointF, 8> octagon(const RectF& r, float k) {
  return {PointF{r.left + k, r.top}, {r.right - k, r.top},    {r.right, r.top + k}, {r.right, r.bottom - k},
          {r.right - k, r.bottom},   {r.left + k, r.bottom}, {r.left, r.bottom - k}, {r.left, r.top + k}};
}

int32_t frameCut(float scale) { return std::max(1, static_cast<int32_t>(4 * scale)); }

PixelRect frameHeaderBand(const PixelRect& rect, float scale) {
  const int32_t margin = scaledPixels(4, scale);
  const int32_t top = rect.top + margin;
  return PixelRect{rect.left + margin, top, rect.right - margin,
                   std::min(top + scaledPixels(26, scale), rect.bottom - margin)};
}

Ornaments cornerOrnaments(const PixelRect& rect, float scale, bool large) {
  Ornaments ornaments;
  if (rect.width() < 12 * scale || rect.height() < 12 * scale) return ornaments;
  const float smaller = static_cast<float>(std::min(rect.width(), rect.height()));
  const float a = large ? 4.0f : 1.65f, b = large ? 8.0f : 4.5f;
  ornaments.radius = std::max(0.75f, std::min(0.065f * smaller, a * scale));
  const float o = std::max(b * scale, ornaments.radius + 1);
  const auto left = static_cast<float>(rect.left) + o, right = static_cast<float>(rect.right) - o;
  const auto top = static_cast<float>(rect.top) + o, bottom = static_cast<float>(rect.bottom) - o;
  ornaments.centres = {PointF{left, top}, {right, top}, {left, bottom}, {right, bottom}};
  return ornaments;
}

PixelRect progressFill(const PixelRect& inner, double value, double max) {
  const double ratio = std::clamp(value / std::max(max, 0.000001), 0.0, 1.0);
  return PixelRect{inner.left, inner.top, inner.left + static_cast<int32_t>(inner.width() * ratio), inner.bottom};
}

PixelRect dropdownArrowCell(const PixelRect& rect, int32_t width) {
  return PixelRect{std::max(rect.left, rect.right - width), rect.top, rect.right, rect.bottom};
}

std::array<PointF, 3> dropdownArrow(const PixelRect& cell, float scale, bool open) {
  const float a = std::max(3.0f, 4 * scale);
  const float cx = (cell.left + cell.right) / 2.0f, cy = (cell.top + cell.bottom) / 2.0f;
  if (open) return {PointF{cx - a, cy + a / 2}, {cx + a, cy + a / 2}, {cx, cy - a}};
  return {PointF{cx - a, cy - a / 2}, {cx + a, cy - a / 2}, {cx, cy + a}};
}

int32_t clampFirstRow(int32_t first, int32_t rows, int32_t visibleRows) {
  return std::clamp(first, 0, std::max(0, rows - visibleRows));
}

PixelRect popupRowRect(const PopupGeometry& popup, int32_t visibleIndex) {
  const int32_t top = popup.rect.top + popup.border + visibleIndex * popup.rowHeight;
  return PixelRect{popup.rect.left + popup.border, top, popup.rect.right - popup.border, top + popup.rowHeight - 1};
}

PixelRect checkboxBox(const PixelRect& rect, float scale) {
  const int32_t side = std::max(0, std::min(rect.height(), roundToInt(18 * scale)));
  const int32_t top = rect.top + (rect.height() - side) / 2;
  return PixelRect{rect.left, top, rect.left + side, top + side};
}

CheckMark checkMark(const PixelRect& box) {
  const auto at = [&box](float x, float y) {
    return PointF{box.left + x * box.width(), box.top + y * box.height()};
  };
  return CheckMark{{at(0.14f, 0.5f), at(0.39f, 0.75f), at(0.86f, 0.2f)},
                   std::max(1.0f, std::round(0.18f * std::min(box.width(), box.height())))};
}

PixelRect rightCell(const PixelRect& rect, float scale) {
  const int32_t width = std::min(rect.width(), std::max(roundToInt(28 * scale), rect.height()));
  return PixelRect{rect.right - width, rect.top, rect.right, rect.bottom};
}

}  // namespace Corvanthorne::Gui
