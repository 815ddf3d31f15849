#include <gtest/gtest.h>

#include "gui/screen.h"

namespace Corvanthorne::Gui {
namespace {

constexpr int32_t tab = 9, backspace = 8, enter = 13, escape = 27, space = 32, up = 38, down = 40;

// A screen at design size (one pixel per design unit) that records fired actions.
struct Harness {
  explicit Harness(std::wstring_view text) {
    screen.setDocument(parseDocument(text, L"input.ghi"));
    for (const wchar_t* action : {L"a", L"b", L"changed", L"clicked", L"cancel", L"m", L"w1", L"w2", L"dropped", L"vol"})
      screen.setAction(action, [this, action](Node& node) { log.push_back(std::wstring(action) + L":" + std::wstring(node.name)); });
    screen.layout();
  }
  void click(int32_t x, int32_t y, int32_t releaseX, int32_t releaseY) {
    screen.mouseDown(x, y);
    screen.mouseMove(releaseX, releaseY);
    screen.mouseUp(releaseX, releaseY);
  }
  Screen screen;
  std::vector<std::wstring> log;
};

TEST(Input, TabOrderFollowsTabIndexThenLayoutAndWraps) {
  Harness h(L"Root R { Button A { x = 0; y = 0; width = 10; height = 10; }"
            L" Button B { tabIndex = 2; } Input I { tabIndex = 1; } Text T { } Button Off { tabStop = false; } }");
  std::vector<std::wstring> visited;
  for (int i = 0; i < 4; ++i) {
    h.screen.keyDown(tab, false);
    visited.push_back(h.screen.focusedName());
  }
  EXPECT_EQ(visited, (std::vector<std::wstring>{L"I", L"B", L"A", L"I"}));
  h.screen.keyDown(tab, true);
  EXPECT_EQ(h.screen.focusedName(), L"A");  // Shift+Tab from the first goes to the last

  Harness empty(L"Root R { Text T { } }");
  empty.screen.keyDown(tab, false);
  EXPECT_EQ(empty.screen.focusedName(), L"");
}

TEST(Input, SmallWanderStillClicksLargerOneDrags) {
  Harness h(L"Root R { Button A { x = 0; y = 0; width = 50; height = 50; onClick = a; } }");
  h.click(10, 10, 12, 10);
  EXPECT_EQ(h.log, std::vector<std::wstring>{L"a:A"});
  h.click(10, 10, 14, 10);
  EXPECT_EQ(h.log.size(), 1u);
}

TEST(Input, CheckboxWritesBackBeforeItsActions) {
  Harness h(L"Root R { Checkbox C { width = 20; height = 20; checked = $remember; onChange = changed; onClick = clicked; } }");
  h.screen.bindValue(L"remember", [] { return std::wstring(L"false"); },
                     [&](std::wstring_view value) { h.log.push_back(L"set:" + std::wstring(value)); });
  h.click(5, 5, 5, 5);
  EXPECT_EQ(h.log, (std::vector<std::wstring>{L"set:true", L"changed:C", L"clicked:C"}));
  h.screen.keyDown(space, false);
  EXPECT_EQ(h.log.back(), L"clicked:C");
  EXPECT_EQ(h.log[3], L"set:false");
}

TEST(Input, TypingRespectsMaxLengthAndBackspaceAlwaysEdits) {
  Harness h(L"Root R { Input I { width = 50; height = 20; maxLength = 3; onChange = changed; } }");
  h.click(5, 5, 5, 5);
  for (wchar_t c : std::wstring(L"abcd")) h.screen.character(static_cast<uint16_t>(c));
  EXPECT_FALSE(h.screen.character(7));  // control characters are ignored
  EXPECT_EQ(h.screen.text(L"I"), L"abc");
  for (int i = 0; i < 4; ++i) h.screen.keyDown(backspace, false);
  EXPECT_EQ(h.screen.text(L"I"), L"");
  EXPECT_EQ(h.log.size(), 7u);  // three characters, four Backspaces
}

TEST(Input, EscapeGoesToPopupThenInputThenModalThenTopWindow) {
  Harness h(L"Root R { Dropdown D { width = 50; height = 20; items = x, y; }"
            L" Input I { y = 30; width = 50; height = 20; onCancel = cancel; }"
            L" Window W1 { onEscape = w1; } Window W2 { onEscape = w2; } Window Hidden { visible = false; onEscape = b; }"
            L" Window M { modal = true; visible = false; onEscape = m; } }");
  h.screen.openPopup(*h.screen.findNode(L"D"));
  EXPECT_TRUE(h.screen.keyDown(escape, false));
  EXPECT_EQ(h.screen.popupName(), L"");
  EXPECT_TRUE(h.log.empty());
  h.screen.setFocus(h.screen.findNode(L"I"));
  h.screen.keyDown(escape, false);
  EXPECT_EQ(h.log, std::vector<std::wstring>{L"cancel:I"});
  EXPECT_EQ(h.screen.focusedName(), L"");
  h.screen.keyDown(escape, false);
  EXPECT_EQ(h.log.back(), L"w2:W2");
  h.screen.setVisible(L"M", true);
  h.screen.keyDown(escape, false);
  EXPECT_EQ(h.log.back(), L"m:M");
}

TEST(Input, DropdownKeysSkipDisabledRowsAndWrapListsDoNot) {
  Harness h(L"Root R { Dropdown D { width = 50; height = 20; items = r0, r1, r2, r3; selectedIndex = 0; onChange = changed; }"
            L" List L { y = 40; width = 50; height = 100; items = a, b, c; selectedIndex = 2; onChange = changed; } }");
  std::vector<ListItem> rows = h.screen.state(L"D")->rows;
  rows[1].enabled = rows[2].enabled = false;
  h.screen.setListItems(L"D", rows);
  h.screen.setFocus(h.screen.findNode(L"D"));
  h.screen.keyDown(down, false);
  EXPECT_EQ(h.screen.state(L"D")->selectedRow, 3);
  h.screen.keyDown(down, false);
  EXPECT_EQ(h.screen.state(L"D")->selectedRow, 0);
  h.screen.keyDown(up, false);
  EXPECT_EQ(h.screen.state(L"D")->selectedRow, 3);
  h.screen.keyDown(enter, false);
  EXPECT_EQ(h.screen.popupName(), L"D");

  h.screen.setFocus(h.screen.findNode(L"L"));
  h.log.clear();
  h.screen.keyDown(down, false);
  EXPECT_EQ(h.screen.state(L"L")->selectedRow, 2);
  EXPECT_TRUE(h.log.empty());
  h.screen.keyDown(up, false);
  EXPECT_EQ(h.screen.state(L"L")->selectedRow, 1);
}

TEST(Input, ClickingAPopupRowChoosesIt) {
  Harness h(L"Root R { Dropdown D { width = 100; height = 30; items = a, b, c;"
            L" selectedIndex = $choice; onChange = changed; } }");
  std::vector<std::wstring> written;
  h.screen.bindValue(L"choice", [] { return std::wstring(L"0"); }, [&](std::wstring_view v) { written.emplace_back(v); });
  h.click(10, 10, 10, 10);
  ASSERT_EQ(h.screen.popupName(), L"D");
  // Rows of 30 pixels start below the drop-down and a 3-pixel border.
  h.screen.mouseMove(10, 31 + 3 + 65);
  EXPECT_EQ(h.screen.state(L"D")->highlightedRow, 2);
  EXPECT_EQ(h.screen.hoverName(), L"D");
  h.click(10, 31 + 3 + 65, 10, 31 + 3 + 65);
  EXPECT_EQ(h.screen.popupName(), L"");
  EXPECT_EQ(h.screen.state(L"D")->selectedRow, 2);
  EXPECT_EQ(written, std::vector<std::wstring>{L"2"});
  EXPECT_EQ(h.log, std::vector<std::wstring>{L"changed:D"});
  h.click(10, 10, 10, 10);  // reopen, then press outside: closes without a choice
  h.click(600, 600, 600, 600);
  EXPECT_EQ(h.screen.popupName(), L"");
  EXPECT_EQ(h.log.size(), 1u);
}

TEST(Input, WheelAndThumbScrollTheTargetList) {
  Harness h(L"Root R { List S { x = 200; y = 10; width = 200; height = 100; rowHeight = 20;"
            L" items = 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20; }"
            L" ScrollBar SB { x = 400; y = 10; width = 16; height = 100; targetList = S; } }");
  NodeState& list = *h.screen.state(L"S");
  h.screen.mouseWheel(408, 50, -120);
  EXPECT_EQ(list.firstVisibleRow, 1);
  h.screen.mouseWheel(250, 50, -360);
  EXPECT_EQ(list.firstVisibleRow, 4);
  h.screen.mouseWheel(250, 50, 1200);
  EXPECT_EQ(list.firstVisibleRow, 0);
  // Track 28..92 (64 pixels), thumb 18 pixels: dragging it to the end shows the last rows.
  h.screen.mouseDown(408, 30);
  h.screen.mouseMove(408, 76);
  h.screen.mouseUp(408, 76);
  EXPECT_EQ(list.firstVisibleRow, 16);
  h.screen.mouseDown(408, 12);  // the up arrow
  EXPECT_EQ(list.firstVisibleRow, 15);
}

TEST(Input, DragAndDropWithinOneGroup) {
  Harness h(L"Root R { Button S1 { x = 0; y = 0; width = 40; height = 40; dragGroup = inv; onDrop = swap;"
            L" onDropOutside = dropped; onClick = a; } Button S2 { x = 100; y = 0; width = 40; height = 40; dragGroup = inv; } }");
  std::vector<std::wstring> drops;
  h.screen.setDropHandler(L"swap", [&](Node& dragged, Node& target, uint8_t modifier) {
    drops.push_back(std::wstring(dragged.name) + L">" + std::wstring(target.name) + std::to_wstring(modifier));
  });
  h.screen.mouseDown(10, 10);
  h.screen.mouseMove(110, 10);
  EXPECT_TRUE(h.screen.isDragging());
  EXPECT_EQ(h.screen.dropTargetName(), L"S2");
  h.screen.setDropModifier(1);
  h.screen.mouseUp(110, 10);
  EXPECT_EQ(drops, std::vector<std::wstring>{L"S1>S21"});
  h.click(10, 10, 10, 300);
  EXPECT_EQ(h.log, std::vector<std::wstring>{L"dropped:S1"});  // no click either time
  // Dragged and let go over itself: neither a drop nor a drop outside, and no click.
  h.screen.mouseDown(10, 10);
  h.screen.mouseMove(30, 30);
  EXPECT_EQ(h.screen.dropTargetName(), L"S1");
  h.screen.mouseUp(30, 30);
  EXPECT_EQ(drops.size(), 1u);
  EXPECT_EQ(h.log.size(), 1u);
}

TEST(Input, SliderDragWritesFormattedValue) {
  Harness h(L"Root R { Slider V { width = 100; height = 20; max = 10; value = $vol; onChange = vol; } }");
  h.screen.bindValue(L"vol", [] { return std::wstring(L"2"); },
                     [&](std::wstring_view value) { h.log.push_back(L"set:" + std::wstring(value)); });
  h.screen.mouseDown(20, 5);
  h.screen.mouseMove(50, 5);
  EXPECT_EQ(h.log, (std::vector<std::wstring>{L"set:5.000000", L"vol:V"}));
  EXPECT_EQ(h.screen.state(L"V")->value, 5);
}

TEST(Input, TooltipAppearsAfterRestAndHidesOnPress) {
  Harness h(L"Root R { Button Tip { x = 10; y = 200; width = 100; height = 30; tooltip = Help; } }");
  const int64_t second = 1'000'000'000;
  h.screen.mouseMove(20, 210);
  h.screen.tick(second);
  EXPECT_FALSE(h.screen.tick(second + second * 30 / 100));
  EXPECT_EQ(h.screen.tooltipNode(), nullptr);
  EXPECT_TRUE(h.screen.tick(second + second * 36 / 100));
  ASSERT_NE(h.screen.tooltipNode(), nullptr);
  EXPECT_EQ(h.screen.tooltipNode()->name, L"Tip");
  h.screen.mouseDown(20, 210);
  EXPECT_EQ(h.screen.tooltipNode(), nullptr);
}

TEST(Input, CaretBlinksEvery500Milliseconds) {
  Harness h(L"Root R { Input I { width = 50; height = 20; } }");
  const int64_t ms = 1'000'000;
  h.screen.setFocus(h.screen.findNode(L"I"));
  h.screen.tick(1000 * ms);
  EXPECT_FALSE(h.screen.tick(1499 * ms));
  EXPECT_TRUE(h.screen.caretVisible());
  EXPECT_TRUE(h.screen.tick(1500 * ms));
  EXPECT_FALSE(h.screen.caretVisible());
  h.screen.tick(2000 * ms);
  EXPECT_TRUE(h.screen.caretVisible());
  h.screen.tick(3000 * ms);  // two periods: no visible change
  EXPECT_TRUE(h.screen.caretVisible());
  h.screen.character(L'x');  // typing shows the caret and restarts the blink
  h.screen.setFocus(nullptr);
  h.screen.tick(9000 * ms);
  EXPECT_TRUE(h.screen.caretVisible());
}

}  // namespace
}  // namespace Corvanthorne::Gui
