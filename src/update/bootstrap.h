#pragma once
// What the update window shows, apart from how it is drawn: the run states, the buttons of
// each state, the texts a run ends with, the time-left estimate, the free-space check and the
// layout at a monitor's DPI.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "update/package_manifest.h"

namespace Corvanthorne::Update {

// Verified: a verifying run is done and shows what it found until the player goes on.
enum class BootstrapState : std::uint32_t { Running = 0, Prompt = 1, Failed = 2, Done = 3, Exiting = 4, Verified = 5 };

inline constexpr int kPrimaryButton = 101;    // "OK - Update & restart" or "Retry"
inline constexpr int kSecondaryButton = 102;  // "Later" or "Play installed"
inline constexpr int kSourceButton = 103;     // "Update source..."
inline constexpr int kButtonIds[] = {kPrimaryButton, kSecondaryButton, kSourceButton};

// The buttons a finished run offers (prompt or failed).
struct BootstrapButtons {
  std::wstring primary;
  std::wstring secondary;
  bool showSecondary = false;
  bool showSource = false;
};
BootstrapButtons buttonsFor(BootstrapState state, bool installed, bool hasPatchSource);

// .corvanthorne/patch-source.txt: one UTF-8 line; trailing CR and LF characters are dropped.
std::wstring patchSourceFromText(std::string_view bytes);

// What a verifying run found: "All 2000 game files are intact." or "3 damaged files repaired".
std::wstring verificationSummary(std::size_t repaired, std::size_t files);

// The failure text; with a playable game left it says that the game can still be played.
std::wstring failureDetail(std::string_view message, bool installed);

// Estimates the time left of one run from its progress reports: the rate since the first
// report, shown only once the run has gone on long enough for the rate to mean something.
class TimeLeftEstimate {
 public:
  void restart(double nowSeconds);
  void report(double nowSeconds, unsigned percent);
  // "About 2 minutes left", or "" while there is no estimate.
  std::wstring text() const;

 private:
  double startSeconds_ = 0;
  std::optional<unsigned> firstPercent_;
  double firstSeconds_ = 0;
  std::optional<double> secondsLeft_;
};

std::wstring timeLeftText(double secondsLeft);

// "1.5 GB", "340 MB", "12 KB", "900 bytes".
std::string byteSizeText(std::uint64_t bytes);

// "Downloading 1.2 GB of 3.4 GB at 45 MB/s": bytes received of those the release needs from
// the source (reused bytes are in neither), the rate once there is one, and " (limited to
// 500 KB/s)" while the player's DownloadLimit caps it.
std::wstring downloadProgressText(std::uint64_t received, std::uint64_t total, double bytesPerSecond,
                                  std::uint64_t limitBytesPerSecond);

// The bytes an install of the package writes into the game folder's volume: a staged copy
// of each file whose installed size differs (or that is missing) plus the backup of the
// installed file it replaces. Files of unchanged size are counted as current, so this is a
// lower bound that costs no hashing. installedSize answers from a folder listing; nothing for
// a missing file.
std::uint64_t installSpaceNeeded(const PackageManifest& manifest,
                                 const std::function<std::optional<std::uint64_t>(const PackageFile&)>& installedSize);

// Fails with a message naming how much more space is needed when available is not enough.
void requireFreeSpace(std::uint64_t needed, std::uint64_t available);

struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const PixelRect&) const = default;
};

// Every position and size of the update window at a DPI; exactly the design at 96 DPI.
struct UpdateWindowLayout {
  int titleFontHeight = 0;
  int bodyFontHeight = 0;
  int frameWidth = 0;
  int focusInset = 0;
  PixelRect title, folder, detail, bar, timeLeft;
  PixelRect buttons[3];  // in kButtonIds order
};

// The client size at dpi: 610 x 380 at 96 DPI.
PixelRect updateWindowClientRect(unsigned dpi);
UpdateWindowLayout layoutUpdateWindow(int clientWidth, int clientHeight, unsigned dpi);

// The filled part of the bar at percent (0 to 100).
PixelRect barFill(const PixelRect& bar, unsigned percent);

}  // namespace Corvanthorne::Update
