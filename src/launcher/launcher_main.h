#pragma once
// Stage 3: the launcher window and its message loop.

namespace Corvanthorne {

// moduleHandle is the process's HINSTANCE; showCommand the shell's show state. The exit code:
// 0 once the window is gone, 1 when Windows Sockets, the GUI document or the window fail.
int runLauncher(void* moduleHandle, int showCommand);

}  // namespace Corvanthorne
