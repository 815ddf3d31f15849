// Screen: keyboard focus and drop-down popups.
#include "gui/screen.h"

namespace Corvanthorne::Gui {

void Screen::setFocus(const Node* node) {
  const std::wstring name = node ? node->name : std::wstring();
  if (name == interaction_.focused) return;
  if (!interaction_.popup.empty() && interaction_.popup != name) closePopup();
  const std::wstring previous = interaction_.focused;
  interaction_.focused = name;
  interaction_.caretVisible = true;
  interaction_.caretNextToggle = 0;
  layoutNeeded_ = true;
  // Actions may change the document state: both controls are looked up again by name.
  if (Node* blurred = findNode(previous)) invokeAction(*blurred, L"onBlur");
  if (Node* focused = findNode(name); focused && interaction_.focused == name) invokeAction(*focused, L"onFocus");
}

void Screen::closePopup() {
  if (NodeState* popup = state(interaction_.popup)) popup->highlightedRow = popup->selectedRow;
  interaction_.popup.clear();
  layoutNeeded_ = true;
}

}  // namespace Corvanthorne::Gui
