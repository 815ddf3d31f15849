#include "startup/loading_frame.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "gui/values.h"
#include "render/geometry.h"
#include "render/screen_painter.h"
#include "render/theme.h"

namespace Corvanthorne::Startup {

using Gui::DrawList;
using Gui::PixelRect;
using Gui::RectF;

const std::wstring_view kLoadingDocument =
    LR"(
            Root LoadingRoot {
                width = 584; height = 128;
                Panel LoadingPanel {
                    x = 0; y = 0; width = 584; height = 128;
                    Text LoadingCaption {
                        x = 22; y = 12; width = 540; height = 30;
                        text = LOADING; font = heading; style = important; align = center;
                    }
                    ProgressBar LoadingProgress {
                        x = 22; y = 54; width = 540; height = 26; max = 1;
                    }
                    Canvas LoadingWaterLevel {
                        x = 22; y = 54; width = 540; height = 26;
                        renderer = waterLevel;
                    }
                    Text LoadingPercent {
                        x = 22; y = 88; width = 540; height = 24;
                        text = "0%"; align = center;
                    }
                }
            }
)";

namespace {

constexpr double kMarkerCycleSeconds = 3.75;
constexpr double kMarkerRestSeconds = 1.0;
constexpr double kMarkerTravelSeconds = 2.2;
constexpr double kMarkerFlashSeconds = 0.55;
constexpr Gui::Colour kBackground = Gui::rgb(5, 7, 10);

}  // namespace

PanelSize loadingPanelSize(int32_t clientWidth) {
  PanelSize panel;
  panel.scale = std::min(1.0, clientWidth * 0.75 / kPanelDesignWidth);
  panel.width = std::max(1, Gui::roundToInt(panel.scale * kPanelDesignWidth));
  panel.height = std::max(1, Gui::roundToInt(panel.scale * kPanelDesignHeight));
  return panel;
}

Gui::Colour pulsingColour(double elapsedSeconds) {
  const double p = std::sin(elapsedSeconds * 3.0) * 0.18 + 0.82;
  const auto channel = [p](uint32_t value) { return static_cast<uint32_t>(static_cast<int32_t>(value * p)) & 0xFF; };
  return Gui::rgb(channel(220), channel(199), channel(151));
}

void drawWaterLevel(DrawList& list, const PixelRect& rect, double fraction, double elapsedSeconds, float guiScale,
                    const Gui::CorvanthorneGuiTheme& theme) {
  const double t = std::fmod(std::max(elapsedSeconds, 0.0), kMarkerCycleSeconds);
  if (t < kMarkerRestSeconds) return;
  const double u = t - kMarkerRestSeconds;
  const double flash =
      u >= kMarkerTravelSeconds ? std::sin((u - kMarkerTravelSeconds) / kMarkerFlashSeconds * std::numbers::pi) : 0.0;
  const PixelRect filled = Gui::progressFill(Gui::inset(rect, Gui::scaledPixels(2, guiScale)), fraction, 1.0);
  const int32_t innerLeft = filled.left, fillRight = filled.right, top = filled.top, bottom = filled.bottom;
  if (fillRight <= innerLeft || bottom <= top) return;

  const int32_t h = bottom - top;
  const double travel = std::min(u / kMarkerTravelSeconds, 1.0);
  const int32_t markerHeight = std::max(1, 2 * h / 3);
  const int32_t markerWidth = std::min(std::max(2, markerHeight / 3), fillRight - innerLeft);
  const int32_t markerTop = (bottom - markerHeight + top) / 2;
  const int32_t glow = std::max(1, h / 6);
  const int32_t markerLeft = innerLeft + static_cast<int32_t>((fillRight - markerWidth - innerLeft) * travel);
  const PixelRect marker{markerLeft, markerTop, markerLeft + markerWidth, markerTop + markerHeight};

  list.pushClip(toRectF(filled));
  list.fillRect(Gui::inset(marker, -glow), theme[4], static_cast<float>(flash * 0.2 + 0.1));
  list.fillRect(Gui::inset(marker, -1), theme[21], static_cast<float>(flash * 0.3 + 0.22));
  list.fillRect(marker, theme[63], 0.85f);
  list.fillRect(PixelRect{marker.left, marker.top, marker.left + std::max(1, markerWidth / 2), marker.bottom},
                theme[64], 0.95f);
  if (flash > 0) {
    const auto x = static_cast<float>(fillRight - 1);
    list.line(x, static_cast<float>(top), x, static_cast<float>(bottom), theme[64],
              static_cast<float>(std::max(1.0, h * 0.08)), static_cast<float>(flash * 0.8));
  }
  list.popClip();
}

LoadingFrame::LoadingFrame() {
  if (!screen_.setDocument(Gui::parseDocument(kLoadingDocument, L"loading")))
    throw std::runtime_error("Loading GUI document");
  screen_.setGpuPrepared(true);
  screen_.setStrict(true);
  screen_.setCanvasRenderer(L"waterLevel", [this](const Gui::Node&, const PixelRect& rect,
                                                  const Gui::CorvanthorneGuiTheme& theme, DrawList& list) {
    if (!theme.highContrast) drawWaterLevel(list, rect, fraction_, elapsedSeconds_, screen_.scale(), theme);
  });
  if (screen_.hasGdiCanvasRenderers()) throw std::logic_error("The game GUI contains GDI canvas bindings");
  for (const Gui::Node* control : screen_.document().controls) screen_.checkCanvasRenderers(*control);
}

