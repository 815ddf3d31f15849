#include "gui/accessible.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <unordered_map>

#include "gui/controls.h"
#include "render/geometry.h"

namespace Corvanthorne::Gui {
namespace {

// Where a control's name comes from: a property of the control itself or of its label.
struct NameSource {
  const Node* node = nullptr;
  PropertyName key = L"";
};

bool takesLabel(const Node& node) {
  static const NameSet types = {L"Input", L"Dropdown", L"Checkbox", L"Slider", L"ProgressBar", L"List", L"Button"};
  return types.find(node.type) != types.end();
}

const Node* precedingSibling(const Document& document, const Node& node) {
  const std::span<Node* const> siblings = node.parent ? node.parent->children : std::span<Node* const>(document.controls);
  const auto at = std::find(siblings.begin(), siblings.end(), &node);
  return at == siblings.begin() || at == siblings.end() ? nullptr : *(at - 1);
}

NameSource nameSource(const Document& document, const Node& node) {
  if (node.has(L"accessibleName")) return {&node, L"accessibleName"};
  if ((node.type == L"Button" || node.type == L"Checkbox" || node.type == L"Text") && !node.raw(L"text").empty())
    return {&node, L"text"};
  if (node.type == L"Window" && node.has(L"title")) return {&node, L"title"};
  if (!takesLabel(node)) return {};
  const Node* label = precedingSibling(document, node);
  if (!label || label->type != L"Text") return {};
  return label->has(L"accessibleName") ? NameSource{label, L"accessibleName"} : NameSource{label, L"text"};
}

std::optional<AccessibleRole> roleOf(Screen& screen, const Node& node) {
  if (screen.flag(node, L"modal", false)) return AccessibleRole::Dialog;
  static const std::array<std::pair<std::wstring_view, AccessibleRole>, 10> roles = {{
      {L"Button", AccessibleRole::PushButton},    {L"Checkbox", AccessibleRole::CheckBox},
      {L"Input", AccessibleRole::EditableText},   {L"Dropdown", AccessibleRole::ComboBox},
      {L"List", AccessibleRole::List},            {L"Text", AccessibleRole::Text},
      {L"ProgressBar", AccessibleRole::ProgressBar}, {L"Slider", AccessibleRole::Slider},
      {L"Window", AccessibleRole::Grouping},      {L"Tabs", AccessibleRole::Grouping},
  }};
  for (const auto& [type, role] : roles)
    if (node.type == type) return role;
  return std::nullopt;
}

// Up to two decimals, without trailing zeros.
std::wstring shortNumber(double value) {
  std::wstring text = std::to_wstring(std::round(value * 100) / 100);
  text.erase(text.find_last_not_of(L'0') + 1);
  if (text.back() == L'.') text.pop_back();
  return text == L"-0" ? L"0" : text;
}

class TreeBuilder {
 public:
  explicit TreeBuilder(Screen& screen) : screen_(screen) {
    const std::vector<Node*> order = screen.tabOrder();
    for (size_t i = 0; i < order.size(); ++i) tabPosition_.emplace(order[i], static_cast<int64_t>(i));
  }

  std::vector<AccessibleObject> build() {
    if (const Node* modal = screen_.findModal()) {
      addControl(*modal, -1, 0);
    } else {
      addChildren(screen_.document().controls, -1, 0);
    }
    return std::move(tree_);
  }

 private:
  void addChildren(std::span<Node* const> children, int32_t parent, int32_t depth) {
    std::vector<const Node*> units;
    collect(children, units);
    for (const Node* unit : ordered(units)) addControl(*unit, parent, depth);
  }

  // The perceivable controls among `children`, looking through containers of no meaning.
  void collect(std::span<Node* const> children, std::vector<const Node*>& units) {
    for (const Node* child : children) {
      const LayoutEntry* entry = screen_.entryFor(child);
      if (!entry || !entry->visible) continue;
      if (roleOf(screen_, *child)) {
        units.push_back(child);
      } else {
        collect(child->children, units);
      }
    }
  }

  std::optional<int64_t> firstTabPosition(const Node& node) const {
    std::optional<int64_t> first;
    if (const auto at = tabPosition_.find(&node); at != tabPosition_.end()) first = at->second;
    for (const Node* child : node.children)
      if (const auto inside = firstTabPosition(*child); inside && (!first || *inside < *first)) first = inside;
    return first;
  }

  std::vector<const Node*> ordered(const std::vector<const Node*>& units) const {
    std::vector<std::optional<int64_t>> keys(units.size());
    for (size_t i = 0; i < units.size(); ++i) keys[i] = firstTabPosition(*units[i]);
    for (size_t i = units.size(); i-- > 1;)
      if (!keys[i - 1] && nameSource(screen_.document(), *units[i]).node == units[i - 1]) keys[i - 1] = keys[i];
    int64_t previous = std::numeric_limits<int64_t>::min();
    std::vector<std::pair<int64_t, const Node*>> keyed;
    keyed.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
      previous = keys[i].value_or(previous);
      keyed.emplace_back(previous, units[i]);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<const Node*> result;
    result.reserve(keyed.size());
    for (const auto& [key, node] : keyed) result.push_back(node);
    return result;
  }

