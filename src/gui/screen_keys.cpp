// Screen: the keyboard (Tab order, Escape, and each control's keys), typing into inputs, and
// the tooltip and caret timers.
#include <algorithm>

#include "gui/controls.h"
#include "gui/screen.h"
#include "gui/style.h"
#include "gui/values.h"

namespace Corvanthorne::Gui {
namespace {

constexpr int32_t vkBackspace = 8, vkTab = 9, vkEnter = 13, vkEscape = 27, vkSpace = 32, vkLeft = 37,
                  vkUp = 38, vkRight = 39, vkDown = 40;
constexpr int64_t caretPeriod = 500'000'000;  // nanoseconds

// Removes the last character, both halves of a surrogate pair included.
void removeLastCharacter(std::wstring& text) {
  if (text.empty()) return;
  const wchar_t last = text.back();
  text.pop_back();
  if (last >= 0xDC00 && last <= 0xDFFF && !text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF)
    text.pop_back();
}

// Removes the whitespace at the end and the word before it.
void removeLastWord(std::wstring& text) {
  while (!text.empty() && isWhitespace(text.back())) text.pop_back();
  while (!text.empty() && !isWhitespace(text.back())) text.pop_back();
}

}  // namespace

void Screen::hideTooltip() {
  if (interaction_.tooltipShown) layoutNeeded_ = true;
  interaction_.tooltipShown = false;
  interaction_.tooltipCandidate.clear();
}

void Screen::clearFocusUnlessMoved(const std::wstring& name) {
  if (interaction_.focused == name) setFocus(nullptr);
}

bool Screen::editInput(Node& input, std::wstring text) {
  if (NodeState* inputState = state(input.name)) {
    inputState->textOverride = text;
    inputState->textOverridden = true;
  }
  writeBackAndNotify(input, L"text", text);
  layoutNeeded_ = true;
  restartCaret();
  return true;
}

bool Screen::handleEscape() {
  if (!interaction_.popup.empty()) {
    closePopup();
    return true;
  }
  Node* focused = findNode(interaction_.focused);
  if (focused && focused->type == L"Input" && !focused->raw(L"onCancel").empty()) {
    const std::wstring name(focused->name);
    invokeAction(*focused, L"onCancel");
    clearFocusUnlessMoved(name);
    return true;
  }
  if (modal_) {
    invokeAction(*modal_, L"onEscape");
    return true;
  }
  if (focused && focused->type == L"Input") {
    setFocus(nullptr);
    return true;
  }
  for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
    if (entry->visible && entry->node->type == L"Window" && !entry->node->raw(L"onEscape").empty()) {
      invokeAction(*entry->node, L"onEscape");
      return true;
    }
  }
  return false;
}

// Up and Down step cyclically to the next enabled row; Enter and Space open the popup or
// take its highlighted row.
bool Screen::dropdownKey(Node& dropdown, int32_t key) {
  NodeState* dropdownState = state(dropdown.name);
  if (!dropdownState) return false;
  const bool open = interaction_.popup == dropdown.name;
  if (key == vkEnter || key == vkSpace) {
    if (!open) {
      openPopup(dropdown);
      return true;
    }
    const int32_t row = dropdownState->highlightedRow;
    if (dropdownState->rowEnabled(row) && row != dropdownState->selectedRow) selectRow(dropdown, *dropdownState, row, true);
    closePopup();
    return true;
  }
  const int32_t count = dropdownState->rowCount();
  if ((key != vkUp && key != vkDown) || count == 0) return false;
  const int32_t step = key == vkDown ? 1 : -1;
  int32_t row = open ? dropdownState->highlightedRow : dropdownState->selectedRow;
  if (row < 0 || row >= count) row = key == vkDown ? -1 : 0;
  for (int32_t tried = 0; tried < count; ++tried) {
    row = ((row + step) % count + count) % count;
    if (!dropdownState->rows[static_cast<size_t>(row)].enabled) continue;
    dropdownState->highlightedRow = row;
    if (open) scrollPopupTo(dropdown, *dropdownState);
    selectRow(dropdown, *dropdownState, row, true);
    return true;
  }
  return true;
}

// Up and Down move the selection to the next enabled row without wrapping.
bool Screen::listKey(Node& list, int32_t key) {
  NodeState* listState = state(list.name);
  if (!listState) return false;
  const int32_t count = listState->rowCount();
  const int32_t step = key == vkDown ? 1 : -1;
  int32_t row = listState->selectedRow;
  if (row < 0 || row >= count) row = key == vkDown ? -1 : count;
  for (row += step; row >= 0 && row < count; row += step) {
    if (listState->rows[static_cast<size_t>(row)].enabled) {
      selectRow(list, *listState, row, false);
      break;
    }
  }
  return true;
}

