#include "launcher/debug_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {
namespace fs = std::filesystem;
using Testing::readFile;
using Testing::TempDir;

TEST(DebugLog, LinesAreAppendedWithCrLfAndTheFolderIsCreated) {
  TempDir dir;
  const fs::path file = dir / "logs" / "nested" / "game.log";
  appendLogLine(file, "first");
  appendLogLine(file, "[x] second \xC3\xA9");
  EXPECT_EQ(readFile(file), "first\r\n[x] second \xC3\xA9\r\n");
}

TEST(DebugLog, UnwritablePlacesLoseTheLineQuietly) {
  TempDir dir;
  Testing::writeFile(dir / "logs", "a file where the folder should be");
  appendLogLine(dir / "logs" / "game.log", "lost");
  EXPECT_EQ(readFile(dir / "logs"), "a file where the folder should be");
}

TEST(DebugLog, TimeIsLocalWithZeroPaddedMilliseconds) {
  // Build a local time of 09:05:03 and add 7 ms, whatever the machine's time zone.
  std::tm local{};
  local.tm_year = 124, local.tm_mon = 2, local.tm_mday = 10;
  local.tm_hour = 9, local.tm_min = 5, local.tm_sec = 3, local.tm_isdst = -1;
  const std::int64_t seconds = static_cast<std::int64_t>(std::mktime(&local));
  const std::int64_t ticks = seconds * 10'000'000 + 7 * 10'000 + 1234;
  EXPECT_EQ(formatLogTime(ticks), "09:05:03.007");
  EXPECT_EQ(formatLogLine(ticks, "LOADING", "hello"), "[09:05:03.007] [LOADING] hello");
}

TEST(DebugLog, SwitchOffWritesNothingAndOnCreatesTheFolder) {
  const fs::path logs = debugLogPath().parent_path();
  fs::remove_all(logs);
  setDebugLogging(false);
  debugLog("LOADING", "not written");
  EXPECT_FALSE(fs::exists(logs));

  setDebugLogging(true);
  debugLog("LOADING", "written");
  setDebugLogging(false);
  const std::string text = readFile(debugLogPath());
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(\[\d\d:\d\d:\d\d\.\d\d\d\] \[LOADING\] written\r\n)")))
      << text;
  fs::remove_all(logs);
}

TEST(StartupCheckpoints, LastStepIsReservedForTheClientReadinessGate) {
  std::atomic<std::int32_t> total{4}, completed{0};
  StartupCheckpoints checkpoints(total, completed);
  checkpoints.checkpoint("one");
  checkpoints.checkpoint("two");
  checkpoints.checkpoint("three");
  EXPECT_EQ(completed.load(), 3);
  try {
    checkpoints.checkpoint("four");
    FAIL() << "expected a logic error";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "Unplanned startup work or missing readiness gate");
  }
  EXPECT_EQ(completed.load(), 3);
}

TEST(StartupCheckpoints, ThreeLauncherStepsOfTwelveAreLoggedWithCounts) {
  const fs::path logs = debugLogPath().parent_path();
  fs::remove_all(logs);
  setDebugLogging(true);
  std::atomic<std::int32_t> total{12}, completed{0};
  StartupCheckpoints checkpoints(total, completed);
  checkpoints.restartClock();
  checkpoints.checkpoint("Launcher authentication and session creation");
  checkpoints.checkpoint("Launcher settings and credential preferences");
  checkpoints.checkpoint("Client process and inherited session pipe");
  setDebugLogging(false);
  EXPECT_EQ(completed.load(), 3);
  const std::string text = readFile(debugLogPath());
  EXPECT_NE(text.find("] [LOADING] Launcher authentication and session creation completed (1/12), "
                      "since previous checkpoint "),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Client process and inherited session pipe completed (3/12)"), std::string::npos);
  fs::remove_all(logs);
}

TEST(StartupCheckpoints, DescribeUsesSixDecimalsAndFirstStepIsNearZero) {
  EXPECT_EQ(StartupCheckpoints::describe("Step", 2, 12, 1.5),
            "Step completed (2/12), since previous checkpoint 1.500000 ms");
  const std::int64_t before = monotonicNanoseconds();
  EXPECT_LE(before, monotonicNanoseconds());
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
