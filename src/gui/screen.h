#pragma once
// Screen: the runtime of one GUI document. It keeps per-control state, connects the document
// to the application through named value bindings ($name), actions and canvas renderers,
// lays the controls out for a client size and turns mouse, keyboard and timer events into
// state changes and actions. Implementation files by concern: screen_document.cpp (loading,
// state creation), screen_bindings.cpp (values, actions, overrides, rows), screen_layout.cpp
// (placing controls, popups, tooltips), screen_input.cpp (hit testing, focus, popups,
// activation), screen_pointer.cpp (mouse, drag and drop, scroll bars) and screen_keys.cpp
// (keyboard, typing, timers).
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
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
// Paints straight into a GDI device context (an HDC passed opaquely). Only the launcher window
// paints with GDI; a screen drawn by the GPU refuses these.
using GdiCanvasRenderer = std::function<void(const Node&, const PixelRect&, const CorvanthorneGuiTheme&, void* deviceContext)>;

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

  int32_t rowCount() const { return static_cast<int32_t>(rows.size()); }
  // Only enabled rows can be selected, highlighted or activated.
  bool rowEnabled(int32_t row) const { return row >= 0 && row < rowCount() && rows[static_cast<size_t>(row)].enabled; }
};

struct StackPair {
  uint64_t zOrder = 0;
  uint32_t sequence = 0;
};

// One placed control. Drawing walks the placed list in order, hit testing backwards.
struct LayoutEntry {
  Node* node = nullptr;
  PixelRect rect;
  PixelRect clip;  // from the nearest clipping ancestor, when `clipped`
  bool visible = true;
  bool enabled = true;
  bool clipped = false;
  int32_t layer = 0;
  std::array<StackPair, 16> path{};
  uint8_t pathLength = 0;
  uint32_t sequence = 0;
  int32_t depth = 0;
};

// Receives the dragged control, the control it was dropped on and the drop-modifier flag.
using DropHandler = std::function<void(Node& dragged, Node& target, uint8_t modifier)>;

// The pixel geometry of an open drop-down's pop-up: hit testing and painting share it.
struct PopupGeometry {
  PixelRect rect;
  int32_t border = 0;
  int32_t rowHeight = 1;
  int32_t visibleRows = 1;
};

// The pixel geometry of a scroll bar and the list it scrolls: arrows (`arrow` pixels at each
// end), the track and the thumb.
struct ScrollGeometry {
  int32_t arrow = 1;
  int32_t trackTop = 0;
  int32_t trackLength = 1;
  int32_t thumbTop = 0;
  int32_t thumbLength = 1;
  int32_t visibleRows = 1;
  int32_t lastStart = 0;  // the last first-row position; above 0 when the list can scroll
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
  void setGdiCanvasRenderer(std::wstring_view name, GdiCanvasRenderer renderer);
  const GdiCanvasRenderer* gdiCanvasRenderer(std::wstring_view name) const;
  bool hasGdiCanvasRenderers() const { return !gdiRenderers_.empty(); }

  std::wstring resolveValue(std::wstring_view raw);
  double number(const Node& node, PropertyName key, double fallback);
  bool flag(const Node& node, PropertyName key, bool fallback);
  bool isVisible(const Node& node);
  void invokeAction(Node& node, PropertyName key);
  void writeBack(const Node& node, PropertyName key, std::wstring_view newText);
  // Writes back, then fires `onChange` on the control looked up again by name (the setter
  // may have replaced the document).
  void writeBackAndNotify(const Node& node, PropertyName key, std::wstring_view newText);

  // ---- Control state ----
  // The runtime overrides an application sets by control name. Each returns false when the
  // name has no state and marks a redraw only when something changed.
  bool setVisible(std::wstring_view name, bool visible);
  bool setText(std::wstring_view name, std::wstring_view text);
  bool setValue(std::wstring_view name, double value);
  bool setChecked(std::wstring_view name, bool checked);
  bool setSelectedRow(std::wstring_view name, int32_t row);  // clamped to -1 .. rows - 1
  std::wstring text(std::wstring_view name);
  // The same without a copy, for painting every frame; a bound text stays valid only until
  // the next call.
  std::wstring_view textView(std::wstring_view name);
  bool setListItems(std::wstring_view name, std::vector<ListItem> rows);
  // The value of a "Slider" or "ProgressBar" (the runtime value once set) and the state of a
  // "Checkbox" (the user's toggle once made), as input and painting both read them.
  double effectiveValue(const Node& node);
  bool isChecked(const Node& node);

  // ---- Layout ----
  void setClientSize(int32_t width, int32_t height);
  void layout();
  const std::vector<LayoutEntry>& entries() const { return entries_; }
  const LayoutEntry* entryFor(const Node* node) const;
  Node* findModal() const { return modal_; }
  PixelRect popupRect(const Node& dropdown);
  int32_t popupVisibleRows(const Node& dropdown);
  PopupGeometry popupGeometry(const Node& dropdown);
  // Rows of a "List": their pixel height, the inner padding above the first, and how many fit.
  int32_t listRowHeight(const Node& list);
  int32_t listPadding() const;
  int32_t listVisibleRows(const Node& list);
  // The "List" a "ScrollBar" scrolls (its `targetList`), or null.
  Node* scrollTarget(const Node& scrollBar);
  ScrollGeometry scrollGeometry(const Node& scrollBar, const Node& list);
  Node* tooltipNode();
  PixelRect tooltipRect(const Node& node);
  float scale() const { return scale_; }
  int32_t offsetX() const { return offsetX_; }
  int32_t offsetY() const { return offsetY_; }
  int32_t clientWidth() const { return clientWidth_; }
  int32_t clientHeight() const { return clientHeight_; }