  std::wstring nameOf(const Node& node) {
    const NameSource source = nameSource(screen_.document(), node);
    if (!source.node) return {};
    if (source.key.text == L"text") return screen_.text(source.node->name);
    return screen_.resolveValue(source.node->raw(source.key));
  }

  void addControl(const Node& node, int32_t parent, int32_t depth) {
    const LayoutEntry& entry = *screen_.entryFor(&node);
    const AccessibleRole role = *roleOf(screen_, node);
    AccessibleObject object;
    object.node = &node;
    object.role = role;
    object.name = nameOf(node);
    object.rect = entry.rect;
    object.parent = parent;
    object.depth = depth;
    if (screen_.canFocus(node)) object.states |= Focusable;
    if (screen_.focusedName() == node.name) object.states |= Focused;
    if (!entry.enabled) object.states |= Unavailable;
    describe(node, object);
    const auto index = static_cast<int32_t>(tree_.size());
    tree_.push_back(std::move(object));
    if (role == AccessibleRole::Dialog || role == AccessibleRole::Grouping) addChildren(node.children, index, depth + 1);
    if (role == AccessibleRole::List) addListRows(node, index, depth + 1);
    if (role == AccessibleRole::ComboBox && screen_.popupName() == node.name) addPopupRows(node, index, depth + 1);
    tree_[static_cast<size_t>(index)].size = static_cast<int32_t>(tree_.size()) - index;
  }

  // The value, the states and the default action that depend on the kind of control.
  void describe(const Node& node, AccessibleObject& object) {
    switch (object.role) {
      case AccessibleRole::PushButton: object.defaultAction = L"Press"; break;
      case AccessibleRole::CheckBox:
        if (screen_.isChecked(node)) object.states |= Checked;
        object.defaultAction = screen_.isChecked(node) ? L"Uncheck" : L"Check";
        break;
      case AccessibleRole::EditableText:
        if (screen_.flag(node, L"password", false)) {
          object.states |= Protected;
        } else {
          object.value = screen_.text(node.name);
        }
        break;
      case AccessibleRole::ComboBox: {
        const bool open = screen_.popupName() == node.name;
        object.states |= open ? Expanded : Collapsed;
        object.defaultAction = open ? L"Close" : L"Open";
        const NodeState* state = screen_.state(node.name);
        if (state && state->selectedRow >= 0 && state->selectedRow < state->rowCount())
          object.value = state->rows[static_cast<size_t>(state->selectedRow)].text;
        break;
      }
      case AccessibleRole::List:
        if (isTextLog(node)) object.states |= ReadOnly;
        break;
      case AccessibleRole::ProgressBar: {
        const double fraction = screen_.effectiveValue(node) / std::max(0.000001, screen_.number(node, L"max", 1));
        object.value = shortNumber(std::clamp(fraction, 0.0, 1.0) * 100) + L"%";
        break;
      }
      case AccessibleRole::Slider: object.value = shortNumber(screen_.effectiveValue(node)); break;
      default: break;
    }
  }

  AccessibleObject rowObject(const ListItem& item, int32_t row, int32_t parent, int32_t depth) {
    const AccessibleObject& owner = tree_[static_cast<size_t>(parent)];
    AccessibleObject object;
    object.node = owner.node;
    object.row = row;
    object.role = AccessibleRole::ListItem;
    object.name = item.text;
    object.parent = parent;
    object.depth = depth;
    object.states = (owner.states & ReadOnly) | (item.enabled && !(owner.states & Unavailable) ? 0u : Unavailable);
    if (!(object.states & (ReadOnly | Unavailable))) object.defaultAction = L"Select";
    return object;
  }

  // Rows as the list paints them; rows scrolled out of view are invisible and have no rectangle.
  void addListRows(const Node& list, int32_t parent, int32_t depth) {
    const NodeState* state = screen_.state(list.name);
    if (!state) return;
    const PixelRect r = tree_[static_cast<size_t>(parent)].rect;
    const int32_t padding = screen_.listPadding();
    const int32_t visible = screen_.listVisibleRows(list);
    const int32_t rowHeight = isTextLog(list) ? std::max(1, (r.height() - 2 * padding) / visible) : screen_.listRowHeight(list);
    const int32_t first = clampFirstRow(state->firstVisibleRow, state->rowCount(), visible);
    tree_.reserve(tree_.size() + state->rows.size());
    for (int32_t row = 0; row < state->rowCount(); ++row) {
      AccessibleObject object = rowObject(state->rows[static_cast<size_t>(row)], row, parent, depth);
      if (row >= first && row < first + visible) {
        const int32_t top = r.top + padding + (row - first) * rowHeight;
        object.rect = PixelRect{r.left + padding, top, r.right - padding, top + rowHeight - 1};
      } else {
        object.states |= Invisible;
      }
      tree_.push_back(std::move(object));
    }
  }

