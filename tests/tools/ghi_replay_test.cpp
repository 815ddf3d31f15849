#include "tools/cvtool/ghi_replay.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

#include "gui/screen.h"
#include "support/temp_dir.h"
#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Tools {
namespace {

// A login form at 400 x 300 design units, replayed at that size: one pixel per unit.
constexpr const wchar_t* form = LR"(Root Form { width = 400; height = 300;
  Input User { width = 100; height = 20; text = $login.user; maxLength = 4; onChange = edited; tabIndex = 1; onFocus = hello; }
  Input Password { y = 30; width = 100; height = 20; onSubmit = login; onCancel = cancel; tabIndex = 2; onBlur = bye; }
  Checkbox Remember { y = 60; width = 20; height = 20; checked = $remember; onChange = changed; onClick = clicked; }
  Dropdown Quality { y = 90; width = 100; height = 20; items = Low, Medium, High; selectedIndex = $quality; onChange = changed; }
  Button Go { x = 150; width = 50; height = 50; onClick = go; }
  Button Sword { x = 210; width = 50; height = 50; dragGroup = bag; onDrop = stow; onDropOutside = drop; }
  Button Slot { x = 270; width = 50; height = 50; dragGroup = bag; }
  List Log { x = 150; y = 60; width = 100; height = 100; rowHeight = 20; items = a, b, c, d, e, f; onChange = picked; }
  Window W1 { x = 330; width = 30; height = 30; onEscape = w1; } Window W2 { x = 365; width = 30; height = 30; onEscape = w2; } })";
constexpr const wchar_t* dialog = LR"(Root R { width = 400; height = 300; Button Behind { width = 50; height = 20; }
  Window Dialog { x = 100; y = 100; width = 200; height = 100; modal = true; visible = $dialog; onEscape = closeDialog;
    Button Ok { width = 50; height = 20; } Input Note { y = 30; width = 100; height = 20; } } })";

struct Case {
  const wchar_t* document;
  const char* script;
  const char* output;
  const char* error;  // what stops the script, or "" when it runs to its end
};

const Case cases[] = {
    // Tab order: tabIndex first, then layout order; Shift+Tab wraps; blur before focus.
    {form, "# walk the form\n\nkey tab\nkey tab\nkey tab\nkey tab shift\nkey tab shift\nkey tab shift ctrl\n",
     "action hello User\nfocus User\nfocus Password\naction bye Password\nfocus Remember\nfocus Password\n"
     "action bye Password\naction hello User\nfocus User\nfocus Log\n", ""},
    // Typing stops at maxLength; every edit, Backspace too, is written back through the binding.
    {form, "bind login.user Jo\nkey tab\ntype a\xC3\xA9 c\r\nkey backspace\ndump User\n",
     "action hello User\nfocus User\nset login.user Joa\naction edited User\nset login.user Joa\xC3\xA9\n"
     "action edited User\nset login.user Joa\naction edited User\nUser rect=0,0,100,20 text=Joa checked=0 selected=-1\n", ""},
    // Enter submits and Escape cancels an input; both drop its focus.
    {form, "down 5 35\nkey enter\ndown 5 35\nkey escape\n",
     "focus Password\naction login Password\naction bye Password\nfocus -\nfocus Password\naction cancel Password\n"
     "action bye Password\nfocus -\n", ""},
    // Escape closes the popup first, then reaches the topmost window, which a press raises.
    {form, "down 5 95\nup 5 95\nkey escape\nkey escape\ndown 340 10\nkey escape\n",
     "focus Quality\npopup Quality\npopup -\naction w2 W2\naction w1 W1\n", ""},
    // A drop-down by keys (Up wraps) and by the mouse (row 1 of the popup below it).
    {form, "down 5 95\nup 5 95\nkey down\nkey enter\nkey up\nkey up\nkey space\nmove 50 140\ndown 50 140\ndump Quality\n",
     "focus Quality\npopup Quality\nset quality 1\naction changed Quality\npopup -\nset quality 0\naction changed Quality\n"
     "set quality 2\naction changed Quality\npopup Quality\nset quality 1\naction changed Quality\npopup -\n"
     "Quality rect=0,90,100,110 text= checked=0 selected=1\n", ""},
    {form, "bind remember true\ndump Remember\ndown 5 65\nup 5 65\nkey space\n",
     "Remember rect=0,60,20,80 text= checked=1 selected=-1\nfocus Remember\nset remember false\naction changed Remember\n"
     "action clicked Remember\nset remember true\naction changed Remember\naction clicked Remember\n", ""},
    // 2 pixels still click, 4 drag; a dragged control drops on its group or outside.
    {form, "down 160 10\nmove 162 10\nup 162 10\ndown 160 10\nmove 164 10\nup 164 10\ndown 220 10\nmove 280 10\n"
           "up 280 10\ndown 220 10\nmove 220 250\nup 220 250\n",
     "focus Go\naction go Go\nfocus Sword\naction stow Sword\naction drop Sword\n", ""},
    {form, "wheel 160 70 -240\ndown 160 70\ndump Log\ntick 600\n",
     "action picked Log\nfocus Log\nLog rect=150,60,250,160 text= checked=0 selected=2\n", ""},
    // A modal window takes the focus when it shows and keeps Tab and Escape to itself.
    {dialog, "bind dialog false\nkey tab\nbind dialog true\nkey tab\nkey tab\ndown 5 5\nkey escape\nbind dialog false\nkey tab\n",
     "focus Behind\nfocus Note\nfocus Ok\naction closeDialog Dialog\nfocus Behind\n", ""},
    {L"Root R { Labl L { } }", "key tab\n", "case.ghi:1:10: error: Unknown control type 'Labl'.\n", ""},
    {form, "key tab\njump 1 2\nkey tab\n", "action hello User\nfocus User\n",
     "line 2: unknown event 'jump' (move, down, up, wheel, key, type, tick, bind or dump)"},
    {form, "move 10\n", "", "line 1: expected 'move X Y' with whole numbers"},
    {form, "move 1 2 3\n", "", "line 1: expected 'move X Y' and nothing after it"},
    {form, "key tab alt\n", "", "line 1: expected 'key NAME [shift] [ctrl]'"},
    {form, "key f13\n", "", "line 1: unknown key 'f13' (tab, enter, escape, space, backspace, left, up, right, down, or a virtual-key code from 1 to 254)"},
    {form, "tick -1\n", "", "line 1: expected 'tick MS' with a whole number of milliseconds, 0 or more"},
    {form, "type \xFF\n", "", "line 1: the line is not valid UTF-8"},
    {form, "dump Nobody\n", "", "line 1: no control named 'Nobody'"},
};

