#pragma once
// One frame of the loading window, composed without any graphics API: the loading document
// (caption, progress bar, the `waterLevel` marker, percentage) laid out into a centred panel,
// over the dark background and the cover-scaled loading image, with the line of the file the
// client is loading. The GPU presenter draws the result (canvas_win.cpp).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "gui/screen.h"
#include "render/draw_list.h"
#include "startup/loading_progress.h"

namespace Corvanthorne::Startup {

// The document the loading window shows; it is held in the program, not read from a file.
extern const std::wstring_view kLoadingDocument;

inline constexpr int32_t kPanelDesignWidth = 584;
inline constexpr int32_t kPanelDesignHeight = 128;

// Three quarters of the window width, never more than the design size.
struct PanelSize {
  double scale = 1.0;
  int32_t width = kPanelDesignWidth;
  int32_t height = kPanelDesignHeight;
};
PanelSize loadingPanelSize(int32_t clientWidth);

// Theme colour 63 (important text) dimmed between 64 % and 100 % by a slow sine of the time.
Gui::Colour pulsingColour(double elapsedSeconds);

// The bright marker that sweeps across the filled part of the bar every 3.75 seconds, resting
// for the first second and flashing in the last 0.55.
void drawWaterLevel(Gui::DrawList& list, const Gui::PixelRect& rect, double fraction, double elapsedSeconds,
                    float guiScale, const Gui::CorvanthorneGuiTheme& theme);

class LoadingFrame {
 public:
  // Parses the loading document and registers the `waterLevel` renderer. Throws
  // std::runtime_error "Loading GUI document" when the document has errors, and the logic errors
  // of a screen that could not be drawn by the GPU alone.
  LoadingFrame();
  LoadingFrame(const LoadingFrame&) = delete;
  LoadingFrame& operator=(const LoadingFrame&) = delete;

  // The loading image and its size in pixels; a size of 0 leaves the background dark.
  void setImage(std::wstring path, int32_t width, int32_t height);
  const std::wstring& imagePath() const { return imagePath_; }
  int32_t imageWidth() const { return imageWidth_; }

  // A high-contrast theme to paint with instead of the own look (then without the loading
  // image, the marker and the pulse), or none.
  void setHighContrast(const std::optional<Gui::CorvanthorneGuiTheme>& theme) { highContrast_ = theme; }

  // Takes the block's file text when it is settled (see readFileText).
  void readFileText(const LoadingProgressBlock& block);
  const std::wstring& fileText() const { return fileText_; }

  // The whole frame for a client area (each side at least 1). Allocates nothing once the
  // file text and the texts shown stop changing.
  const Gui::DrawList& compose(int32_t clientWidth, int32_t clientHeight, double fraction, double elapsedSeconds,
                               int32_t instanceNumber);

  Gui::Screen& screen() { return screen_; }

 private:
  void setRuntimeValues(double fraction, int32_t instanceNumber);
  void addImage(int32_t clientWidth, int32_t clientHeight);
  void addPanel(int32_t clientWidth, int32_t clientHeight, const PanelSize& panel);
  void addFileLine(int32_t clientWidth, int32_t clientHeight, Gui::Colour colour);

  Gui::Screen screen_;
  Gui::DrawList guiList_;
  Gui::DrawList frameList_;
  std::wstring imagePath_;
  int32_t imageWidth_ = 0;
  int32_t imageHeight_ = 0;
  double elapsedSeconds_ = 0.0;  // read by the waterLevel renderer
  double fraction_ = 0.0;
  std::wstring fileText_;
  std::wstring fileLine_;  // "File: NAME\nTEXT", rebuilt when the file text changes
  int32_t shownPercent_ = -1;
  int32_t shownInstance_ = 0;
  bool captionShown_ = false;
  std::optional<Gui::CorvanthorneGuiTheme> highContrast_;
};

}  // namespace Corvanthorne::Startup