  void addPopupRows(const Node& dropdown, int32_t parent, int32_t depth) {
    const NodeState* state = screen_.state(dropdown.name);
    const PopupGeometry popup = screen_.popupGeometry(dropdown);
    const int32_t first = clampFirstRow(state->firstVisibleRow, state->rowCount(), popup.visibleRows);
    for (int32_t row = 0; row < state->rowCount(); ++row) {
      AccessibleObject object = rowObject(state->rows[static_cast<size_t>(row)], row, parent, depth);
      if (row >= first && row < first + popup.visibleRows) {
        object.rect = popupRowRect(popup, row - first);
      } else {
        object.states |= Invisible;
      }
      tree_.push_back(std::move(object));
    }
  }

  Screen& screen_;
  std::unordered_map<const Node*, int64_t> tabPosition_;
  std::vector<AccessibleObject> tree_;
};

}  // namespace

std::wstring_view roleName(AccessibleRole role) {
  static constexpr std::wstring_view names[] = {L"push button", L"check box", L"editable text", L"combo box",
                                                L"list",        L"list item", L"text",          L"progress bar",
                                                L"slider",      L"dialog",    L"grouping"};
  return names[static_cast<size_t>(role)];
}

std::wstring stateNames(uint32_t states) {
  static constexpr std::wstring_view names[] = {L"focusable", L"focused",   L"checked",  L"unavailable", L"protected",
                                                L"read-only", L"expanded", L"collapsed", L"invisible"};
  std::wstring text;
  for (size_t bit = 0; bit < std::size(names); ++bit) {
    if (!(states & (1u << bit))) continue;
    if (!text.empty()) text += L',';
    text += names[bit];
  }
  return text;
}

std::vector<AccessibleObject> accessibleTree(Screen& screen) {
  screen.layout();
  return TreeBuilder(screen).build();
}

std::vector<int32_t> accessibleChildren(const std::vector<AccessibleObject>& tree, int32_t parent) {
  std::vector<int32_t> children;
  const auto end = static_cast<int32_t>(parent < 0 ? tree.size() : parent + tree[static_cast<size_t>(parent)].size);
  for (int32_t i = parent + 1; i < end; i += tree[static_cast<size_t>(i)].size) children.push_back(i);
  return children;
}

int32_t findAccessible(const std::vector<AccessibleObject>& tree, std::wstring_view name, int32_t row) {
  for (size_t i = 0; i < tree.size(); ++i)
    if (tree[i].node->name == name && tree[i].row == row) return static_cast<int32_t>(i);
  return -1;
}

int32_t accessibleAt(Screen& screen, const std::vector<AccessibleObject>& tree, int32_t x, int32_t y) {
  // An open pop-up lies above everything else.
  for (size_t i = 0; i < tree.size(); ++i)
    if (tree[i].row >= 0 && tree[i].role == AccessibleRole::ListItem && tree[i].node->name == screen.popupName() &&
        tree[i].rect.contains(x, y))
      return static_cast<int32_t>(i);
  int32_t found = -1;
  for (const Node* node = screen.hitTest(x, y, false, true); node && found < 0; node = node->parent)
    found = findAccessible(tree, node->name);
  if (found < 0) return -1;
  for (const int32_t child : accessibleChildren(tree, found))
    if (tree[static_cast<size_t>(child)].row >= 0 && tree[static_cast<size_t>(child)].rect.contains(x, y)) return child;
  return found;
}

bool doDefaultAction(Screen& screen, const AccessibleObject& object) {
  if (object.defaultAction.empty()) return false;
  Node* node = screen.findNode(object.node->name);
  if (!node) return false;
  if (object.row < 0) return screen.activate(*node);
  if (object.states & Invisible) return false;
  // A row is chosen as a click on it chooses it.
  const int32_t x = object.rect.left + object.rect.width() / 2, y = object.rect.top + object.rect.height() / 2;
  screen.mouseMove(x, y);
  screen.mouseDown(x, y);
  screen.mouseUp(x, y);
  return true;
}

std::vector<Diagnostic> unnamedControlWarnings(Screen& screen) {
  std::vector<Diagnostic> warnings;
  const Document& document = screen.document();
  forEachNode(document.controls, [&](const Node& node) {
    if (!roleOf(screen, node) || !screen.flag(node, L"tabStop", isInteractiveType(node))) return;
    const NameSource source = nameSource(document, node);
    if (source.node && !source.node->raw(source.key).empty()) return;
    warnings.push_back(
        Diagnostic{DiagnosticSeverity::Warning, std::wstring(node.source), node.line, node.column, L"control has no accessible name"});
  });
  return warnings;
}

}  // namespace Corvanthorne::Gui
