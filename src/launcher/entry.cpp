#include "launcher/entry.h"

#include <exception>

#include "common/text.h"

namespace Corvanthorne {

int runStages(const RunStages& stages) {
  try {
    if (const std::optional<int> helperExitCode = stages.launcherUpdateHelper())
      return *helperExitCode;
    if (!stages.updateBootstrap()) return 0;
    return stages.launcherMain();
  } catch (const std::exception& error) {
    // Invalid UTF-8 yields an empty body rather than a garbled one.
    stages.showError(utf8ToWide(error.what()));
    return 1;
  }
}

bool asksForVerification(std::wstring_view commandLine) {
  while (!commandLine.empty()) {
    const std::size_t end = commandLine.find(L' ');
    if (commandLine.substr(0, end) == L"--verify") return true;
    if (end == std::wstring_view::npos) break;
    commandLine.remove_prefix(end + 1);
  }
  return false;
}

}  // namespace Corvanthorne
