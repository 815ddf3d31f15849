#include "launcher/entry.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace Corvanthorne {
namespace {

// One run: what each stage does (a stage named in `throwing` throws `message` as a standard
// exception), and what must come of it.
struct StageCase {
  std::optional<int> helperResult;
  bool bootstrapResult;
  int mainResult;
  std::string throwing;
  const char* message;
  int exitCode;
  std::vector<std::string> calls;
  std::vector<std::wstring> boxes;
};

TEST(RunStages, OrderExitCodesAndTheErrorBox) {
  const StageCase cases[] = {
      {std::nullopt, true, 7, "", "", 7, {"helper", "bootstrap", "main"}, {}},
      {0, true, 7, "", "", 0, {"helper"}, {}},
      {std::nullopt, false, 5, "", "", 0, {"helper", "bootstrap"}, {}},
      {std::nullopt, true, 5, "bootstrap", "Caf\xC3\xA9 folder is locked", 1, {"helper", "bootstrap"},
       {std::wstring(L"Caf") + wchar_t(0xE9) + L" folder is locked"}},
      // Invalid UTF-8 gives an empty body.
      {std::nullopt, true, 5, "main", "bad \xC3 text", 1, {"helper", "bootstrap", "main"}, {L""}},
  };
  for (const StageCase& c : cases) {
    std::vector<std::string> calls;
    std::vector<std::wstring> boxes;
    const auto stage = [&](const std::string& name) {
      calls.push_back(name);
      if (c.throwing == name) throw std::logic_error(c.message);
    };
    const RunStages stages{[&] { stage("helper"); return c.helperResult; },
                           [&] { stage("bootstrap"); return c.bootstrapResult; },
                           [&] { stage("main"); return c.mainResult; },
                           [&](const std::wstring& text) { boxes.push_back(text); }};
    EXPECT_EQ(runStages(stages), c.exitCode) << c.message;
    EXPECT_EQ(calls, c.calls) << c.message;
    EXPECT_EQ(boxes, c.boxes) << c.message;
  }
}

TEST(RunStages, NonStandardExceptionsAreNotCaught) {
  bool boxShown = false;
  const RunStages stages{[]() -> std::optional<int> { throw 3; }, [] { return true; }, [] { return 0; },
                         [&](const std::wstring&) { boxShown = true; }};
  EXPECT_THROW(runStages(stages), int);
  EXPECT_FALSE(boxShown);
}

TEST(RunStages, VerifyIsAskedByTheWholeWordAnywhere) {
  for (const auto& [line, asked] : {std::pair{L"--verify", true}, {L"x --verify", true}, {L"--verify x", true},
                                    {L"", false}, {L"--verify-not", false}, {L"x--verify", false}})
    EXPECT_EQ(asksForVerification(line), asked) << line;
}

}  // namespace
}  // namespace Corvanthorne
