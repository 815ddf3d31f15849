// A second launcher build for the self-update tests: the product's stages under another build
// label, so its bytes differ from launcher.exe's. Run as the update helper with pipes for
// standard input and output, it reports each step of the swap and waits for one byte before
// running it, so that a test can kill it at any step.
#include <windows.h>

#include <string>

#include "launcher/entry.h"
#include "launcher/error_box.h"
#include "launcher/launcher_main.h"
#include "update/launcher_update.h"

namespace {

bool isPipe(HANDLE handle) {
  return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_PIPE;
}

void pauseAtStep(std::string_view step) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (!isPipe(out) || !isPipe(in)) return;
  const std::string line = std::string(step) + "\n";
  DWORD count = 0;
  WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &count, nullptr);
  char go = 0;
  ReadFile(in, &go, 1, &count, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  using namespace Corvanthorne;
  return runStages({
      [] { return Update::runLauncherUpdateHelper(pauseAtStep); },
      [instance] { return Update::runBootstrap(instance); },
      [instance, showCommand] { return runLauncher(instance, showCommand); },
      showLauncherErrorBox,
  });
}
