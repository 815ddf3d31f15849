// The GDI path of painting a screen: the shared walk and looks on a GdiTarget, with the GDI
// looks of text fields, drop-downs, their pop-ups and slot buttons, and the button painters'
// commands executed as draw lists.
#include "render/gdi.h"

#include <algorithm>
#include <stdexcept>

#include "gui/values.h"
#include "render/gdi_canvas_win.h"
#include "render/geometry.h"
#include "render/screen_painter.h"

namespace Corvanthorne::Gui {

struct GdiRenderer::State {
  explicit State(std::filesystem::path folder) : bitmaps(std::move(folder)) {}
  GdiFonts fonts;
  GdiBitmaps bitmaps;
  DrawList commands;  // scratch for the painters whose commands run as a list
};

namespace {

float f(int32_t value) { return static_cast<float>(value); }

class GdiScreenPainter final : public ScreenPainter {
 public:
  GdiScreenPainter(Screen& screen, const CorvanthorneGuiTheme& theme, GdiTarget& target, GdiFonts& fonts, DrawList& commands)
      : ScreenPainter(screen, theme, target), gdi_(target), fonts_(fonts), commands_(commands), commandTarget_(commands) {}

 private:
  void prepare() override { fonts_.prepare(screen_.scale()); }
  PaintTarget& commandTarget() override { return commandTarget_; }
  void finishCommands() override {
    executeCommands(gdi_, commands_);
    commands_.clear();
  }

  // Every shape of the GDI looks is a round rectangle filled and outlined in one colour,
  // whose corner ellipse is `corner` pixels wide and high.
  void roundRect(const PixelRect& rect, size_t colour, int32_t corner) {
    if (!isEmpty(rect)) gdi_.fillRect(rect, theme_[colour], 1.0f, corner / 2.0f);
  }
  int32_t cornerSize(float scale) const { return scaledPixels(guiMetrics.entry(6), scale); }

  void textField(const ControlLook& look, const ShownText& shown, Colour fill) {
    const PixelRect& r = look.rect;
    const float s = screen_.scale();
    const int32_t corner = cornerSize(s);
    roundRect(r, !look.enabled ? 11 : look.focused ? 44 : 43, corner);
    if (!isEmpty(inset(r, 1)))
      gdi_.fillRect(inset(r, 1), look.enabled ? fill : theme_[73], 1.0f, std::max(1, corner - 1) / 2.0f);
    int32_t left = r.left + scaledPixels(10, s);
    if (hasStyle(look.node, L"search") || equalsIgnoringAsciiCase(look.node.raw(L"icon"), L"search")) {
      const int32_t d = scaledPixels(12, s), top = r.top + (r.height() - d) / 2;
      const Colour glass = theme_[look.focused ? 72 : 71];
      gdi_.outlineEllipse(RectF{f(left), f(top), f(left + d), f(top + d)}, glass, 1.0f, 1.0f);
      const float end = f(d - 1 + scaledPixels(5, s));
      gdi_.line(PointF{f(left + d - 1), f(top + d - 1)}, PointF{f(left) + end, f(top) + end}, glass, 1.0f, 1.0f);
      left += d + scaledPixels(11, s);
    }
    TextStyle style;
    style.size = textSize(0, s);
    style.colour = theme_[!look.enabled ? 61 : shown.placeholder ? 62 : 59];
    gdi_.text(RectF{f(left), f(r.top), f(r.right - scaledPixels(8, s)), f(r.bottom)}, shown.text, style);
  }

  void paintInput(const ControlLook& look) override {
    if (isLetterInput(look.node)) return ScreenPainter::paintInput(look);
    const Colour fill = hasStyle(look.node, L"chat") ? scaleChannels(theme_[42], 19, 16) : theme_[42];
    textField(look, inputText(look, look.rect), fill);
  }

  void paintDropdown(const ControlLook& look) override {
    const bool open = screen_.popupName() == look.node.name;
    const PixelRect cell = dropdownArrowCell(look.rect, std::max(22, roundToInt(28 * look.scale)));
    gdi_.pushClip(PixelRect{look.rect.left, look.rect.top, cell.left, look.rect.bottom});
    textField(look, dropdownText(look.node), theme_[42]);
    gdi_.popClip();
    ControlLook button = look;
    button.rect = cell;
    button.hovered = look.hovered || open;
    // The arrow is drawn rather than typed: fonts that stand in for the GUI's faces may lack
    // the small triangle glyphs.
    paintIconButton(commandTarget(), theme_, button, {});
    const std::array<PointF, 3> arrow = dropdownArrow(cell, look.scale, open);
    commandTarget().triangle(arrow[0], arrow[1], arrow[2], theme_[look.enabled ? 63 : 61]);
    finishCommands();
  }