bool Screen::sliderKey(Node& slider, int32_t key) {
  NodeState* sliderState = state(slider.name);
  if (!sliderState) return false;
  const double step = number(slider, L"step", 1);
  const double low = number(slider, L"min", 0), high = number(slider, L"max", 1);
  const double value = std::max(low, std::min(high, effectiveValue(slider) + (key == vkRight ? step : -step)));
  sliderState->value = value;
  sliderState->valueOverridden = true;
  layoutNeeded_ = true;
  writeBackAndNotify(slider, L"value", formatFixed(value));
  return true;
}

bool Screen::keyDown(int32_t virtualKey, bool shift, bool control) {
  layout();
  if (virtualKey == vkTab) {
    if (!interaction_.popup.empty()) closePopup();
    focusNext(shift);
    return true;
  }
  if (Node* focused = findNode(interaction_.focused); focused && (!canFocus(*focused) || !isInsideModal(*focused)))
    setFocus(nullptr);
  if (virtualKey == vkEscape) return handleEscape();
  Node* focused = findNode(interaction_.focused);
  if (!focused) return false;
  const std::wstring_view type = focused->type;
  if (type == L"Input") {
    if (virtualKey == vkBackspace) {
      std::wstring current = text(focused->name);
      if (control) {
        removeLastWord(current);
      } else {
        removeLastCharacter(current);
      }
      return editInput(*focused, std::move(current));
    }
    if (virtualKey == vkEnter && !flag(*focused, L"wrap", false) && !focused->raw(L"onSubmit").empty()) {
      const std::wstring name(focused->name);
      invokeAction(*focused, L"onSubmit");
      clearFocusUnlessMoved(name);
      return true;
    }
    return false;
  }
  if (type == L"Dropdown") return dropdownKey(*focused, virtualKey);
  const bool ordinaryList = type == L"List" && !isTextLog(*focused);
  if (ordinaryList && (virtualKey == vkUp || virtualKey == vkDown)) return listKey(*focused, virtualKey);
  if ((type == L"Slider" || type == L"ScrollBar") && (virtualKey == vkLeft || virtualKey == vkRight))
    return sliderKey(*focused, virtualKey);
  if (ordinaryList && isHierarchy(*focused) && virtualKey == vkSpace) {
    const NodeState* listState = state(focused->name);
    const int32_t row = listState ? listState->selectedRow : -1;
    if (listState && listState->rowEnabled(row) && listState->rows[static_cast<size_t>(row)].hasToggle) {
      invokeAction(*focused, L"onClick");
      return true;
    }
    return activate(*focused);
  }
  if (virtualKey == vkEnter || virtualKey == vkSpace) return activate(*focused);
  return false;
}

bool Screen::character(uint16_t codeUnit) {
  layout();
  Node* focused = findNode(interaction_.focused);
  if (!focused || focused->type != L"Input" || !canFocus(*focused) || !isInsideModal(*focused)) return false;
  wchar_t unit = static_cast<wchar_t>(codeUnit);
  if (flag(*focused, L"wrap", false) && (unit == L'\r' || unit == L'\n')) {
    unit = L'\n';
  } else if (codeUnit < 32 || codeUnit == 127) {
    return false;
  }
  std::wstring current = text(focused->name);
  if (static_cast<double>(current.size()) >= std::max(1.0, number(*focused, L"maxLength", 128))) return false;
  current.push_back(unit);
  return editInput(*focused, std::move(current));
}

bool Screen::tick(int64_t now) {
  layout();
  const bool wasShown = interaction_.tooltipShown;
  const Node* target = tooltipTarget();
  if (!target || !interaction_.pressed.empty() || interaction_.dragging || !interaction_.popup.empty()) {
    interaction_.tooltipShown = false;
    interaction_.tooltipCandidate.clear();
  } else if (target->name != interaction_.tooltipCandidate) {
    interaction_.tooltipCandidate = target->name;
    interaction_.tooltipStart = now;
    interaction_.tooltipShown = false;
  } else if (!interaction_.tooltipShown) {
    const double delay = std::max(0.0, number(*target, L"tooltipDelay", 0.35));
    interaction_.tooltipShown = static_cast<double>(now - interaction_.tooltipStart) / 1e9 > delay;
  }
  if (interaction_.tooltipShown != wasShown) layoutNeeded_ = true;

  const Node* focused = findNode(interaction_.focused);
  if (focused && focused->type == L"Input") {
    if (interaction_.caretNextToggle == 0) {
      interaction_.caretNextToggle = now + caretPeriod;
    } else if (now >= interaction_.caretNextToggle) {
      const int64_t periods = (now - interaction_.caretNextToggle) / caretPeriod + 1;
      interaction_.caretNextToggle += periods * caretPeriod;
      if (periods % 2 == 1) {
        interaction_.caretVisible = !interaction_.caretVisible;
        layoutNeeded_ = true;
      }
    }
  } else {
    interaction_.caretNextToggle = 0;
    if (!interaction_.caretVisible) layoutNeeded_ = true;
    interaction_.caretVisible = true;
  }
  return layoutNeeded_ || redrawNeeded_;
}

}  // namespace Corvanthorne::Gui
