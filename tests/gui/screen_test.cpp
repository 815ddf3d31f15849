#include "gui/screen.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "gui/script.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Gui {
namespace {

TEST(Screen, ScriptedStates) {
  const ScriptCase cases[] = {
      // States from properties: numbers read leniently, negative z-orders as 0, rows and
      // selections clamped; the design size from the first Root, or from "Application".
      {L"Root R { width = 800; height = 600; Panel P { x = 10; width = 12px; zOrder = -4; } Panel Z { zOrder = 9.9; }"
       L" List L { items = a|b,c; selectedIndex = 7; } Dropdown D { items = Low, , High; selectedIndex = 0.6; } }",
       L"?design ?width=P ?z=P ?z=Z ?rows=L ?sel=L ?rows=D ?hl=D",
       L"design=800,600 width=12.000000 z=0 z=9 rows=a|b,c sel=1 rows=Low|High hl=1 "},
      {L"Root R { width = 800; } Panel Application { width = 1024; }", L"?design", L"design=1024,720 "},
      // Visibility: hidden wins over visible, the runtime override over both; unbound text is empty.
      {L"Root R { Text T { text = $name; visible = true; hidden = yes; } Text U { visible = yes; } }",
       L"?visible=T ?visible=U show=T ?visible=T ?text=T", L"visible=0 visible=1 visible=1 text=\"\" "},
      // Hiding a control clears the focus (with onBlur) and closes the popup inside it.
      {L"Root R { Panel P { Input I { onBlur = blurred; } Dropdown D { items = a, b; } } Button B { } }",
       L"focus=I hide=B ?focus hide=P ?focus show=P layout open=D hide=D ?popup", L"focus=I blurred:I focus= popup= "},
      // New rows take the document's selection once there are rows; no rows close the popup.
      {L"Root R { Dropdown D { selectedIndex = 1; } List L { items = a, b, c; selectedIndex = 2; } }",
       L"rows=D:x,y ?sel=D layout open=D rows=D: ?sel=D ?popup rows=L:only ?hl=L", L"sel=1 sel=-1 popup= hl=0 "},
      // A log keeps its capacity and follows new lines, or keeps the top row the user scrolled to.
      {L"Root R { List Short { style = TextLog; capacity = 3; visibleLines = 2; } List Log { style = textlog; visibleLines = 2; } }",
       L"rows=Short:1,2,3,4,5 ?rows=Short ?first=Short rows=Log:a,b,c,d,e ?first=Log first=Log:1 rows=Log:z,a,b,c,d,e,f"
       L" ?first=Log ?sel=Log rows=Log:x,y,z ?first=Log",
       L"rows=3|4|5 first=1 first=3 first=2 sel=-1 first=1 "},
  };
  expectLogs(cases);
}

TEST(Screen, NumbersReadTheLeadingNumberOnEveryRead) {
  Script script(L"Root R { Text T { width = $pos; } }");
  const Node& text = *script.screen.findNode(L"T");
  // Beyond the range of a double, tiny numbers read as zero and huge ones as infinity.
  for (const auto& [bound, read] : {std::pair<const wchar_t*, double>{L"40 wide", 40}, {L"none", 1}, {L"-1.5e-400", 0},
                                    {L"0.002e-99999999999999999999", 0}, {L"-12e400", -std::numeric_limits<double>::infinity()}}) {
    script.values[L"pos"] = bound;
    EXPECT_EQ(script.screen.number(text, L"width", 1), read) << bound;
  }
}

TEST(Screen, ReadOnlyBindingKeepsEarlierSetterAndActionsMarkLayout) {
  Script script(L"Root R { Input I { text = $user; onChange = changed; onClick = unknown; } }");
  Screen& screen = script.screen;
  std::vector<std::wstring> written;
  screen.bindValue(L"user", [] { return std::wstring(L"ann"); }, [&](std::wstring_view v) { written.emplace_back(v); });
  screen.bindValue(L"user", [] { return std::wstring(L"bob"); });
  Node& input = *screen.findNode(L"I");
  screen.writeBack(input, L"text", L"carl");
  screen.writeBack(input, L"onChange", L"ignored");  // not a binding
  EXPECT_EQ(written, std::vector<std::wstring>{L"carl"});
  EXPECT_EQ(screen.text(L"I"), L"bob");
  int fired = 0;
  screen.setAction(L"changed", [&](Node&) { ++fired; });
  screen.layout();
  screen.invokeAction(input, L"onClick");
  EXPECT_FALSE(screen.layoutNeeded());  // an unknown action does nothing
  screen.invokeAction(input, L"onChange");
  EXPECT_EQ(fired, 1);
  EXPECT_TRUE(screen.layoutNeeded() && screen.redrawNeeded());
  screen.setAction(L"changed", ActionHandler{});
  EXPECT_THROW(screen.invokeAction(input, L"onChange"), std::bad_function_call);
}

TEST(Screen, LoadMergesIncludesInOrder) {
  Testing::TempDir dir;
  Testing::writeFile(dir / "main.ghi", "Root R { includes = a.ghi, , b.ghi; Button OK { tabIndex = 1; } }");
  Testing::writeFile(dir / "a.ghi", "Window A { includes = c.ghi; Button OK { tabIndex = 1; x = 5; } }");
  Testing::writeFile(dir / "b.ghi", "Window B { Labl Q { } }");
  Testing::writeFile(dir / "c.ghi", "Window C { }");
  Screen screen;
  EXPECT_FALSE(screen.load(dir / "main.ghi"));  // b.ghi has an error but is merged
  std::wstring names;
  for (const Node* control : screen.document().controls) names += control->name;
  EXPECT_EQ(names, L"RAB");
  ASSERT_EQ(screen.document().diagnostics.size(), 1u);
  EXPECT_EQ(screen.document().diagnostics[0].message, L"Unknown control type 'Labl'.");
  EXPECT_EQ(screen.findNode(L"OK")->parent->name, L"R");  // first in pre-order
  EXPECT_EQ(screen.state(L"OK")->x, 5);                   // one shared state, the later wins
  Screen missing;
  EXPECT_FALSE(missing.load(dir / "nothing.ghi"));
  EXPECT_EQ(missing.document().diagnostics.at(0).message, L"Could not open GUI document.");
}

}  // namespace
}  // namespace Corvanthorne::Gui
