// wWinMain does no work of its own: it runs the three stages and maps their outcome to the
// process exit code. Neither COM nor Windows Sockets are initialised here. "--verify" makes the
// update stage read every installed file whole and repair it (for support instructions).
#include <windows.h>

#include "launcher/entry.h"
#include "launcher/error_box.h"
#include "launcher/launcher_main.h"
#include "update/launcher_update.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
  using namespace Corvanthorne;
  const bool verify = asksForVerification(commandLine);
  return runStages({
      [] { return Update::runLauncherUpdateHelper(); },
      [instance, verify] { return Update::runBootstrap(instance, verify); },
      [instance, showCommand] { return runLauncher(instance, showCommand); },
      showLauncherErrorBox,
  });
}
