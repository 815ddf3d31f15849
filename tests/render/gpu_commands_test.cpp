#include "render/gpu_commands.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace Corvanthorne::Gui {
namespace {

TEST(GpuCommands, CornerRadiusAndTextFormats) {
  EXPECT_FLOAT_EQ(drawnCornerRadius(RectF{0, 0, 10, 4}, 6), 2);
  EXPECT_FLOAT_EQ(drawnCornerRadius(RectF{0, 0, 10, 40}, 3), 3);
  EXPECT_FLOAT_EQ(drawnCornerRadius(RectF{5, 5, 0, 0}, 3), 0);  // inverted: square corners
  DrawList fills;
  fills.fillRect(PixelRect{0, 0, 640, 360}, 1);
  fills.fillRect(PixelRect{0, 0, 640, 360}, 1, 0.5f);
  fills.fillRect(PixelRect{0, 0, 640, 300}, 1);
  const auto fill = fills.commands();
  EXPECT_TRUE(fillsWholeTarget(fill[0], 640, 360));
  EXPECT_FALSE(fillsWholeTarget(fill[1], 640, 360));  // translucent
  EXPECT_FALSE(fillsWholeTarget(fill[2], 640, 360));  // short

  // Weight: automatic follows the bold flag (700 only for the serif family).
  std::set<uint64_t> keys;
  for (const auto& [weight, bold, family, expected] :
       {std::tuple<uint32_t, bool, uint32_t, uint32_t>{weightAutomatic, false, familyPalatino, 400u},
        {weightAutomatic, true, familySegoeUi, 600u},
        {weightAutomatic, true, familyPalatino, 700u},
        {weightNormal, true, familyPalatino, 400u},
        {9u, true, 7u, 400u}}) {
    DrawCommand command;
    command.weight = weight;
    command.bold = bold;
    command.fontFamily = family;
    const TextFormatSpec spec = textFormatSpec(command);
    EXPECT_EQ(spec.weight, expected) << weight << bold << family;
    keys.insert(textFormatKey(spec));
  }
  EXPECT_EQ(keys.size(), 4u);  // normal weight asks for the same format as automatic without bold

  DrawCommand tiny;
  tiny.fontSize = 0.5f;
  tiny.alignment = 7;
  tiny.fontFamily = 5;
  const TextFormatSpec spec = textFormatSpec(tiny);
  EXPECT_FLOAT_EQ(spec.size, 1.0f);
  EXPECT_EQ(std::tuple(spec.alignment, spec.family), std::tuple(alignLeading, familySegoeUi));  // unknown values fall back
}

}  // namespace
}  // namespace Corvanthorne::Gui
