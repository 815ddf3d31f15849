#pragma once
// The accessible tree of a laid-out screen: one object per control a person perceives, with
// the role, name, value, states, rectangle and default action a screen reader announces. The
// windows hand it to the system's accessibility interfaces; `cvtool ghi accessible` prints it.
//
// Names: a control's `accessibleName`; else its own text (a button's, a check box's or a
// label's text, a window's title); else, for a control without text of its own (an input, a
// drop-down, a toggle, a slider, a list), the text of the "Text" control placed immediately
// before it in the same container.
//
// Order: containers without a meaning of their own (Root, Panel, Container) are looked
// through. Among siblings, a control takes the place of the first focusable control within
// it in the screen's tab order, a label the place of the control it names, and any other
// control stays after the control before it. While a modal control shows, the tree holds it
// and its controls only.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "gui/screen.h"

namespace Corvanthorne::Gui {

enum class AccessibleRole { PushButton, CheckBox, EditableText, ComboBox, List, ListItem, Text, ProgressBar, Slider, Dialog, Grouping };

// "push button", "check box", ...: as tools print the role.
std::wstring_view roleName(AccessibleRole role);

// States, in the order tools list them.
enum AccessibleState : uint32_t {
  Focusable = 1u << 0,
  Focused = 1u << 1,
  Checked = 1u << 2,
  Unavailable = 1u << 3,
  Protected = 1u << 4,
  ReadOnly = 1u << 5,
  Expanded = 1u << 6,
  Collapsed = 1u << 7,
  Invisible = 1u << 8,
};
// "focusable,checked" for those states; empty for none.
std::wstring stateNames(uint32_t states);

struct AccessibleObject {
  const Node* node = nullptr;
  int32_t row = -1;  // a row of a list or of an open drop-down; -1 for the control itself
  AccessibleRole role = AccessibleRole::Text;
  std::wstring name;
  std::wstring value;          // empty when the object has none (a password never has one)
  std::wstring defaultAction;  // "Press", "Check", "Uncheck", "Open", "Close", "Select" or empty
  uint32_t states = 0;
  PixelRect rect;              // window pixels; empty for a row scrolled out of view
  int32_t parent = -1;         // index of the parent object; -1 for the window's own children
  int32_t depth = 0;
  int32_t size = 1;            // the object and all objects below it, which follow it
};

// The tree in pre-order (every object before its children). Lays the screen out first.
std::vector<AccessibleObject> accessibleTree(Screen& screen);

// The objects directly below `parent` (-1: the window's own children), by index.
std::vector<int32_t> accessibleChildren(const std::vector<AccessibleObject>& tree, int32_t parent);

// The index of the object of control `name` (and `row`), or -1.
int32_t findAccessible(const std::vector<AccessibleObject>& tree, std::wstring_view name, int32_t row = -1);

// The deepest object under a point of the window, as the pointer would hit it, or -1.
int32_t accessibleAt(Screen& screen, const std::vector<AccessibleObject>& tree, int32_t x, int32_t y);

// Does what a click on the object does; false when it has no default action or cannot now.
bool doDefaultAction(Screen& screen, const AccessibleObject& object);

// A warning "control has no accessible name" at every focusable control of the document that
// has no name, shown or not.
std::vector<Diagnostic> unnamedControlWarnings(Screen& screen);

}  // namespace Corvanthorne::Gui
