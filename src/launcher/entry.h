#pragma once
// The entry point's contract: three run stages in a fixed order, and one guarded region that
// shows an escaping error to the user. The stages and the error box are injected so that
// the order, exit codes and message conversion are testable without a window or a modal box.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace Corvanthorne {

struct RunStages {
  // Stage 1: the launcher-update helper. A value is this process's exit code.
  std::function<std::optional<int>()> launcherUpdateHelper;
  // Stage 2: the update bootstrap. False ends the process with code 0.
  std::function<bool()> updateBootstrap;
  // Stage 3: the launcher main; its result is the exit code.
  std::function<int()> launcherMain;
  // Shows the error box for an escaping exception; the body may be empty.
  std::function<void(const std::wstring& message)> showError;
};

int runStages(const RunStages& stages);

// True when the command line (without the program name) holds the word "--verify".
bool asksForVerification(std::wstring_view commandLine);

}  // namespace Corvanthorne
