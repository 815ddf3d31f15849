#include "render/theme.h"

#include <algorithm>
#include <cmath>

namespace Corvanthorne::Gui {

Colour blend(Colour a, Colour b, double t) {
  const double f = std::clamp(t, 0.0, 1.0);
  const auto channel = [f](uint32_t from, uint32_t to) {
    return static_cast<uint32_t>(std::clamp(std::round(from + (static_cast<double>(to) - from) * f), 0.0, 255.0));
  };
  return rgb(channel(redOf(a), redOf(b)), channel(greenOf(a), greenOf(b)), channel(blueOf(a), blueOf(b)));
}

Colour scaleChannels(Colour c, uint32_t numerator, uint32_t denominator) {
  const auto channel = [&](uint32_t value) {
    return std::min<uint32_t>(255, (value * numerator + denominator / 2) / denominator);
  };
  return rgb(channel(redOf(c)), channel(greenOf(c)), channel(blueOf(c)));
}

const CorvanthorneGuiTheme& defaultGuiTheme() {
  static const CorvanthorneGuiTheme theme{{
      rgb(1, 2, 3),       rgb(32, 35, 38),    rgb(17, 19, 21),    rgb(5, 6, 7),       rgb(168, 146, 93),
      rgb(82, 73, 53),    rgb(26, 28, 30),    rgb(45, 44, 39),    rgb(21, 22, 23),    rgb(55, 51, 41),
      rgb(67, 61, 47),    rgb(74, 67, 51),    rgb(170, 148, 99),  rgb(214, 191, 136), rgb(236, 218, 175),
      rgb(32, 35, 38),    rgb(49, 49, 43),    rgb(17, 19, 21),    rgb(50, 47, 39),    rgb(168, 146, 93),
      rgb(222, 197, 140), rgb(202, 182, 129), rgb(7, 8, 9),       rgb(8, 9, 10),      rgb(142, 120, 74),
      rgb(234, 213, 164), rgb(70, 58, 35),    rgb(9, 10, 11),     rgb(35, 37, 39),    rgb(51, 49, 42),
      rgb(17, 19, 21),    rgb(168, 146, 93),  rgb(202, 182, 129), rgb(38, 39, 38),    rgb(55, 52, 43),
      rgb(66, 60, 47),    rgb(19, 21, 22),    rgb(168, 146, 93),  rgb(202, 182, 129), rgb(13, 15, 16),
      rgb(67, 67, 61),    rgb(20, 22, 24),    rgb(17, 19, 21),    rgb(91, 81, 58),    rgb(222, 197, 140),
      rgb(20, 22, 24),    rgb(80, 70, 49),    rgb(106, 92, 62),   rgb(166, 144, 95),  rgb(79, 67, 44),
      rgb(197, 172, 114), rgb(14, 16, 18),    rgb(87, 77, 55),    rgb(129, 108, 65),  rgb(183, 158, 101),
      rgb(222, 197, 140), rgb(136, 114, 68),  rgb(176, 151, 96),  rgb(29, 31, 33),    rgb(232, 223, 201),
      rgb(174, 166, 148), rgb(115, 111, 102), rgb(142, 135, 118), rgb(220, 199, 151), rgb(248, 235, 204),
      rgb(235, 226, 205), rgb(245, 235, 214), rgb(255, 245, 223), rgb(8, 9, 10),      rgb(126, 181, 112),
      rgb(5, 6, 7),       rgb(177, 157, 115), rgb(240, 218, 173), rgb(25, 27, 29),    rgb(132, 39, 45),
      rgb(53, 84, 119),   rgb(167, 137, 75),
  }};
  return theme;
}

CorvanthorneGuiTheme highContrastGuiTheme(const SystemColours& system) {
  const CorvanthorneGuiTheme& themed = defaultGuiTheme();
  CorvanthorneGuiTheme theme;
  theme.highContrast = true;
  // Bright colours of the default theme are text, frames and accents; dark ones are fills.
  for (size_t i = 0; i < theme.colours.size(); ++i) {
    const Colour c = themed[i];
    const uint32_t luminance = (redOf(c) * 299 + greenOf(c) * 587 + blueOf(c) * 114) / 1000;
    theme.colours[i] = luminance >= 64 ? system.windowText : system.window;
  }
  for (const size_t i : {9, 13, 44, 72, 74, 75, 76}) theme.colours[i] = system.highlight;  // selections, focus, progress
  for (size_t i = 15; i <= 17; ++i) theme.colours[i] = system.buttonFace;
  for (size_t i = 22; i <= 24; ++i) theme.colours[i] = system.buttonFace;
  for (size_t i = 33; i <= 41; ++i) theme.colours[i] = system.buttonFace;
  theme.colours[23] = theme.colours[65] = theme.colours[66] = system.buttonText;  // buttons' edge and labels
  theme.colours[25] = system.buttonFace;  // the frames' and buttons' light edge
  theme.colours[61] = system.grayText;
  theme.colours[70] = system.window;  // text shadows vanish
  return theme;
}

}  // namespace Corvanthorne::Gui
