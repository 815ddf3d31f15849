#include "launcher/debug_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <stdexcept>

#include "launcher/game_folder.h"

namespace Corvanthorne {
namespace {

// Written and read without a lock by design; atomic only to keep the access well defined.
std::atomic<bool> debugSwitch{false};

std::mutex& logWriterMutex() {
  static std::mutex mutex;
  return mutex;
}

bool toLocalTime(std::time_t seconds, std::tm& out) {
#ifdef _WIN32
  return localtime_s(&out, &seconds) == 0;
#else
  return localtime_r(&seconds, &out) != nullptr;
#endif
}

std::int64_t wallClockTicksSince1970() {
  using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
  return std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void setDebugLogging(bool enabled) { debugSwitch.store(enabled, std::memory_order_relaxed); }

bool debugLoggingEnabled() { return debugSwitch.load(std::memory_order_relaxed); }

std::filesystem::path debugLogPath() {
  return executableDirectory() / "logs" / "corvanthorne_game_debug.log";
}

void appendLogLine(const std::filesystem::path& file, std::string_view text) noexcept {
  try {
    std::lock_guard lock(logWriterMutex());  // a failed lock throws and loses the line
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    if (error) return;
    // Opened and closed for every line, so no handle stays open between lines.
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (!out) return;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.write("\r\n", 2);
    out.flush();
  } catch (...) {
    // Logging never fails visibly.
  }
}

void appendDebugLogLine(std::string_view text) noexcept {
  try {
    appendLogLine(debugLogPath(), text);
  } catch (...) {
  }
}

std::string formatLogTime(std::int64_t ticks) {
  const std::int64_t seconds = ticks / 10'000'000;
  const long long milliseconds = ticks / 10'000 - seconds * 1000;
  std::tm local{};
  if (!toLocalTime(static_cast<std::time_t>(seconds), local)) return "00:00:00.000";
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03lld", local.tm_hour, local.tm_min,
                local.tm_sec, milliseconds);
  return text;
}

std::string formatLogLine(std::int64_t ticks, std::string_view category, std::string_view message) {
  std::string line = "[";
  line += formatLogTime(ticks);
  line += "] [";
  line += category;
  line += "] ";
  line += message;
  return line;
}

void debugLog(std::string_view category, std::string_view message) noexcept {
  if (!debugLoggingEnabled()) return;
  try {
    appendDebugLogLine(formatLogLine(wallClockTicksSince1970(), category, message));
  } catch (...) {
  }
}

// steady_clock is the performance counter on Windows (QueryPerformanceCounter scaled by
// its frequency) and CLOCK_MONOTONIC elsewhere.
std::int64_t monotonicNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

StartupCheckpoints::StartupCheckpoints(std::atomic<std::int32_t>& totalSteps,
                                       std::atomic<std::int32_t>& completedSteps)
    : totalSteps_(totalSteps), completedSteps_(completedSteps),
      previousNanoseconds_(monotonicNanoseconds()) {}

void StartupCheckpoints::restartClock() { previousNanoseconds_ = monotonicNanoseconds(); }

void StartupCheckpoints::checkpoint(std::string_view name) {
  std::int32_t completed = completedSteps_.load();
  std::int32_t total = 0;
  do {
    total = totalSteps_.load();
    if (std::int64_t{completed} >= std::int64_t{total} - 1)  // 64 bits: the client may write any total
      throw std::logic_error("Unplanned startup work or missing readiness gate");
  } while (!completedSteps_.compare_exchange_weak(completed, completed + 1));
  const std::int64_t now = monotonicNanoseconds();
  const double elapsed = static_cast<double>(now - previousNanoseconds_) / 1'000'000.0;
  debugLog("LOADING", describe(name, completed + 1, total, elapsed));
  previousNanoseconds_ = now;
}

std::string StartupCheckpoints::describe(std::string_view name, std::int32_t completed,
                                         std::int32_t total, double elapsedMilliseconds) {
  char elapsed[64];
  std::snprintf(elapsed, sizeof elapsed, "%f", elapsedMilliseconds);
  std::string line(name);
  line += " completed (" + std::to_string(completed) + "/" + std::to_string(total) +
          "), since previous checkpoint " + elapsed + " ms";
  return line;
}

}  // namespace Corvanthorne
