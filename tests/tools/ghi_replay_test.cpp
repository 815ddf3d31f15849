#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <sstream>

#include "support/cvtool_outcome.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Tools {
namespace {

// A login form at 400 x 300 design units, replayed at that size: one pixel per unit.
constexpr const char* form = R"(Root Form { width = 400; height = 300;
  Input User { width = 100; height = 20; text = $login.user; maxLength = 4; onChange = edited; tabIndex = 1; onFocus = hello; }
  Input Password { y = 30; width = 100; height = 20; onSubmit = login; onCancel = cancel; tabIndex = 2; onBlur = bye; }
  Checkbox Remember { y = 60; width = 20; height = 20; checked = $remember; onChange = changed; onClick = clicked; }
  Dropdown Quality { y = 90; width = 100; height = 20; items = Low, Medium, High; selectedIndex = $quality; onChange = changed; }
  Button Go { x = 150; width = 50; height = 50; onClick = go; }
  Button Sword { x = 210; width = 50; height = 50; dragGroup = bag; onDrop = stow; onDropOutside = drop; }
  Button Slot { x = 270; width = 50; height = 50; dragGroup = bag; }
  List Log { x = 150; y = 60; width = 100; height = 100; rowHeight = 20; items = a, b, c, d, e, f; onChange = picked; } })";

struct Case {
  const char* document;
  const char* script;
  const char* expected;  // exit code | standard output | standard error
  const char* size = "";
};

const Case cases[] = {
    // Tab order: tabIndex first, then layout order; Shift+Tab wraps; blur before focus.
    {form, "# walk the form\n\nkey tab\nkey tab\nkey tab\nkey tab shift\nkey tab shift\nkey tab shift ctrl\n",
     "0|action hello User\nfocus User\nfocus Password\naction bye Password\nfocus Remember\nfocus Password\n"
     "action bye Password\naction hello User\nfocus User\nfocus Log\n|"},
    // Typing stops at maxLength; every edit, Backspace too, is written back through the binding.
    {form, "bind login.user Jo\nkey tab\ntype a\xC3\xA9 c\r\nkey backspace\ndump User\n",
     "0|action hello User\nfocus User\nset login.user Joa\naction edited User\nset login.user Joa\xC3\xA9\n"
     "action edited User\nset login.user Joa\naction edited User\nUser rect=0,0,100,20 text=Joa checked=0 selected=-1\n|"},
    // Enter submits and Escape cancels an input; both drop its focus.
    {form, "down 5 35\nkey enter\ndown 5 35\nkey escape\n",
     "0|focus Password\naction login Password\naction bye Password\nfocus -\nfocus Password\naction cancel Password\n"
     "action bye Password\nfocus -\n|"},
    // A drop-down by keys (Up wraps) and by the mouse (row 1 of the popup below it).
    {form, "down 5 95\nup 5 95\nkey down\nkey enter\nkey up\nkey up\nkey space\nmove 50 140\ndown 50 140\ndump Quality\n",
     "0|focus Quality\npopup Quality\nset quality 1\naction changed Quality\npopup -\nset quality 0\naction changed Quality\n"
     "set quality 2\naction changed Quality\npopup Quality\nset quality 1\naction changed Quality\npopup -\n"
     "Quality rect=0,90,100,110 text= checked=0 selected=1\n|"},
    // 2 pixels still click, 4 drag; a dragged control drops on its group or outside. The wheel scrolls a list.
    {form, "down 160 10\nmove 162 10\nup 162 10\ndown 160 10\nmove 164 10\nup 164 10\ndown 220 10\nmove 280 10\n"
           "up 280 10\ndown 220 10\nmove 220 250\nup 220 250\nwheel 160 70 -240\ndown 160 70\ndump Log\ntick 600\n",
     "0|focus Go\naction go Go\nfocus Sword\naction stow Sword\naction drop Sword\naction picked Log\nfocus Log\n"
     "Log rect=150,60,250,160 text= checked=0 selected=2\n|"},
    // Includes are followed; --size scales the design to the client.
    {"Root Main { width = 400; height = 300; includes = ok.ghi; }", "key tab\nkey enter\ndump Ok\n",
     "0|focus Ok\naction ok Ok\nOk rect=20,40,120,80 text= checked=0 selected=-1\n|", "800x600"},
    {"Root R { Labl L { } }", "key tab\n", "1|main.ghi:1:10: error: Unknown control type 'Labl'.\n|"},
    {form, "key tab\njump 1 2\nkey tab\n",
     "1|action hello User\nfocus User\n|line 2: unknown event 'jump' (move, down, up, wheel, key, type, tick, bind, dump, show or hide)\n"},
    {form, "", "1||--size expects WxH in pixels from 1 to 32768, for example 1280x720, not '800'\n", "800"},
};

// Runs "cvtool ghi replay main.ghi [--size SIZE]" in a folder that holds the document and
// ok.ghi, with the script on standard input.
std::string replayed(const Case& c) {
  const Testing::TempDir dir;
  Testing::writeFile(dir / "main.ghi", c.document);
  Testing::writeFile(dir / "ok.ghi", "Root Extra { Button Ok { x = 10; y = 20; width = 50; height = 20; onClick = ok; } }");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::istringstream in(c.script);
  std::streambuf* const standardInput = std::cin.rdbuf(in.rdbuf());
  std::vector<std::string> arguments{"ghi", "replay", "main.ghi"};
  if (*c.size) arguments.insert(arguments.end(), {"--size", c.size});
  const Testing::CvtoolOutcome run = Testing::cvtoolOutcome(arguments);
  std::cin.rdbuf(standardInput);
  std::filesystem::current_path(previous);
  return std::to_string(run.code) + "|" + run.out + "|" + run.err;
}

TEST(GhiReplay, ScriptsDriveDocumentsAndStopAtTheFirstBadLine) {
  for (const Case& c : cases) EXPECT_EQ(replayed(c), c.expected) << c.script;
}

}  // namespace
}  // namespace Corvanthorne::Tools
