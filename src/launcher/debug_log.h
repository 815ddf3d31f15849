#pragma once
// The game's plain-text debug log (logs/corvanthorne_game_debug.log beside the executable)
// and the launcher's start-up checkpoints, which advance the shared step counter the
// loading screen follows.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace Corvanthorne {

// The process-wide switch, off until the play flow copies the "debug" game setting.
void setDebugLogging(bool enabled);
bool debugLoggingEnabled();

std::filesystem::path debugLogPath();

// Appends text + "\r\n" to the debug log, creating its folder. Never throws; a failure
// only loses the line.
void appendDebugLogLine(std::string_view text) noexcept;

// The same, to any file: the part that does the work.
void appendLogLine(const std::filesystem::path& file, std::string_view text) noexcept;

// "HH:MM:SS.mmm" of a wall-clock time in 100 ns ticks since 1970-01-01 UTC, in local time.
std::string formatLogTime(std::int64_t ticksSince1970);

// "[" time "] [" category "] " message.
std::string formatLogLine(std::int64_t ticksSince1970, std::string_view category,
                          std::string_view message);

// When the switch is on, appends one formatted line stamped with the current time.
void debugLog(std::string_view category, std::string_view message) noexcept;

// Counts the launcher's start-up steps in the shared progress counters. The last of the
// planned steps belongs to the client's readiness gate, so the launcher may count at most
// totalSteps - 1 of them.
class StartupCheckpoints {
 public:
  StartupCheckpoints(std::atomic<std::int32_t>& totalSteps,
                     std::atomic<std::int32_t>& completedSteps);

  // Starts timing from now; the next checkpoint reports the time since this call.
  void restartClock();

  // Throws std::logic_error("Unplanned startup work or missing readiness gate") when no
  // launcher step is left.
  void checkpoint(std::string_view name);

  // The line checkpoint() logs, for tests and the log reader.
  static std::string describe(std::string_view name, std::int32_t completed, std::int32_t total,
                              double elapsedMilliseconds);

 private:
  std::atomic<std::int32_t>& totalSteps_;
  std::atomic<std::int32_t>& completedSteps_;
  std::int64_t previousNanoseconds_;
};

// The monotonic clock the checkpoints measure with.
std::int64_t monotonicNanoseconds();

}  // namespace Corvanthorne
