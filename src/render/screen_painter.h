#pragma once
// Painting a laid-out Screen: every visible control in layout order (clipped where layout
// says), then the open drop-down's pop-up, the drag-group frames and the tooltip. The walk and
// the control looks are shared; the GDI path (gdi_win.cpp) overrides the controls it paints
// its own way and executes some painters' commands as a draw list.
#include "gui/screen.h"
#include "render/looks.h"

namespace Corvanthorne::Gui {

// Whether painting lays the screen out first: always for a screen whose layout may read
// bindings (the launcher window), or only when the screen was marked for layout (the loading
// window, which sets every value itself and redraws 120 times a second).
enum class LayoutPolicy { Always, WhenMarked };

class ScreenPainter {
 public:
  ScreenPainter(Screen& screen, const CorvanthorneGuiTheme& theme, PaintTarget& target,
                LayoutPolicy layout = LayoutPolicy::Always)
      : screen_(screen), theme_(theme), target_(target), layout_(layout) {}
  virtual ~ScreenPainter() = default;

  // Lays the screen out and paints it. Throws only for a strict screen's missing canvas
  // renderer ("Missing GPU canvas renderer: NAME").
  void paint();

 protected:
  ControlLook lookOf(const LayoutEntry& entry);
  std::wstring resolved(const Node& node, PropertyName key) { return screen_.resolveValue(node.raw(key)); }
  // What an input or a drop-down shows, and whether it is the placeholder.
  struct ShownText {
    std::wstring text;
    bool placeholder = false;
  };
  // An input: its edit text (bullets for a password); while focused only the visible tail
  // inside `area`, with the caret in its visible phase. Empty, the placeholder.
  ShownText inputText(const ControlLook& look, const PixelRect& area);
  // A drop-down: the selected row's text, else the placeholder.
  ShownText dropdownText(const Node& dropdown);
  // Without a renderer: a strict screen refuses, another draws the canvas's image.
  void paintCanvasFallback(const ControlLook& look);

  virtual void paintInput(const ControlLook& look);
  virtual void paintDropdown(const ControlLook& look);
  virtual void paintPopup(const Node& dropdown);
  virtual void paintSlotButton(const ControlLook& look);
  virtual void paintCanvas(const ControlLook& look) = 0;
  // Runs after the layout, before anything is painted (the GDI path makes its fonts).
  virtual void prepare() {}
  // Painters whose commands the GDI path executes as a draw list (the button painters) draw
  // into commandTarget(), then call finishCommands().
  virtual PaintTarget& commandTarget() { return target_; }
  virtual void finishCommands() {}

  Screen& screen_;
  const CorvanthorneGuiTheme& theme_;
  PaintTarget& target_;

 private:
  LayoutPolicy layout_;
  void paintControl(const LayoutEntry& entry);
  void paintWindow(const ControlLook& look);
  void paintPanel(const ControlLook& look);
  void paintButton(const ControlLook& look);
  void paintSelectorButton(const ControlLook& look);
  void paintTextControl(const ControlLook& look);
  void paintProgressBar(const ControlLook& look);
  void paintCheckbox(const ControlLook& look);
  void paintToggle(const ControlLook& look);
  void paintScrollBar(const ControlLook& look, const Node& list);
  void paintSlider(const ControlLook& look);
  void paintList(const ControlLook& look);
  void paintDragFrames();
  void paintTooltip();
};

// The draw-list path: the screen's commands, appended to `list` (which is not cleared).
void buildDrawList(Screen& screen, const CorvanthorneGuiTheme& theme, DrawList& list,
                   LayoutPolicy layout = LayoutPolicy::Always);

// The decorative concept looks (styles beginning with "concept"); false when the control is
// painted the ordinary way.
bool paintConcept(PaintTarget& target, const CorvanthorneGuiTheme& theme, Screen& screen, const ControlLook& look);

}  // namespace Corvanthorne::Gui
