#include <gtest/gtest.h>

#include "gui/script.h"

namespace Corvanthorne::Gui {
namespace {


TEST(Input, ScriptedEvents) {
  const ScriptCase cases[] = {
      // Tab order: tabIndex first, then layout order; it wraps, Shift+Tab from the first goes to the last.
      {L"Root R { Button A { width = 10; height = 10; } Button B { tabIndex = 2; } Input I { tabIndex = 1; } Text T { }"
       L" Button Off { tabStop = false; } }",
       L"tab ?focus tab ?focus tab ?focus tab ?focus stab ?focus", L"focus=I focus=B focus=A focus=I focus=A "},
      {L"Root R { Text T { } }", L"tab ?focus", L"focus= "},
      // A wander of 2 pixels still clicks, one of 4 drags; a checkbox writes back before its actions.
      {L"Root R { Button A { width = 50; height = 50; onClick = a; }"
       L" Checkbox C { y = 60; width = 20; height = 20; checked = $remember; onChange = changed; onClick = clicked; } }",
       L"d10,10 m12,10 u12,10 d10,10 m14,10 u14,10 c5,65 space",
       L"a:A set:true changed:C clicked:C set:false changed:C clicked:C "},
      // Control characters and characters beyond maxLength are dropped; Backspace on empty text still edits.
      {L"Root R { Input I { width = 50; height = 20; maxLength = 6; onChange = changed; } }",
       L"c5,5 \"ab_cd \"\x07 \"efgh ?text=I cbs ?text=I bs bs bs bs ?text=I",
       L"changed:I changed:I changed:I changed:I changed:I changed:I text=\"ab cde\" changed:I text=\"ab \" "
       L"changed:I changed:I changed:I changed:I text=\"\" "},
      // Escape: the popup, then an input's onCancel, then the modal window, then the topmost window.
      {L"Root R { Dropdown D { width = 50; height = 20; items = x, y; } Input I { y = 30; width = 50; height = 20; onCancel = cancel; }"
       L" Window W1 { onEscape = a; } Window W2 { onEscape = w2; } Window Hidden { visible = false; onEscape = a; }"
       L" Window M { modal = true; visible = false; onEscape = m; } }",
       L"open=D esc ?popup focus=I esc ?focus esc show=M esc", L"popup= cancel:I focus= w2:W2 m:M "},
      // Drop-down keys skip disabled rows and wrap; list keys do not wrap.
      {L"Root R { Dropdown D { width = 50; height = 20; items = r0, r1, r2, r3; selectedIndex = $choice; }"
       L" List L { y = 40; width = 50; height = 100; items = a, b, c; selectedIndex = 2; onChange = changed; } }",
       L"off=D:1 off=D:2 focus=D down ?sel=D down ?sel=D down ?sel=D up ?sel=D enter ?popup focus=L down up ?sel=L",
       L"set:0 sel=0 set:3 sel=3 set:0 sel=0 set:3 sel=3 popup=D changed:L sel=1 "},
      // Rows of 30 pixels start below the drop-down and a 3-pixel border; a press outside closes.
      {L"Root R { Dropdown D { width = 100; height = 30; items = a, b, c; selectedIndex = $choice; onChange = changed; } }",
       L"c10,10 ?popup m10,99 ?hl=D ?hover c10,99 ?popup ?sel=D c10,10 c600,600 ?popup ?sel=D",
       L"popup=D hl=2 hover=D set:2 changed:D popup= sel=2 popup= sel=2 "},
      // The wheel over a scroll bar scrolls its list; the thumb (track 28..92, thumb 18) and the arrows too.
      {L"Root R { List S { x = 200; y = 10; width = 200; height = 100; rowHeight = 20;"
       L" items = 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20; }"
       L" ScrollBar SB { x = 400; y = 10; width = 16; height = 100; targetList = S; }"
       L" Slider V { y = 200; width = 100; height = 20; max = 10; value = $vol; onChange = changed; } }",
       L"w408,50,-120 ?first=S w250,50,-360 ?first=S w250,50,1200 ?first=S d408,30 m408,76 u408,76 ?first=S"
       L" c408,12 ?first=S d20,205 m50,205 ?value=V",
       L"first=1 first=4 first=0 first=16 first=15 set:5.000000 changed:V value=5.000000 "},
      // Drag and drop within one group; let go outside, or over itself (neither drop nor click).
      {L"Root R { Button S1 { width = 40; height = 40; dragGroup = inv; onDrop = swap; onDropOutside = dropped; onClick = a; }"
       L" Button S2 { x = 100; width = 40; height = 40; dragGroup = inv; } }",
       L"d10,10 m110,10 ?drag ?target modifier u110,10 d10,10 m10,300 u10,300 d10,10 m30,30 ?target u30,30",
       L"drag=1 target=S2 S1>S2:1 dropped:S1 target=S1 "},
      // The tooltip shows 0.35 seconds after the pointer rests and hides on a press; the caret
      // blinks every 500 ms (two periods at once: no visible change).
      {L"Root R { Button Tip { x = 10; y = 200; width = 100; height = 30; tooltip = Help; } Input I { width = 50; height = 20; } }",
       L"m20,210 tick=1000 tick=1300 ?tip tick=1360 ?tip d20,210 ?tip focus=I tick=1000 ?caret tick=1499 ?caret"
       L" tick=1500 ?caret tick=2000 ?caret tick=3000 ?caret tick=3500 focus= tick=9000 ?caret",
       L"tip= redraw tip=Tip tip= caret=1 caret=1 redraw caret=0 redraw caret=1 caret=1 redraw caret=1 "},
  };
  expectLogs(cases);
}

// Setters and actions that replace the document (or re-register their own name) while they
// run: nothing may touch the old document afterwards (AddressSanitizer watches natively).
TEST(Input, CallbacksMayReplaceTheDocument) {
  const wchar_t* document =
      L"Root R { Checkbox C { width = 20; height = 20; checked = $v; onChange = swap; onClick = swap; }"
      L" Dropdown D { y = 30; width = 50; height = 20; items = a, b; selectedIndex = $v; onChange = swap; }"
      L" Input I { y = 60; width = 50; height = 20; text = $v; onChange = swap; onBlur = swap; }"
      L" Slider S { y = 90; width = 50; height = 20; value = $v; onChange = swap; }"
      L" List L { y = 120; width = 50; height = 100; items = a, b; onChange = swap; onClick = swap; } }";
  for (const wchar_t* script : {L"c5,5", L"focus=D down", L"focus=I \"x", L"focus=I hide=I", L"focus=I c5,125", L"d5,95 m30,95"}) {
    for (const bool bySetter : {false, true}) {
      Script h(document);
      const std::wstring padding(200, L'x');  // kept on the heap, where a freed copy would show
      const auto replace = [&h] { h.screen.setDocument(parseDocument(L"Root New { }", L"new")); };
      h.screen.bindValue(L"v", [] { return std::wstring(L"0"); }, [=](std::wstring_view) { bySetter ? replace() : void(); });
      h.screen.setAction(L"swap", [&h, replace, padding](Node&) {
        h.screen.setAction(L"swap", [](Node&) {});
        replace();
        EXPECT_EQ(padding.size(), 200u);  // this handler's own captures are still alive
      });
      h.run(script);
      EXPECT_NE(h.screen.findNode(L"New"), nullptr) << script << bySetter;
    }
  }
}

}  // namespace
}  // namespace Corvanthorne::Gui