  // ---- Input ----
  bool mouseMove(int32_t x, int32_t y);
  void mouseDown(int32_t x, int32_t y);
  void mouseUp(int32_t x, int32_t y);
  void mouseWheel(int32_t x, int32_t y, int32_t delta);
  // Control+Backspace in an input removes the last word.
  bool keyDown(int32_t virtualKey, bool shift, bool control = false);
  bool character(uint16_t codeUnit);
  bool tick(int64_t nowNanoseconds);
  Node* hitTest(int32_t x, int32_t y, bool interactiveOnly, bool skipContainers);
  bool isInteractive(const Node& node);
  bool canFocus(const Node& node);
  std::vector<Node*> tabOrder();
  void focusNext(bool backwards);
  bool activate(Node& node);
  void openPopup(const Node& dropdown);
  void closePopup();
  void setFocus(const Node* node);
  // Drop handlers are named by the dragged control's `onDrop`; the host sets the modifier
  // (for example while Ctrl is held) before the release.
  void setDropHandler(std::wstring_view name, DropHandler handler);
  void setDropModifier(uint8_t modifier) { interaction_.dropModifier = modifier; }

  // What drawing shows of the interaction.
  const std::wstring& focusedName() const { return interaction_.focused; }
  const std::wstring& hoverName() const { return interaction_.hover; }
  const std::wstring& pressedName() const { return interaction_.pressed; }
  const std::wstring& dropTargetName() const { return interaction_.dropTarget; }
  const std::wstring& popupName() const { return interaction_.popup; }
  bool isDragging() const { return interaction_.dragging; }
  bool caretVisible() const { return interaction_.caretVisible; }
  int32_t pointerX() const { return interaction_.mouseX; }
  int32_t pointerY() const { return interaction_.mouseY; }
  int32_t pressX() const { return interaction_.pressX; }
  int32_t pressY() const { return interaction_.pressY; }

  // ---- Painting ----
  // A screen prepared for the GPU refuses GDI painting; a strict screen refuses a canvas
  // without a registered renderer instead of drawing its image.
  void setGpuPrepared(bool prepared) { gpuPrepared_ = prepared; }
  bool gpuPrepared() const { return gpuPrepared_; }
  void setStrict(bool strict) { strict_ = strict; }
  bool strict() const { return strict_; }
  // Overall opacity (0 to 1) applied to everything painted.
  void setOpacity(float opacity);
  float opacity() const { return opacity_; }

