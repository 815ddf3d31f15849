#include "launcher/debug_log.h"

#include <gtest/gtest.h>

#include <limits>
#include <regex>
#include <thread>

#include "support/message_of.h"
#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {
namespace fs = std::filesystem;
using Testing::readFile;

TEST(DebugLog, LinesAreStampedAppendedWithCrLfOrLostQuietly) {
  Testing::TempDir dir;
  const fs::path file = dir / "logs" / "nested" / "game.log";
  appendLogLine(file, "first");
  appendLogLine(file, "[x] second \xC3\xA9");
  EXPECT_EQ(readFile(file), "first\r\n[x] second \xC3\xA9\r\n");
  Testing::writeFile(dir / "blocked", "a file where the folder should be");
  appendLogLine(dir / "blocked" / "game.log", "lost");
  EXPECT_EQ(readFile(dir / "blocked"), "a file where the folder should be");
  // A local time of 09:05:03 and 7 ms, whatever the machine's time zone.
  std::tm local{};
  local.tm_year = 124, local.tm_mon = 2, local.tm_mday = 10;
  local.tm_hour = 9, local.tm_min = 5, local.tm_sec = 3, local.tm_isdst = -1;
  const std::int64_t ticks = static_cast<std::int64_t>(std::mktime(&local)) * 10'000'000 + 7 * 10'000 + 1234;
  EXPECT_EQ(formatLogLine(ticks, "LOADING", "hello"), "[09:05:03.007] [LOADING] hello");
}

// Off, nothing is written, not even the folder; on, the launcher's three steps of twelve are
// logged with their counts and six-decimal times.
TEST(DebugLog, SwitchDecidesAndCheckpointsAreLogged) {
  const fs::path logs = debugLogPath().parent_path();
  fs::remove_all(logs);
  std::atomic<std::int32_t> total{12}, completed{0};
  StartupCheckpoints checkpoints(total, completed);
  setDebugLogging(false);
  checkpoints.checkpoint("not written");
  EXPECT_FALSE(fs::exists(logs));
  setDebugLogging(true);
  checkpoints.restartClock();
  checkpoints.checkpoint("Launcher settings and credential preferences");
  checkpoints.checkpoint("Client process and inherited session pipe");
  setDebugLogging(false);
  EXPECT_EQ(completed.load(), 3);
  const std::string text = readFile(debugLogPath());
  const std::string line = R"(\[\d\d:\d\d:\d\d\.\d\d\d\] \[LOADING\] )";
  EXPECT_TRUE(std::regex_match(text, std::regex(line + R"(Launcher settings and credential preferences completed \(2/12\), since previous checkpoint \d+\.\d{6} ms\r\n)" +
                                                line + R"(Client process and inherited session pipe completed \(3/12\), since previous checkpoint \d+\.\d{6} ms\r\n)")))
      << text;
  fs::remove_all(logs);
}

// The last planned step belongs to the client's readiness gate. Totals come from the client's
// shared memory, so any value must be judged without overflow.
TEST(StartupCheckpoints, RefuseEveryStepBeyondTheLauncherShare) {
  constexpr std::int32_t min = std::numeric_limits<std::int32_t>::min(), max = std::numeric_limits<std::int32_t>::max();
  const struct {
    std::int32_t total, completed;
    bool allowed;
  } cases[] = {{4, 2, true}, {4, 3, false}, {12, 0, true}, {1, 0, false}, {0, 0, false}, {-5, 0, false},
               {min, 0, false}, {min, min, false}, {max, max - 2, true}, {max, max - 1, false}};
  for (const auto& [totalSteps, completedSteps, allowed] : cases) {
    std::atomic<std::int32_t> total{totalSteps}, completed{completedSteps};
    StartupCheckpoints checkpoints(total, completed);
    EXPECT_EQ(Testing::messageOf([&] { checkpoints.checkpoint("step"); }),
              allowed ? "no error" : "Unplanned startup work or missing readiness gate")
        << totalSteps << " " << completedSteps;
    EXPECT_EQ(completed.load(), allowed ? completedSteps + 1 : completedSteps);
  }
}

TEST(StartupCheckpoints, ConcurrentWritersNeverPassTheLimit) {
  std::atomic<std::int32_t> total{50}, completed{0};
  std::atomic<int> refused{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      StartupCheckpoints checkpoints(total, completed);
      for (int i = 0; i < 20; ++i) {
        try {
          checkpoints.checkpoint("step");
        } catch (const std::logic_error&) {
          ++refused;
        }
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(completed.load(), 49);
  EXPECT_EQ(refused.load(), 80 - 49);
}

}  // namespace
}  // namespace Corvanthorne
