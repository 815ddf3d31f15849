#pragma once
// Screen: the runtime of one GUI document. It keeps per-control state, connects the document
// to the application through named value bindings ($name), actions and canvas renderers,
// lays the controls out for a client size and turns mouse, keyboard and timer events into
// state changes and actions. Implementation files by concern: screen_document.cpp (loading,
// state creation), screen_bindings.cpp (values, actions, overrides, rows),
// screen_input.cpp (focus and popups).
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "gui/document.h"

namespace Corvanthorne::Gui {

struct CorvanthorneGuiTheme;
class DrawList;

// A rectangle in window pixels; left and top inclusive, right and bottom exclusive.
struct PixelRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
  bool contains(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool operator==(const PixelRect&) const = default;
};

using ActionHandler = std::function<void(Node&)>;
using ValueGetter = std::function<std::wstring()>;
using ValueSetter = std::function<void(std::wstring_view)>;
using CanvasRenderer = std::function<void(const Node&, const PixelRect&, const CorvanthorneGuiTheme&, DrawList&)>;

// One row of a "List" or "Dropdown". Rows parsed from `items` fill value, text and enabled;
// the display fields after them are filled by the application's own lists.
struct ListItem {
  std::wstring value;
  std::wstring text;
  std::wstring detail;
  bool enabled = true;
  int32_t indent = 0;        // depth in a "hierarchy" list; negative counts as 0
  int64_t badge = 0;         // display value drawn beside the row
  bool hasToggle = false;    // a "hierarchy" row with a toggle box
  bool expanded = false;     // chooses the toggle glyph
  bool emphasised = false;   // chooses the row's text tone
  int64_t tag = 0;           // further display value

  bool operator==(const ListItem&) const = default;
};

struct Override {
  bool value = false;
  bool set = false;
};

// Runtime state of one control, keyed by control name (controls of the same name in
// different included documents share it).
struct NodeState {
  double x = 0, y = 0, width = 0, height = 0;
  double initialX = 0, initialY = 0, initialWidth = 0, initialHeight = 0;
  double value = 0;
  bool checked = false;
  bool valueOverridden = false;
  bool checkedOverridden = false;
  Override visible;
  Override enabled;
  std::wstring textOverride;
  bool textOverridden = false;
  std::vector<ListItem> rows;
  int32_t selectedRow = -1;
  int32_t highlightedRow = -1;  // popups and keyboard navigation
  int32_t firstVisibleRow = 0;
  uint64_t zOrder = 0;
  uint64_t workingZOrder = 0;  // raised when a window is brought to the front
};

class Screen {
 public:
  // ---- Document ----
  bool load(const std::filesystem::path& path);
  bool setDocument(Document document);
  const Document& document() const { return document_; }
  Node* findNode(std::wstring_view name) const;
  NodeState* state(std::wstring_view name);

  // ---- Bindings, actions and renderers ----
  void setAction(std::wstring_view name, ActionHandler handler);
  void bindValue(std::wstring_view name, ValueGetter getter, ValueSetter setter = {});
  void setCanvasRenderer(std::wstring_view name, CanvasRenderer renderer);
  const CanvasRenderer* canvasRenderer(std::wstring_view name) const;
  void checkCanvasRenderers(const Node& node) const;

  std::wstring resolveValue(std::wstring_view raw);
  double number(const Node& node, std::wstring_view key, double fallback);
  bool flag(const Node& node, std::wstring_view key, bool fallback);
  bool isVisible(const Node& node);
  void invokeAction(Node& node, std::wstring_view key);
  void writeBack(const Node& node, std::wstring_view key, std::wstring_view newText);

  // ---- Control state ----
  bool setVisible(std::wstring_view name, bool visible);
  std::wstring text(std::wstring_view name);
  bool setListItems(std::wstring_view name, std::vector<ListItem> rows);

  // ---- Focus and popups ----
  void setFocus(const Node* node);
  const std::wstring& focusedName() const { return interaction_.focused; }
  void closePopup();
  const std::wstring& popupName() const { return interaction_.popup; }

  // ---- Flags and counters ----
  bool layoutNeeded() const { return layoutNeeded_; }
  bool redrawNeeded() const { return redrawNeeded_; }
  double designWidth() const { return designWidth_; }
  double designHeight() const { return designHeight_; }
  uint64_t documentsLoaded() const { return documentsLoaded_; }
  uint64_t getterCalls() const { return getterCalls_; }

 private:
  // Everything the user is doing right now; control references are names so that they
  // survive layout rebuilds.
  struct Interaction {
    std::wstring focused;
    std::wstring hover;
    std::wstring pressed;
    std::wstring clicked;
    std::wstring dropTarget;
    std::wstring popup;
    std::wstring tooltipCandidate;
    int64_t tooltipStart = 0;
    bool tooltipShown = false;
    bool dragging = false;
    uint8_t dropModifier = 0;
    bool caretVisible = true;
    int64_t caretNextToggle = 0;
  };

  void markChanged() { layoutNeeded_ = redrawNeeded_ = true; }
  void createStates();
  void takeDesignSize();
  std::vector<ListItem> parseItems(const Node& node);
  bool isSelfOrInside(std::wstring_view name, const Node& ancestor) const;
  void replaceLogRows(const Node& node, NodeState& state, std::vector<ListItem> rows);
  void replaceListRows(const Node& node, NodeState& state, std::vector<ListItem> rows);

  Document document_;
  NameMap<Node*> nodesByName_;  // first node of each name in pre-order, as findNode answers
  NameMap<NodeState> states_;
  NameMap<ActionHandler> actions_;
  NameMap<ValueGetter> getters_;
  NameMap<ValueSetter> setters_;
  NameMap<CanvasRenderer> renderers_;

  double designWidth_ = 1280;
  double designHeight_ = 720;
  bool layoutNeeded_ = true;
  bool redrawNeeded_ = true;
  Interaction interaction_;

  uint64_t largestZOrder_ = 0;
  uint64_t documentsLoaded_ = 0;
  uint64_t getterCalls_ = 0;
};

}  // namespace Corvanthorne::Gui
