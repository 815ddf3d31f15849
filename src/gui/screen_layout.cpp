// Screen: placing the controls for a client size (scaled uniformly with letterboxing from the
// design size), the drawing order, the modal window, and the floating popup and tooltip boxes.
#include <algorithm>
#include <cmath>
#include <limits>

#include "gui/controls.h"
#include "gui/screen.h"
#include "gui/style.h"
#include "gui/values.h"

namespace Corvanthorne::Gui {
namespace {

using namespace std::literals;

constexpr int32_t topLayer = std::numeric_limits<int32_t>::max();

PixelRect intersect(const PixelRect& a, const PixelRect& b) {
  return PixelRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                   std::min(a.bottom, b.bottom)};
}

void pushPair(std::array<StackPair, 16>& path, uint8_t& length, uint64_t zOrder, uint32_t sequence) {
  if (length < path.size()) {
    path[length++] = StackPair{zOrder, sequence};
  } else {
    path[length - 1] = StackPair{std::max(path[length - 1].zOrder, zOrder), sequence};
  }
}

// Layer, then stacking path pair by pair (a prefix first), then sequence.
bool drawsBefore(const LayoutEntry& a, const LayoutEntry& b) {
  if (a.layer != b.layer) return a.layer < b.layer;
  const uint8_t shared = std::min(a.pathLength, b.pathLength);
  for (uint8_t i = 0; i < shared; ++i) {
    if (a.path[i].zOrder != b.path[i].zOrder) return a.path[i].zOrder < b.path[i].zOrder;
    if (a.path[i].sequence != b.path[i].sequence) return a.path[i].sequence < b.path[i].sequence;
  }
  if (a.pathLength != b.pathLength) return a.pathLength < b.pathLength;
  return a.sequence < b.sequence;
}

}  // namespace

void Screen::indexDocument() {
  preorder_.clear();
  preorderIndex_.clear();
  parentIndices_.clear();
  forEachNode(document_.controls, [this](Node& node) {
    preorderIndex_.emplace(&node, static_cast<int32_t>(preorder_.size()));
    preorder_.push_back(&node);
    parentIndices_.push_back(node.parent ? preorderIndex_.at(node.parent) : -1);
  });
  subtreeSizes_.assign(preorder_.size(), 1);
  for (size_t i = preorder_.size(); i-- > 0;)
    if (parentIndices_[i] >= 0) subtreeSizes_[static_cast<size_t>(parentIndices_[i])] += subtreeSizes_[i];
  entries_.clear();
  entryOf_.assign(preorder_.size(), -1);
  modal_ = nullptr;
  recordedModal_.clear();
}

int32_t Screen::preorderIndex(const Node& node) const {
  const auto found = preorderIndex_.find(&node);
  return found == preorderIndex_.end() ? -1 : found->second;
}

NodeState* Screen::stateOf(const Node& node) const {
  const int32_t index = preorderIndex(node);
  return index < 0 || static_cast<size_t>(index) >= statesByIndex_.size() ? nullptr
                                                                           : statesByIndex_[static_cast<size_t>(index)];
}

void Screen::setClientSize(int32_t width, int32_t height) {
  if (width == clientWidth_ && height == clientHeight_) return;
  clientWidth_ = width;
  clientHeight_ = height;
  markChanged();
}

int32_t Screen::toPixelX(double unit) const { return saturatePixel(std::round(unit * scale_) + offsetX_); }
int32_t Screen::toPixelY(double unit) const { return saturatePixel(std::round(unit * scale_) + offsetY_); }

