// Screen: the mouse. Presses, releases, drags of windows, sliders and scroll-bar thumbs,
// drag and drop between controls of one drag group, list rows, and the wheel.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "gui/controls.h"
#include "gui/screen.h"
#include "gui/style.h"
#include "gui/values.h"

namespace Corvanthorne::Gui {
namespace {

constexpr int32_t dragThreshold = 3;  // pixels the pointer may wander before a press becomes a drag

bool beyondDragThreshold(int32_t dx, int32_t dy) { return std::abs(dx) > dragThreshold || std::abs(dy) > dragThreshold; }

// The popup row at a pointer height, or -1 in the borders.
int32_t popupRowAt(const PopupGeometry& popup, const NodeState& dropdown, int32_t y) {
  const int32_t offset = y - popup.rect.top - popup.border;
  if (offset < 0 || offset >= popup.rect.height() - 2 * popup.border) return -1;
  return dropdown.firstVisibleRow + offset / popup.rowHeight;
}

}  // namespace

int32_t Screen::listRowHeight(const Node& list) {
  return std::max(1, saturatePixel(std::round(std::trunc(number(list, L"rowHeight", 42)) * scale_)));
}

int32_t Screen::listPadding() const { return scaledPixels(4, scale_); }

int32_t Screen::listVisibleRows(const Node& list) {
  if (isTextLog(list)) return std::max(1, roundToInt(number(list, L"visibleLines", 5)));
  const LayoutEntry* entry = entryFor(&list);
  const int32_t padding = std::max(2, listPadding());
  const int32_t height = entry ? entry->rect.height() : 0;
  return std::max(1, (height - 2 * padding) / listRowHeight(list));
}

Node* Screen::scrollTarget(const Node& scrollBar) {
  if (scrollBar.type != L"ScrollBar") return nullptr;
  Node* list = findNode(scrollBar.raw(L"targetList"));
  return list && list->type == L"List" ? list : nullptr;
}

void Screen::scrollList(const Node& list, int32_t firstRow) {
  NodeState* listState = state(list.name);
  if (!listState) return;
  const int32_t clamped = std::clamp(firstRow, 0, std::max(0, listState->rowCount() - listVisibleRows(list)));
  if (clamped == listState->firstVisibleRow) return;
  listState->firstVisibleRow = clamped;
  layoutNeeded_ = true;
}

ScrollGeometry Screen::scrollGeometry(const Node& scrollBar, const Node& list) {
  ScrollGeometry g;
  const LayoutEntry* entry = entryFor(&scrollBar);
  const NodeState* listState = state(list.name);
  if (!entry || !listState) return g;
  const PixelRect bar = entry->rect;
  const int32_t rows = listState->rowCount();
  g.visibleRows = isTextLog(list) ? std::max(1, static_cast<int32_t>(std::trunc(number(list, L"visibleLines", 5))))
                                  : listVisibleRows(list);
  g.lastStart = std::max(0, rows - g.visibleRows);
  g.arrow = std::max(1, std::min(bar.height() / 3, bar.width()));
  g.trackTop = bar.top + g.arrow + 2;
  g.trackLength = std::max(1, (bar.bottom - g.arrow - 2) - g.trackTop);
  const int32_t t = g.trackLength;
  g.thumbLength = static_cast<int32_t>(int64_t{g.visibleRows} * t / std::max(g.visibleRows, rows));
  g.thumbLength = std::min(t, std::max(g.thumbLength, std::min(scaledPixels(18, scale_), t)));
  const int32_t first = std::clamp(listState->firstVisibleRow, 0, g.lastStart);
  g.thumbTop = g.trackTop + (g.lastStart == 0 ? 0 : static_cast<int32_t>(int64_t{first} * (t - g.thumbLength) / g.lastStart));
  return g;
}

void Screen::pressScrollBar(const Node& scrollBar, int32_t y) {
  const Node* list = scrollTarget(scrollBar);
  const LayoutEntry* entry = entryFor(&scrollBar);
  if (!list || !entry) return;
  const ScrollGeometry g = scrollGeometry(scrollBar, *list);
  const int32_t first = state(list->name)->firstVisibleRow;
  if (y < entry->rect.top + g.arrow) {
    scrollList(*list, first - 1);
  } else if (y < g.thumbTop) {
    scrollList(*list, first - g.visibleRows);
  } else if (y < g.thumbTop + g.thumbLength) {
    interaction_.thumbDrag = true;
    interaction_.thumbGrab = y - g.thumbTop;
  } else if (y < entry->rect.bottom - g.arrow) {
    scrollList(*list, first + g.visibleRows);
  } else {
    scrollList(*list, first + 1);
  }
}

void Screen::dragThumb(const Node& scrollBar, int32_t y) {
  const Node* list = scrollTarget(scrollBar);
  if (!list || !interaction_.thumbDrag) return;
  const ScrollGeometry g = scrollGeometry(scrollBar, *list);
  if (g.trackLength <= g.thumbLength) return;
  const double f = std::clamp(static_cast<double>(y - interaction_.thumbGrab - g.trackTop) / (g.trackLength - g.thumbLength), 0.0, 1.0);
  scrollList(*list, roundToInt(g.lastStart * f));
}

void Screen::dragSlider(Node& slider, int32_t x) {
  const LayoutEntry* entry = entryFor(&slider);
  NodeState* sliderState = state(slider.name);
  if (!entry || !sliderState) return;
  const PixelRect track = sliderValueArea(slider, entry->rect, scale_);
  const double fraction = std::clamp(static_cast<double>(x - track.left) / std::max(1, track.width()), 0.0, 1.0);
  const double low = number(slider, L"min", 0), high = number(slider, L"max", 1);
  const double value = low + fraction * (high - low);
  if (value != sliderState->value) {
    sliderState->value = value;
    sliderState->valueOverridden = true;
    layoutNeeded_ = true;
  }
  writeBackAndNotify(slider, L"value", formatFixed(value));
}

bool Screen::mouseMove(int32_t x, int32_t y) {
  layout();
  if (interaction_.tooltipShown && (x != interaction_.mouseX || y != interaction_.mouseY)) layoutNeeded_ = true;
  interaction_.mouseX = x;
  interaction_.mouseY = y;
  if (Node* pressed = findNode(interaction_.pressed)) {
    const std::wstring_view group = pressed->raw(L"dragGroup");
    if (!group.empty()) {
      if (beyondDragThreshold(x - interaction_.pressX, y - interaction_.pressY)) interaction_.dragging = true;
      if (interaction_.dragging) {
        const Node* target = dropTargetAt(*pressed, x, y);
        interaction_.dropTarget = target ? target->name : std::wstring();
        layoutNeeded_ = true;
      }
    }
    if (flag(*pressed, L"movable", false) && flag(*pressed, L"playerMovable", false)) {
      if (NodeState* moved = state(pressed->name)) {
        moved->x = interaction_.pressNodeX + (x - interaction_.pressX) / static_cast<double>(scale_);
        moved->y = interaction_.pressNodeY + (y - interaction_.pressY) / static_cast<double>(scale_);
        markChanged();
      }
    }
    if (scrollTarget(*pressed)) dragThumb(*pressed, y);
    if (pressed->type == L"Slider" || pressed->type == L"ScrollBar") dragSlider(*pressed, x);
  }
  if (interaction_.popup.empty()) {
    const Node* hover = hitTest(x, y, true, false);
    const std::wstring hoverName = hover ? std::wstring(hover->name) : std::wstring();
    if (hoverName != interaction_.hover) {
      interaction_.hover = hoverName;
      hideTooltip();
      layoutNeeded_ = true;
    }
  } else if (const Node* dropdown = findNode(interaction_.popup)) {
    const PopupGeometry popup = popupGeometry(*dropdown);
    const LayoutEntry* entry = entryFor(dropdown);
    NodeState* dropdownState = state(dropdown->name);
    if (popup.rect.contains(x, y) && dropdownState) {
      const int32_t row = popupRowAt(popup, *dropdownState, y);
      if (dropdownState->rowEnabled(row) && row != dropdownState->highlightedRow) {
        dropdownState->highlightedRow = row;
        layoutNeeded_ = true;
      }
    }
    const bool over = popup.rect.contains(x, y) || (entry && entry->rect.contains(x, y));
    interaction_.hover = over ? dropdown->name : std::wstring();
  }
  return layoutNeeded_ || redrawNeeded_;
}

// A press inside an open popup chooses its row and ends the press; a press elsewhere
// (other than on the drop-down itself) closes the popup. Returns true when consumed.
bool Screen::pressPopup(int32_t x, int32_t y) {
  Node* dropdown = findNode(interaction_.popup);
  NodeState* dropdownState = state(interaction_.popup);
  if (!dropdown || !dropdownState) {
    closePopup();
    return false;
  }
  const PopupGeometry popup = popupGeometry(*dropdown);
  if (popup.rect.contains(x, y)) {
    const int32_t row = popupRowAt(popup, *dropdownState, y);
    if (dropdownState->rowEnabled(row)) {
      if (row != dropdownState->selectedRow) {
        selectRow(*dropdown, *dropdownState, row, true);
      } else {
        dropdownState->highlightedRow = row;
      }
    }
    closePopup();
    interaction_.pressed.clear();
    interaction_.clicked.clear();
    return true;
  }
  const LayoutEntry* entry = entryFor(dropdown);
  if (!entry || !entry->rect.contains(x, y)) closePopup();
  return false;
}

// The nearest window at or above the node comes to the front, together with its top-level
// ancestor, so that it is drawn and hit above its siblings.
void Screen::bringToFront(const Node& node) {
  const Node* window = &node;
  while (window && window->type != L"Window") window = window->parent;
  if (!window) return;
  const Node* top = window;
  while (top->parent) top = top->parent;
  ++largestZOrder_;
  for (const Node* raised : {window, top})
    if (NodeState* raisedState = state(raised->name)) raisedState->workingZOrder = largestZOrder_;
  redrawNeeded_ = true;
}

void Screen::pressList(Node& list, int32_t x, int32_t y) {
  const LayoutEntry* entry = entryFor(&list);
  NodeState* listState = state(list.name);
  if (!entry || !listState) return;
  const int32_t rowHeight = listRowHeight(list);
  const int32_t padding = listPadding();
  const int32_t offset = y - padding - entry->rect.top;
  if (offset < 0) return;
  const int32_t row = listState->firstVisibleRow + offset / rowHeight;
  if (!listState->rowEnabled(row)) return;
  const ListItem& item = listState->rows[static_cast<size_t>(row)];
  bool clicked = true;
  if (isHierarchy(list) && item.hasToggle) {
    const int32_t rowTop = entry->rect.top + padding + (offset / rowHeight) * rowHeight;
    const PixelRect rowRect{entry->rect.left, rowTop, entry->rect.right, rowTop + rowHeight};
    clicked = hierarchyToggleBox(rowRect, item.indent, scale_).contains(x, y);
  }
  const std::wstring name(list.name);  // the change action may replace the document
  selectRow(list, *listState, row, true);
  if (Node* again = clicked ? findNode(name) : nullptr) invokeAction(*again, L"onClick");
}

void Screen::mouseDown(int32_t x, int32_t y) {
  layout();
  interaction_.dragging = false;
  interaction_.dropModifier = 0;
  interaction_.thumbDrag = false;
  hideTooltip();
  interaction_.mouseX = x;
  interaction_.mouseY = y;
  if (!interaction_.popup.empty() && pressPopup(x, y)) return;
  const Node* hit = hitTest(x, y, true, false);
  const std::wstring hitName = hit ? std::wstring(hit->name) : std::wstring();
  if (hit) setFocus(hit);  // focus actions may replace the document: look the control up again
  if (Node* under = hit ? findNode(hitName) : hitTest(x, y, false, false)) bringToFront(*under);
  interaction_.pressed = interaction_.clicked = findNode(hitName) ? hitName : std::wstring();
  interaction_.pressX = x;
  interaction_.pressY = y;
  const NodeState* pressedState = state(interaction_.pressed);
  interaction_.pressNodeX = pressedState ? pressedState->x : 0;
  interaction_.pressNodeY = pressedState ? pressedState->y : 0;
  if (Node* pressed = findNode(interaction_.pressed)) {
    if (scrollTarget(*pressed)) pressScrollBar(*pressed, y);
    if (pressed->type == L"List" && !isTextLog(*pressed)) pressList(*pressed, x, y);
  }
  layoutNeeded_ = true;
}

// The control of the dragged control's group under the pointer; the dragged control itself
// counts, so that dropping it back where it was is neither a drop nor a drop outside.
Node* Screen::dropTargetAt(const Node& dragged, int32_t x, int32_t y) {
  Node* target = hitTest(x, y, true, false);
  if (!target || target->raw(L"dragGroup") != dragged.raw(L"dragGroup")) return nullptr;
  return target;
}

void Screen::finishDrag(Node& dragged, int32_t x, int32_t y) {
  Node* target = dropTargetAt(dragged, x, y);
  if (!target) {
    invokeAction(dragged, L"onDropOutside");
  } else if (target != &dragged) {
    const auto handler = dropHandlers_.find(dragged.raw(L"onDrop"));
    if (handler != dropHandlers_.end()) handler->second(dragged, *target, interaction_.dropModifier);
  }
}

void Screen::mouseUp(int32_t x, int32_t y) {
  layout();
  interaction_.mouseX = x;
  interaction_.mouseY = y;
  if (interaction_.pressed.empty()) return;
  Node* pressed = findNode(interaction_.pressed);
  const bool drag = interaction_.dragging || beyondDragThreshold(x - interaction_.pressX, y - interaction_.pressY);
  const bool valid = pressed && isPlacedVisibleEnabled(*pressed) && isInsideModal(*pressed);
  interaction_.pressed.clear();
  interaction_.clicked.clear();
  interaction_.dropTarget.clear();
  interaction_.dragging = false;
  interaction_.thumbDrag = false;
  hideTooltip();
  if (valid && drag && !pressed->raw(L"dragGroup").empty()) {
    finishDrag(*pressed, x, y);
  } else if (valid && !drag && hitTest(x, y, true, false) == pressed && pressed->type != L"List") {
    activate(*pressed);
  }
  layoutNeeded_ = true;
}

void Screen::mouseWheel(int32_t x, int32_t y, int32_t delta) {
  layout();
  const int32_t steps = std::max(1, std::abs(delta) / 120);
  if (const Node* dropdown = findNode(interaction_.popup)) {
    const PopupGeometry popup = popupGeometry(*dropdown);
    const LayoutEntry* entry = entryFor(dropdown);
    NodeState* dropdownState = state(dropdown->name);
    if (dropdownState && (popup.rect.contains(x, y) || (entry && entry->rect.contains(x, y)))) {
      const int32_t first = std::clamp(dropdownState->firstVisibleRow + (delta > 0 ? -1 : 1), 0,
                                       std::max(0, dropdownState->rowCount() - popup.visibleRows));
      if (first != dropdownState->firstVisibleRow) layoutNeeded_ = true;
      dropdownState->firstVisibleRow = first;
      return;
    }
  }
  const Node* under = hitTest(x, y, false, false);
  if (under && scrollTarget(*under)) under = scrollTarget(*under);
  while (under && under->type != L"List") under = under->parent;
  if (const NodeState* listState = under ? state(under->name) : nullptr)
    scrollList(*under, listState->firstVisibleRow + (delta > 0 ? -steps : steps));
}

}  // namespace Corvanthorne::Gui
