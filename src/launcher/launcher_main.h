#pragma once
// Stage 3: the launcher window and its message loop.

namespace Corvanthorne {

// moduleHandle is the process's HINSTANCE; showCommand the shell's show state.
int runLauncherMain(void* moduleHandle, int showCommand);

}  // namespace Corvanthorne