void Screen::layout() {
  ++layoutsBuilt_;
  scale_ = static_cast<float>(std::min(clientWidth_ / std::max(designWidth_, 1.0), clientHeight_ / std::max(designHeight_, 1.0)));
  offsetX_ = saturatePixel(std::round((clientWidth_ - designWidth_ * scale_) / 2));
  offsetY_ = saturatePixel(std::round((clientHeight_ - scale_ * designHeight_) / 2));
  placed_.clear();
  placedIndices_.clear();
  sequence_ = 0;
  markSystemDialogs();
  Placement root;
  root.parent = DesignRect{0, 0, static_cast<double>(roundToInt(designWidth_)), static_cast<double>(roundToInt(designHeight_))};
  layoutChildren(document_.controls, 0, root);
  sortEntries();
  layoutNeeded_ = false;
  redrawNeeded_ = false;
  modal_ = nullptr;  // the topmost visible modal control
  for (size_t k = entries_.size(); k-- > 0 && !modal_;)
    if (entries_[k].visible && isModal_[static_cast<size_t>(placedIndices_[order_[k]])]) modal_ = entries_[k].node;
  settleAfterLayout();
}

// A control that is, or holds, a system dialog is laid out after all others.
void Screen::markSystemDialogs() {
  const size_t count = preorder_.size();
  isModal_.assign(count, 0);
  isSystemDialog_.assign(count, 0);
  containsDialog_.assign(count, 0);
  for (size_t i = count; i-- > 0;) {
    isSystemDialog_[i] = flagValue(layoutRaw_[i].systemDialog, false);
    containsDialog_[i] = containsDialog_[i] | isSystemDialog_[i];
    if (parentIndices_[i] >= 0 && containsDialog_[i]) containsDialog_[static_cast<size_t>(parentIndices_[i])] = 1;
  }
}

// Children are placed in a stable order: system dialogs last, then by layer, modal last,
// then by working z-order. Keys live in one scratch stack shared by all depths.
void Screen::layoutChildren(std::span<Node* const> children, int32_t firstPreorder,
                            const Placement& placement) {
  const size_t start = childKeys_.size();
  auto index = static_cast<size_t>(firstPreorder);  // siblings follow each other's subtrees
  for (size_t i = 0; i < children.size(); index += static_cast<size_t>(subtreeSizes_[index]), ++i) {
    Node& child = *children[i];
    const NodeState* childState = statesByIndex_[index];
    isModal_[index] = flagValue(layoutRaw_[index].modal, false);
    childKeys_.push_back(ChildKey{&child, containsDialog_[index] != 0, leadingNumber(resolveValue(layoutRaw_[index].layer)),
                                  isModal_[index] != 0, childState ? childState->workingZOrder : 0,
                                  static_cast<uint32_t>(i), static_cast<int32_t>(index)});
  }
  std::sort(childKeys_.begin() + static_cast<std::ptrdiff_t>(start), childKeys_.end(),
            [](const ChildKey& a, const ChildKey& b) {
              if (a.containsDialog != b.containsDialog) return b.containsDialog;
              if (a.layer.value_or(0) != b.layer.value_or(0)) return a.layer.value_or(0) < b.layer.value_or(0);
              if (a.modal != b.modal) return b.modal;
              if (a.zOrder != b.zOrder) return a.zOrder < b.zOrder;
              return a.index < b.index;
            });
  const size_t end = childKeys_.size();
  // By value: placing a child appends further keys, which may move the scratch stack.
  for (size_t k = start; k < end; ++k) placeControl(childKeys_[k], placement);
  childKeys_.resize(start);
}

