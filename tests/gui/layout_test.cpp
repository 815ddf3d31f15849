#include <gtest/gtest.h>

#include "gui/screen.h"
#include "gui/style.h"

namespace Corvanthorne::Gui {
namespace {

Screen laidOut(std::wstring_view text, int32_t width = 1280, int32_t height = 720) {
  Screen screen;
  screen.setDocument(parseDocument(text, L"layout.ghi"));
  screen.setClientSize(width, height);
  screen.layout();
  return screen;
}

PixelRect rectOf(Screen& screen, std::wstring_view name) { return screen.entryFor(screen.findNode(name))->rect; }

std::vector<std::wstring> drawOrder(const Screen& screen) {
  std::vector<std::wstring> names;
  for (const LayoutEntry& entry : screen.entries()) names.emplace_back(entry.node->name);
  return names;
}

TEST(Layout, ScalesAndLetterboxesTheDesignArea) {
  const wchar_t* text =
      L"Root R { Panel P { x = 10; y = 20; width = 100; height = 50; }"
      L" Panel Q { x = 10; width = 100; height = 100; Root Inner { x = 5; width = 10; } } }";
  Screen wide = laidOut(text, 1920, 1080);
  EXPECT_FLOAT_EQ(wide.scale(), 1.5f);
  EXPECT_EQ(rectOf(wide, L"P"), (PixelRect{15, 30, 165, 105}));
  EXPECT_EQ(rectOf(wide, L"R"), (PixelRect{0, 0, 1920, 1080}));
  EXPECT_EQ(rectOf(wide, L"Inner"), (PixelRect{15, 0, 165, 150}));  // a Root fills its parent
  Screen tall = laidOut(text, 1280, 1024);
  EXPECT_FLOAT_EQ(tall.scale(), 1.0f);
  EXPECT_EQ(tall.offsetY(), 152);
  EXPECT_EQ(rectOf(tall, L"P"), (PixelRect{10, 172, 110, 222}));
}

TEST(Layout, AnchorsAndCentringKeywords) {
  Screen screen = laidOut(
      L"Root R { Panel P { width = 400; height = 300;"
      L"  Panel Right { x = 20; width = 100; height = 10; anchor = right; }"
      L"  Panel Both { width = 100; height = 50; anchor = center; }"
      L"  Panel OnlyX { y = 7; width = 100; height = 50; anchor = centerx; }"
      L"  Panel Low { y = 10; width = 10; height = 50; anchor = centery bottom; }"
      L"  Panel Corner { x = 5; y = 5; width = 10; height = 10; anchor = right bottom; } }"
      L" Window W { x = center; y = Centre; width = 200; height = 100; }"
      L" Panel Bound { x = $pos; width = 200; height = 10; } }");
  EXPECT_EQ(rectOf(screen, L"Right"), (PixelRect{280, 0, 380, 10}));
  EXPECT_EQ(rectOf(screen, L"Both"), (PixelRect{150, 125, 250, 175}));
  EXPECT_EQ(rectOf(screen, L"OnlyX"), (PixelRect{150, 7, 250, 57}));
  EXPECT_EQ(rectOf(screen, L"Low").top, 240 + 125);
  EXPECT_EQ(rectOf(screen, L"Corner"), (PixelRect{385, 285, 395, 295}));
  EXPECT_EQ(rectOf(screen, L"W"), (PixelRect{540, 310, 740, 410}));
  screen.state(L"W")->x = 30;  // the user dragged the window
  std::wstring position = L"center";
  int calls = 0;
  screen.bindValue(L"pos", [&] { ++calls; return position; });
  screen.layout();
  EXPECT_EQ(rectOf(screen, L"W").left, 570);
  EXPECT_EQ(rectOf(screen, L"Bound").left, 540);
  position = L"12";
  screen.layout();
  EXPECT_EQ(rectOf(screen, L"Bound").left, 12);
  EXPECT_EQ(calls, 2);  // one read per layout
}

TEST(Layout, LayersSystemDialogsAndWindowsBroughtToFront) {
  Screen screen = laidOut(
      L"Root R { Panel Dialog { systemDialog = true; Panel Inner { } }"
      L" Window A { x = 0; y = 0; width = 100; height = 100; Panel Deep { Panel High { layer = 5; } } }"
      L" Window B { x = 50; y = 50; width = 100; height = 100; } }");
  EXPECT_EQ(drawOrder(screen), (std::vector<std::wstring>{L"R", L"A", L"Deep", L"B", L"High", L"Dialog", L"Inner"}));
  EXPECT_EQ(screen.entryFor(screen.findNode(L"Inner"))->layer, INT32_MAX);
  EXPECT_EQ(screen.hitTest(60, 60, false, false)->name, L"B");
  screen.mouseDown(10, 10);  // pressing window A raises it
  screen.mouseUp(10, 10);
  screen.layout();
  EXPECT_EQ(screen.hitTest(60, 60, false, false)->name, L"A");
  EXPECT_EQ(drawOrder(screen), (std::vector<std::wstring>{L"R", L"B", L"A", L"Deep", L"High", L"Dialog", L"Inner"}));
}

TEST(Layout, ClippingLimitsHits) {
  Screen screen = laidOut(
      L"Root R { Panel P { x = 10; y = 10; width = 50; height = 50; clip = true;"
      L" Button B { x = 0; y = 0; width = 100; height = 20; } } }");
  const LayoutEntry& button = *screen.entryFor(screen.findNode(L"B"));
  EXPECT_TRUE(button.clipped);
  EXPECT_EQ(button.clip, (PixelRect{10, 10, 60, 60}));
  EXPECT_EQ(screen.hitTest(20, 20, true, false)->name, L"B");
  EXPECT_EQ(screen.hitTest(80, 20, true, false), nullptr);
}

TEST(Layout, PopupsAndTooltipsStayInTheClientArea) {
  Screen screen = laidOut(
      L"Root R { Dropdown Low { x = 10; y = 680; width = 100; height = 30; items = a, b, c; }"
      L" Dropdown Edge { x = 1250; y = 10; width = 100; height = 30; items = a, b; popupRows = 1; }"
      L" Button Tip { x = 0; y = 100; width = 50; height = 30; tooltip = \"Help text\"; } }");
  // Below would need 3 x 30 + 6 pixels: it opens above instead.
  EXPECT_EQ(screen.popupRect(*screen.findNode(L"Low")), (PixelRect{10, 583, 110, 679}));
  EXPECT_EQ(screen.popupVisibleRows(*screen.findNode(L"Low")), 3);
  EXPECT_EQ(screen.popupRect(*screen.findNode(L"Edge")), (PixelRect{1180, 41, 1280, 77}));
  screen.mouseMove(5, 110);
  EXPECT_EQ(screen.tooltipRect(*screen.findNode(L"Tip")), (PixelRect{0, 56, 86, 92}));
}

TEST(Layout, ModalWindowTakesFocusAndCapturesInput) {
  Screen screen = laidOut(
      L"Root R { Button A { x = 0; y = 0; width = 50; height = 50; onClick = a; }"
      L" Dropdown D { x = 0; y = 60; width = 50; height = 20; items = x, y; }"
      L" Window M { modal = true; visible = false; x = 100; y = 100; width = 200; height = 200;"
      L"  Text Label { } Button First { x = 10; y = 10; width = 50; height = 20; } } }");
  int clicks = 0;
  screen.setAction(L"a", [&](Node&) { ++clicks; });
  screen.openPopup(*screen.findNode(L"D"));
  screen.setVisible(L"M", true);
  screen.layout();
  EXPECT_EQ(screen.findModal()->name, L"M");
  EXPECT_EQ(screen.popupName(), L"");
  EXPECT_EQ(screen.focusedName(), L"First");
  screen.mouseDown(10, 10);
  screen.mouseUp(10, 10);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(screen.focusedName(), L"First");
  screen.setVisible(L"M", false);
  screen.layout();
  EXPECT_EQ(screen.focusedName(), L"");
}

}  // namespace
}  // namespace Corvanthorne::Gui
