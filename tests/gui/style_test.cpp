#include "gui/style.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace Corvanthorne::Gui {
namespace {

const Node& nodeOf(const Document& document, size_t child) { return *document.controls[0]->children[child]; }

TEST(Style, WordsAreReadRawAndMostlyCaseInsensitive) {
  const Document document = parseDocument(
      L"Root R { List A { style = TextLog; } Input B { style = Letter-Input; align = centre; }"
      L" List C { style = $listStyle; } Text D { style = Important; font = HEADING; align = Right; color = ink; bold = True; }"
      L" Panel E { style = characterselect; wrap = YES; align = center; } }",
      L"");
  EXPECT_TRUE(isTextLog(nodeOf(document, 0)));
  EXPECT_FALSE(isLetterInput(nodeOf(document, 1)));
  EXPECT_EQ(textAlign(nodeOf(document, 1)), TextAlign::Left);
  EXPECT_FALSE(isTextLog(nodeOf(document, 2)));
  const Node& text = nodeOf(document, 3);
  EXPECT_EQ(textTone(text), TextTone::Important);
  EXPECT_EQ(fontRole(text), FontRole::Heading);
  EXPECT_EQ(fontRole(nodeOf(document, 0)), FontRole::Body);
  EXPECT_EQ(textColour(text), (TextColour{-1, rgb(65, 46, 27)}));
  EXPECT_FALSE(isBold(text));
  EXPECT_EQ(textFormat(text), textRight | textVCenter | textSingleLine | textEndEllipsis);
  EXPECT_EQ(panelKind(nodeOf(document, 4)), PanelKind::Character);
  EXPECT_EQ(textFormat(nodeOf(document, 4)), textCenter | textWordBreak);
}

TEST(Style, CharacterWidthEstimates) {
  EXPECT_EQ(charWidth(0x301), 0.0);
  EXPECT_EQ(charWidth(U'W'), 1.15);
  EXPECT_EQ(charWidth(U'i'), 0.5);
  EXPECT_EQ(charWidth(U'7'), 0.75);
  EXPECT_EQ(charWidth(U'\t'), 4.0);
  EXPECT_EQ(charWidth(0x6F22), 1.35);
  EXPECT_EQ(charWidth(0x1F600), 1.6);
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