Screen::DesignRect Screen::designRect(const Node& node, const LayoutRaw& raw, const NodeState& state,
                                      const DesignRect& parent) {
  double x = state.x, y = state.y, width = state.width, height = state.height;
  const std::wstring_view rawX = raw.x, rawY = raw.y;
  std::wstring boundX, boundY;  // only bound values need a copy
  const std::wstring_view textX = isBinding(rawX) ? std::wstring_view(boundX = resolveValue(rawX)) : rawX;
  const std::wstring_view textY = isBinding(rawY) ? std::wstring_view(boundY = resolveValue(rawY)) : rawY;
  const bool boundWidth = isBinding(raw.width), boundHeight = isBinding(raw.height);
  if (isBinding(rawX) || boundWidth) {
    const double gx = number(node, L"geometryScaleX", 1);
    if (isBinding(rawX)) x = leadingNumber(textX).value_or(state.x) * gx;
    if (boundWidth) width = number(node, L"width", state.width) * (flag(node, L"fixedSize", false) ? 1 : gx);
  }
  if (isBinding(rawY) || boundHeight) {
    const double gy = number(node, L"geometryScaleY", 1);
    if (isBinding(rawY)) y = leadingNumber(textY).value_or(state.y) * gy;
    if (boundHeight) height = number(node, L"height", state.height) * (flag(node, L"fixedSize", false) ? 1 : gy);
  }
  const double parentWidth = parent.right - parent.left, parentHeight = parent.bottom - parent.top;
  if (node.type == L"Root"sv) x = 0, y = 0, width = parentWidth, height = parentHeight;
  const std::wstring_view anchor = raw.anchor;
  if (containsIgnoringAsciiCase(anchor, L"right"sv)) x = parentWidth - width - x;
  if (containsIgnoringAsciiCase(anchor, L"bottom"sv)) y = parentHeight - height - y;
  if (containsIgnoringAsciiCase(anchor, L"center"sv)) {
    const bool both = equalsIgnoringAsciiCase(anchor, L"center"sv);
    if (both || containsIgnoringAsciiCase(anchor, L"centerx"sv)) x += (parentWidth - width) / 2;
    if (both || containsIgnoringAsciiCase(anchor, L"centery"sv)) y += (parentHeight - height) / 2;
  }
  // Centring keywords come after anchors; an unbound position keeps the user's drag offset.
  if (isCentreKeyword(textX)) x = (parentWidth - width) / 2 + (isBinding(rawX) ? 0 : state.x);
  if (isCentreKeyword(textY)) y = (parentHeight - height) / 2 + (isBinding(rawY) ? 0 : state.y);
  return DesignRect{parent.left + roundToInt(x), parent.top + roundToInt(y), parent.left + roundToInt(x + width),
                    parent.top + roundToInt(y + height)};
}

void Screen::placeControl(ChildKey key, const Placement& in) {
  Node& node = *key.node;
  const auto index = static_cast<size_t>(key.preorder);
  const NodeState* nodeState = statesByIndex_[index];
  static const NodeState fallback;
  const NodeState& st = nodeState ? *nodeState : fallback;
  const LayoutRaw& raw = layoutRaw_[index];
  const DesignRect design = designRect(node, raw, st, in.parent);
  // Built in place: an entry carries a 16-pair stacking path, and copying it per control was
  // most of what layout cost.
  const auto placedIndex = static_cast<int32_t>(placed_.size());
  LayoutEntry& entry = placed_.emplace_back();
  entry.node = &node;
  entry.rect = PixelRect{toPixelX(design.left), toPixelY(design.top), toPixelX(design.right), toPixelY(design.bottom)};
  entry.clip = in.clip;
  entry.clipped = in.clipped;
  entry.visible = in.visible && isVisible(raw, nodeState);
  entry.enabled = in.enabled && (st.enabled.set ? st.enabled.value : flagValue(raw.enabled, true));
  entry.depth = in.depth;

  const std::wstring_view rawLayer = raw.layer;
  entry.layer =
      rawLayer.empty() ? in.layer : std::clamp(roundToInt(key.layer.value_or(in.layer)), -1000000, 1000000);
  const bool systemDialog = isSystemDialog_[index] != 0;
  if (systemDialog || in.popup) entry.layer = topLayer;
  const bool newContext = (!rawLayer.empty() && entry.layer != in.layer) || (systemDialog && !in.popup);
  if (!newContext && in.pathOwner >= 0) {
    const LayoutEntry& owner = placed_[static_cast<size_t>(in.pathOwner)];
    std::copy_n(owner.path.begin(), owner.pathLength, entry.path.begin());
    entry.pathLength = owner.pathLength;
  }
  entry.sequence = sequence_++;
  pushPair(entry.path, entry.pathLength, st.workingZOrder, entry.sequence);
  placedIndices_.push_back(key.preorder);

  Placement inner;
  inner.parent = design;
  inner.visible = entry.visible;
  inner.enabled = entry.enabled;
  inner.layer = entry.layer;
  inner.pathOwner = placedIndex;
  inner.clip = in.clip;
  inner.clipped = in.clipped;
  if (flagValue(raw.clip, false)) {
    inner.clip = in.clipped ? intersect(in.clip, entry.rect) : entry.rect;
    inner.clipped = true;
  }
  inner.popup = in.popup || systemDialog;
  inner.depth = in.depth + 1;
  layoutChildren(node.children, key.preorder + 1, inner);
}