void LoadingFrame::setImage(std::wstring path, int32_t width, int32_t height) {
  imagePath_ = std::move(path);
  imageWidth_ = width;
  imageHeight_ = height;
}

void LoadingFrame::readFileText(const LoadingProgressBlock& block) {
  if (!Startup::readFileText(block, fileText_)) return;
  fileLine_.clear();
  if (fileText_.empty()) return;
  const size_t separator = fileText_.find_last_of(L"\\/");
  const std::wstring_view name = separator == std::wstring::npos ? std::wstring_view(fileText_)
                                                                 : std::wstring_view(fileText_).substr(separator + 1);
  fileLine_.append(L"File: ").append(name).append(L"\n").append(fileText_);
}

const DrawList& LoadingFrame::compose(int32_t clientWidth, int32_t clientHeight, double fraction, double elapsedSeconds,
                                      int32_t instanceNumber) {
  clientWidth = std::max(1, clientWidth);
  clientHeight = std::max(1, clientHeight);
  const PanelSize panel = loadingPanelSize(clientWidth);
  screen_.setClientSize(panel.width, panel.height);  // marks layout and redraw only on a change
  elapsedSeconds_ = elapsedSeconds;
  fraction_ = fraction;
  setRuntimeValues(fraction, instanceNumber);

  Gui::CorvanthorneGuiTheme theme = highContrast_.value_or(Gui::defaultGuiTheme());
  if (!highContrast_) theme.colours[63] = pulsingColour(elapsedSeconds);
  guiList_.clear();
  Gui::buildDrawList(screen_, theme, guiList_, Gui::LayoutPolicy::WhenMarked);

  frameList_.clear();
  // Colour 0 is the theme's darkest fill: the window colour in high contrast.
  frameList_.fillRect(PixelRect{0, 0, clientWidth, clientHeight}, highContrast_ ? theme[0] : kBackground);
  if (!theme.highContrast) addImage(clientWidth, clientHeight);
  addPanel(clientWidth, clientHeight, panel);
  addFileLine(clientWidth, clientHeight, theme[63]);
  return frameList_;
}

void LoadingFrame::setRuntimeValues(double fraction, int32_t instanceNumber) {
  screen_.setValue(L"LoadingProgress", fraction);
  const auto percent = static_cast<int32_t>(std::floor(fraction * 100));
  if (percent != shownPercent_) {
    screen_.setText(L"LoadingPercent", std::to_wstring(percent) + L"%");
    shownPercent_ = percent;
  }
  // Every instance number below 1 shows the same caption.
  const int32_t instance = std::max(0, instanceNumber);
  if (!captionShown_ || instance != shownInstance_) {
    screen_.setText(L"LoadingCaption", loadingCaption(instance));
    shownInstance_ = instance;
    captionShown_ = true;
  }
}

void LoadingFrame::addImage(int32_t clientWidth, int32_t clientHeight) {
  if (imageWidth_ <= 0 || imageHeight_ <= 0) return;
  const double s =
      std::max(static_cast<double>(clientWidth) / imageWidth_, static_cast<double>(clientHeight) / imageHeight_);
  const auto w = static_cast<int32_t>(std::ceil(imageWidth_ * s));
  const auto h = static_cast<int32_t>(std::ceil(imageHeight_ * s));
  frameList_.image(
      toRectF(PixelRect{(clientWidth - w) / 2, (clientHeight - h) / 2, (clientWidth + w) / 2, (clientHeight + h) / 2}),
      imagePath_);
}

void LoadingFrame::addPanel(int32_t clientWidth, int32_t clientHeight, const PanelSize& panel) {
  const auto dx = static_cast<float>((clientWidth - panel.width) / 2);
  const auto dy = static_cast<float>((clientHeight - panel.height) / 2);
  for (const Gui::DrawCommand& command : guiList_.commands()) {
    Gui::DrawCommand& moved = frameList_.append(command);
    moved.rect = RectF{moved.rect.left + dx, moved.rect.top + dy, moved.rect.right + dx, moved.rect.bottom + dy};
    for (size_t i = 0; i < moved.points.size(); i += 2) {
      moved.points[i] += dx;
      moved.points[i + 1] += dy;
    }
  }
}

void LoadingFrame::addFileLine(int32_t clientWidth, int32_t clientHeight, Gui::Colour colour) {
  if (fileLine_.empty()) return;
  Gui::TextStyle style;
  style.colour = colour;
  style.size = 14.0f;
  style.family = Gui::familyPalatino;
  frameList_.text(toRectF(PixelRect{22, clientHeight - 62, clientWidth - 22, clientHeight - 16}), fileLine_, style);
}

}  // namespace Corvanthorne::Startup
