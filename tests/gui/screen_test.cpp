#include "gui/screen.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "support/temp_dir.h"

namespace Corvanthorne::Gui {
namespace {

Screen screenOf(std::wstring_view text) {
  Screen screen;
  screen.setDocument(parseDocument(text, L"test.ghi"));
  return screen;
}

std::vector<ListItem> rowsOf(std::initializer_list<const wchar_t*> texts) {
  std::vector<ListItem> rows;
  for (const wchar_t* text : texts) {
    ListItem row;
    row.value = row.text = text;
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::wstring> textsOf(const NodeState& state) {
  std::vector<std::wstring> texts;
  for (const ListItem& row : state.rows) texts.push_back(row.text);
  return texts;
}

TEST(Screen, CreatesStatesAndDesignSize) {
  Screen screen = screenOf(
      L"Root R { width = 800; height = 600; Panel P { x = 10; y = 5; width = 12px; zOrder = -4; }"
      L" List L { items = a|b,c; selectedIndex = 7; } Dropdown D { items = Low, , High; selectedIndex = 0.6; }"
      L" Panel Z { zOrder = 9.9; } }");
  EXPECT_EQ(screen.designWidth(), 800);
  EXPECT_EQ(screen.designHeight(), 600);
  const NodeState& panel = *screen.state(L"P");
  EXPECT_EQ(panel.x, 10);
  EXPECT_EQ(panel.width, 12);  // the run-time reader takes the leading number
  EXPECT_EQ(panel.zOrder, 0u);
  EXPECT_EQ(screen.state(L"Z")->workingZOrder, 9u);
  EXPECT_EQ(textsOf(*screen.state(L"L")), (std::vector<std::wstring>{L"a", L"b,c"}));
  EXPECT_EQ(screen.state(L"L")->selectedRow, 1);
  EXPECT_EQ(textsOf(*screen.state(L"D")), (std::vector<std::wstring>{L"Low", L"High"}));
  EXPECT_EQ(screen.state(L"D")->highlightedRow, 1);
  EXPECT_EQ(screen.state(L"nope"), nullptr);
  EXPECT_EQ(screen.findNode(L"L")->type, L"List");
  // "Application" wins over the first Root.
  screen.setDocument(parseDocument(L"Root R { width = 800; } Panel Application { width = 1024; }", L""));
  EXPECT_EQ(screen.designWidth(), 1024);
  EXPECT_EQ(screen.designHeight(), 720);
}

TEST(Screen, BindingsAreResolvedOnEveryRead) {
  Screen screen = screenOf(
      L"Root R { Text T { text = $name; width = $w; visible = $shown; hidden = yes; } Text U { visible = yes; } }");
  int calls = 0;
  std::wstring width = L"40 wide";
  screen.bindValue(L"w", [&] { ++calls; return width; });
  Node& text = *screen.findNode(L"T");
  EXPECT_EQ(screen.number(text, L"width", 1), 40);
  width = L"none";
  EXPECT_EQ(screen.number(text, L"width", 1), 1);
  // Beyond the range of a double: tiny numbers read as zero, huge ones as infinity.
  width = L"-1.5e-400";
  EXPECT_EQ(screen.number(text, L"width", 1), 0);
  width = L"0.002e-99999999999999999999";
  EXPECT_EQ(screen.number(text, L"width", 1), 0);
  width = L"-12e400";
  EXPECT_EQ(screen.number(text, L"width", 1), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(calls, 5);
  EXPECT_EQ(screen.text(L"T"), L"");  // unbound reads as empty
  EXPECT_EQ(screen.number(text, L"height", 7), 7);
  EXPECT_FALSE(screen.isVisible(text));  // hidden wins
  EXPECT_TRUE(screen.isVisible(*screen.findNode(L"U")));
  screen.setVisible(L"T", true);
  EXPECT_TRUE(screen.isVisible(text));
  EXPECT_FALSE(screen.setVisible(L"missing", true));
  EXPECT_EQ(screen.text(L"missing"), L"");
}

TEST(Screen, ReadOnlyBindingKeepsEarlierSetterAndActionsMarkLayout) {
  Screen screen = screenOf(L"Root R { Input I { text = $user; onChange = changed; onClick = unknown; } }");
  std::vector<std::wstring> written;
  screen.bindValue(L"user", [] { return std::wstring(L"ann"); }, [&](std::wstring_view v) { written.emplace_back(v); });
  screen.bindValue(L"user", [] { return std::wstring(L"bob"); });
  Node& input = *screen.findNode(L"I");
  screen.writeBack(input, L"text", L"carl");
  screen.writeBack(input, L"onChange", L"ignored");  // not a binding
  EXPECT_EQ(written, std::vector<std::wstring>{L"carl"});
  EXPECT_EQ(screen.text(L"I"), L"bob");

  int fired = 0;
  screen.setAction(L"changed", [&](Node& node) { fired += node.name == L"I"; });
  screen.layout();
  EXPECT_FALSE(screen.layoutNeeded());
  screen.invokeAction(input, L"onClick");
  EXPECT_FALSE(screen.layoutNeeded());  // an unknown action does nothing
  screen.invokeAction(input, L"onChange");
  EXPECT_EQ(fired, 1);
  EXPECT_TRUE(screen.layoutNeeded());
  EXPECT_TRUE(screen.redrawNeeded());
  screen.setAction(L"changed", ActionHandler{});
  EXPECT_THROW(screen.invokeAction(input, L"onChange"), std::bad_function_call);
}

TEST(Screen, HidingAControlClearsFocusAndPopupInside) {
  Screen screen = screenOf(
      L"Root R { Panel P { Input I { onBlur = blurred; } Dropdown D { items = a, b; } } Button B { } }");
  std::vector<std::wstring> blurred;
  screen.setAction(L"blurred", [&](Node& node) { blurred.emplace_back(node.name); });
  screen.setFocus(screen.findNode(L"I"));
  EXPECT_TRUE(screen.setVisible(L"B", false));
  EXPECT_EQ(screen.focusedName(), L"I");
  EXPECT_TRUE(screen.setVisible(L"P", false));
  EXPECT_EQ(screen.focusedName(), L"");
  EXPECT_EQ(blurred, std::vector<std::wstring>{L"I"});
  screen.setVisible(L"P", true);
  screen.layout();
  screen.openPopup(*screen.findNode(L"D"));
  EXPECT_EQ(screen.popupName(), L"D");
  screen.setVisible(L"D", false);
  EXPECT_EQ(screen.popupName(), L"");
}

TEST(Screen, ListRowsReplaceSelection) {
  Screen screen = screenOf(L"Root R { Dropdown D { selectedIndex = 1; } List L { items = a, b, c; selectedIndex = 2; } }");
  EXPECT_EQ(screen.state(L"D")->selectedRow, -1);
  ASSERT_TRUE(screen.setListItems(L"D", rowsOf({L"x", L"y"})));
  EXPECT_EQ(screen.state(L"D")->selectedRow, 1);  // the document's choice once rows exist
  screen.layout();
  screen.openPopup(*screen.findNode(L"D"));
  EXPECT_EQ(screen.popupName(), L"D");
  screen.setListItems(L"D", {});
  EXPECT_EQ(screen.state(L"D")->selectedRow, -1);
  EXPECT_EQ(screen.popupName(), L"");
  screen.setListItems(L"L", rowsOf({L"only"}));
  EXPECT_EQ(screen.state(L"L")->selectedRow, 0);
  EXPECT_EQ(screen.state(L"L")->highlightedRow, 0);
  EXPECT_FALSE(screen.setListItems(L"missing", {}));
}

TEST(Screen, TextLogKeepsCapacityAndFollowsOrKeepsItsTopRow) {
  Screen screen = screenOf(
      L"Root R { List Short { style = TextLog; capacity = 3; visibleLines = 2; }"
      L" List Log { style = textlog; visibleLines = 2; } }");
  screen.setListItems(L"Short", rowsOf({L"1", L"2", L"3", L"4", L"5"}));
  EXPECT_EQ(textsOf(*screen.state(L"Short")), (std::vector<std::wstring>{L"3", L"4", L"5"}));
  EXPECT_EQ(screen.state(L"Short")->firstVisibleRow, 1);

  NodeState& log = *screen.state(L"Log");
  screen.setListItems(L"Log", rowsOf({L"a", L"b", L"c", L"d"}));
  EXPECT_EQ(log.firstVisibleRow, 2);  // at the bottom
  screen.setListItems(L"Log", rowsOf({L"a", L"b", L"c", L"d", L"e"}));
  EXPECT_EQ(log.firstVisibleRow, 3);  // follows new lines
  log.firstVisibleRow = 1;            // the user scrolls up to "b"
  screen.setListItems(L"Log", rowsOf({L"z", L"a", L"b", L"c", L"d", L"e", L"f"}));
  EXPECT_EQ(log.firstVisibleRow, 2);  // "b" stays the top row
  EXPECT_EQ(log.selectedRow, -1);
  screen.setListItems(L"Log", rowsOf({L"x", L"y", L"z"}));
  EXPECT_EQ(log.firstVisibleRow, 1);  // "b" is gone: unchanged, clamped to the bottom
}

TEST(Screen, LoadMergesIncludesInOrder) {
  Testing::TempDir dir;
  Testing::writeFile(dir / "main.ghi", "Root R { includes = a.ghi, , b.ghi; Button OK { tabIndex = 1; } }");
  Testing::writeFile(dir / "a.ghi", "Window A { includes = c.ghi; Button OK { tabIndex = 1; x = 5; } }");
  Testing::writeFile(dir / "b.ghi", "Window B { Labl Q { } }");
  Testing::writeFile(dir / "c.ghi", "Window C { }");
  Screen screen;
  EXPECT_FALSE(screen.load(dir / "main.ghi"));  // b.ghi has an error but is merged
  const Document& document = screen.document();
  ASSERT_EQ(document.controls.size(), 3u);
  EXPECT_EQ(document.controls[1]->name, L"A");
  EXPECT_EQ(document.controls[2]->name, L"B");
  ASSERT_EQ(document.diagnostics.size(), 1u);
  EXPECT_EQ(document.diagnostics[0].message, L"Unknown control type 'Labl'.");
  EXPECT_EQ(screen.findNode(L"OK")->parent->name, L"R");  // first in pre-order
  EXPECT_EQ(screen.state(L"OK")->x, 5);                   // one shared state, the later wins

  Screen missing;
  EXPECT_FALSE(missing.load(dir / "nothing.ghi"));
  ASSERT_EQ(missing.document().diagnostics.size(), 1u);
  EXPECT_EQ(missing.document().diagnostics[0].message, L"Could not open GUI document.");
  EXPECT_TRUE(missing.document().controls.empty());
}

TEST(Screen, CanvasRenderersMustBeRegistered) {
  Screen screen = screenOf(L"Root R { Canvas C { renderer = water; } Panel P { renderer = glow; } }");
  Node& root = *screen.findNode(L"R");
  screen.setCanvasRenderer(L"water", [](const Node&, const PixelRect&, const CorvanthorneGuiTheme&, DrawList&) {});
  try {
    screen.checkCanvasRenderers(root);
    FAIL();
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "Missing GPU canvas renderer: glow");
  }
  screen.setCanvasRenderer(L"glow", CanvasRenderer{});
  EXPECT_THROW(screen.checkCanvasRenderers(root), std::logic_error);
  screen.setCanvasRenderer(L"glow", [](const Node&, const PixelRect&, const CorvanthorneGuiTheme&, DrawList&) {});
  EXPECT_NO_THROW(screen.checkCanvasRenderers(root));
}

}  // namespace
}  // namespace Corvanthorne::Gui