void Screen::sortEntries() {
  order_.resize(placed_.size());
  for (uint32_t i = 0; i < order_.size(); ++i) order_[i] = i;
  const auto before = [this](uint32_t a, uint32_t b) { return drawsBefore(placed_[a], placed_[b]); };
  entryOf_.assign(preorder_.size(), -1);
  // Traversal order is usually the drawing order already; then the placed list is taken whole.
  if (std::is_sorted(order_.begin(), order_.end(), before)) {
    entries_.swap(placed_);
    for (size_t i = 0; i < entries_.size(); ++i)
      entryOf_[static_cast<size_t>(placedIndices_[i])] = static_cast<int32_t>(i);
    return;
  }
  std::sort(order_.begin(), order_.end(), before);
  entries_.clear();
  for (const uint32_t i : order_) {
    entryOf_[static_cast<size_t>(placedIndices_[i])] = static_cast<int32_t>(entries_.size());
    entries_.push_back(placed_[i]);
  }
}

const LayoutEntry* Screen::entryFor(const Node* node) const {
  if (!node) return nullptr;
  const int32_t index = preorderIndex(*node);
  if (index < 0 || static_cast<size_t>(index) >= entryOf_.size() || entryOf_[static_cast<size_t>(index)] < 0)
    return nullptr;
  return &entries_[static_cast<size_t>(entryOf_[static_cast<size_t>(index)])];
}

bool Screen::isInsideModal(const Node& node) const {
  if (!modal_) return true;
  for (const Node* at = &node; at; at = at->parent)
    if (at == modal_) return true;
  return false;
}

void Screen::settleAfterLayout() {
  if (!interaction_.popup.empty()) {
    const Node* dropdown = findNode(interaction_.popup);
    const LayoutEntry* entry = entryFor(dropdown);
    const NodeState* dropdownState = state(interaction_.popup);
    if (!entry || !dropdownState || dropdownState->rows.empty() || !entry->visible || !entry->enabled ||
        !isInsideModal(*dropdown))
      closePopup();
  }
  const std::wstring modalName = modal_ ? std::wstring(modal_->name) : std::wstring();
  if (modalName == recordedModal_) return;
  recordedModal_ = modalName;
  layoutNeeded_ = true;
  const Node* focused = findNode(interaction_.focused);
  if (!modal_) {
    if (!focused || !entryFor(focused) || !canFocus(*focused)) setFocus(nullptr);
    return;
  }
  if (const Node* pressed = findNode(interaction_.pressed); pressed && !isInsideModal(*pressed)) {
    interaction_.pressed.clear();
    interaction_.clicked.clear();
    interaction_.dropTarget.clear();
    interaction_.dragging = false;
    interaction_.thumbDrag = false;
  }
  if (focused && isInsideModal(*focused)) return;
  const std::vector<Node*> order = tabOrder();
  setFocus(order.empty() ? nullptr : order.front());
}

