#include "render/screen_painter.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "common/text.h"
#include "gui/controls.h"
#include "gui/values.h"
#include "render/geometry.h"

namespace Corvanthorne::Gui {
namespace {

using namespace std::string_view_literals;

constexpr wchar_t bullet = 0x2022;

float f(int32_t value) { return static_cast<float>(value); }
PointF point(float x, float y) { return PointF{x, y}; }

// The draw-list path: canvas renderers append to the list itself.
class DrawListPainter final : public ScreenPainter {
 public:
  DrawListPainter(Screen& screen, const CorvanthorneGuiTheme& theme, DrawListTarget& target, LayoutPolicy layout)
      : ScreenPainter(screen, theme, target, layout), list_(target.list()) {}

 private:
  void paintCanvas(const ControlLook& look) override {
    const CanvasRenderer* renderer = screen_.canvasRenderer(look.node.raw(L"renderer"));
    if (renderer && *renderer) {
      (*renderer)(look.node, look.rect, theme_, list_);
    } else {
      paintCanvasFallback(look);
    }
  }

  DrawList& list_;
};

}  // namespace

void buildDrawList(Screen& screen, const CorvanthorneGuiTheme& theme, DrawList& list, LayoutPolicy layout) {
  DrawListTarget target(list, screen.opacity());
  DrawListPainter(screen, theme, target, layout).paint();
}

void ScreenPainter::paint() {
  if (layout_ == LayoutPolicy::Always || screen_.layoutNeeded()) screen_.layout();
  prepare();
  for (const LayoutEntry& entry : screen_.entries()) {
    if (!entry.visible) continue;
    if (entry.clipped) target_.pushClip(entry.clip);
    paintControl(entry);
    if (entry.clipped) target_.popClip();
  }
  if (const Node* dropdown = screen_.findNode(screen_.popupName())) paintPopup(*dropdown);
  paintDragFrames();
  paintTooltip();
}

ControlLook ScreenPainter::lookOf(const LayoutEntry& entry) {
  const Node& node = *entry.node;
  ControlLook look{node, entry.rect, static_cast<float>(screen_.number(node, L"visualScale", 1)) * screen_.scale()};
  look.hovered = screen_.hoverName() == node.name;
  look.pressed = look.hovered && screen_.pressedName() == node.name;
  look.focused = screen_.focusedName() == node.name;
  look.selected = screen_.flag(node, L"selected", false);
  look.enabled = entry.enabled;
  return look;
}

void ScreenPainter::paintControl(const LayoutEntry& entry) {
  const ControlLook look = lookOf(entry);
  const Node& node = look.node;
  const std::wstring_view type = node.type;
  if (type == L"Window"sv) return paintWindow(look);
  if (isEmpty(look.rect)) return;
  if (isConceptStyle(node) && paintConcept(target_, theme_, screen_, look)) return;
  if (type == L"Panel"sv || type == L"Tabs"sv) return paintPanel(look);
  if (type == L"Button"sv) return paintButton(look);
  if (type == L"Text"sv) return paintTextControl(look);
  if (type == L"ProgressBar"sv) return paintProgressBar(look);
  if (type == L"Canvas"sv) return paintCanvas(look);
  if (type == L"Image"sv) return !theme_.highContrast ? target_.image(toRectF(look.rect), resolved(node, L"image")) : void();
  if (type == L"Input"sv) return paintInput(look);
  if (type == L"Dropdown"sv) return paintDropdown(look);
  if (type == L"Checkbox"sv) return hasStyle(node, L"toggle") ? paintToggle(look) : paintCheckbox(look);
  if (type == L"List"sv) return paintList(look);
  if (type == L"ScrollBar"sv) {
    if (const Node* list = screen_.scrollTarget(node)) return paintScrollBar(look, *list);
  }
  if (type == L"Slider"sv || type == L"ScrollBar"sv) return paintSlider(look);
}

void ScreenPainter::paintWindow(const ControlLook& look) {
  if (screen_.flag(look.node, L"modal", false))
    target_.fillRect(PixelRect{0, 0, screen_.clientWidth(), screen_.clientHeight()}, rgb(0, 0, 0), 0.42f);
  paintFrame(target_, theme_, look.rect, look.scale, FrameLook{hasStyle(look.node, L"inset")});
  std::wstring title = resolved(look.node, L"title");
  if (title.empty() || isEmpty(look.rect)) return;
  const PixelRect& r = look.rect;
  const RectF band{f(r.left) + 12 * look.scale, f(r.top), f(r.right) - 12 * look.scale,
                   std::min(f(r.top) + 34 * look.scale, f(r.bottom))};
  // Death and profiler titles are plain golden text; other titles follow the window's tone,
  // so a document that wants them golden gives the window the important tone.
  const bool plain = hasStyle(look.node, L"death") || hasStyle(look.node, L"profiler");
  TextLook text{plain ? FontRole::Body : FontRole::Heading, textTone(look.node), textFormat(look.node)};
  if (plain) text.colour = theme_[63];
  paintText(target_, theme_, band, title, look.scale, text);
}

void ScreenPainter::paintPanel(const ControlLook& look) {
  const PixelRect& r = look.rect;
  if (hasStyle(look.node, L"divider")) {
    // A rule through the middle with a small diamond at its centre.
    const float y = f(r.top + r.height() / 2) + 0.5f, x = f(r.left + r.width() / 2), a = 4 * look.scale;
    target_.line(point(f(r.left), y), point(f(r.right), y), theme_[4], 1.0f, 0.7f);
    target_.triangle(point(x, y - a), point(x + a, y), point(x - a, y), theme_[4]);
    target_.triangle(point(x - a, y), point(x + a, y), point(x, y + a), theme_[24]);
    return;
  }
  if (hasStyle(look.node, L"row")) {
    target_.fillRect(r, theme_[6]);
    target_.outlineRect(strokeRect(r), theme_[11], 1.0f);
    return;
  }
  FrameLook frame{hasStyle(look.node, L"inset")};
  if (hasStyle(look.node, L"chat")) frame.fill = scaleChannels(theme_[1], 9, 8);
  paintFrame(target_, theme_, r, look.scale, frame);
}

void ScreenPainter::paintButton(const ControlLook& look) {
  if (hasStyle(look.node, L"slot")) return paintSlotButton(look);
  if (hasStyle(look.node, L"selector")) return paintSelectorButton(look);
  const std::wstring_view label = screen_.textView(look.node.name);
  const bool icon = panelKind(look.node) == PanelKind::Icon;
  if (icon) {
    paintIconButton(commandTarget(), theme_, look, label);
  } else {
    paintDefaultButton(commandTarget(), theme_, look, label);
  }
  finishCommands();
  if (icon) target_.image(toRectF(inset(look.rect, scaledPixels(4, look.scale))), resolved(look.node, L"image"));
}

void ScreenPainter::paintSlotButton(const ControlLook& look) {
  const Colour fill = theme_[look.pressed ? 8 : look.hovered ? 7 : look.selected ? 18 : 2];
  const Colour edge = theme_[!look.enabled ? 19 : look.focused ? 44 : look.selected ? 13 : 5];
  target_.fillRect(look.rect, fill);
  target_.outlineRect(strokeRect(look.rect), edge, 1.0f);
  paintOrnaments(target_, theme_, look.rect, look.scale, false);
  TextLook text{fontRole(look.node), look.enabled ? textTone(look.node) : TextTone::Disabled, textCenter};
  paintText(target_, theme_, toRectF(look.rect), screen_.textView(look.node.name), look.scale, text);
}

void ScreenPainter::paintSelectorButton(const ControlLook& look) {
  const Colour fill = theme_[look.pressed ? 17 : look.hovered ? 16 : look.selected ? 18 : 15];
  const Colour edge = theme_[!look.enabled ? 19 : look.focused ? 44 : look.selected ? 13 : 19];
  const PixelRect cell = rightCell(look.rect, look.scale);
  target_.fillRect(look.rect, fill);
  target_.outlineRect(strokeRect(look.rect), edge, 1.0f);
  target_.line(point(f(cell.left) + 0.5f, f(cell.top)), point(f(cell.left) + 0.5f, f(cell.bottom)), edge, 1.0f);
  paintOrnaments(target_, theme_, look.rect, look.scale, false);
  const TextTone tone = look.enabled ? textTone(look.node) : TextTone::Disabled;
  const PixelRect label{look.rect.left, look.rect.top, cell.left, look.rect.bottom};
  paintText(target_, theme_, toRectF(label), screen_.textView(look.node.name), look.scale, TextLook{fontRole(look.node), tone, textCenter});
  paintText(target_, theme_, toRectF(cell), L">", look.scale,
            TextLook{FontRole::Button, look.enabled ? TextTone::Button : TextTone::Disabled, textCenter});
}

void ScreenPainter::paintTextControl(const ControlLook& look) {
  const Node& node = look.node;
  TextLook text{fontRole(node), look.enabled ? textTone(node) : TextTone::Disabled, textFormat(node),
                screen_.flag(node, L"shadow", false)};
  if (node.has(L"color")) text.colour = colourOf(theme_, textColour(node));
  if (node.has(L"fontSize")) text.size = std::max(1.0f, static_cast<float>(screen_.number(node, L"fontSize", 13)) * look.scale);
  if (typeface(node) == Typeface::Script) text.family = familyScript;
  text.bold = isBold(node);
  paintText(target_, theme_, toRectF(look.rect), screen_.textView(node.name), look.scale, text);
}

void ScreenPainter::paintProgressBar(const ControlLook& look) {
  paintFrame(target_, theme_, look.rect, look.scale, FrameLook{true});
  const PixelRect fill = progressFill(inset(look.rect, scaledPixels(2, look.scale)), screen_.effectiveValue(look.node),
                                     screen_.number(look.node, L"max", 1));
  const size_t colour = hasStyle(look.node, L"health") ? 74 : hasStyle(look.node, L"mana") ? 75 : 76;
  if (!isEmpty(fill)) target_.fillRect(fill, theme_[colour]);
  TextLook text{FontRole::Small, TextTone::Normal, textCenter, true};
  paintText(target_, theme_, toRectF(look.rect), screen_.textView(look.node.name), look.scale, text);
}

void ScreenPainter::paintCanvasFallback(const ControlLook& look) {
  if (screen_.strict()) throw std::logic_error("Missing GPU canvas renderer: " + wideToUtf8(look.node.raw(L"renderer")));
  target_.image(toRectF(look.rect), resolved(look.node, L"image"));
}

ScreenPainter::ShownText ScreenPainter::inputText(const ControlLook& look, const PixelRect& area) {
  ShownText shown{screen_.text(look.node.name)};
  if (screen_.flag(look.node, L"password", false)) shown.text.assign(shown.text.size(), bullet);
  if (look.focused) {
    shown.text = inputVisibleText(screen_, look.node, area, shown.text);
    if (screen_.caretVisible()) shown.text += L'|';
  }
  if (shown.text.empty()) shown = ShownText{resolved(look.node, L"placeholder"), true};
  return shown;
}

ScreenPainter::ShownText ScreenPainter::dropdownText(const Node& dropdown) {
  const NodeState* state = screen_.state(dropdown.name);
  const int32_t row = state ? state->selectedRow : -1;
  if (row >= 0 && row < state->rowCount() && !state->rows[static_cast<size_t>(row)].text.empty())
    return ShownText{state->rows[static_cast<size_t>(row)].text};
  return ShownText{resolved(dropdown, L"placeholder"), true};
}

void ScreenPainter::paintInput(const ControlLook& look) {
  const PixelRect& r = look.rect;
  if (isLetterInput(look.node)) {
    // A sheet of paper with ink writing.
    target_.fillRect(r, rgb(237, 219, 177));
    target_.outlineRect(strokeRect(r), theme_[look.focused ? 44 : 5], 1.0f);
    TextLook ink{FontRole::Body, TextTone::Normal, screen_.flag(look.node, L"wrap", false) ? textWordBreak : 0u};
    ink.colour = rgb(65, 46, 27);
    ink.size = std::max(8.0f, static_cast<float>(screen_.number(look.node, L"fontSize", 14)) * look.scale);
    const PixelRect area = inset(r, scaledPixels(7, look.scale));
    paintText(target_, theme_, toRectF(area), inputText(look, r).text, look.scale, ink);
    return;
  }
  const Colour fill = hasStyle(look.node, L"chat") ? scaleChannels(theme_[42], 19, 16) : theme_[42];
  target_.fillRect(r, fill);
  target_.outlineRect(strokeRect(r), theme_[look.focused ? 44 : 43], 1.0f);
  const ShownText shown = inputText(look, r);
  const RectF area{f(r.left) + 7 * look.scale, f(r.top), f(r.right) - 7 * look.scale, f(r.bottom)};
  TextLook text{FontRole::Small};
  text.colour = theme_[!look.enabled ? 61 : shown.placeholder ? 62 : 59];
  paintText(target_, theme_, area, shown.text, look.scale, text);
}

void ScreenPainter::paintDropdown(const ControlLook& look) {
  const PixelRect& r = look.rect;
  const bool open = screen_.popupName() == look.node.name;
  target_.fillRect(r, theme_[look.hovered || open ? 7 : 42]);
  const Colour edge = theme_[look.focused || open ? 44 : 43];
  target_.outlineRect(strokeRect(r), edge, 1.0f);
  const PixelRect cell = dropdownArrowCell(r, std::max(22, roundToInt(28 * look.scale)));
  target_.fillRect(inset(cell, 1), theme_[look.pressed ? 17 : look.hovered || open ? 16 : 15]);
  target_.line(point(f(cell.left) + 0.5f, f(cell.top)), point(f(cell.left) + 0.5f, f(cell.bottom)), edge, 1.0f);
  const std::array<PointF, 3> arrow = dropdownArrow(cell, look.scale, open);
  target_.triangle(arrow[0], arrow[1], arrow[2], theme_[look.enabled ? 63 : 61]);
  const ShownText shown = dropdownText(look.node);
  TextLook text{FontRole::Body};
  text.colour = theme_[!look.enabled ? 61 : shown.placeholder ? 62 : 59];
  const RectF area{f(r.left) + 7 * look.scale, f(r.top), f(cell.left) - 5 * look.scale, f(r.bottom)};
  paintText(target_, theme_, area, shown.text, look.scale, text);
}

void ScreenPainter::paintPopup(const Node& dropdown) {
  NodeState* state = screen_.state(dropdown.name);
  if (!state || state->rows.empty()) return;
  const PopupGeometry popup = screen_.popupGeometry(dropdown);
  const float s = screen_.scale();
  const float radius = std::max(1.0f, 0.5f * static_cast<float>(guiMetrics.entry(6)) * s);
  target_.fillRect(moved(popup.rect, 3, 3), theme_[3], 0.85f, radius);
  target_.fillRect(popup.rect, theme_[2], 0.99f, radius);
  target_.outlineRect(strokeRect(popup.rect), theme_[44], 1.0f, 1.0f, radius);
  target_.pushClip(popup.rect);
  // Kept in range where hit testing reads it too.
  state->firstVisibleRow = clampFirstRow(state->firstVisibleRow, state->rowCount(), popup.visibleRows);
  const bool pointerInside = popup.rect.contains(screen_.pointerX(), screen_.pointerY());
  const int32_t underPointer =
      pointerInside ? state->firstVisibleRow + (screen_.pointerY() - popup.rect.top - popup.border) / popup.rowHeight : -1;
  const float padding = std::max(5.0f, std::trunc(8 * s));
  for (int32_t i = 0; i < popup.visibleRows && state->firstVisibleRow + i < state->rowCount(); ++i) {
    const int32_t index = state->firstVisibleRow + i;
    const ListItem& row = state->rows[static_cast<size_t>(index)];
    const bool selected = index == state->selectedRow;
    const bool highlighted = index == state->highlightedRow || index == underPointer;
    const size_t fill = selected ? (index == state->highlightedRow ? 10 : 9) : highlighted ? 7 : 6;
    const size_t edge = selected ? 13 : highlighted ? 12 : 11;
    const float opacity = row.enabled ? 1.0f : 0.55f;
    const PixelRect rect = popupRowRect(popup, i);
    target_.fillRect(rect, theme_[fill], opacity, radius);
    target_.outlineRect(strokeRect(rect), theme_[edge], 1.0f, opacity, radius);
    TextStyle style;
    style.size = std::max(8.0f, textSize(1, s));
    style.colour = theme_[!row.enabled ? 61 : selected || highlighted ? 64 : 59];
    target_.text(RectF{f(rect.left) + padding, f(rect.top), f(rect.right) - padding, f(rect.bottom)}, row.text, style);
  }
  target_.popClip();
}

void ScreenPainter::paintCheckbox(const ControlLook& look) {
  const PixelRect box = checkboxBox(look.rect, look.scale);
  if (!isEmpty(box)) {
    if (look.focused) target_.fillRect(inset(box, -scaledPixels(2, look.scale)), theme_[44]);
    const Colour ring = look.enabled ? blend(theme_[5], theme_[12], look.hovered ? 0.4 : 0) : blend(theme_[5], theme_[73], 0.5);
    const Colour face = !look.enabled ? theme_[73] : look.pressed ? theme_[8] : look.hovered ? blend(theme_[2], theme_[7], 0.6) : theme_[2];
    target_.fillRect(box, ring);
    target_.fillRect(inset(box, 1), theme_[3]);
    target_.fillRect(inset(box, 2), face);
    if (screen_.isChecked(look.node)) {
      const CheckMark mark = checkMark(box);
      const Colour colour = theme_[look.enabled ? 64 : 61];
      target_.line(mark.points[0], mark.points[1], colour, mark.width);
      target_.line(mark.points[1], mark.points[2], colour, mark.width);
    }
  }
  const RectF label{f(box.right) + 7 * look.scale, f(look.rect.top), f(look.rect.right), f(look.rect.bottom)};
  TextLook text{FontRole::Small, look.enabled ? textTone(look.node) : TextTone::Disabled};
  paintText(target_, theme_, label, screen_.textView(look.node.name), look.scale, text);
}

void ScreenPainter::paintToggle(const ControlLook& look) {
  const PixelRect& r = look.rect;
  const bool checked = screen_.isChecked(look.node);
  const Colour edge = theme_[look.focused ? 44 : 19];
  const int32_t cut = limitedCut(r, std::max(1, static_cast<int32_t>(3 * look.scale)));
  target_.chamferedFill(r, cut, edge);
  target_.chamferedFill(inset(r, 1), limitedCut(inset(r, 1), cut - 1), theme_[look.pressed ? 17 : look.hovered ? 16 : checked ? 18 : 15]);
  const PixelRect knob = rightCell(r, look.scale);
  const PixelRect track{r.left, r.top, knob.left, r.bottom};
  const float railY = f(r.bottom) - 4 * look.scale;
  target_.line(point(f(track.left) + 6 * look.scale, railY), point(f(track.right) - 6 * look.scale, railY), theme_[21],
               1.0f, look.enabled ? 0.85f : 0.35f);
  target_.fillRect(inset(knob, 2), theme_[6]);
  target_.line(point(f(knob.left) + 0.5f, f(r.top)), point(f(knob.left) + 0.5f, f(r.bottom)), edge, 1.0f);
  const auto tone = [&](TextTone enabledTone) { return look.enabled ? enabledTone : TextTone::Disabled; };
  paintText(target_, theme_, toRectF(knob), L">", look.scale, TextLook{FontRole::Button, tone(TextTone::Button), textCenter});
  paintText(target_, theme_, toRectF(track), checked ? L"ON" : L"OFF", look.scale,
            TextLook{FontRole::Button, tone(checked ? TextTone::Selected : TextTone::Button), textCenter});
}

void ScreenPainter::paintScrollBar(const ControlLook& look, const Node& list) {
  const PixelRect& r = look.rect;
  const ScrollGeometry g = screen_.scrollGeometry(look.node, list);
  const bool canScroll = g.lastStart > 0;
  const PixelRect up{r.left, r.top, r.right, r.top + g.arrow};
  const PixelRect down{r.left, r.bottom - g.arrow, r.right, r.bottom};
  const PixelRect thumb{r.left + 2, g.thumbTop, r.right - 2, g.thumbTop + g.thumbLength};
  for (const auto& [part, fill] : {std::pair{r, 6}, {up, 6}, {down, 6}, {thumb, canScroll ? 9 : 6}}) {
    target_.fillRect(part, theme_[static_cast<size_t>(fill)]);
    target_.outlineRect(strokeRect(part), theme_[11], 1.0f);
  }
  TextLook glyph{FontRole::Small, TextTone::Normal, textCenter};
  glyph.colour = theme_[canScroll ? 59 : 60];
  paintText(target_, theme_, toRectF(up), L"\u25B2", screen_.scale(), glyph);
  paintText(target_, theme_, toRectF(down), L"\u25BC", screen_.scale(), glyph);
}

void ScreenPainter::paintSlider(const ControlLook& look) {
  const Node& node = look.node;
  const PixelRect& r = look.rect;
  const PixelRect area = sliderValueArea(node, r, screen_.scale());
  const double low = screen_.number(node, L"min", 0), high = screen_.number(node, L"max", 1);
  const double value = screen_.effectiveValue(node);
  const double fraction = high > low ? std::clamp((value - low) / (high - low), 0.0, 1.0) : 0.0;
  const bool compact = hasStyle(node, L"compact"), showsValue = hasStyle(node, L"value");
  const int32_t groove = scaledPixels(compact ? 2 : 4, look.scale);
  const int32_t middle = r.top + r.height() / 2;
  const PixelRect grooveRect{area.left, middle - groove / 2, area.right, middle - groove / 2 + groove};
  target_.fillRect(grooveRect, theme_[2]);
  target_.outlineRect(strokeRect(inset(grooveRect, -1)), theme_[5], 1.0f);
  const int32_t knobX = area.left + roundToInt(fraction * area.width());
  if (knobX > area.left) target_.fillRect(PixelRect{area.left, grooveRect.top, knobX, grooveRect.bottom}, theme_[look.enabled ? 24 : 61]);
  const int32_t knobWidth = scaledPixels(showsValue ? 30 : compact ? 10 : 14, look.scale);
  const int32_t knobHeight = std::min(r.height(), scaledPixels(compact ? 12 : 18, look.scale));
  const PixelRect knob{knobX - knobWidth / 2, middle - knobHeight / 2, knobX - knobWidth / 2 + knobWidth, middle - knobHeight / 2 + knobHeight};
  const int32_t cut = limitedCut(knob, scaledPixels(3, look.scale));
  target_.chamferedFill(knob, cut, theme_[look.focused ? 44 : 23]);
  const PixelRect face = inset(knob, 1);
  target_.chamferedFill(face, limitedCut(face, cut - 1), theme_[!look.enabled ? 73 : look.pressed ? 56 : look.hovered ? 54 : 24]);
  target_.line(point(f(face.left + cut), f(face.top) + 0.5f), point(f(face.right - cut), f(face.top) + 0.5f), theme_[25], 1.0f, 0.7f);
  if (!showsValue) return;
  const double step = screen_.number(node, L"step", 1);
  std::wstring number = formatFixed(value);
  number.resize(number.find(L'.') + (step >= 1 && std::floor(step) == step ? 0 : 3));
  TextLook text{FontRole::Small, TextTone::Normal, textCenter};
  text.colour = theme_[68];
  paintText(target_, theme_, toRectF(knob), number, look.scale, text);
}

void ScreenPainter::paintList(const ControlLook& look) {
  const Node& node = look.node;
  const PixelRect& r = look.rect;
  paintFrame(target_, theme_, r, look.scale, FrameLook{true});
  NodeState* state = screen_.state(node.name);
  if (!state || state->rows.empty()) return;
  const bool log = isTextLog(node);
  const int32_t padding = screen_.listPadding();
  const int32_t visible = screen_.listVisibleRows(node);
  const int32_t rowHeight = log ? std::max(1, (r.height() - 2 * padding) / visible) : screen_.listRowHeight(node);
  const int32_t first = clampFirstRow(state->firstVisibleRow, state->rowCount(), visible);
  const int32_t pointerRow = look.hovered && !log ? first + (screen_.pointerY() - padding - r.top) / rowHeight : -1;
  const float textInset = std::max(5.0f, std::trunc(8 * look.scale));
  target_.pushClip(inset(r, 1));
  for (int32_t i = 0; i < visible && first + i < state->rowCount(); ++i) {
    const int32_t index = first + i;
    const ListItem& row = state->rows[static_cast<size_t>(index)];
    const int32_t top = r.top + padding + i * rowHeight;
    const PixelRect rowRect{r.left + padding, top, r.right - padding, top + rowHeight - 1};
    const bool selected = !log && index == state->selectedRow;
    if (selected || (index == pointerRow && row.enabled)) {
      target_.fillRect(rowRect, theme_[selected ? 9 : 7]);
      target_.outlineRect(strokeRect(rowRect), theme_[selected ? 13 : 12], 1.0f);
    }
    float textLeft = f(rowRect.left) + textInset;
    if (isHierarchy(node)) {
      const PixelRect box = hierarchyToggleBox(PixelRect{r.left, top, r.right, top + rowHeight}, row.indent, screen_.scale());
      textLeft = f(box.right) + 6 * look.scale;
      if (row.hasToggle) {
        target_.fillRect(box, theme_[2]);
        target_.outlineRect(strokeRect(box), theme_[5], 1.0f);
        const float cx = f(box.left + box.width() / 2) + 0.5f, cy = f(box.top + box.height() / 2) + 0.5f, a = f(box.width()) / 4;
        target_.line(point(cx - a, cy), point(cx + a, cy), theme_[59], 1.0f);
        if (!row.expanded) target_.line(point(cx, cy - a), point(cx, cy + a), theme_[59], 1.0f);
      }
    }
    const RectF textRect{textLeft, f(top), f(rowRect.right) - textInset, f(top + rowHeight)};
    TextLook text{log ? FontRole::Small : FontRole::Body};
    text.colour = theme_[!row.enabled ? 61 : selected ? 64 : row.emphasised ? 63 : 59];
    paintText(target_, theme_, textRect, row.text, look.scale, text);
    TextLook detail{FontRole::Small, TextTone::Muted, textRight};
    paintText(target_, theme_, textRect, row.detail, look.scale, detail);
  }
  target_.popClip();
}

void ScreenPainter::paintDragFrames() {
  const bool dragging = screen_.isDragging();
  const Node* source = dragging ? screen_.findNode(screen_.pressedName()) : nullptr;
  for (const LayoutEntry& entry : screen_.entries()) {
    const Node& node = *entry.node;
    if (!entry.visible || !node.has(L"dragGroup")) continue;
    Colour colour = 0;
    if (dragging && &node != source && node.name == screen_.dropTargetName()) {
      colour = rgb(100, 255, 170);
    } else if (screen_.flag(node, L"selected", false)) {
      colour = isConceptStyle(node) ? rgb(249, 210, 103) : theme_[44];
    } else {
      continue;
    }
    const PixelRect& r = entry.rect;
    target_.outlineRect(RectF{f(r.left) + 1, f(r.top) + 1, f(r.right) - 1, f(r.bottom) - 1}, colour, 2.0f);
  }
  if (!source) return;
  // The drag ghost: the source's images follow the pointer.
  const int32_t dx = screen_.pointerX() - screen_.pressX(), dy = screen_.pointerY() - screen_.pressY();
  for (const Node* child : source->children) {
    const LayoutEntry* entry = screen_.entryFor(child);
    if (child->type == L"Image" && entry && entry->visible)
      target_.image(toRectF(moved(entry->rect, dx, dy)), resolved(*child, L"image"), 0.85f);
  }
}

void ScreenPainter::paintTooltip() {
  const Node* node = screen_.tooltipNode();
  if (!node) return;
  std::wstring text = resolved(*node, L"tooltip");
  const PixelRect box = screen_.tooltipRect(*node);
  const float s = screen_.scale();
  const int32_t cut = limitedCut(box, scaledPixels(3, s));
  target_.chamferedFill(box, cut, theme_[4]);
  target_.chamferedFill(inset(box, 1), limitedCut(inset(box, 1), cut - 1), theme_[39]);
  TextLook look{FontRole::Body, TextTone::Normal, text.find(L'\n') == std::wstring::npos ? 0u : textWordBreak, true};
  look.colour = theme_[59];
  paintText(target_, theme_, toRectF(inset(box, scaledPixels(guiMetrics.entry(tooltipPaddingMetric), s))), text, s, look);
}

}  // namespace Corvanthorne::Gui
