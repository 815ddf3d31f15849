#include <windows.h>
#include <shellapi.h>

#include <stdexcept>

#include "common/handle_win.h"
#include "update/launcher_update.h"

namespace Corvanthorne::Update {
namespace {

// A failed split counts as "not the helper", like too few arguments.
std::vector<std::wstring> processArguments() {
  int count = 0;
  ScopedLocalMemory argv(reinterpret_cast<HLOCAL>(CommandLineToArgvW(GetCommandLineW(), &count)));
  if (!argv) return {};
  const auto* items = static_cast<wchar_t**>(static_cast<void*>(argv.get()));
  return std::vector<std::wstring>(items, items + count);
}

}  // namespace

std::optional<int> runLauncherUpdateHelper() {
  switch (classifyHelperArguments(processArguments())) {
    case HelperInvocation::NotHelper:
      return std::nullopt;
    case HelperInvocation::WrongArgumentCount:
      return 1;
    case HelperInvocation::Complete:
      break;
  }
  // The swap itself arrives with the self-update work; until then a helper start is an
  // orderly failure rather than a silent launcher start.
  throw std::runtime_error("Launcher self-update is not available in this build");
}

// The update window is not built yet: the game folder is used as it is.
bool runUpdateBootstrap(void* /*moduleHandle*/) { return true; }

}  // namespace Corvanthorne::Update