PopupGeometry Screen::popupGeometry(const Node& dropdown) {
  PopupGeometry popup;
  const LayoutEntry* entry = entryFor(&dropdown);
  const NodeState* dropdownState = state(dropdown.name);
  if (!entry || !dropdownState) return popup;
  const PixelRect e = entry->rect;
  const int32_t width = clientWidth_, height = clientHeight_;
  popup.border = std::max(2, roundToInt(3 * scale_));
  popup.rowHeight = std::max(
      18, saturatePixel(std::round(number(dropdown, L"rowHeight", std::max(dropdownState->height, 24.0)) * scale_)));
  const int32_t count = static_cast<int32_t>(dropdownState->rows.size());
  const int32_t rows = std::max(1, std::clamp(roundToInt(number(dropdown, L"popupRows", 8)), 1, std::max(1, count)));
  const int32_t body = saturatePixel(static_cast<double>(rows) * popup.rowHeight + 2.0 * popup.border);
  PixelRect& r = popup.rect;
  r.top = e.bottom + 1;
  r.bottom = e.bottom + body + 1;
  if (r.bottom > height && e.top - body >= 0) {
    r.bottom = e.top - 1;
    r.top = r.bottom - body;
  }
  r.left = e.left;
  r.right = e.right;
  if (r.right > width) {
    r.left = std::max(0, e.left - (e.right - width));
    r.right = width;
  }
  if (r.bottom > height) {
    r.top -= r.bottom - height;
    r.bottom = height;
  }
  if (r.top < 0) {
    const int32_t previousTop = r.top;
    r.top = 0;
    r.bottom = std::min(height, r.bottom - previousTop);
  }
  popup.visibleRows = std::max(1, std::min(count, (r.height() - 2 * popup.border) / popup.rowHeight));
  return popup;
}

PixelRect Screen::popupRect(const Node& dropdown) { return popupGeometry(dropdown).rect; }

int32_t Screen::popupVisibleRows(const Node& dropdown) { return popupGeometry(dropdown).visibleRows; }

// The control under the pointer, or the nearest ancestor of it, that has tooltip text.
Node* Screen::tooltipTarget() {
  for (Node* node = hitTest(interaction_.mouseX, interaction_.mouseY, false, true); node; node = node->parent)
    if (!resolveValue(node->raw(L"tooltip")).empty()) return node;
  return nullptr;
}

Node* Screen::tooltipNode() {
  if (!interaction_.tooltipShown || !interaction_.pressed.empty() || interaction_.dragging ||
      !interaction_.popup.empty())
    return nullptr;
  Node* target = tooltipTarget();
  return target && target->name == interaction_.tooltipCandidate ? target : nullptr;
}

PixelRect Screen::tooltipRect(const Node& node) {
  const std::wstring text = resolveValue(node.raw(L"tooltip"));
  size_t lines = 1, longest = 0, lineStart = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != L'\n') continue;
    longest = std::max(longest, i - lineStart);
    lineStart = i + 1;
    if (i < text.size()) ++lines;
  }
  const double s = scale_;
  const int32_t padding = scaledPixels(guiMetrics.entry(tooltipPaddingMetric), s) * 2;
  const int32_t width = std::min(
      clientWidth_, std::max(scaledPixels(80, s), saturatePixel(std::trunc(static_cast<double>(longest) * 8 * s)) + padding));
  const int32_t height =
      std::min(clientHeight_, std::max(scaledPixels(36, s), std::max(1, saturatePixel(std::round(static_cast<double>(lines) * 20 * s))) + padding));
  const int32_t left = std::clamp(interaction_.mouseX - width / 2, 0, std::max(0, clientWidth_ - width));
  const int32_t top = std::clamp(interaction_.mouseY - scaledPixels(18, s) - height, 0, std::max(0, clientHeight_ - height));
  return PixelRect{left, top, left + width, top + height};
}

}  // namespace Corvanthorne::Gui
