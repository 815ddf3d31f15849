#pragma once
// The style vocabulary of GUI documents and the text measurement the GUI does without a
// font system. Style-like properties are read raw (bindings are not resolved): `style`,
// `font`, `align` and `icon` case-insensitively; `color`, `fontFamily` and `bold` exactly.
#include <cstdint>
#include <string>
#include <string_view>

#include "gui/controls.h"  // isTextLog
#include "gui/screen.h"

namespace Corvanthorne::Gui {

enum class TextTone { Normal = 0, Muted, Placeholder, Important, Selected, Button, Action, Success, Disabled };
enum class PanelKind { Plain = 0, Action, Character, Icon };
enum class FontRole { Small = 0, Body, Heading, Button };
enum class Typeface { Regular, Script };
enum class TextAlign { Left, Center, Right };

// A text colour: a theme colour number, or a fixed COLORREF-style value (0x00BBGGRR) when
// themeIndex is negative.
struct TextColour {
  int32_t themeIndex = 64;
  uint32_t rgb = 0;
  bool operator==(const TextColour&) const = default;
};

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

// Fixed layout and drawing metrics; entries are numbered 0 to 36 (0 and 1: the default
// design size, 2 to 36: `values`).
struct GuiMetrics {
  float designWidth;
  float designHeight;
  int32_t values[35];

  int32_t entry(size_t index) const { return values[index - 2]; }
};
inline constexpr GuiMetrics guiMetrics = {
    1280.0f, 720.0f, {9,  9,   5,   3,   6,   3,  1,  1,  28, 29, 32,  41, 61, 5,  8,  7,  640, 640,
                      740, 680, 73, 67, 32, 43, 16, 250, 24, 70, 150, 40, 10, 13, 15, 11, 40}};
inline constexpr size_t tooltipPaddingMetric = 17;
inline constexpr size_t inputTextSizeMetric = 32;  // also the text size of font role 0

// Text-format flags with the values of the platform's text drawing (DT_ constants).
inline constexpr uint32_t textLeft = 0x0, textCenter = 0x1, textRight = 0x2, textVCenter = 0x4,
                          textWordBreak = 0x10, textSingleLine = 0x20, textEndEllipsis = 0x8000;

// The raw `style` is `word`, letter case ignored.
bool hasStyle(const Node& node, std::wstring_view word);
// The style word begins with "concept": the decorative looks of the concept painter.
bool isConceptStyle(const Node& node);
TextTone textTone(const Node& node);
PanelKind panelKind(const Node& node);
FontRole fontRole(const Node& node);
Typeface typeface(const Node& node);
TextColour textColour(const Node& node);
TextAlign textAlign(const Node& node);
bool isHierarchy(const Node& node);
bool isLetterInput(const Node& node);
bool isBold(const Node& node);
uint32_t textFormat(const Node& node);

// Where a slider's value runs from min to max: the track inset from both ends for "value"
// and "compact" sliders, the whole rectangle otherwise. Pointer and painting share it.
PixelRect sliderValueArea(const Node& node, const PixelRect& rect, float scale);

// The toggle box of a "hierarchy" list row, indented by the row's level.
PixelRect hierarchyToggleBox(const PixelRect& rowRect, int32_t indent, float scale);

// Estimated width of one character, as a fraction of the font's pixel size.
double charWidth(char32_t codePoint);

// The end of an "Input"'s text that fits its rectangle (the beginning is cut off, so the
// place where typing happens stays in view).
std::wstring inputVisibleText(Screen& screen, const Node& node, const PixelRect& rect, std::wstring_view text);

}  // namespace Corvanthorne::Gui
