// Screen: bound values, actions, canvas renderers and the overrides an application sets.
#include <algorithm>
#include <stdexcept>

#include "common/text.h"
#include "gui/controls.h"
#include "gui/screen.h"
#include "gui/values.h"

namespace Corvanthorne::Gui {

using namespace std::string_view_literals;

namespace {

std::wstring_view bindingName(std::wstring_view raw) {
  return !raw.empty() && raw[0] == L'$' ? raw.substr(1) : std::wstring_view();
}

// Stores a runtime override; false when it already held that value.
template <class Field, class Value>
bool storeOverride(NodeState& state, Field NodeState::*field, bool NodeState::*set, const Value& value) {
  if (state.*set && state.*field == value) return false;
  state.*field = value;
  state.*set = true;
  return true;
}

}  // namespace

void Screen::setAction(std::wstring_view name, ActionHandler handler) {
  actions_.insert_or_assign(std::wstring(name), std::move(handler));
}

void Screen::bindValue(std::wstring_view name, ValueGetter getter, ValueSetter setter) {
  getters_.insert_or_assign(std::wstring(name), std::move(getter));
  // A read-only binding keeps a setter registered earlier under the same name.
  if (setter) setters_.insert_or_assign(std::wstring(name), std::move(setter));
  markChanged();
}

void Screen::setCanvasRenderer(std::wstring_view name, CanvasRenderer renderer) {
  renderers_.insert_or_assign(std::wstring(name), std::move(renderer));
}

const CanvasRenderer* Screen::canvasRenderer(std::wstring_view name) const {
  const auto found = renderers_.find(name);
  return found == renderers_.end() ? nullptr : &found->second;
}

void Screen::setGdiCanvasRenderer(std::wstring_view name, GdiCanvasRenderer renderer) {
  gdiRenderers_.insert_or_assign(std::wstring(name), std::move(renderer));
}

const GdiCanvasRenderer* Screen::gdiCanvasRenderer(std::wstring_view name) const {
  const auto found = gdiRenderers_.find(name);
  return found == gdiRenderers_.end() ? nullptr : &found->second;
}

void Screen::setOpacity(float opacity) {
  const float clamped = std::clamp(opacity, 0.0f, 1.0f);
  if (clamped == opacity_) return;
  opacity_ = clamped;
  redrawNeeded_ = true;
}

void Screen::checkCanvasRenderers(const Node& node) const {
  if (node.type == L"Canvas" || node.has(L"renderer")) {
    const std::wstring_view name = node.raw(L"renderer");
    const CanvasRenderer* renderer = canvasRenderer(name);
    if (!renderer || !*renderer) throw std::logic_error("Missing GPU canvas renderer: " + wideToUtf8(name));
  }
  for (const auto& child : node.children) checkCanvasRenderers(*child);
}

std::wstring Screen::resolveValue(std::wstring_view raw) {
  if (!isBinding(raw)) return std::wstring(raw);
  const auto found = getters_.find(bindingName(raw));
  if (found == getters_.end()) return {};
  ++getterCalls_;
  return found->second();
}

// Plain values are read in place: layout reads numbers and flags of every control on every
// event, and copying each value would allocate on every read.
double Screen::number(const Node& node, PropertyName key, double fallback) {
  const std::wstring_view raw = node.raw(key);
  if (!isBinding(raw)) return leadingNumber(raw).value_or(fallback);
  return leadingNumber(resolveValue(raw)).value_or(fallback);
}

bool Screen::flag(const Node& node, PropertyName key, bool fallback) { return flagValue(node.raw(key), fallback); }

bool Screen::flagValue(std::wstring_view raw, bool fallback) {
  if (raw.empty()) return fallback;  // the common case: absent
  std::wstring bound;
  const std::wstring_view word = isBinding(raw) ? std::wstring_view(bound = resolveValue(raw)) : raw;
  for (const std::wstring_view yes : {L"true"sv, L"1"sv, L"yes"sv, L"on"sv})
    if (equalsIgnoringAsciiCase(word, yes)) return true;
  for (const std::wstring_view no : {L"false"sv, L"0"sv, L"no"sv, L"off"sv})
    if (equalsIgnoringAsciiCase(word, no)) return false;
  return fallback;
}

bool Screen::isVisible(const Node& node) { return isVisible(node, stateOf(node)); }

bool Screen::isVisible(const Node& node, const NodeState* found) {
  return isVisible(LayoutRaw{.hidden = node.raw(L"hidden"), .visible = node.raw(L"visible")}, found);
}

bool Screen::isVisible(const LayoutRaw& raw, const NodeState* found) {
  if (found && found->visible.set) return found->visible.value;
  if (flagValue(raw.hidden, false)) return false;
  return flagValue(raw.visible, true);
}

// Handlers run from a copy: one that re-registers its own name or replaces the document
// would otherwise destroy itself while it runs.
void Screen::invokeAction(Node& node, PropertyName key) {
  const std::wstring_view name = node.raw(key);
  if (name.empty()) return;
  const auto found = actions_.find(name);
  if (found == actions_.end()) return;
  const ActionHandler handler = found->second;
  handler(node);
  markChanged();
}

void Screen::writeBack(const Node& node, PropertyName key, std::wstring_view newText) {
  const std::wstring_view raw = node.raw(key);
  if (!isBinding(raw)) return;
  const auto found = setters_.find(bindingName(raw));
  if (found == setters_.end()) return;
  const ValueSetter setter = found->second;
  setter(newText);
}

void Screen::writeBackAndNotify(const Node& node, PropertyName key, std::wstring_view newText) {
  const std::wstring name(node.name);
  writeBack(node, key, newText);
  if (Node* again = findNode(name)) invokeAction(*again, L"onChange");
}

bool Screen::setVisible(std::wstring_view name, bool visible) {
  NodeState* found = state(name);
  if (!found) return false;
  if (found->visible.set && found->visible.value == visible) return true;
  found->visible = Override{visible, true};
  markChanged();
  if (visible || !findNode(name)) return true;
  const std::wstring hidden(name);  // an onBlur action may replace the document
  if (!interaction_.focused.empty() && isSelfOrInside(interaction_.focused, *findNode(hidden))) setFocus(nullptr);
  if (const Node* node = findNode(hidden); node && !interaction_.popup.empty() && isSelfOrInside(interaction_.popup, *node))
    closePopup();
  return true;
}

bool Screen::setText(std::wstring_view name, std::wstring_view text) {
  NodeState* found = state(name);
  if (found && storeOverride(*found, &NodeState::textOverride, &NodeState::textOverridden, text)) markChanged();
  return found != nullptr;
}

bool Screen::setValue(std::wstring_view name, double value) {
  NodeState* found = state(name);
  if (found && storeOverride(*found, &NodeState::value, &NodeState::valueOverridden, value)) markChanged();
  return found != nullptr;
}

bool Screen::setChecked(std::wstring_view name, bool checked) {
  NodeState* found = state(name);
  if (found && storeOverride(*found, &NodeState::checked, &NodeState::checkedOverridden, checked)) markChanged();
  return found != nullptr;
}

bool Screen::setSelectedRow(std::wstring_view name, int32_t row) {
  NodeState* found = state(name);
  if (!found) return false;
  const int32_t clamped = std::clamp(row, -1, found->rowCount() - 1);
  if (found->selectedRow == clamped && found->highlightedRow == clamped) return true;
  found->selectedRow = found->highlightedRow = clamped;
  markChanged();
  return true;
}

double Screen::effectiveValue(const Node& node) {
  const NodeState* found = stateOf(node);
  return found && found->valueOverridden ? found->value : number(node, L"value", 0);
}

bool Screen::isChecked(const Node& node) {
  const NodeState* found = stateOf(node);
  return found && found->checkedOverridden ? found->checked : flag(node, L"checked", false);
}

bool Screen::isSelfOrInside(std::wstring_view name, const Node& ancestor) const {
  for (const Node* node = findNode(name); node; node = node->parent)
    if (node == &ancestor) return true;
  return false;
}

std::wstring Screen::text(std::wstring_view name) { return std::wstring(textView(name)); }

std::wstring_view Screen::textView(std::wstring_view name) {
  const Node* node = findNode(name);
  if (!node) return {};
  if (const NodeState* found = state(name); found && found->textOverridden) return found->textOverride;
  const std::wstring_view raw = node->raw(L"text");
  if (!isBinding(raw)) return raw;
  boundText_ = resolveValue(raw);
  return boundText_;
}

bool Screen::setListItems(std::wstring_view name, std::vector<ListItem> rows) {
  NodeState* found = state(name);
  if (!found) return false;
  const Node* node = findNode(name);
  if (!node) return true;
  if (isTextLog(*node)) {
    replaceLogRows(*node, *found, std::move(rows));
  } else {
    replaceListRows(*node, *found, std::move(rows));
  }
  return true;
}

// A log keeps its last `capacity` rows and follows new lines while the user looks at its
// bottom; a user who scrolled up keeps the same top row in view.
void Screen::replaceLogRows(const Node& node, NodeState& state, std::vector<ListItem> rows) {
  const int32_t capacity = std::max(1, roundToInt(number(node, L"capacity", 100)));
  if (static_cast<int32_t>(rows.size()) > capacity) rows.erase(rows.begin(), rows.end() - capacity);
  const int32_t lines = std::max(1, roundToInt(number(node, L"visibleLines", 5)));
  const int32_t oldBottom = std::max(0, state.rowCount() - lines);
  const bool atBottom = state.rows.empty() || state.firstVisibleRow >= oldBottom;
  std::wstring topText;
  if (!atBottom && state.firstVisibleRow >= 0 && state.firstVisibleRow < state.rowCount())
    topText = state.rows[static_cast<size_t>(state.firstVisibleRow)].text;
  if (rows == state.rows) return;
  state.rows = std::move(rows);
  state.selectedRow = -1;
  const int32_t newBottom = std::max(0, state.rowCount() - lines);
  if (atBottom) {
    state.firstVisibleRow = newBottom;
  } else {
    const auto top = std::find_if(state.rows.begin(), state.rows.end(),
                                  [&](const ListItem& row) { return row.text == topText; });
    if (top != state.rows.end()) state.firstVisibleRow = static_cast<int32_t>(top - state.rows.begin());
    state.firstVisibleRow = std::clamp(state.firstVisibleRow, 0, newBottom);
  }
  layoutNeeded_ = true;
}

void Screen::replaceListRows(const Node& node, NodeState& state, std::vector<ListItem> rows) {
  if (rows == state.rows) return;
  const bool wasEmpty = state.rows.empty();
  state.rows = std::move(rows);
  redrawNeeded_ = true;
  const int32_t last = state.rowCount() - 1;
  if (wasEmpty && !state.rows.empty() && state.selectedRow < 0)
    state.selectedRow = std::clamp(roundToInt(number(node, L"selectedIndex", -1)), -1, last);
  state.selectedRow = std::clamp(state.selectedRow, -1, last);
  state.highlightedRow = state.selectedRow;
  if (state.rows.empty() && interaction_.popup == node.name) closePopup();
  layoutNeeded_ = true;
}

}  // namespace Corvanthorne::Gui