  // ---- Flags and counters ----
  bool layoutNeeded() const { return layoutNeeded_; }
  bool redrawNeeded() const { return redrawNeeded_; }
  void markLayoutNeeded() { layoutNeeded_ = true; }
  void markRedrawNeeded() { redrawNeeded_ = true; }
  double designWidth() const { return designWidth_; }
  double designHeight() const { return designHeight_; }
  uint64_t documentsLoaded() const { return documentsLoaded_; }
  uint64_t getterCalls() const { return getterCalls_; }
  uint64_t layoutsBuilt() const { return layoutsBuilt_; }

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
    int32_t mouseX = 0, mouseY = 0;
    int32_t pressX = 0, pressY = 0;
    double pressNodeX = 0, pressNodeY = 0;
    bool dragging = false;
    uint8_t dropModifier = 0;
    bool thumbDrag = false;
    int32_t thumbGrab = 0;
    bool caretVisible = true;
    int64_t caretNextToggle = 0;
  };

  struct DesignRect {
    double left = 0, top = 0, right = 0, bottom = 0;
  };
  // What a control hands down to its children while being placed.
  struct Placement {
    DesignRect parent;
    bool visible = true;
    bool enabled = true;
    int32_t layer = 0;
    int32_t pathOwner = -1;  // the placed entry whose stacking path children extend; -1: none
    PixelRect clip;
    bool clipped = false;
    bool popup = false;
    int32_t depth = 0;
  };
  struct ChildKey {
    Node* node;
    bool containsDialog;
    std::optional<double> layer;  // none when absent or not a number
    bool modal;
    uint64_t zOrder;
    uint32_t index;       // among its siblings
    int32_t preorder;     // in the document
  };

  void markChanged() { layoutNeeded_ = redrawNeeded_ = true; }
  void indexDocument();
  NodeState* stateOf(const Node& node) const;  // by the node's pre-order index, no name hashing
  void createStates();
  void takeDesignSize();
  std::vector<ListItem> parseItems(const Node& node);
  bool isSelfOrInside(std::wstring_view name, const Node& ancestor) const;
  void replaceLogRows(const Node& node, NodeState& state, std::vector<ListItem> rows);
  void replaceListRows(const Node& node, NodeState& state, std::vector<ListItem> rows);

  // Layout (screen_layout.cpp).
  int32_t preorderIndex(const Node& node) const;
  void markSystemDialogs();
  void layoutChildren(std::span<Node* const> children, int32_t firstPreorder,
                      const Placement& placement);
  void placeControl(ChildKey key, const Placement& placement);
  // Raw values layout reads for every control on every call, looked up once per document
  // (a document's property text does not change until the next document).
  struct LayoutRaw {
    std::wstring_view x{}, y{}, width{}, height{}, anchor{}, layer{}, enabled{}, clip{}, hidden{}, visible{}, modal{},
        systemDialog{};
  };
  DesignRect designRect(const Node& node, const LayoutRaw& raw, const NodeState& state, const DesignRect& parent);
  void sortEntries();
  void settleAfterLayout();
  Node* tooltipTarget();
  int32_t toPixelX(double unit) const;
  int32_t toPixelY(double unit) const;
  bool isInsideModal(const Node& node) const;
  bool isVisible(const Node& node, const NodeState* nodeState);
  bool isVisible(const LayoutRaw& raw, const NodeState* nodeState);
  bool flagValue(std::wstring_view raw, bool fallback);

  // Input (screen_input.cpp, screen_pointer.cpp, screen_keys.cpp).
  bool isPlacedVisibleEnabled(const Node& node) const;
  void scrollList(const Node& list, int32_t firstRow);
  void pressScrollBar(const Node& scrollBar, int32_t y);
  void dragThumb(const Node& scrollBar, int32_t y);
  void dragSlider(Node& slider, int32_t x);
  void pressList(Node& list, int32_t x, int32_t y);
  void selectRow(Node& control, NodeState& state, int32_t row, bool writeBackRow);
  void scrollPopupTo(const Node& dropdown, NodeState& state);
  bool pressPopup(int32_t x, int32_t y);
  void bringToFront(const Node& node);
  void finishDrag(Node& dragged, int32_t x, int32_t y);
  Node* dropTargetAt(const Node& dragged, int32_t x, int32_t y);
  bool handleEscape();
  void clearFocusUnlessMoved(const std::wstring& name);
  bool editInput(Node& input, std::wstring text);
  bool dropdownKey(Node& dropdown, int32_t key);
  bool listKey(Node& list, int32_t key);
  bool sliderKey(Node& slider, int32_t key);
  void hideTooltip();
  void restartCaret();

  Document document_;
  NameViewMap<Node*> nodesByName_;  // first node of each name in pre-order, as findNode answers
  NameViewMap<NodeState> states_;  // keyed by the document's node names
  NameMap<ActionHandler> actions_;
  NameMap<ValueGetter> getters_;
  NameMap<ValueSetter> setters_;
  NameMap<CanvasRenderer> renderers_;
  NameMap<GdiCanvasRenderer> gdiRenderers_;

  NameMap<DropHandler> dropHandlers_;
  std::wstring boundText_;  // what textView() last read through a binding

  // The document in pre-order, for per-control layout scratch kept in flat vectors.
  std::vector<Node*> preorder_;
  std::unordered_map<const Node*, int32_t> preorderIndex_;
  std::vector<NodeState*> statesByIndex_;  // the state map does not change until the next document
  std::vector<LayoutRaw> layoutRaw_;  // per pre-order index
  std::vector<int32_t> subtreeSizes_;      // per pre-order index: the node and its descendants
  std::vector<int32_t> parentIndices_;     // per pre-order index, -1 for top-level controls

  double designWidth_ = 1280;
  double designHeight_ = 720;
  int32_t clientWidth_ = 1280;
  int32_t clientHeight_ = 720;
  float scale_ = 1.0f;
  int32_t offsetX_ = 0;
  int32_t offsetY_ = 0;
  bool layoutNeeded_ = true;
  bool redrawNeeded_ = true;
  bool gpuPrepared_ = false;
  bool strict_ = false;
  float opacity_ = 1.0f;

  // Layout results and scratch, reused from one layout to the next.
  std::vector<LayoutEntry> entries_;
  std::vector<LayoutEntry> placed_;
  std::vector<int32_t> placedIndices_;    // pre-order index of each placed entry
  std::vector<uint32_t> order_;
  std::vector<int32_t> entryOf_;          // per pre-order index: position in entries_, or -1
  std::vector<uint8_t> isSystemDialog_;   // per pre-order index
  std::vector<uint8_t> containsDialog_;   // per pre-order index: itself or a descendant
  std::vector<uint8_t> isModal_;          // per pre-order index, read while ordering children
  std::vector<ChildKey> childKeys_;
  uint32_t sequence_ = 0;
  Node* modal_ = nullptr;
  std::wstring recordedModal_;

  Interaction interaction_;

  uint64_t largestZOrder_ = 0;  // also the front counter handed to windows brought forward
  uint64_t documentsLoaded_ = 0;
  uint64_t layoutsBuilt_ = 0;
  uint64_t getterCalls_ = 0;
};

}  // namespace Corvanthorne::Gui
