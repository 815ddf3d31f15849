#include "gui/accessible.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "support/cvtool_outcome.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Gui {
namespace {

constexpr const char* kDocument =
    "Root R { width = 400; height = 300;\n"
    "  Text NameLabel { x = 10; y = 10; width = 100; height = 20; text = Name; }\n"
    "  Input Name { x = 10; y = 30; width = 100; height = 20; text = ada; tabIndex = 2; }\n"
    "  Input Secret { x = 10; y = 60; width = 100; height = 20; text = hunter2; password = true; accessibleName = Pin; tabIndex = 1; }\n"
    "  Panel P { x = 200; y = 10; width = 190; height = 200;\n"
    "    Checkbox Box { width = 100; height = 20; text = Remember; checked = true; tabIndex = 3; }\n"
    "    Dropdown Choice { y = 30; width = 100; height = 20; items = one, two; selectedIndex = 1; tabIndex = 4; }\n"
    "    Slider Volume { y = 60; width = 100; height = 20; max = 10; value = 3; enabled = false; }\n"
    "    ProgressBar Bar { y = 90; width = 100; height = 20; max = 4; value = 1; accessibleName = Download; }\n"
    "  }\n"
    "  List L { x = 10; y = 100; width = 100; height = 50; rowHeight = 20; items = a, b, c; }\n"
    "  Window Dialog { x = 100; y = 100; width = 200; height = 100; title = Confirm; modal = true; visible = false;\n"
    "    Button Ok { x = 10; y = 40; width = 80; height = 30; text = OK; onClick = ok; }\n"
    "    Input Unlabelled { x = 100; y = 40; width = 80; height = 30; }\n"
    "  }\n"
    "}\n";

struct Fixture {
  Fixture() {
    Testing::writeFile(dir / "a.ghi", kDocument);
    EXPECT_TRUE(screen.load(dir / "a.ghi"));
    screen.setAction(L"ok", [this](Node&) { ++presses; });
    screen.setClientSize(400, 300);
  }
  const AccessibleObject& object(const wchar_t* name, int32_t row = -1) {
    tree = accessibleTree(screen);
    const int32_t at = findAccessible(tree, name, row);
    EXPECT_GE(at, 0) << "no object " << wideToUtf8(name) << " " << row;
    return tree.at(static_cast<size_t>(at));
  }
  Testing::TempDir dir;
  Screen screen;
  std::vector<AccessibleObject> tree;
  int presses = 0;
};

// Roles, names (accessibleName, own text, preceding label), values (none for a password),
// states and the order (tab order, labels before what they name), as authors see them.
TEST(AccessibleTree, CvtoolPrintsWhatAScreenReaderPerceives) {
  Fixture f;
  const std::string file = pathText(f.dir / "a.ghi");
  EXPECT_EQ(Testing::cvtoolOutcome({"ghi", "accessible", file, "--focus", "Name", "--open", "Choice"}).out,
            "editable text \"Pin\" states=focusable,protected rect=10,60,110,80\n"
            "text \"Name\" rect=10,10,110,30\n"
            "editable text \"Name\" value=\"ada\" states=focusable rect=10,30,110,50\n"
            "check box \"Remember\" states=focusable,checked rect=200,10,300,30\n"
            "combo box \"\" value=\"two\" states=focusable,focused,expanded rect=200,40,300,60\n"
            "  list item \"one\" rect=203,64,297,87\n"
            "  list item \"two\" rect=203,88,297,111\n"
            "slider \"\" value=\"3\" states=unavailable rect=200,70,300,90\n"
            "progress bar \"Download\" value=\"25%\" rect=200,100,300,120\n"
            "list \"\" states=focusable rect=10,100,110,150\n"
            "  list item \"a\" rect=14,104,106,123\n"
            "  list item \"b\" rect=14,124,106,143\n"
            "  list item \"c\" states=invisible rect=0,0,0,0\n");
  EXPECT_EQ(Testing::cvtoolOutcome({"ghi", "check", file}).out,
            file + ":7:5: warning: control has no accessible name\n" +
                file + ":8:5: warning: control has no accessible name\n" + file + ":11:3: warning: control has no accessible name\n" + file + ":14:5: warning: control has no accessible name\n");
}

// A default action does what a click does, and says what it will do next; a modal dialog
// hides everything else.
TEST(AccessibleTree, DefaultActionsDoWhatAClickDoesAndDialogsAreAlone) {
  Fixture f;
  const struct {
    const wchar_t* name;
    int32_t row;
    const wchar_t* action;
    bool done;
    const wchar_t* after;  // the object's default action afterwards
  } cases[] = {
      {L"Box", -1, L"Uncheck", true, L"Check"},  {L"Choice", -1, L"Open", true, L"Close"},
      {L"Choice", 0, L"Select", true, nullptr},  {L"L", 1, L"Select", true, L"Select"},
      {L"L", 2, L"Select", false, L"Select"},    {L"Name", -1, L"", false, L""},
      {L"Volume", -1, L"", false, L""},
  };
  for (const auto& c : cases) {
    const AccessibleObject& object = f.object(c.name, c.row);
    EXPECT_EQ(object.defaultAction, c.action) << wideToUtf8(c.name);
    EXPECT_EQ(doDefaultAction(f.screen, object), c.done) << wideToUtf8(c.name);
    if (c.after) {
      EXPECT_EQ(f.object(c.name, c.row).defaultAction, c.after) << wideToUtf8(c.name);
    }
  }
  EXPECT_FALSE(f.screen.isChecked(*f.screen.findNode(L"Box")));
  EXPECT_EQ(std::tuple(f.screen.state(L"Choice")->selectedRow, f.screen.popupName(), f.screen.state(L"L")->selectedRow),
            std::tuple(0, L"", 1));
  f.screen.setVisible(L"Dialog", true);
  EXPECT_TRUE(doDefaultAction(f.screen, f.object(L"Ok")));
  EXPECT_EQ(f.presses, 1);
  ASSERT_EQ(f.tree.size(), 3u);
  EXPECT_EQ(f.tree[0].name + L"|" + std::wstring(roleName(f.tree[0].role)) + L"|" + f.tree[1].name, L"Confirm|dialog|OK");
  EXPECT_EQ(accessibleAt(f.screen, f.tree, 150, 155), 1);
}

}  // namespace
}  // namespace Corvanthorne::Gui
