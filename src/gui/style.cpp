#include "gui/style.h"

#include <algorithm>
#include <cmath>

#include "gui/screen.h"
#include "gui/values.h"

namespace Corvanthorne::Gui {
namespace {

// Style words are compared in place: painting reads them for every control of every frame.
bool rawIs(const Node& node, PropertyName key, std::wstring_view word) {
  return equalsIgnoringAsciiCase(node.raw(key), word);
}

bool isWrapWord(std::wstring_view raw) {
  for (const std::wstring_view word : {L"true", L"1", L"yes", L"on"})
    if (equalsIgnoringAsciiCase(raw, word)) return true;
  return false;
}

bool isLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool isHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// The code point that ends at `end` (exclusive) and where it starts.
char32_t codePointBefore(std::wstring_view text, size_t end, size_t& start) {
  start = end - 1;
  const wchar_t last = text[start];
  if (isLowSurrogate(last) && start > 0 && isHighSurrogate(text[start - 1])) {
    --start;
    return 0x10000 + ((static_cast<char32_t>(text[start]) - 0xD800) << 10) + (static_cast<char32_t>(last) - 0xDC00);
  }
  return static_cast<char32_t>(last) & 0xFFFF;
}

}  // namespace

bool hasStyle(const Node& node, std::wstring_view word) { return rawIs(node, L"style", word); }

bool isConceptStyle(const Node& node) {
  const std::wstring_view style = node.raw(L"style");
  return style.size() >= 7 && equalsIgnoringAsciiCase(style.substr(0, 7), L"concept");
}

TextTone textTone(const Node& node) {
  static constexpr std::pair<std::wstring_view, TextTone> tones[] = {
      {L"muted", TextTone::Muted},       {L"placeholder", TextTone::Placeholder}, {L"important", TextTone::Important},
      {L"selected", TextTone::Selected}, {L"button", TextTone::Button},           {L"action", TextTone::Action},
      {L"success", TextTone::Success},   {L"disabled", TextTone::Disabled}};
  for (const auto& [word, tone] : tones)
    if (hasStyle(node, word)) return tone;
  return TextTone::Normal;
}

PanelKind panelKind(const Node& node) {
  if (hasStyle(node, L"action")) return PanelKind::Action;
  if (hasStyle(node, L"character") || hasStyle(node, L"characterselect")) return PanelKind::Character;
  if (hasStyle(node, L"icon")) return PanelKind::Icon;
  return PanelKind::Plain;
}

FontRole fontRole(const Node& node) {
  if (rawIs(node, L"font", L"small")) return FontRole::Small;
  if (rawIs(node, L"font", L"heading")) return FontRole::Heading;
  if (rawIs(node, L"font", L"button")) return FontRole::Button;
  return FontRole::Body;
}

Typeface typeface(const Node& node) {
  return node.raw(L"fontFamily") == L"script" ? Typeface::Script : Typeface::Regular;
}

TextColour textColour(const Node& node) {
  const std::wstring_view word = node.raw(L"color");
  if (word == L"ink" || word == L"letter-ink") return TextColour{-1, rgb(65, 46, 27)};
  if (word == L"gold") return TextColour{63};
  if (word == L"muted") return TextColour{60};
  if (word == L"pale") return TextColour{59};
  return TextColour{64};
}

TextAlign textAlign(const Node& node) {
  if (rawIs(node, L"align", L"center")) return TextAlign::Center;
  if (rawIs(node, L"align", L"right")) return TextAlign::Right;
  return TextAlign::Left;
}

bool isHierarchy(const Node& node) { return node.type == L"List" && hasStyle(node, L"hierarchy"); }

bool isLetterInput(const Node& node) { return node.raw(L"style") == L"letter-input"; }

bool isBold(const Node& node) { return node.raw(L"bold") == L"true"; }

uint32_t textFormat(const Node& node) {
  const TextAlign align = textAlign(node);
  const uint32_t horizontal = align == TextAlign::Center ? textCenter : align == TextAlign::Right ? textRight : textLeft;
  if (isWrapWord(node.raw(L"wrap"))) return horizontal | textWordBreak;
  return horizontal | textVCenter | textSingleLine | textEndEllipsis;
}

PixelRect sliderValueArea(const Node& node, const PixelRect& rect, float scale) {
  if (!hasStyle(node, L"value") && !hasStyle(node, L"compact")) return rect;
  const int32_t inset = std::min(scaledPixels(12, scale), rect.width() / 2);
  return PixelRect{rect.left + inset, rect.top, rect.right - inset, rect.bottom};
}

PixelRect hierarchyToggleBox(const PixelRect& rowRect, int32_t indent, float scale) {
  const int32_t size = std::min(scaledPixels(12, scale), rowRect.height());
  const int32_t levels = std::clamp(indent, 0, 64);  // deeper rows would leave the list anyway
  const int32_t left = rowRect.left + scaledPixels(4, scale) + levels * scaledPixels(16, scale);
  const int32_t top = rowRect.top + (rowRect.height() - size) / 2;
  return PixelRect{left, top, left + size, top + size};
}

double charWidth(char32_t c) {
  const auto within = [c](char32_t low, char32_t high) { return c >= low && c <= high; };
  if (within(0x300, 0x36F) || within(0x1AB0, 0x1AFF) || within(0x1DC0, 0x1DFF) || within(0x20D0, 0x20FF) ||
      within(0xFE20, 0xFE2F))
    return 0.0;
  if (c == U' ') return 0.5;
  if (c == U'\t') return 4.0;
  if (c < 0x20 || c == 0x7F) return 1.0;
  if (c > 0x7F) return c <= 0xFFFF ? 1.35 : 1.6;
  if (std::u32string_view(U".,:;'`!|ijlI[](){}").find(c) != std::u32string_view::npos) return 0.5;
  if (std::u32string_view(U"MWmw@%&#").find(c) != std::u32string_view::npos) return 1.15;
  if (within(U'0', U'9')) return 0.75;
  if (within(U'A', U'Z')) return 0.9;
  if (within(U'a', U'z')) return 0.78;
  return 0.7;
}

std::wstring inputVisibleText(Screen& screen, const Node& node, const PixelRect& rect, std::wstring_view text) {
  const double s = screen.scale();
  const bool letter = isLetterInput(node);
  const bool multiLine = letter && screen.flag(node, L"wrap", false);
  int32_t leftInset = scaledPixels(10, s);
  if (rawIs(node, L"icon", L"search")) leftInset += scaledPixels(12, s) + scaledPixels(11, s);
  const double available = std::max(0, rect.width() - scaledPixels(2, s) - scaledPixels(8, s) - leftInset);
  if (text.empty() || available < 1) return {};
  const double size =
      std::max(8.0, (letter ? screen.number(node, L"fontSize", 14) : guiMetrics.entry(inputTextSizeMetric)) * s);
  const int32_t linesAllowed =
      multiLine ? std::max(1, static_cast<int32_t>(std::floor((rect.height() - scaledPixels(8, s)) / (1.6 * size))) - 1)
                : 1;
  double used = charWidth(U'|') * size;
  int32_t lines = 1;
  size_t firstFitting = text.size();
  while (firstFitting > 0) {
    size_t start = 0;
    const char32_t c = codePointBefore(text, firstFitting, start);
    if (multiLine && c == U'\n') {
      if (++lines > linesAllowed) break;
      used = 0;
    } else {
      const double width = charWidth(c) * size;
      if (used + width > available) {
        if (!multiLine || ++lines > linesAllowed) break;
        used = 0;
      }
      used += width;
    }
    firstFitting = start;
  }
  return std::wstring(text.substr(firstFitting));
}

}  // namespace Corvanthorne::Gui
