// wWinMain does no work of its own: it runs the three stages and maps their outcome to the
// process exit code. Neither COM nor Windows Sockets are initialised here.
#include <windows.h>

#include "launcher/entry.h"
#include "launcher/error_box.h"
#include "launcher/launcher_main.h"
#include "update/launcher_update.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  using namespace Corvanthorne;
  return runStages({
      [] { return Update::runLauncherUpdateHelper(); },
      [instance] { return Update::runBootstrap(instance); },
      [instance, showCommand] { return runLauncher(instance, showCommand); },
      showLauncherErrorBox,
  });
}
