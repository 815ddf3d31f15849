#include "launcher/entry.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace Corvanthorne {
namespace {

// Records which stages ran and what the error box would have shown.
struct StageRecorder {
  std::vector<std::string> calls;
  std::vector<std::wstring> boxes;
  std::optional<int> helperResult;
  bool bootstrapResult = true;
  int mainResult = 0;

  RunStages stages() {
    return {[this] { calls.push_back("helper"); return helperResult; },
            [this] { calls.push_back("bootstrap"); return bootstrapResult; },
            [this] { calls.push_back("main"); return mainResult; },
            [this](const std::wstring& text) { boxes.push_back(text); }};
  }
};

TEST(RunStages, RunsAllThreeInOrderAndReturnsTheMainResult) {
  StageRecorder recorder;
  recorder.mainResult = 7;
  EXPECT_EQ(runStages(recorder.stages()), 7);
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"helper", "bootstrap", "main"}));
  EXPECT_TRUE(recorder.boxes.empty());
}

TEST(RunStages, HelperCodeEndsTheProcessBeforeAnyWindow) {
  for (int code : {0, 1, 42}) {
    StageRecorder recorder;
    recorder.helperResult = code;
    EXPECT_EQ(runStages(recorder.stages()), code);
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"helper"}));
  }
}

TEST(RunStages, BootstrapFalseExitsWithZeroWithoutTheLauncher) {
  StageRecorder recorder;
  recorder.bootstrapResult = false;
  recorder.mainResult = 5;
  EXPECT_EQ(runStages(recorder.stages()), 0);
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"helper", "bootstrap"}));
}

TEST(RunStages, EscapingExceptionShowsItsMessageAndExitsWithOne) {
  StageRecorder recorder;
  RunStages stages = recorder.stages();
  stages.updateBootstrap = [] () -> bool { throw std::runtime_error("Caf\xC3\xA9 folder is locked"); };
  EXPECT_EQ(runStages(stages), 1);
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0], std::wstring(L"Caf") + wchar_t(0xE9) + L" folder is locked");
}

TEST(RunStages, InvalidUtf8OrEmptyMessageGivesAnEmptyBody) {
  for (const char* message : {"bad \xC3 text", ""}) {
    StageRecorder recorder;
    RunStages stages = recorder.stages();
    stages.launcherMain = [message]() -> int { throw std::logic_error(message); };
    EXPECT_EQ(runStages(stages), 1);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0], L"");
  }
}

TEST(RunStages, NonStandardExceptionsAreNotCaught) {
  StageRecorder recorder;
  RunStages stages = recorder.stages();
  stages.launcherUpdateHelper = []() -> std::optional<int> { throw 3; };
  EXPECT_THROW(runStages(stages), int);
  EXPECT_TRUE(recorder.boxes.empty());
}

}  // namespace
}  // namespace Corvanthorne
