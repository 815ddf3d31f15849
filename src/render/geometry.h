#pragma once
// The numbers behind the GUI's look, shared by the draw-list and the GDI painters: chamfered
// octagons, frame bands, ornaments, and the parts of progress bars, drop-downs, check boxes
// and pop-ups. Pure functions of rectangles and scales.
#include <array>
#include <cstdint>

#include "gui/screen.h"
#include "render/draw_list.h"

namespace Corvanthorne::Gui {

PixelRect inset(const PixelRect& rect, int32_t by);  // negative grows
PixelRect insetSides(const PixelRect& rect, int32_t left, int32_t top, int32_t right, int32_t bottom);
PixelRect moved(const PixelRect& rect, int32_t dx, int32_t dy);
bool isEmpty(const PixelRect& rect);
// The same rectangle at half-pixel centres, where 1-pixel strokes cover exactly the edge pixels.
RectF strokeRect(const PixelRect& rect);

// The cut of a chamfered rectangle: at most half the smaller side, 0 below 2 pixels or for a
// negative cut.
int32_t limitedCut(const PixelRect& rect, int32_t cut);
// Corners of the chamfered octagon, clockwise from the top left: (left + k, top),
// (right - k, top), (right, top + k), ... (left, top + k).
std::array<PointF, 8> octagon(const RectF& rect, float cut);

// Frames (windows, panels, progress bars).
int32_t frameCut(float scale);                                  // max(1, 4 x scale), truncated
PixelRect frameHeaderBand(const PixelRect& rect, float scale);  // not below the bottom edge minus the margin

// Corner ornaments: small diamonds near the four corners; none on rectangles narrower or
// lower than 12 x scale (radius 0).
struct Ornaments {
  float radius = 0;
  std::array<PointF, 4> centres{};
};
Ornaments cornerOrnaments(const PixelRect& rect, float scale, bool large);

// The filled part of a progress bar inside its inner rectangle: value / max, with max at
// least 0.000001 and the ratio clamped to 0..1.
PixelRect progressFill(const PixelRect& inner, double value, double max);

// A drop-down's arrow cell at the right (never beyond the left edge) and its triangle, which
// points down while closed and up while open.
PixelRect dropdownArrowCell(const PixelRect& rect, int32_t width);
std::array<PointF, 3> dropdownArrow(const PixelRect& cell, float scale, bool open);

// The first row a pop-up or list shows: kept between 0 and rows - visible rows.
int32_t clampFirstRow(int32_t first, int32_t rows, int32_t visibleRows);
// Visible row i of an open pop-up, inside its border.
PixelRect popupRowRect(const PopupGeometry& popup, int32_t visibleIndex);

// The box of a check box (a square of min(height, 18 x scale) at the left, centred
// vertically) and its check mark: two strokes through three points, and their width.
PixelRect checkboxBox(const PixelRect& rect, float scale);
struct CheckMark {
  std::array<PointF, 3> points{};
  float width = 1;
};
CheckMark checkMark(const PixelRect& box);
// The knob cell at the right of a "toggle" check box and of a "selector" button.
PixelRect rightCell(const PixelRect& rect, float scale);

}  // namespace Corvanthorne::Gui
