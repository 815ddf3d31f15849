#pragma once
// Drives a Screen from a script of words and logs what happened, so that GUI tests are tables
// of (document, script, log). The screen starts at its design size (1280 x 720: one pixel per
// design unit).
//   dX,Y mX,Y uX,Y cX,Y  mouse down, move, up, click     wX,Y,DELTA  mouse wheel
//   tab stab esc enter space up down bs cbs  keys (stab: Shift+Tab, cbs: Control+Backspace)
//   "TEXT  types TEXT (_ is a space)   modifier  sets the drop modifier   layout
//   focus=N show=N hide=N open=N tick=MS size=WxH let=NAME:VALUE off=N:ROW rows=N:a,b first=N:ROW
//   ?WHAT or ?WHAT=N logs "WHAT=value" (see query)
// Actions log "action:control", setters "set:value", drops "dragged>target:modifier", ticks
// that ask for a repaint "redraw". Bound values (let) read "0" until set.
#include <gtest/gtest.h>

#include <cwctype>
#include <map>
#include <span>
#include <sstream>
#include <string>

#include "gui/screen.h"
#include "gui/values.h"

namespace Corvanthorne::Gui {


class Script {
 public:
  explicit Script(std::wstring_view document) {
    screen.setDocument(parseDocument(document, L"script.ghi"));
    for (const wchar_t* action : {L"a", L"changed", L"clicked", L"cancel", L"m", L"w2", L"dropped", L"blurred"})
      screen.setAction(action, [this, action](Node& node) { log += std::wstring(action) + L":" + std::wstring(node.name) + L" "; });
    for (const wchar_t* value : {L"remember", L"choice", L"vol", L"pos"})
      screen.bindValue(value, [this, value] { return values.contains(value) ? values[value] : L"0"; },
                       [this](std::wstring_view v) { log += L"set:" + std::wstring(v) + L" "; });
    screen.setDropHandler(L"swap", [this](Node& dragged, Node& target, uint8_t modifier) {
      log += std::wstring(dragged.name) + L">" + std::wstring(target.name) + L":" + std::to_wstring(modifier) + L" ";
    });
    screen.layout();
  }

  std::wstring run(std::wstring_view script) {
    std::wistringstream words{std::wstring(script)};
    for (std::wstring word; words >> word;) step(word);
    return log;
  }

  Screen screen;
  std::wstring log;
  std::map<std::wstring, std::wstring> values;

 private:
  static std::vector<int32_t> numbers(std::wstring_view text) {
    std::vector<int32_t> n;
    std::wistringstream in{std::wstring(text)};
    for (int32_t value; in >> value; in.ignore(1)) n.push_back(value);
    return n;
  }
  static std::wstring joined(std::initializer_list<int64_t> n) {
    std::wstring text;
    for (const int64_t value : n) text += (text.empty() ? L"" : L",") + std::to_wstring(value);
    return text;
  }

  void step(const std::wstring& word) {
    static const std::tuple<const wchar_t*, int32_t, bool, bool> keys[] = {
        {L"tab", 9, false, false}, {L"stab", 9, true, false}, {L"esc", 27, false, false}, {L"enter", 13, false, false},
        {L"space", 32, false, false}, {L"up", 38, false, false}, {L"down", 40, false, false}, {L"bs", 8, false, false},
        {L"cbs", 8, false, true}};
    for (const auto& [key, code, shift, control] : keys)
      if (word == key) return void(screen.keyDown(code, shift, control));
    if (std::iswdigit(word[1]) && std::wstring_view(L"dmucw").find(word[0]) != std::wstring_view::npos)
      return mouse(word[0], numbers(word.substr(1)));
    const size_t equals = word.find(L'=');
    const std::wstring verb = word.substr(0, equals);
    const std::wstring name = equals == std::wstring::npos ? L"" : word.substr(equals + 1);
    const std::wstring control = name.substr(0, name.find(L':'));
    const std::wstring argument = name.find(L':') == std::wstring::npos ? L"" : name.substr(name.find(L':') + 1);
    if (verb[0] == L'?') log += verb.substr(1) + L"=" + query(verb.substr(1), name) + L" ";
    if (verb[0] == L'"')
      for (const wchar_t c : word.substr(1)) screen.character(c == L'_' ? L' ' : c);
    if (verb == L"focus") screen.setFocus(screen.findNode(name));
    if (verb == L"show" || verb == L"hide") screen.setVisible(name, verb == L"show");
    if (verb == L"open") screen.openPopup(*screen.findNode(name));
    if (verb == L"modifier") screen.setDropModifier(1);
    if (verb == L"layout") screen.layout();
    if (verb == L"size") screen.setClientSize(numbers(name)[0], numbers(name.substr(name.find(L'x') + 1))[0]);
    if (verb == L"let") values[control] = argument;
    if (verb == L"tick" && screen.tick(std::stoll(name) * 1'000'000)) log += L"redraw ";
    if (verb == L"first") screen.state(control)->firstVisibleRow = std::stoi(argument);
    if (verb == L"off" || verb == L"rows") {
      std::vector<ListItem> rows = screen.state(control)->rows;
      if (verb == L"off") rows.at(std::stoul(argument)).enabled = false;
      if (verb == L"rows") rows.clear();
      for (std::wstring& text : verb == L"rows" ? splitTrimmed(argument, L',') : std::vector<std::wstring>{}) {
        rows.emplace_back();
        rows.back().value = rows.back().text = text;
      }
      screen.setListItems(control, rows);
    }
  }

