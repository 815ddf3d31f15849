#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <tuple>

#include "gui/document.h"
#include "render/theme.h"
#include "startup/loading_frame.h"

namespace Corvanthorne::Startup {
namespace {

using Gui::DrawKind;

// Blocks live in shared memory in the product; here one zero-filled block per test.
std::unique_ptr<LoadingProgressBlock> emptyBlock() { return std::make_unique<LoadingProgressBlock>(); }

TEST(LoadingProgress, FractionOfPublishedCounters) {
  for (const auto& [published, completed, total, fraction] :
       {std::tuple{0u, 5, 12, 0.0}, {1u, 6, 12, 0.5}, {1u, 13, 12, 1.0}, {1u, 3, 0, 0.0}, {1u, 3, -4, 0.0}, {1u, -2, 12, 0.0}}) {
    auto block = emptyBlock();
    block->stepsPublished = published;
    block->completedSteps = completed;
    block->totalSteps = total;
    EXPECT_DOUBLE_EQ(progressFraction(*block), fraction) << completed << " of " << total;
  }
}

TEST(LoadingProgress, FileTextFollowsTheSequenceCounter) {
  auto block = emptyBlock();
  LoadingFrame frame;
  writeFileText(*block, L"C:\\game\\worlds\\town.map");
  frame.readFileText(*block);
  EXPECT_EQ(frame.fileText(), L"C:\\game\\worlds\\town.map");

  // While the client rewrites (odd sequence) reads keep the old text; once the sequence is
  // even again, the next read shows the new one.
  block->fileSequence.fetch_add(1);
  block->fileText[0] = L'd';
  block->fileText[1] = 0;
  frame.readFileText(*block);
  EXPECT_EQ(frame.fileText(), L"C:\\game\\worlds\\town.map");
  block->fileSequence.fetch_add(1);
  frame.readFileText(*block);
  EXPECT_EQ(frame.fileText(), L"d");

  // All 512 cells used: no terminator, nothing read past the block.
  const std::wstring full(kFileTextCells, L'x');
  writeFileText(*block, full + L"cut");
  std::wstring text;
  EXPECT_TRUE(readFileText(*block, text));
  EXPECT_EQ(text, full);
  EXPECT_FALSE(readFileText(*block, text));  // unchanged
}

TEST(LoadingProgress, FileLineNamesTheLastComponent) {
  for (const auto& [path, line] :
       {std::tuple{L"C:\\game\\worlds\\town.map", L"File: town.map\nC:\\game\\worlds\\town.map"},
        {L"assets/textures/", L"File: \nassets/textures/"},
        {L"intro", L"File: intro\nintro"}}) {
    auto block = emptyBlock();
    writeFileText(*block, path);
    LoadingFrame frame;
    frame.readFileText(*block);
    const Gui::DrawCommand& last = frame.compose(1280, 720, 0, 0, 0).commands().back();
    EXPECT_EQ(last.kind, DrawKind::Text);
    EXPECT_EQ(last.text, line);
  }
}

TEST(LoadingFrame, WaterLevelMarker) {
  const Gui::CorvanthorneGuiTheme& theme = Gui::defaultGuiTheme();
  const Gui::PixelRect bar{22, 54, 562, 80};
  Gui::DrawList list;
  // Resting at 0.5 s into a cycle, and never drawn over an empty bar.
  drawWaterLevel(list, bar, 0.5, 0.5 + 3 * 3.75, 1.0f, theme);
  drawWaterLevel(list, bar, 0.0, 3.5, 1.0f, theme);
  EXPECT_TRUE(list.commands().empty());

  // 3.5 s: a flashing marker at the right end of the filled part (inner 24..560 x 56..78, half
  // filled to 292), clipped to that part.
  drawWaterLevel(list, bar, 0.5, 3.5, 1.0f, theme);
  const auto commands = list.commands();
  ASSERT_EQ(commands.size(), 7u);
  EXPECT_EQ(std::make_pair(commands[0].kind, commands[0].rect), std::make_pair(DrawKind::PushClip, Gui::RectF{24, 56, 292, 78}));
  EXPECT_FLOAT_EQ(commands[1].opacity, static_cast<float>(std::sin(0.3 / 0.55 * 3.14159265358979) * 0.2 + 0.1));
  EXPECT_EQ(std::make_pair(commands[3].rect, commands[3].colour), std::make_pair(Gui::RectF{288, 60, 292, 74}, theme[63]));
  EXPECT_EQ(commands[6].kind, DrawKind::PopClip);
}

TEST(LoadingFrame, DocumentAndFrameComposition) {
  EXPECT_TRUE(Gui::parseDocument(kLoadingDocument, L"loading").diagnostics.empty());

  LoadingFrame frame;
  frame.setImage(L"assets/textures/Loading.png", 1000, 1000);
  auto commands = frame.compose(400, 300, 0.5, 0.0, 2).commands();
  // Background, then the image covering the window (400 x 400, cut at top and bottom).
  EXPECT_EQ(commands[0].rect, (Gui::RectF{0, 0, 400, 300}));
  EXPECT_EQ(commands[0].colour, Gui::rgb(5, 7, 10));
  EXPECT_EQ(commands[1].kind, DrawKind::Image);
  EXPECT_EQ(commands[1].rect, (Gui::RectF{0, -50, 400, 350}));
  EXPECT_EQ(frame.screen().text(L"LoadingPercent"), L"50%");
  EXPECT_EQ(frame.screen().text(L"LoadingCaption"), L"LOADING INSTANCE 2");
  // The 300 x 66 panel centred at (50, 117).
  const auto caption = std::find_if(commands.begin(), commands.end(),
                                    [](const Gui::DrawCommand& c) { return c.text == L"LOADING INSTANCE 2"; });
  ASSERT_NE(caption, commands.end());
  EXPECT_EQ(caption->rect, (Gui::RectF{61, 123, 339, 139}));

  // Unchanged values do not lay the screen out again.
  const uint64_t layouts = frame.screen().layoutsBuilt();
  frame.compose(400, 300, 0.5, 0.1, 2);
  EXPECT_EQ(frame.screen().layoutsBuilt(), layouts);
  frame.compose(400, 300, 0.75, 0.2, 2);
  EXPECT_EQ(frame.screen().text(L"LoadingPercent"), L"75%");
}

}  // namespace
}  // namespace Corvanthorne::Startup
