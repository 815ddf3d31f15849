#include "gui/style.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace Corvanthorne::Gui {
namespace {

TEST(Style, WordsAreReadRawAndMostlyCaseInsensitive) {
  const Document document = parseDocument(
      L"Root R { List A { style = TextLog; } Input B { style = Letter-Input; align = centre; }"
      L" List C { style = $listStyle; } Text D { style = Important; font = HEADING; align = Right; color = ink; bold = True; }"
      L" Panel E { style = characterselect; wrap = YES; align = center; } Slider F { style = Concept-x; } }",
      L"");
  const auto node = [&](size_t child) -> const Node& { return *document.controls[0]->children[child]; };
  EXPECT_TRUE(isTextLog(node(0)));
  EXPECT_FALSE(isLetterInput(node(1)));
  EXPECT_EQ(textAlign(node(1)), TextAlign::Left);
  EXPECT_FALSE(isTextLog(node(2)));
  EXPECT_EQ(textTone(node(3)), TextTone::Important);
  EXPECT_EQ(fontRole(node(3)), FontRole::Heading);
  EXPECT_EQ(fontRole(node(0)), FontRole::Body);
  EXPECT_EQ(textColour(node(3)), (TextColour{-1, rgb(65, 46, 27)}));
  EXPECT_FALSE(isBold(node(3)));
  EXPECT_EQ(textFormat(node(3)), textRight | textVCenter | textSingleLine | textEndEllipsis);
  EXPECT_EQ(panelKind(node(4)), PanelKind::Character);
  EXPECT_EQ(textFormat(node(4)), textCenter | textWordBreak);
  EXPECT_TRUE(isConceptStyle(node(5)));
  EXPECT_FALSE(isConceptStyle(node(4)));
}

TEST(Style, InputShowsTheEndOfItsText) {
  Screen screen;
  screen.setDocument(parseDocument(
      L"Root R { Input I { width = 120; height = 30; } Input L { style = letter-input; wrap = true; fontSize = 10;"
      L" width = 120; height = 60; } }", L""));
  screen.layout();
  const PixelRect rect{0, 0, 120, 30};
  // 100 units minus the caret (5) leave room for 10 capitals of 9 units.
  EXPECT_EQ(inputVisibleText(screen, *screen.findNode(L"I"), rect, std::wstring(40, L'A')), std::wstring(10, L'A'));
  EXPECT_EQ(inputVisibleText(screen, *screen.findNode(L"I"), PixelRect{0, 0, 20, 30}, L"abc"), L"");
  // A letter input of 60 pixels allows floor(52 / 16) - 1 = 2 lines.
  EXPECT_EQ(inputVisibleText(screen, *screen.findNode(L"L"), PixelRect{0, 0, 120, 60}, L"one\ntwo\nthree"),
            L"two\nthree");
  // A surrogate pair is never split.
  const std::wstring emoji = utf8ToWide("\xF0\x9F\x98\x80");
  const std::wstring shown = inputVisibleText(screen, *screen.findNode(L"I"), rect, std::wstring(60, L'a') + emoji);
  EXPECT_EQ(shown.substr(shown.size() - 2), emoji);
  EXPECT_NE(shown.front(), emoji[1]);
}

}  // namespace
}  // namespace Corvanthorne::Gui
