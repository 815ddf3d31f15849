#include <gtest/gtest.h>

#include "common/text.h"
#include "render/geometry.h"
#include "render/screen_painter.h"
#include "support/cvtool_outcome.h"
#include "support/message_of.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Gui {
namespace {

const CorvanthorneGuiTheme& theme = defaultGuiTheme();

TEST(Geometry, NumericRules) {
  // Corner cuts: at most half the smaller side, none below 2 pixels or for a negative cut.
  for (const auto& [rect, cut, limited] : {std::tuple{PixelRect{0, 0, 100, 6}, 4, 3}, {PixelRect{0, 0, 100, 100}, 4, 4},
                                           {PixelRect{0, 0, 1, 10}, 4, 0}, {PixelRect{0, 0, 50, 50}, -2, 0}})
    EXPECT_EQ(limitedCut(rect, cut), limited);
  // The header band stops at the bottom edge minus the margin.
  EXPECT_EQ(frameHeaderBand(PixelRect{0, 0, 100, 6}, 1).bottom, 2);
  // Progress: max 0 counts as a tiny max, the ratio is clamped.
  const PixelRect inner{10, 0, 110, 10};
  EXPECT_EQ(progressFill(inner, 5, 0).right, 110);
  EXPECT_EQ(progressFill(inner, -1, 1).right, 10);
  EXPECT_EQ(progressFill(inner, 0.25, 1).right, 35);
  EXPECT_EQ(blend(rgb(0, 0, 0), rgb(255, 255, 255), 0.2), rgb(51, 51, 51));
  EXPECT_EQ(scaleChannels(rgb(250, 16, 0), 19, 16), rgb(255, 19, 0));
  // The arrow cell never reaches past the left edge; the first visible row is kept in range.
  EXPECT_EQ(dropdownArrowCell(PixelRect{0, 0, 20, 30}, 28).left, 0);
  EXPECT_EQ(clampFirstRow(10, 5, 3), 2);
  EXPECT_EQ(clampFirstRow(-1, 5, 3), 0);
}

TEST(Painting, ZeroWidthFramesDrawNothing) {
  DrawList list;
  DrawListTarget target(list);
  paintFrame(target, theme, PixelRect{10, 10, 10, 50}, 1, FrameLook{});
  EXPECT_TRUE(list.commands().empty());
}

// Texts live in the list's own store: they survive the store growing past one chunk, a text
// longer than a chunk, copies from a list that is cleared afterwards, and rebuilding.
TEST(DrawList, TextsStayIntactAsTheStoreGrowsAndIsReused) {
  DrawList source, list;
  std::vector<std::wstring> expected;
  for (int round = 0; round < 2; ++round) {
    source.clear();
    list.clear();
    expected.clear();
    for (int i = 0; i < 3000; ++i) {
      expected.push_back(std::wstring(i % 7 == 0 ? 20000 : 7, static_cast<wchar_t>(L'a' + i % 26)) + std::to_wstring(i));
      source.text(RectF{}, expected.back(), TextStyle{});
      source.image(RectF{}, expected.back());
    }
    for (const DrawCommand& c : source.commands()) list.append(c);
    source.clear();
    source.text(RectF{}, L"overwrites the source's store", TextStyle{});
    ASSERT_EQ(list.commands().size(), 2 * expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(list.commands()[2 * i].text, expected[i]);
      EXPECT_EQ(list.commands()[2 * i + 1].imagePath, expected[i]);
    }
  }
}

// The draw list of a screen reflects the runtime overrides an application sets, the overall
// opacity, canvas renderers and strictness.
TEST(Painting, DrawListFollowsRuntimeState) {
  Screen screen;
  screen.setDocument(parseDocument(
      L"Root R { width = 400; height = 300; ProgressBar P { width = 204; height = 20; max = 2; }"
      L" Checkbox C { y = 30; width = 100; height = 20; text = Remember; } Dropdown D { y = 60; width = 120; height = 24; items = Low, High; }"
      L" Text T { y = 90; width = 100; height = 20; text = Initial; } Canvas W { y = 120; width = 50; height = 50; renderer = water; }"
      L" Window N { y = 180; width = 200; height = 50; title = Notes; } Window F { y = 240; width = 200; height = 50; title = Fallen; style = death; } }",
      L"paint.ghi"));
  screen.setClientSize(400, 300);
  const auto commands = [&] {
    DrawList list;
    buildDrawList(screen, theme, list);
    return list;
  };
  const auto has = [](const DrawList& list, DrawKind kind, Colour colour, std::wstring_view text = {}) {
    for (const DrawCommand& c : list.commands())
      if (c.kind == kind && c.colour == colour && (text.empty() || c.text == text)) return true;
    return false;
  };
  EXPECT_FALSE(has(commands(), DrawKind::FillRect, theme[76]));  // value 0: no fill
  EXPECT_FALSE(has(commands(), DrawKind::Line, theme[64]));       // no check mark
  screen.setValue(L"P", 1);
  screen.setChecked(L"C", true);
  screen.setSelectedRow(L"D", 1);
  screen.setText(L"T", L"Changed");
  screen.setOpacity(0.5f);
  std::vector<PixelRect> canvases;
  screen.setCanvasRenderer(L"water", [&](const Node&, const PixelRect& rect, const CorvanthorneGuiTheme&, DrawList& list) {
    canvases.push_back(rect);
    list.fillRect(rect, 1);
  });
  const DrawList list = commands();
  EXPECT_TRUE(has(list, DrawKind::Line, theme[64]));
  EXPECT_TRUE(has(list, DrawKind::Text, theme[59], L"High"));
  EXPECT_TRUE(has(list, DrawKind::Text, theme[59], L"Changed"));
  EXPECT_TRUE(has(list, DrawKind::Text, theme[59], L"Notes"));  // a plain window's title: the text colour
  EXPECT_TRUE(has(list, DrawKind::Text, theme[63], L"Fallen"));
  for (const DrawCommand& c : list.commands()) {
    if (c.kind == DrawKind::FillRect && c.colour == theme[76]) {
      EXPECT_EQ(c.rect, (RectF{2, 2, 102, 18}));  // half of 200
    }
    if (c.kind == DrawKind::Text && c.text == L"Changed") {
      EXPECT_EQ(c.opacity, 0.5f);
    }
  }
  EXPECT_EQ(canvases, std::vector<PixelRect>{(PixelRect{0, 120, 50, 170})});
  screen.setCanvasRenderer(L"water", CanvasRenderer{});
  EXPECT_NO_THROW(commands());  // without a renderer the canvas draws its image
  screen.setStrict(true);
  EXPECT_EQ(Testing::messageOf(commands), "Missing GPU canvas renderer: water");
}

// A document nested 100,000 levels deep is refused beyond the limit, and nothing that walks
// the rest (validation, layout, painting, cvtool ghi tree) runs out of stack.
// High contrast: every command of the shipped launcher document, in every state a player
// reaches, in one of the system's colours, and no pictures.
TEST(Painting, HighContrastUsesOnlySystemColours) {
  const SystemColours system{rgb(1, 1, 1), rgb(2, 2, 2), rgb(3, 3, 3), rgb(4, 4, 4), rgb(5, 5, 5), rgb(6, 6, 6)};
  const CorvanthorneGuiTheme contrast = highContrastGuiTheme(system);
  Screen screen;
  ASSERT_TRUE(screen.load(std::filesystem::path(QEL_TEST_DATA_DIR) / ".." / ".." / "game" / "data" / "gui" / "launcher.ghi"));
  screen.setListItems(L"Resolution", std::vector<ListItem>(2));
  screen.setChecked(L"Fullscreen", true);
  screen.setClientSize(760, 480);
  for (const wchar_t* focus : {L"Username", L"Play", L"Fullscreen", L"Resolution"}) {
    screen.openPopup(*screen.findNode(focus));  // only the drop-down opens; the others take the focus
    screen.setFocus(screen.findNode(focus));
    DrawList list;
    buildDrawList(screen, contrast, list);
    for (const DrawCommand& c : list.commands()) {
      if (c.kind == DrawKind::PushClip || c.kind == DrawKind::PopClip) continue;
      EXPECT_NE(c.kind, DrawKind::Image) << wideToUtf8(focus);
      EXPECT_GE(c.colour, rgb(1, 1, 1)) << wideToUtf8(focus) << " kind " << static_cast<int>(c.kind);
      EXPECT_LE(c.colour, rgb(6, 6, 6)) << wideToUtf8(focus) << " kind " << static_cast<int>(c.kind);
    }
  }
}

TEST(Painting, DeeplyNestedDocuments) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "Panel P" + std::to_string(i) + (i < 100 ? " { width = 50; height = 50;\n" : " {\n");
  text += std::string(100000, '}');
  Testing::TempDir dir;
  Testing::writeFile(dir / "deep.ghi", text);
  Screen screen;
  EXPECT_FALSE(screen.load(dir / "deep.ghi"));
  EXPECT_EQ(formatDiagnostic(screen.document().diagnostics.at(0)),
            pathText(dir / "deep.ghi") + ":101:1: error: Control nested deeper than 100 levels; it is skipped.");
  DrawList list;
  buildDrawList(screen, theme, list);
  EXPECT_GT(list.commands().size(), 1000u);
  const Testing::CvtoolOutcome tree = Testing::cvtoolOutcome({"ghi", "tree", pathText(dir / "deep.ghi")});
  EXPECT_EQ(tree.code, 1);
  EXPECT_NE(tree.out.find("P99 "), std::string::npos);
  EXPECT_EQ(tree.out.find("P100 "), std::string::npos);
}

}  // namespace
}  // namespace Corvanthorne::Gui
