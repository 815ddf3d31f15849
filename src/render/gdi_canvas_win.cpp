#include "render/gdi_canvas_win.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "gui/style.h"
#include "gui/values.h"
#include "render/geometry.h"

namespace Corvanthorne::Gui {
namespace {

LONG rounded(float value) { return std::lround(value); }
// Strokes sit at half-pixel centres (x + 0.5 covers column x).
LONG strokePixel(float value) { return static_cast<LONG>(std::floor(value)); }
POINT pointOf(PointF p) { return POINT{rounded(p.x), rounded(p.y)}; }
RECT rectOf(const PixelRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }
RECT rectOf(const RectF& r) { return RECT{rounded(r.left), rounded(r.top), rounded(r.right), rounded(r.bottom)}; }

int32_t fontWeight(const TextStyle& style) {
  switch (style.weight) {
    case weightBold: return FW_BOLD;
    case weightSemibold: return FW_SEMIBOLD;
    case weightNormal: return FW_NORMAL;
    default: return !style.bold ? FW_NORMAL : style.family == familyPalatino ? FW_BOLD : FW_SEMIBOLD;
  }
}

// GDI's DrawText format of a text style: single lines are centred vertically and cut with an
// ellipsis; wrapped text breaks at words.
UINT textFormatOf(const TextStyle& style) {
  const UINT horizontal = style.alignment == alignCentre ? DT_CENTER : style.alignment == alignTrailing ? DT_RIGHT : DT_LEFT;
  return horizontal | DT_NOPREFIX | (style.wrap ? DT_WORDBREAK : DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}

TRIVERTEX vertex(float x, float y, Colour colour) {
  return TRIVERTEX{rounded(x), rounded(y), static_cast<COLOR16>(redOf(colour) << 8), static_cast<COLOR16>(greenOf(colour) << 8),
                   static_cast<COLOR16>(blueOf(colour) << 8), 0xFF00};
}

// A pen of the stroke's width in its colour, selected until the stroke ends; wide pens are
// made for the stroke and deleted after it.
class Stroke {
 public:
  Stroke(HDC dc, Colour colour, float width) : dc_(dc) {
    const int pixels = std::max(1, roundToInt(width));
    if (pixels > 1) pen_.reset(CreatePen(PS_INSIDEFRAME, pixels, colour));
    SelectObject(dc_, pen_ ? static_cast<HGDIOBJ>(pen_.get()) : GetStockObject(DC_PEN));
    SetDCPenColor(dc_, colour);
  }
  ~Stroke() { SelectObject(dc_, GetStockObject(DC_PEN)); }
  Stroke(const Stroke&) = delete;
  Stroke& operator=(const Stroke&) = delete;

 private:
  HDC dc_;
  ScopedGdiObject<HPEN> pen_;
};

}  // namespace

// ---- Fonts ----

namespace {

int CALLBACK noteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

// The GUI's serif face, or where it is not installed the closest stand-in that is, so that
// the font mapper does not fall back to a face of another cut.
const wchar_t* palatinoFace() {
  static const wchar_t* const face = [] {
    static constexpr const wchar_t* candidates[] = {L"Palatino Linotype", L"Book Antiqua", L"Palatino", L"P052", L"URW Palladio L"};
    const ScopedScreenDc screen(GetDC(nullptr));
    if (!screen) return candidates[0];
    for (const wchar_t* candidate : candidates) {
      LOGFONTW query{};
      query.lfCharSet = DEFAULT_CHARSET;
      wcsncpy_s(query.lfFaceName, candidate, _TRUNCATE);
      bool found = false;
      EnumFontFamiliesExW(screen.get(), &query, noteFound, reinterpret_cast<LPARAM>(&found), 0);
      if (found) return candidate;
    }
    return candidates[0];
  }();
  return face;
}

}  // namespace

ScopedGdiObject<HFONT> GdiFonts::create(int32_t height, int32_t weight, uint32_t family) {
  LOGFONTW font{};
  font.lfHeight = -height;  // character height
  font.lfWeight = weight;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = ANTIALIASED_QUALITY;
  // The family tells the font mapper what to choose where the face is missing.
  font.lfPitchAndFamily = VARIABLE_PITCH | (family == familyPalatino ? FF_ROMAN : family == familyScript ? FF_SCRIPT : FF_SWISS);
  const wchar_t* face = family == familyPalatino ? palatinoFace() : family == familyScript ? L"Segoe Script" : L"Segoe UI";
  wcsncpy_s(font.lfFaceName, face, _TRUNCATE);
  ScopedGdiObject<HFONT> handle(CreateFontIndirectW(&font));
  if (!handle) throw std::runtime_error("Create Qelmarin GUI fonts");
  return handle;
}

void GdiFonts::prepare(float scale) {
  if (std::abs(scale - scale_) < 0.0001f) return;
  fonts_.clear();
  scale_ = scale;
  static constexpr int32_t weights[] = {FW_NORMAL, FW_NORMAL, FW_SEMIBOLD, FW_BOLD, FW_SEMIBOLD};
  try {
    for (size_t textClass = 0; textClass < 5; ++textClass) {
      const int32_t height = std::max(1, roundToInt(guiMetrics.entry(inputTextSizeMetric + textClass) * scale));
      fonts_.push_back(Font{height, weights[textClass], familyPalatino, create(height, weights[textClass], familyPalatino)});
    }
  } catch (...) {
    fonts_.clear();
    scale_ = -1;
    throw;
  }
}

HFONT GdiFonts::fontFor(const TextStyle& style) {
  const int32_t height = std::max(1, roundToInt(style.size));
  const int32_t weight = fontWeight(style);
  for (const Font& font : fonts_)
    if (font.height == height && font.weight == weight && font.family == style.family) return font.handle.get();
  fonts_.push_back(Font{height, weight, style.family, create(height, weight, style.family)});
  return fonts_.back().handle.get();
}

// ---- Pictures ----

GuiBitmap GdiBitmaps::load(const std::filesystem::path& file) const {
  GuiBitmap bitmap = loadGuiBitmap(file);
  if (!bitmap && !folder_.empty() && file.is_relative()) bitmap = loadGuiBitmap(folder_ / file);
  return bitmap;
}

HBITMAP GdiBitmaps::find(std::wstring_view path) {
  auto found = bitmaps_.find(path);
  if (found == bitmaps_.end()) {
    const auto decoding = decoding_.find(path);
    GuiBitmap bitmap = decoding != decoding_.end() ? decoding->second.get() : load(std::filesystem::path(path));
    if (decoding != decoding_.end()) decoding_.erase(decoding);
    found = bitmaps_.emplace(std::wstring(path), std::move(bitmap)).first;  // a missing picture is not retried every frame
  }
  return found->second.get();
}

void GdiBitmaps::prefetch(std::wstring_view path) {
  if (path.empty() || bitmaps_.contains(path) || decoding_.contains(path)) return;
  decoding_.emplace(std::wstring(path),
                    std::async(std::launch::async, [this, file = std::filesystem::path(path)] { return load(file); }));
}

// ---- Target ----

void GdiTarget::useColour(Colour brush, Colour pen, bool withPen) {
  SelectObject(dc_, GetStockObject(DC_BRUSH));
  SetDCBrushColor(dc_, brush);
  SelectObject(dc_, GetStockObject(withPen ? DC_PEN : NULL_PEN));
  SetDCPenColor(dc_, pen);
}

HDC GdiTarget::memoryDc() {
  if (!memory_) memory_.reset(CreateCompatibleDC(dc_));
  return memory_.get();
}

void GdiTarget::blendFill(const PixelRect& rect, Colour colour, float opacity) {
  HDC memory = memoryDc();
  if (!pixel_) pixel_.reset(CreateCompatibleBitmap(dc_, 1, 1));
  if (!memory || !pixel_) return;
  const HGDIOBJ previous = SelectObject(memory, pixel_.get());
  SetPixelV(memory, 0, 0, colour);
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(std::clamp(opacity, 0.0f, 1.0f) * 255 + 0.5f), 0};
  AlphaBlend(dc_, rect.left, rect.top, rect.width(), rect.height(), memory, 0, 0, 1, 1, blend);
  SelectObject(memory, previous);
}

void GdiTarget::fillRect(const PixelRect& rect, Colour colour, float opacity, float radius) {
  if (isEmpty(rect)) return;
  if (opacity < 0.9f) return blendFill(rect, colour, opacity);
  if (radius > 0) {
    useColour(colour, colour, true);
    const int corner = std::max(1, roundToInt(2 * radius));
    RoundRect(dc_, rect.left, rect.top, rect.right, rect.bottom, corner, corner);
    return;
  }
  useColour(colour, colour, false);
  const RECT r = rectOf(rect);
  FillRect(dc_, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void GdiTarget::outlineRect(const RectF& rect, Colour colour, float width, float, float radius) {
  const Stroke stroke(dc_, colour, width);
  SelectObject(dc_, GetStockObject(NULL_BRUSH));
  const float half = width / 2;
  const RECT r{rounded(rect.left - half), rounded(rect.top - half), rounded(rect.right + half), rounded(rect.bottom + half)};
  if (radius > 0) {
    const int corner = std::max(1, roundToInt(2 * radius));
    RoundRect(dc_, r.left, r.top, r.right, r.bottom, corner, corner);
  } else {
    Rectangle(dc_, r.left, r.top, r.right, r.bottom);
  }
}

void GdiTarget::line(PointF from, PointF to, Colour colour, float width, float) {
  const Stroke stroke(dc_, colour, width);
  MoveToEx(dc_, strokePixel(from.x), strokePixel(from.y), nullptr);
  LineTo(dc_, strokePixel(to.x), strokePixel(to.y));
}

void GdiTarget::triangle(PointF a, PointF b, PointF c, Colour colour, float) {
  useColour(colour, colour, true);
  const POINT points[] = {pointOf(a), pointOf(b), pointOf(c)};
  Polygon(dc_, points, 3);
}

// One octagon; without a pen GDI fills exactly the pixels inside it.
void GdiTarget::chamferedFill(const PixelRect& rect, int32_t cut, Colour colour, float opacity) {
  if (isEmpty(rect)) return;
  if (cut <= 0) return fillRect(rect, colour, opacity, 0);
  useColour(colour, colour, false);
  POINT points[8];
  const std::array<PointF, 8> corners = octagon(toRectF(rect), static_cast<float>(cut));
  std::transform(corners.begin(), corners.end(), points, pointOf);
  Polygon(dc_, points, 8);
}

void GdiTarget::fillEllipse(const RectF& rect, Colour colour, float) {
  useColour(colour, colour, true);
  const RECT r = rectOf(rect);
  Ellipse(dc_, r.left, r.top, r.right, r.bottom);
}

void GdiTarget::outlineEllipse(const RectF& rect, Colour colour, float width, float) {
  const Stroke stroke(dc_, colour, width);
  SelectObject(dc_, GetStockObject(NULL_BRUSH));
  const RECT r = rectOf(rect);
  Ellipse(dc_, r.left, r.top, r.right, r.bottom);
}

// A radial gradient as a mesh of triangles: the inner colour at the centre, the middle one on
// the ellipse at 38 % of the radii, the outer one on the ellipse and from there to the
// rectangle's edge.
void GdiTarget::glow(const RectF& rect, const std::array<Colour, 3>& colours, uint8_t, float) {
  constexpr ULONG spokes = 24;
  const float cx = (rect.left + rect.right) / 2, cy = (rect.top + rect.bottom) / 2;
  const float rx = std::max(0.5f, (rect.right - rect.left) / 2), ry = std::max(0.5f, (rect.bottom - rect.top) / 2);
  TRIVERTEX vertices[1 + 3 * spokes];
  GRADIENT_TRIANGLE triangles[5 * spokes];
  vertices[0] = vertex(cx, cy, colours[0]);
  for (ULONG i = 0; i < spokes; ++i) {
    const double angle = 2 * std::numbers::pi * i / spokes;
    const auto dx = static_cast<float>(std::cos(angle)), dy = static_cast<float>(std::sin(angle));
    const float toEdge = std::min(std::abs(dx) > 1e-6f ? 1 / std::abs(dx) : 1e9f, std::abs(dy) > 1e-6f ? 1 / std::abs(dy) : 1e9f);
    vertices[1 + i] = vertex(cx + 0.38f * rx * dx, cy + 0.38f * ry * dy, colours[1]);
    vertices[1 + spokes + i] = vertex(cx + rx * dx, cy + ry * dy, colours[2]);
    vertices[1 + 2 * spokes + i] = vertex(cx + toEdge * rx * dx, cy + toEdge * ry * dy, colours[2]);
    const ULONG next = (i + 1) % spokes;
    triangles[5 * i] = {0, 1 + i, 1 + next};
    for (ULONG ring = 0; ring < 2; ++ring) {
      const ULONG inner = 1 + ring * spokes, outer = inner + spokes;
      triangles[5 * i + 1 + 2 * ring] = {inner + i, outer + i, outer + next};
      triangles[5 * i + 2 + 2 * ring] = {inner + i, outer + next, inner + next};
    }
  }
  GradientFill(dc_, vertices, std::size(vertices), triangles, std::size(triangles), GRADIENT_FILL_TRIANGLE);
}

void GdiTarget::text(const RectF& rect, std::wstring_view text, const TextStyle& style) {
  if (text.empty()) return;
  SelectObject(dc_, fonts_.fontFor(style));
  SetTextColor(dc_, style.colour);
  RECT r = rectOf(rect);
  DrawTextW(dc_, text.data(), static_cast<int>(text.size()), &r, textFormatOf(style));
}

void GdiTarget::image(const RectF& rect, std::wstring_view path, float opacity) {
  HBITMAP bitmap = path.empty() ? nullptr : bitmaps_.find(path);
  BITMAP size{};
  HDC memory = bitmap ? memoryDc() : nullptr;
  if (!memory || !GetObjectW(bitmap, sizeof size, &size)) return;
  const RECT r = rectOf(rect);
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(std::clamp(opacity, 0.0f, 1.0f) * 255 + 0.5f), AC_SRC_ALPHA};
  AlphaBlend(dc_, r.left, r.top, r.right - r.left, r.bottom - r.top, memory, 0, 0, size.bmWidth, size.bmHeight, blend);
  SelectObject(memory, previous);
}

void GdiTarget::pushClip(const PixelRect& rect) {
  SaveDC(dc_);
  IntersectClipRect(dc_, rect.left, rect.top, rect.right, rect.bottom);
}

void GdiTarget::popClip() { RestoreDC(dc_, -1); }

// ---- Draw lists of the button painters ----

void executeCommands(GdiTarget& target, const DrawList& list) {
  for (const DrawCommand& c : list.commands()) {
    const auto& p = c.points;
    switch (c.kind) {
      case DrawKind::FillRect: target.fillRect(roundedRect(c.rect), c.colour, 1, 0); break;
      case DrawKind::Line: target.line({p[0], p[1]}, {p[2], p[3]}, c.colour, c.strokeWidth, 1); break;
      case DrawKind::FillEllipse: target.fillEllipse(c.rect, c.colour, 1); break;
      case DrawKind::Glow: target.glow(c.rect, c.glowColours, c.glowSlot, 1); break;
      case DrawKind::FillTriangle: target.triangle({p[0], p[1]}, {p[2], p[3]}, {p[4], p[5]}, c.colour, 1); break;
      case DrawKind::Text: target.text(c.rect, c.text, textStyleOf(c)); break;
      default: break;
    }
  }
}

}  // namespace Corvanthorne::Gui