TEST(GhiReplay, ScriptsDriveDocumentsAndStopAtTheFirstBadLine) {
  for (const Case& c : cases) {
    Gui::Screen screen;
    screen.setDocument(Gui::parseDocument(c.document, L"case.ghi"));
    std::istringstream script(c.script);
    std::ostringstream out;
    std::string error;
    int code = 1;
    try {
      code = replayScript(screen, std::nullopt, script, out);
    } catch (const std::exception& failure) {
      error = failure.what();
    }
    EXPECT_EQ(out.str(), c.output) << c.script;
    EXPECT_EQ(error, c.error) << c.script;
    EXPECT_EQ(code, *c.error || screen.document().hasErrors() ? 1 : 0) << c.script;
  }
}

// The whole command: a file with an include, a client size, the script on standard input.
TEST(GhiReplay, CommandReadsTheScriptFromStandardInput) {
  const Testing::TempDir dir;
  Testing::writeFile(dir / "main.ghi", "Root Main { width = 400; height = 300; includes = ok.ghi; }");
  Testing::writeFile(dir / "ok.ghi", "Root Extra { Button Ok { x = 10; y = 20; width = 50; height = 20; onClick = ok; } }");
  const auto replay = [&](std::vector<std::string> arguments, const char* script) {
    std::istringstream in(script);
    std::streambuf* const standardInput = std::cin.rdbuf(in.rdbuf());
    std::ostringstream out, err;
    arguments.insert(arguments.begin(), {"ghi", "replay", (dir / "main.ghi").string()});
    const int code = runCvtool(arguments, out, err);
    std::cin.rdbuf(standardInput);
    return std::to_string(code) + "|" + out.str() + "|" + err.str();
  };
  EXPECT_EQ(replay({"--size", "800x600"}, "key tab\nkey enter\ndump Ok\nbogus\n"),
            "1|focus Ok\naction ok Ok\nOk rect=20,40,120,80 text= checked=0 selected=-1\n|"
            "line 4: unknown event 'bogus' (move, down, up, wheel, key, type, tick, bind or dump)\n");
  EXPECT_EQ(replay({"--size", "800"}, ""), "1||--size expects WxH in pixels from 1 to 32768, for example 1280x720, not '800'\n");
  EXPECT_EQ(replay({"extra.ghi"}, ""), "1||usage: cvtool ghi replay FILE [--size WxH] < SCRIPT\n");
}

}  // namespace
}  // namespace Corvanthorne::Tools