  void mouse(wchar_t op, const std::vector<int32_t>& n) {
    if (op == L'd' || op == L'c') screen.mouseDown(n[0], n[1]);
    if (op == L'm') screen.mouseMove(n[0], n[1]);
    if (op == L'u' || op == L'c') screen.mouseUp(n[0], n[1]);
    if (op == L'w') screen.mouseWheel(n[0], n[1], n[2]);
  }

  std::wstring rect(const PixelRect& r) { return joined({r.left, r.top, r.right, r.bottom}); }

  // focus popup hover target drag caret tip modal order offset getters design   (screen)
  // sel=N hl=N first=N value=N visible=N text=N rows=N z=N width=N rect=N clip=N layer=N  (control N)
  // pop=N (rectangle,rows,border,row height) tiprect=N hit=X,Y hiti=X,Y (interactive only)
  std::wstring query(std::wstring_view what, const std::wstring& name) {
    const NodeState* state = screen.state(name);
    const Node* node = screen.findNode(name);
    const LayoutEntry* entry = screen.entryFor(node);
    const auto nameOf = [](const Node* found) { return found ? std::wstring(found->name) : std::wstring(); };
    if (what == L"focus") return screen.focusedName();
    if (what == L"popup") return screen.popupName();
    if (what == L"hover") return screen.hoverName();
    if (what == L"target") return screen.dropTargetName();
    if (what == L"drag") return std::to_wstring(screen.isDragging());
    if (what == L"caret") return std::to_wstring(screen.caretVisible());
    if (what == L"tip") return nameOf(screen.tooltipNode());
    if (what == L"modal") return nameOf(screen.findModal());
    if (what == L"offset") return joined({screen.offsetX(), screen.offsetY()});
    if (what == L"getters") return std::to_wstring(screen.getterCalls());
    if (what == L"design") return joined({roundToInt(screen.designWidth()), roundToInt(screen.designHeight())});
    if (what == L"order") {
      std::wstring names;
      for (const LayoutEntry& placed : screen.entries()) names += (names.empty() ? L"" : L",") + std::wstring(placed.node->name);
      return names;
    }
    if (what == L"hit" || what == L"hiti") {
      const std::vector<int32_t> at = numbers(name);
      return nameOf(screen.hitTest(at[0], at[1], what == L"hiti", false));
    }
    if (what == L"sel") return std::to_wstring(state->selectedRow);
    if (what == L"hl") return std::to_wstring(state->highlightedRow);
    if (what == L"first") return std::to_wstring(state->firstVisibleRow);
    if (what == L"z") return std::to_wstring(state->workingZOrder);
    if (what == L"width") return formatFixed(state->width);
    if (what == L"value") return formatFixed(screen.effectiveValue(*node));
    if (what == L"visible") return std::to_wstring(screen.isVisible(*node));
    if (what == L"text") return L"\"" + screen.text(name) + L"\"";
    if (what == L"rect") return rect(entry->rect);
    if (what == L"clip") return rect(entry->clip);
    if (what == L"layer") return std::to_wstring(entry->layer);
    if (what == L"tiprect") return rect(screen.tooltipRect(*node));
    if (what == L"pop") {
      const PopupGeometry popup = screen.popupGeometry(*node);
      return rect(popup.rect) + L"," + joined({popup.visibleRows, popup.border, popup.rowHeight});
    }
    std::wstring rows;  // rows=N
    for (const ListItem& row : state->rows) rows += (rows.empty() ? L"" : L"|") + row.text;
    return rows;
  }
};

// One row of a table of scripted cases: the log a script leaves on a document.
struct ScriptCase {
  const wchar_t* document;
  const wchar_t* script;
  const wchar_t* log;
};

inline void expectLogs(std::span<const ScriptCase> cases) {
  for (const ScriptCase& c : cases) EXPECT_EQ(Script(c.document).run(c.script), c.log) << c.script;
}

}  // namespace Corvanthorne::Gui
