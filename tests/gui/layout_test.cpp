#include <gtest/gtest.h>

#include "gui/script.h"

namespace Corvanthorne::Gui {
namespace {

TEST(Layout, ScriptedLayouts) {
  const ScriptCase cases[] = {
      // Scale 1.5 without offsets; scale 1 with a vertical letterbox of 152. A Root fills its parent.
      {L"Root R { Panel P { x = 10; y = 20; width = 100; height = 50; }"
       L" Panel Q { x = 10; width = 100; height = 100; Root Inner { x = 5; width = 10; } } }",
       L"size=1920x1080 layout ?rect=P ?rect=Inner size=1280x1024 layout ?offset ?rect=P",
       L"rect=15,30,165,105 rect=15,0,165,150 offset=0,152 rect=10,172,110,222 "},
      // Anchors, centring keywords (after anchors, keeping a drag offset), a bound position read
      // once per layout, and sizes beyond 32 bits that saturate.
      {L"Root R { Panel P { width = 400; height = 300; Panel Right { x = 20; width = 100; height = 10; anchor = right; }"
       L" Panel Both { width = 100; height = 50; anchor = center; } Panel OnlyX { y = 7; width = 100; height = 50; anchor = centerx; }"
       L" Panel Low { y = 10; width = 10; height = 50; anchor = centery bottom; }"
       L" Panel Corner { x = 5; y = 5; width = 10; height = 10; anchor = Right Bottom; } }"
       L" Window W { x = center; y = Centre; width = 200; height = 100; movable = true; playerMovable = true; }"
       L" Panel Bound { x = $pos; width = 200; height = 10; } Panel Huge { x = -1e11; y = 1e400; width = 3e11; height = 1e11; } }",
       L"?rect=Right ?rect=Both ?rect=OnlyX ?rect=Low ?rect=Corner ?rect=W ?rect=Huge let=pos:center d600,350 m630,350"
       L" u630,350 layout ?rect=W ?rect=Bound let=pos:12 layout ?rect=Bound ?getters",
       L"rect=280,0,380,10 rect=150,125,250,175 rect=150,7,250,57 rect=0,365,10,415 rect=385,285,395,295"
       L" rect=540,310,740,410 rect=-1000000000,1000000000,1000000000,1000000000 rect=570,310,770,410"
       L" rect=540,0,740,10 rect=12,0,212,10 getters=6 "},
      // Layers draw above everything, system dialogs above layers; pressing a window raises it;
      // clipping limits hits.
      {L"Root R { Panel Dialog { systemDialog = true; Panel Inner { } }"
       L" Window A { width = 100; height = 100; Panel Deep { Panel High { layer = 5; } } } Window B { x = 50; y = 50; width = 100; height = 100; }"
       L" Panel C { x = 300; y = 10; width = 50; height = 50; clip = true; Button Clipped { width = 100; height = 20; } } }",
       L"?order ?layer=Inner ?hit=60,60 c10,10 layout ?hit=60,60 ?order ?clip=Clipped ?hiti=310,20 ?hiti=380,20",
       L"order=R,A,Deep,B,C,Clipped,High,Dialog,Inner layer=2147483647 hit=B hit=A order=R,B,C,Clipped,A,Deep,High,Dialog,Inner"
       L" clip=300,10,350,60 hiti=Clipped hiti= "},
      // A popup without room below opens above; one beyond the right edge shifts left; the
      // tooltip is clamped to the left edge.
      {L"Root R { Dropdown Low { x = 10; y = 680; width = 100; height = 30; items = a, b, c; }"
       L" Dropdown Edge { x = 1250; y = 10; width = 100; height = 30; items = a, b; popupRows = 1; }"
       L" Button Tip { y = 100; width = 50; height = 30; tooltip = \"Help text\"; } }",
       L"?pop=Low ?pop=Edge m5,110 ?tiprect=Tip", L"pop=10,583,110,679,3,3,30 pop=1180,41,1280,77,1,3,30 tiprect=0,56,86,92 "},
      // A modal window takes focus, closes popups outside it and captures input.
      {L"Root R { Button A { width = 50; height = 50; onClick = a; } Dropdown D { y = 60; width = 50; height = 20; items = x, y; }"
       L" Window M { modal = true; visible = false; x = 100; y = 100; width = 200; height = 200;"
       L" Text Label { } Button First { x = 10; y = 10; width = 50; height = 20; } } }",
       L"open=D show=M layout ?modal ?popup ?focus c10,10 ?focus hide=M layout ?focus",
       L"modal=M popup= focus=First focus=First focus= "},
  };
  expectLogs(cases);
}

}  // namespace
}  // namespace Corvanthorne::Gui
