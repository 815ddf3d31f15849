#include "update/bootstrap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#include "common/dpi.h"
#include "common/text.h"

namespace Corvanthorne::Update {

namespace fs = std::filesystem;

namespace {

// A run must have gone on this long, and moved, before its rate predicts anything.
constexpr double kEstimateAfterSeconds = 3.0;

}  // namespace

BootstrapButtons buttonsFor(BootstrapState state, bool installed, bool hasPatchSource) {
  if (state == BootstrapState::Prompt) return {L"OK - Update & restart", L"Later", true, false};
  if (state == BootstrapState::Verified) return {L"Continue", L"", false, false};
  return {L"Retry", L"Play installed", installed, state == BootstrapState::Failed && !hasPatchSource};
}

std::wstring patchSourceFromText(std::string_view bytes) {
  while (!bytes.empty() && (bytes.back() == '\r' || bytes.back() == '\n')) bytes.remove_suffix(1);
  return utf8ToWide(bytes);
}

std::wstring verificationSummary(std::size_t repaired, std::size_t files) {
  if (repaired == 0) return L"All " + std::to_wstring(files) + L" game files are intact.";
  return std::to_wstring(repaired) + (repaired == 1 ? L" damaged file repaired" : L" damaged files repaired");
}

std::wstring failureDetail(std::string_view message, bool installed) {
  std::wstring detail = utf8ToWide(message);
  if (installed) detail += L"\n\nYou can play the installed game or try again.";
  return detail;
}

void TimeLeftEstimate::restart(double nowSeconds) {
  *this = {};
  startSeconds_ = nowSeconds;
}

void TimeLeftEstimate::report(double nowSeconds, unsigned percent) {
  if (!firstPercent_ || percent < *firstPercent_) {
    firstPercent_ = percent;
    firstSeconds_ = nowSeconds;
    secondsLeft_.reset();
    return;
  }
  const double elapsed = nowSeconds - firstSeconds_;
  if (percent == *firstPercent_ || percent >= 100 || nowSeconds - startSeconds_ < kEstimateAfterSeconds) return;
  secondsLeft_ = elapsed * (100.0 - percent) / (percent - *firstPercent_);
}

std::wstring TimeLeftEstimate::text() const { return secondsLeft_ ? timeLeftText(*secondsLeft_) : std::wstring(); }

std::wstring timeLeftText(double secondsLeft) {
  if (secondsLeft < 60) return L"Less than a minute left";
  const long minutes = std::lround(secondsLeft / 60);
  if (minutes < 60) return minutes == 1 ? L"About 1 minute left" : L"About " + std::to_wstring(minutes) + L" minutes left";
  const long hours = std::lround(secondsLeft / 3600);
  return hours == 1 ? L"About 1 hour left" : L"About " + std::to_wstring(hours) + L" hours left";
}

std::string byteSizeText(std::uint64_t bytes) {
  static constexpr const char* units[] = {"KB", "MB", "GB", "TB"};
  if (bytes < 1024) return std::to_string(bytes) + " bytes";
  double value = static_cast<double>(bytes) / 1024;
  int unit = 0;
  while (value >= 1024 && unit < 3) value /= 1024, ++unit;
  char text[32];
  std::snprintf(text, sizeof text, value < 10 ? "%.1f %s" : "%.0f %s", value, units[unit]);
  return text;
}

std::wstring downloadProgressText(std::uint64_t received, std::uint64_t total, double bytesPerSecond,
                                  std::uint64_t limitBytesPerSecond) {
  std::string text = "Downloading " + byteSizeText(received) + " of " + byteSizeText(total);
  if (bytesPerSecond >= 1) text += " at " + byteSizeText(static_cast<std::uint64_t>(bytesPerSecond)) + "/s";
  if (limitBytesPerSecond > 0) text += " (limited to " + byteSizeText(limitBytesPerSecond) + "/s)";
  return utf8ToWide(text);
}

std::uint64_t installSpaceNeeded(const PackageManifest& manifest,
                                 const std::function<std::optional<std::uint64_t>(const PackageFile&)>& installedSize) {
  std::uint64_t needed = 0;
  for (const PackageFile& file : manifest.files) {
    const std::optional<std::uint64_t> installed = installedSize(file);
    if (installed == file.size) continue;
    needed += file.size + installed.value_or(0);
  }
  return needed;
}

void requireFreeSpace(std::uint64_t needed, std::uint64_t available) {
  if (needed <= available) return;
  throw std::runtime_error("There is not enough free disk space to install the game: " +
                           byteSizeText(needed - available) +
                           " more is needed on the game folder's drive. Free some space, then press Retry.");
}

PixelRect updateWindowClientRect(unsigned dpi) { return {0, 0, scaleForDpi(610, dpi), scaleForDpi(380, dpi)}; }

UpdateWindowLayout layoutUpdateWindow(int width, int height, unsigned dpi) {
  const auto px = [dpi](int design) { return scaleForDpi(design, dpi); };
  const int margin = px(24);
  UpdateWindowLayout layout;
  layout.titleFontHeight = px(23);
  layout.bodyFontHeight = px(15);
  layout.frameWidth = px(1);
  layout.focusInset = px(4);
  layout.title = {margin, px(22), width - margin, px(58)};
  layout.folder = {margin, px(70), width - margin, px(114)};
  layout.detail = {margin, px(126), width - margin, height - px(100)};
  layout.bar = {margin, height - px(92), width - margin, height - px(84)};
  layout.timeLeft = {margin, height - px(80), width - margin, height - px(60)};
  const int top = height - px(64);
  const int bottom = top + px(40);
  layout.buttons[0] = {px(24), top, px(24) + px(222), bottom};
  layout.buttons[1] = {px(256), top, px(256) + px(124), bottom};
  layout.buttons[2] = {px(390), top, px(390) + px(190), bottom};
  return layout;
}

PixelRect barFill(const PixelRect& bar, unsigned percent) {
  PixelRect fill = bar;
  fill.right = bar.left + static_cast<int>(static_cast<long long>(bar.width()) * std::min(percent, 100u) / 100);
  return fill;
}

}  // namespace Corvanthorne::Update
