#pragma once
// Colours of the GUI: Windows COLORREF values (red in the low byte, then green, then blue)
// and the 77-colour theme every painter and canvas renderer receives. Painters address the
// theme by number; opacity always travels separately.
#include <array>
#include <cstddef>
#include <cstdint>

#include "gui/style.h"  // rgb

namespace Corvanthorne::Gui {

using Colour = uint32_t;

inline constexpr uint32_t redOf(Colour c) { return c & 0xFF; }
inline constexpr uint32_t greenOf(Colour c) { return (c >> 8) & 0xFF; }
inline constexpr uint32_t blueOf(Colour c) { return (c >> 16) & 0xFF; }

// Each channel moved from a toward b by t (clamped to 0..1), rounded.
Colour blend(Colour a, Colour b, double t);

// Each channel times numerator / denominator, rounded, at most 255 (brightening by 9/8, ...).
Colour scaleChannels(Colour c, uint32_t numerator, uint32_t denominator);

struct CorvanthorneGuiTheme {
  std::array<Colour, 77> colours{};
  bool highContrast = false;  // system colours only: no pictures, no shades derived from them
  Colour operator[](size_t number) const { return colours[number]; }
};

const CorvanthorneGuiTheme& defaultGuiTheme();

// The system colours a high-contrast theme is made of.
struct SystemColours {
  Colour window = 0;
  Colour windowText = 0;
  Colour highlight = 0;
  Colour buttonFace = 0;
  Colour buttonText = 0;
  Colour grayText = 0;
};

// The theme painted while the system's high-contrast mode is on: every colour one of the
// system's (fills the window colour, text and frames the window text, selections and progress
// the highlight, buttons the button colours, disabled text gray) and no pictures.
CorvanthorneGuiTheme highContrastGuiTheme(const SystemColours& system);

}  // namespace Corvanthorne::Gui
