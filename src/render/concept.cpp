// The concept looks: decorative styles whose words begin with "concept" (paper sheets,
// dividers, sigils, letter-like buttons, health bars). Windows never take them.
#include <algorithm>
#include <cmath>

#include "gui/values.h"
#include "render/geometry.h"
#include "render/screen_painter.h"

namespace Corvanthorne::Gui {
namespace {

float f(int32_t value) { return static_cast<float>(value); }
PointF point(float x, float y) { return PointF{x, y}; }

void paintPaper(PaintTarget& target, const CorvanthorneGuiTheme& theme, const PixelRect& r) {
  target.fillRect(r, rgb(237, 219, 177));
  target.outlineRect(strokeRect(r), theme[5], 1.0f);
  const PixelRect inner = inset(r, 4);
  if (!isEmpty(inner)) target.outlineRect(strokeRect(inner), rgb(186, 158, 106), 1.0f);
}

// A narrow blade from the top centre, a second one down to the bottom, and four pairs of
// strokes reaching out from the centre line.
void paintSigil(PaintTarget& target, const CorvanthorneGuiTheme& theme, const PixelRect& r) {
  const float w = f(r.width()), h = f(r.height()), cx = f(r.left) + w / 2, top = f(r.top);
  target.triangle(point(cx, top), point(cx + 0.09f * w, top + 0.32f * h), point(cx - 0.09f * w, top + 0.32f * h), theme[64]);
  target.triangle(point(cx - 0.055f * w, top + 0.25f * h), point(cx + 0.055f * w, top + 0.25f * h), point(cx, top + h), theme[4]);
  for (const float at : {0.49f, 0.20f, 0.02f, 0.10f}) {
    const float y = top + at * h, width = at == 0.49f ? 2.0f : 1.0f;
    target.line(point(cx, y), point(cx - 0.2f * w, y), theme[4], width);
    target.line(point(cx, y), point(cx + 0.2f * w, y), theme[4], width);
  }
}

void paintDivider(PaintTarget& target, const CorvanthorneGuiTheme& theme, const PixelRect& r, float scale) {
  const float y = f(r.top + r.height() / 2) + 0.5f, x = f(r.left + r.width() / 2), a = 4 * scale;
  target.line(point(f(r.left), y), point(f(r.right), y), theme[4], 1.0f);
  target.quad(point(x, y - a), point(x + a, y), point(x, y + a), point(x - a, y), theme[4]);
}

void paintConceptBar(PaintTarget& target, const CorvanthorneGuiTheme& theme, Screen& screen, const ControlLook& look) {
  const PixelRect& r = look.rect;
  const bool health = hasStyle(look.node, L"concept-health");
  target.fillRect(r, theme[2]);
  target.outlineRect(strokeRect(r), theme[4], 1.0f);
  target.outlineRect(strokeRect(inset(r, roundToInt(2 * look.scale))), theme[5], 1.0f);
  const PixelRect inner = inset(r, std::max(2, roundToInt(3 * look.scale)));
  const double ratio = std::clamp(screen.effectiveValue(look.node) / std::max(screen.number(look.node, L"max", 1), 1.0), 0.0, 1.0);
  const PixelRect fill{inner.left, inner.top, inner.left + static_cast<int32_t>(inner.width() * ratio), inner.bottom};
  if (isEmpty(fill)) return;
  target.fillRect(fill, theme[health ? 74 : 75]);
  const float y = f(fill.top) + 0.5f;
  target.line(point(f(fill.left), y), point(f(fill.right), y), health ? rgb(184, 71, 75) : rgb(111, 144, 177), 1.0f);
}

void paintConceptButton(PaintTarget& target, const CorvanthorneGuiTheme& theme, Screen& screen, const ControlLook& look,
                        bool ownFace) {
  const PixelRect& r = look.rect;
  const bool highlighted = look.enabled && (look.hovered || look.focused || look.selected);
  if (ownFace) {
    const Colour face = theme[!look.enabled ? 2 : look.pressed ? 8 : look.hovered ? 7 : look.selected ? 9 : 6];
    const Colour edge = theme[highlighted ? 64 : 4];
    if (hasStyle(look.node, L"concept-tab")) {
      const float slant = 6 * look.scale;
      target.quad(point(f(r.left) + slant, f(r.top)), point(f(r.right) - slant, f(r.top)), point(f(r.right), f(r.bottom)),
                  point(f(r.left), f(r.bottom)), face);
    } else {
      target.fillRect(r, face);
    }
    target.outlineRect(strokeRect(r), edge, 1.0f);
  } else {
    paintDefaultButton(target, theme, look, {});
  }
  std::wstring label = screen.text(look.node.name);
  if (label.empty() && hasStyle(look.node, L"concept-close")) label = L"\u00D7";
  if (label.empty() && hasStyle(look.node, L"concept-arrow")) label = L"\u203A";
  TextLook text{FontRole::Button, TextTone::Normal, textCenter};
  text.colour = theme[!look.enabled ? 61 : highlighted ? 64 : 59];
  paintText(target, theme, toRectF(r), label, look.scale, text);
}

}  // namespace

bool paintConcept(PaintTarget& target, const CorvanthorneGuiTheme& theme, Screen& screen, const ControlLook& look) {
  const Node& node = look.node;
  if (node.type == L"Window") return false;
  if (hasStyle(node, L"concept-paper")) {
    paintPaper(target, theme, look.rect);
  } else if (node.type == L"Text") {
    TextLook text{FontRole::Body, TextTone::Normal, textFormat(node) & (textCenter | textRight)};
    text.colour = colourOf(theme, textColour(node));
    if (node.has(L"fontSize")) text.size = std::max(1.0f, static_cast<float>(screen.number(node, L"fontSize", 13)) * look.scale);
    text.bold = isBold(node);
    paintText(target, theme, toRectF(look.rect), screen.text(node.name), look.scale, text);
  } else if (hasStyle(node, L"concept-sigil")) {
    paintSigil(target, theme, look.rect);
  } else if (hasStyle(node, L"concept-divider")) {
    paintDivider(target, theme, look.rect, look.scale);
  } else if (node.type == L"ProgressBar") {
    paintConceptBar(target, theme, screen, look);
  } else if (node.type == L"Button") {
    const bool ownFace = hasStyle(node, L"concept-letter") || hasStyle(node, L"concept-slot") ||
                         hasStyle(node, L"concept-close") || hasStyle(node, L"concept-arrow") || hasStyle(node, L"concept-tab");
    paintConceptButton(target, theme, screen, look, ownFace);
  } else {
    return false;
  }
  return true;
}

}  // namespace Corvanthorne::Gui
