// Screen: what the pointer hits, keyboard focus and Tab order, activation and drop-down popups.
#include <algorithm>
#include <limits>

#include "gui/controls.h"
#include "gui/screen.h"
#include "gui/values.h"

namespace Corvanthorne::Gui {

bool Screen::isInteractive(const Node& node) {
  if (isInteractiveType(node)) return true;
  return flag(node, L"movable", false) && flag(node, L"playerMovable", false);
}

Node* Screen::hitTest(int32_t x, int32_t y, bool interactiveOnly, bool skipContainers) {
  for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
    if (!entry->visible || (interactiveOnly && !entry->enabled)) continue;
    if (!isInsideModal(*entry->node)) continue;
    if (!entry->rect.contains(x, y) || (entry->clipped && !entry->clip.contains(x, y))) continue;
    const Node& node = *entry->node;
    if (skipContainers && (node.type == L"Root" || node.type == L"Container" ||
                           (node.type == L"Canvas" && !node.has(L"tooltip"))))
      continue;
    if (interactiveOnly && !isInteractive(node)) continue;
    return entry->node;
  }
  return nullptr;
}

bool Screen::canFocus(const Node& node) {
  const LayoutEntry* entry = entryFor(&node);
  return entry && entry->visible && entry->enabled && flag(node, L"tabStop", isInteractiveType(node));
}

bool Screen::isPlacedVisibleEnabled(const Node& node) const {
  const LayoutEntry* entry = entryFor(&node);
  return entry && entry->visible && entry->enabled;
}

void Screen::setFocus(const Node* node) {
  const std::wstring name = node ? std::wstring(node->name) : std::wstring();
  if (name == interaction_.focused) return;
  if (!interaction_.popup.empty() && interaction_.popup != name) closePopup();
  const std::wstring previous = interaction_.focused;
  interaction_.focused = name;
  restartCaret();
  layoutNeeded_ = true;
  // Actions may change the document state: both controls are looked up again by name.
  if (Node* blurred = findNode(previous)) invokeAction(*blurred, L"onBlur");
  if (Node* focused = findNode(name); focused && interaction_.focused == name) invokeAction(*focused, L"onFocus");
}

void Screen::restartCaret() {
  interaction_.caretVisible = true;
  interaction_.caretNextToggle = 0;
}

// Focusable controls in drawing order (inside the modal control when there is one); those
// with a `tabIndex` first, in ascending order.
std::vector<Node*> Screen::tabOrder() {
  std::vector<std::pair<double, Node*>> keyed;
  for (const LayoutEntry& entry : entries_)
    if (isInsideModal(*entry.node) && canFocus(*entry.node))
      keyed.emplace_back(number(*entry.node, L"tabIndex", std::numeric_limits<double>::max()), entry.node);
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<Node*> order;
  order.reserve(keyed.size());
  for (const auto& [key, node] : keyed) order.push_back(node);
  return order;
}

void Screen::focusNext(bool backwards) {
  const std::vector<Node*> order = tabOrder();
  if (order.empty()) {
    setFocus(nullptr);
    return;
  }
  const auto current = std::find_if(order.begin(), order.end(),
                                    [this](const Node* node) { return node->name == interaction_.focused; });
  if (current == order.end()) {
    setFocus(backwards ? order.back() : order.front());
  } else if (backwards) {
    setFocus(current == order.begin() ? order.back() : *(current - 1));
  } else {
    setFocus(current + 1 == order.end() ? order.front() : *(current + 1));
  }
}

bool Screen::activate(Node& node) {
  if (!isPlacedVisibleEnabled(node)) return false;
  NodeState* nodeState = state(node.name);
  if (node.type == L"Checkbox" && nodeState) {
    const bool current = isChecked(node);
    nodeState->checked = !current;
    nodeState->checkedOverridden = true;
    const std::wstring name(node.name);  // the setter or the change action may replace the document
    writeBackAndNotify(node, L"checked", current ? L"false" : L"true");
    if (Node* again = findNode(name)) invokeAction(*again, L"onClick");
    return true;
  }
  if (node.type == L"Button") {
    invokeAction(node, L"onClick");
    return true;
  }
  if (node.type == L"Dropdown") {
    if (interaction_.popup == node.name) {
      closePopup();
    } else {
      openPopup(node);
    }
    return true;
  }
  if (node.type == L"List" && !isTextLog(node) && nodeState) {
    if (!nodeState->rowEnabled(nodeState->selectedRow)) return false;
    invokeAction(node, L"onActivate");
    return true;
  }
  return false;
}

void Screen::openPopup(const Node& dropdown) {
  NodeState* dropdownState = state(dropdown.name);
  if (dropdown.type != L"Dropdown" || !dropdownState || dropdownState->rows.empty()) return;
  if (!interaction_.popup.empty() && interaction_.popup != dropdown.name) closePopup();
  const auto& rows = dropdownState->rows;
  const int32_t selected = dropdownState->selectedRow;
  int32_t highlighted = -1;
  if (dropdownState->rowEnabled(selected)) {
    highlighted = selected;
  } else {
    const auto first = std::find_if(rows.begin(), rows.end(), [](const ListItem& row) { return row.enabled; });
    if (first != rows.end()) highlighted = static_cast<int32_t>(first - rows.begin());
  }
  dropdownState->highlightedRow = highlighted;
  scrollPopupTo(dropdown, *dropdownState);
  interaction_.popup = dropdown.name;
  setFocus(&dropdown);
  layoutNeeded_ = true;
}

// Scrolls an open popup so that its highlighted row is in view.
void Screen::scrollPopupTo(const Node& dropdown, NodeState& dropdownState) {
  const int32_t visible = popupVisibleRows(dropdown);
  const int32_t row = dropdownState.highlightedRow;
  int32_t first = dropdownState.firstVisibleRow;
  if (row >= 0 && row < first) first = row;
  if (row >= 0 && row >= first + visible) first = row - visible + 1;
  dropdownState.firstVisibleRow =
      std::clamp(first, 0, std::max(0, dropdownState.rowCount() - visible));
}

void Screen::closePopup() {
  if (NodeState* popup = state(interaction_.popup)) popup->highlightedRow = popup->selectedRow;
  interaction_.popup.clear();
  layoutNeeded_ = true;
}

void Screen::setDropHandler(std::wstring_view name, DropHandler handler) {
  dropHandlers_.insert_or_assign(std::wstring(name), std::move(handler));
}

// Makes `row` the selected and highlighted row, writes `selectedIndex` back (if asked) and
// fires `onChange`.
void Screen::selectRow(Node& control, NodeState& controlState, int32_t row, bool writeBackRow) {
  controlState.selectedRow = controlState.highlightedRow = row;
  if (writeBackRow) {
    writeBackAndNotify(control, L"selectedIndex", std::to_wstring(row));
  } else {
    invokeAction(control, L"onChange");
  }
}

}  // namespace Corvanthorne::Gui