  void rowFrame(const PixelRect& r, float s, bool hovered, bool pressed, bool disabled, bool selected) {
    const int32_t corner = cornerSize(s);
    if (selected) {
      const int32_t e = scaledPixels(2, s);
      roundRect(inset(r, -e), 14, e + corner);
      roundRect(r, 9, std::max(1, corner));
    }
    const size_t fill = disabled ? 73 : selected ? 9 : pressed ? 8 : hovered ? 7 : 6;
    const size_t border = disabled ? 11 : selected ? 13 : hovered ? 12 : 11;
    const int32_t ring = selected ? scaledPixels(2, s) : 1;
    roundRect(r, border, corner);
    roundRect(inset(r, ring), fill, std::max(1, corner - ring));
    if (selected && !disabled) {
      const int32_t m = scaledPixels(3, s);
      gdi_.fillRect(PixelRect{r.left + m, r.top + m, r.right - m, r.top + m + (r.height() - 2 * ring) / 3}, theme_[10], 1.0f, 0.0f);
    } else if (hovered && !disabled) {
      const int32_t m = scaledPixels(2, s);
      gdi_.fillRect(PixelRect{r.left + m, r.top + m, r.right - m, r.top + 2 * m}, theme_[5], 1.0f, 0.0f);
    }
  }

  void paintSlotButton(const ControlLook& look) override {
    rowFrame(look.rect, look.scale, look.hovered, look.pressed, !look.enabled, look.selected);
    paintOrnaments(target_, theme_, look.rect, look.scale, false);
    paintText(target_, theme_, toRectF(look.rect), screen_.textView(look.node.name), look.scale,
              TextLook{fontRole(look.node), look.enabled ? textTone(look.node) : TextTone::Disabled, textCenter});
  }

  void paintPopup(const Node& dropdown) override {
    NodeState* state = screen_.state(dropdown.name);
    if (!state || state->rows.empty()) return;
    const PopupGeometry popup = screen_.popupGeometry(dropdown);
    const float s = screen_.scale();
    paintFrame(commandTarget(), theme_, popup.rect, s, FrameLook{});
    finishCommands();
    state->firstVisibleRow = clampFirstRow(state->firstVisibleRow, state->rowCount(), popup.visibleRows);
    const int32_t underPointer = popup.rect.contains(screen_.pointerX(), screen_.pointerY())
                                     ? state->firstVisibleRow + (screen_.pointerY() - popup.rect.top - popup.border) / popup.rowHeight
                                     : -1;
    const int32_t padding = scaledPixels(8, s), shadow = scaledPixels(1, s);
    gdi_.pushClip(popup.rect);
    for (int32_t i = 0; i < popup.visibleRows && state->firstVisibleRow + i < state->rowCount(); ++i) {
      const int32_t index = state->firstVisibleRow + i;
      const ListItem& row = state->rows[static_cast<size_t>(index)];
      const bool selected = index == state->selectedRow;
      const bool highlighted = index == underPointer || index == state->highlightedRow;
      const PixelRect rect = popupRowRect(popup, i);
      rowFrame(rect, s, highlighted, false, !row.enabled, selected);
      TextStyle style;
      style.size = textSize(1, s);
      style.colour = theme_[70];
      // Inset from the sides only: rows are barely higher than their text, which a vertical
      // inset would cut.
      const PixelRect area = insetSides(rect, padding, 0, padding, 0);
      gdi_.text(toRectF(moved(area, shadow, shadow)), row.text, style);
      style.colour = theme_[!row.enabled ? 61 : selected || highlighted ? 64 : 59];
      gdi_.text(toRectF(area), row.text, style);
    }
    gdi_.popClip();
  }

  void paintCanvas(const ControlLook& look) override {
    const std::wstring_view name = look.node.raw(L"renderer");
    if (const GdiCanvasRenderer* gdi = screen_.gdiCanvasRenderer(name); gdi && *gdi) {
      (*gdi)(look.node, look.rect, theme_, gdi_.dc());
    } else if (const CanvasRenderer* gpu = screen_.canvasRenderer(name); gpu && *gpu) {
      (*gpu)(look.node, look.rect, theme_, commands_);
      replay(commands_, gdi_);
      commands_.clear();
    } else {
      paintCanvasFallback(look);
    }
  }

  GdiTarget& gdi_;
  GdiFonts& fonts_;
  DrawList& commands_;
  DrawListTarget commandTarget_;
};

// Restores the device context however painting ends.
class SavedDc {
 public:
  explicit SavedDc(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  ~SavedDc() { RestoreDC(dc_, saved_); }
  SavedDc(const SavedDc&) = delete;
  SavedDc& operator=(const SavedDc&) = delete;

 private:
  HDC dc_;
  int saved_;
};

}  // namespace

GdiRenderer::GdiRenderer(std::filesystem::path imageFolder) : state_(std::make_unique<State>(std::move(imageFolder))) {}

GdiRenderer::~GdiRenderer() = default;

void GdiRenderer::prefetchImages(const Document& document) {
  forEachNode(document.controls, [this](const Node& node) {
    if (const std::wstring_view image = node.raw(L"image"); !isBinding(image)) state_->bitmaps.prefetch(image);
  });
}

void GdiRenderer::paint(Screen& screen, const CorvanthorneGuiTheme& theme, void* deviceContext) {
  if (screen.gpuPrepared()) throw std::logic_error("GDI rendering is forbidden in the game GUI");
  HDC dc = static_cast<HDC>(deviceContext);
  const SavedDc saved(dc);
  SetBkMode(dc, TRANSPARENT);
  GdiTarget target(dc, state_->fonts, state_->bitmaps);
  state_->commands.clear();
  GdiScreenPainter(screen, theme, target, state_->fonts, state_->commands).paint();
}

}  // namespace Corvanthorne::Gui
