#pragma once
// The shared looks of the GUI, written once against PaintTarget: the text helper, the
// chamfered frame with its corner ornaments, and the button painters.
#include <cstdint>
#include <optional>
#include <string>

#include "gui/style.h"
#include "render/paint_target.h"

namespace Corvanthorne::Gui {

// What painters know about one control: where it is, its scale (visualScale times the GUI
// scale) and its interaction states.
struct ControlLook {
  const Node& node;
  PixelRect rect;
  float scale = 1;
  bool hovered = false;
  bool pressed = false;  // pressed and still under the pointer
  bool focused = false;
  bool selected = false;
  bool enabled = true;
};

Colour toneColour(const CorvanthorneGuiTheme& theme, TextTone tone);
// Pixel size of a text class of GuiMetrics (0 small, 1 body, 2 heading, 3 button, 4 large).
float textSize(int32_t textClass, float scale);

// Text in a font role and tone (or an explicit colour). Flags as textFormat gives them:
// textCenter, textRight, textWordBreak. With a shadow, the text is first drawn one pixel
// right and down in theme colour 70. An empty text draws nothing.
struct TextLook {
  explicit TextLook(FontRole role = FontRole::Body, TextTone tone = TextTone::Normal, uint32_t flags = 0, bool shadow = false)
      : role(role), tone(tone), flags(flags), shadow(shadow) {}
  FontRole role = FontRole::Body;
  TextTone tone = TextTone::Normal;
  uint32_t flags = 0;
  bool shadow = false;
  std::optional<Colour> colour;
  std::optional<float> size;  // overrides the role's size
  uint32_t family = familyPalatino;
  bool bold = false;  // bold whatever the role
};

// A colour word's colour (TextColour of style.h) in a theme.
Colour colourOf(const CorvanthorneGuiTheme& theme, const TextColour& colour);
void paintText(PaintTarget& target, const CorvanthorneGuiTheme& theme, const RectF& rect, std::wstring_view text,
               float scale, const TextLook& look);

// The chamfered panel look of windows, panels and progress bars.
struct FrameLook {
  explicit FrameLook(bool inset = false) : inset(inset) {}
  bool inset = false;
  std::optional<Colour> fill;
  float opacity = 1;
};
void paintFrame(PaintTarget& target, const CorvanthorneGuiTheme& theme, const PixelRect& rect, float scale,
                const FrameLook& look);
void paintOrnaments(PaintTarget& target, const CorvanthorneGuiTheme& theme, const PixelRect& rect, float scale,
                    bool large, float opacity = 1.0f);

// The bevelled default button (buttons without "slot", "selector" or "icon" style) with its
// label, and the small icon button showing one glyph.
void paintDefaultButton(PaintTarget& target, const CorvanthorneGuiTheme& theme, const ControlLook& look,
                        std::wstring_view label);
void paintIconButton(PaintTarget& target, const CorvanthorneGuiTheme& theme, const ControlLook& look,
                     std::wstring_view glyph);

}  // namespace Corvanthorne::Gui
