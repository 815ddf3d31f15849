#include "render/looks.h"

#include <algorithm>
#include <cmath>

#include "gui/values.h"
#include "render/geometry.h"

namespace Corvanthorne::Gui {
namespace {

PointF point(float x, float y) { return PointF{x, y}; }
float f(int32_t value) { return static_cast<float>(value); }

// The colours of a default button's face for its variant and state. Variant 0 (plain) is
// shaded with two facets; the others carry a warm glow.
struct Facets {
  Colour rim;
  Colour top;
  Colour bottom;
  Colour highlight;
  Colour shadow;
  std::array<Colour, 3> glow;
  uint8_t glowSlot;
};

Facets facetsOf(const CorvanthorneGuiTheme& theme, bool plain, const ControlLook& look) {
  const bool lit = look.enabled && !look.pressed && (look.hovered || look.focused || look.selected);
  // Every variant's inner fill is theme 24; only the face inside it differs.
  const Colour rim = lit ? blend(theme[24], theme[25], 0.35) : theme[24];
  Facets facets{};
  if (plain) {
    const Colour doubled = theme.highContrast ? theme[16] : scaleChannels(theme[16], 2, 1);
    facets = {rim, theme[16], theme[15], blend(doubled, theme[16], 0.3), theme[22], {}, 0};
    if (look.hovered && lit) facets.top = blend(theme[16], doubled, 0.3), facets.bottom = theme[16];
    if (look.pressed) facets.top = theme[17], facets.bottom = blend(theme[15], theme[17], 0.5), facets.highlight = theme[15];
  } else {
    facets = {rim, theme[36], theme[36], theme[40], theme[41], {theme[35], theme[34], theme[33]}, 1};
    if (look.hovered && lit) facets.glow = {blend(theme[35], theme[37], 0.25), theme[35], theme[34]}, facets.glowSlot = 0;
    if (look.pressed) facets.glow = {theme[34], theme[33], theme[36]}, facets.glowSlot = 0;
  }
  if (!look.enabled) {
    facets.rim = blend(facets.rim, theme[15], 0.6);
    facets.top = facets.bottom = blend(theme[15], theme[17], 0.4);
    facets.glow = {facets.top, facets.top, facets.top};
    facets.highlight = theme[16];
  }
  return facets;
}

// The upper half of the face between its chamfers catches the light; the darker sides left
// beside it read as bevels.
void paintUpperFacet(PaintTarget& target, const PixelRect& face, int32_t cut, Colour colour) {
  target.fillRect(PixelRect{face.left + cut, face.top, face.right - cut, face.top + face.height() / 2}, colour);
}

void paintButtonLabel(PaintTarget& target, const CorvanthorneGuiTheme& theme, const ControlLook& look, bool plain,
                      const PixelRect& face, std::wstring_view label) {
  if (label.empty()) return;
  TextStyle style;
  style.size = std::max(textSize(3, look.scale), 0.392857f * f(look.rect.height()));
  style.alignment = alignCentre;
  style.bold = true;
  style.weight = weightBold;
  const int32_t sink = look.pressed ? scaledPixels(1, look.scale) : 0;
  const RectF rect = toRectF(moved(face, 0, sink));
  TextStyle halo = style;
  halo.colour = theme[plain || !look.enabled ? 70 : 68];
  for (int dx = -1; dx <= 1; ++dx)
    for (int dy = -1; dy <= 1; ++dy)
      if (dx != 0 || dy != 0) target.text(RectF{rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy}, label, halo);
  const bool lit = (look.hovered || look.focused || look.selected) && !look.pressed;
  style.colour = !look.enabled ? theme[61] : plain ? theme[65] : theme[lit ? 67 : 66];
  target.text(rect, label, style);
}

}  // namespace

Colour toneColour(const CorvanthorneGuiTheme& theme, TextTone tone) {
  switch (tone) {
    case TextTone::Muted: return theme[60];
    case TextTone::Important: return theme[63];
    case TextTone::Selected: return theme[64];
    case TextTone::Button: return theme[65];
    case TextTone::Action: return theme[66];
    case TextTone::Success: return theme[69];
    case TextTone::Disabled: return theme[61];
    default: return theme[59];
  }
}

Colour colourOf(const CorvanthorneGuiTheme& theme, const TextColour& colour) {
  return colour.themeIndex >= 0 ? theme[static_cast<size_t>(colour.themeIndex)] : colour.rgb;
}

float textSize(int32_t textClass, float scale) {
  return std::max(1.0f, static_cast<float>(guiMetrics.entry(inputTextSizeMetric + static_cast<size_t>(textClass))) * scale);
}

void paintText(PaintTarget& target, const CorvanthorneGuiTheme& theme, const RectF& rect, std::wstring_view text,
               float scale, const TextLook& look) {
  if (text.empty()) return;
  TextStyle style;
  style.size = look.size.value_or(textSize(static_cast<int32_t>(look.role), scale));
  style.family = look.family;
  style.bold = look.bold || look.role == FontRole::Heading || look.role == FontRole::Button;
  style.weight = look.bold || look.role == FontRole::Button ? weightBold
                 : look.role == FontRole::Heading          ? weightSemibold
                                                           : weightNormal;
  style.alignment = (look.flags & textCenter) ? alignCentre : (look.flags & textRight) ? alignTrailing : alignLeading;
  style.wrap = (look.flags & textWordBreak) != 0;
  style.colour = look.colour.value_or(toneColour(theme, look.tone));
  if (look.shadow) {
    TextStyle shadow = style;
    shadow.colour = theme[70];
    shadow.opacity = 0.85f;
    target.text(RectF{rect.left + 1, rect.top + 1, rect.right + 1, rect.bottom + 1}, text, shadow);
  }
  target.text(rect, text, style);
}

void paintFrame(PaintTarget& target, const CorvanthorneGuiTheme& theme, const PixelRect& rect, float scale,
                const FrameLook& look) {
  if (isEmpty(rect)) return;
  const int32_t cut = limitedCut(rect, frameCut(scale));
  const Colour fill = look.fill.value_or(theme[look.inset ? 2 : 1]);
  const float opacity = look.opacity;
  if (!look.inset) {
    const int32_t drop = scaledPixels(3, scale);
    target.chamferedFill(moved(rect, drop, drop), cut, theme[3], opacity);
  }
  target.chamferedFill(rect, cut, fill, opacity * 0.96f);
  if (!look.inset) {
    const PixelRect band = frameHeaderBand(rect, scale);
    if (!isEmpty(band)) target.fillRect(band, blend(fill, theme[7], 0.2), opacity);
  }
  const std::array<PointF, 8> corners = octagon(strokeRect(rect), static_cast<float>(cut));
  const Colour edge = theme[look.inset ? 5 : 4];
  for (size_t i = 0; i < corners.size(); ++i)
    target.line(corners[i], corners[(i + 1) % corners.size()], edge, std::max(1.0f, scale), opacity);
  if (look.inset) return;
  const PixelRect inner = inset(rect, scaledPixels(3, scale));
  if (!isEmpty(inner)) target.outlineRect(strokeRect(inner), theme[5], std::max(0.7f, scale), opacity);
  const float highlightY = f(rect.top) + 1.5f;
  target.line(point(f(rect.left + cut), highlightY), point(f(rect.right - cut), highlightY), theme[25],
              std::max(0.7f, 0.6f * scale), 0.65f * opacity);
  paintOrnaments(target, theme, rect, scale, false, opacity);
}

void paintOrnaments(PaintTarget& target, const CorvanthorneGuiTheme& theme, const PixelRect& rect, float scale,
                    bool large, float opacity) {
  const Ornaments ornaments = cornerOrnaments(rect, scale, large);
  const float r = ornaments.radius;
  if (r <= 0) return;
  for (const PointF c : ornaments.centres) {
    target.triangle(point(c.x + 0.5f, c.y - r + 0.8f), point(c.x + r + 0.8f, c.y + 0.8f), point(c.x + 0.5f, c.y + r + 0.8f),
                    theme[22], opacity);
    target.triangle(point(c.x, c.y - r), point(c.x + r, c.y), point(c.x - r, c.y), theme[25], opacity);
    target.triangle(point(c.x - r, c.y), point(c.x + r, c.y), point(c.x, c.y + r), theme[24], opacity);
  }
}

void paintDefaultButton(PaintTarget& target, const CorvanthorneGuiTheme& theme, const ControlLook& look,
                        std::wstring_view label) {
  const PixelRect& rect = look.rect;
  if (isEmpty(rect)) return;
  const PanelKind kind = panelKind(look.node);
  const bool plain = kind == PanelKind::Plain;
  const Facets facets = facetsOf(theme, plain, look);
  const int32_t step = scaledPixels(1, look.scale);
  const int32_t cut = limitedCut(rect, std::max(2, static_cast<int32_t>(5 * look.scale)));
  target.chamferedFill(rect, cut, theme[23]);
  const PixelRect rim = inset(rect, step);
  target.chamferedFill(rim, limitedCut(rim, cut - step), facets.rim);
  const PixelRect face = inset(rect, 2 * step);
  if (isEmpty(face)) return;
  const int32_t k = limitedCut(face, std::max(1, cut - 2 * step));
  target.chamferedFill(face, k, facets.bottom);
  if (plain) {
    paintUpperFacet(target, face, k, facets.top);
  } else {
    target.glow(toRectF(insetSides(face, k, 0, k, 0)), facets.glow, facets.glowSlot);
  }
  const float top = f(face.top) + 0.5f, bottom = f(face.bottom) - 0.5f;
  target.line(point(f(face.left + k), top), point(f(face.right - k), top), facets.highlight, 1.0f);
  target.line(point(f(face.left + k), bottom), point(f(face.right - k), bottom), facets.shadow, 1.0f);
  paintOrnaments(target, theme, rect, look.scale, kind == PanelKind::Action);
  paintButtonLabel(target, theme, look, plain, face, label);
}

void paintIconButton(PaintTarget& target, const CorvanthorneGuiTheme& theme, const ControlLook& look,
                     std::wstring_view glyph) {
  const PixelRect& rect = look.rect;
  if (isEmpty(rect)) return;
  const int32_t cut = limitedCut(rect, std::max(1, static_cast<int32_t>(3 * look.scale)));
  const Colour rim = theme[look.focused ? 44 : look.hovered ? 12 : 11];
  const Colour fill = theme[!look.enabled ? 73 : look.pressed ? 8 : look.hovered ? 7 : 6];
  target.chamferedFill(rect, cut, rim);
  const PixelRect face = inset(rect, 1);
  target.chamferedFill(face, limitedCut(face, cut - 1), fill);
  const float top = f(face.top) + 0.5f;
  target.line(point(f(face.left + cut), top), point(f(face.right - cut), top), theme[5], 1.0f);
  if (glyph.empty()) return;
  TextStyle style;
  style.colour = theme[look.enabled ? 59 : 61];
  style.size = std::max(textSize(3, look.scale), 0.5f * f(rect.height()));
  style.alignment = alignCentre;
  style.family = familySegoeUi;
  target.text(toRectF(rect), glyph, style);
}

}  // namespace Corvanthorne::Gui
