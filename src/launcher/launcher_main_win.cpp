#include "launcher/launcher_main.h"

#include <optional>

#include "launcher/credentials.h"
#include "launcher/game_folder.h"
#include "launcher/launcher_state.h"
#include "launcher/launcher_window_win.h"
#include "launcher/play_win.h"
#include "launcher/server_connection_win.h"
#include "launcher/server_protocol.h"
#include "update/launcher_update.h"
#include "update/rolling_check.h"

namespace Corvanthorne {
namespace {

std::optional<WinsockSession> startWinsock() {
  try {
    return std::optional<WinsockSession>(std::in_place);
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

// Play and Verify stop the rolling check first: it keeps what it checked and lets go of the
// disk and the game folder.
void connectServices(LauncherState& state, Update::RollingCheck& rollingCheck, bool& verifyRequested) {
  state.services.repaint = [&state] { InvalidateRect(static_cast<HWND>(state.window), nullptr, FALSE); };
  state.services.play = [&state, &rollingCheck] {
    rollingCheck.stop();
    runPlayAction(state);
  };
  state.services.verify = [&state, &rollingCheck, &verifyRequested] {
    rollingCheck.stop();
    verifyRequested = true;
    PostMessageW(static_cast<HWND>(state.window), WM_CLOSE, 0, 0);
  };
  state.services.registerAccount = requestRegistration;
}

int runMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

// One launcher window, from reading the settings until the window is gone. verifyRequested:
// it closed for "Verify game files".
int runLauncherWindow(void* moduleHandle, int showCommand, bool& verifyRequested) {
  LauncherState state;
  readLauncherState(state, gameRoot(), readSavedPassword());
  if (!state.screen.load(gamePath("data/gui/launcher.ghi"))) {
    MessageBoxW(nullptr, L"Could not load data/gui/launcher.ghi.", L"Qelmarin Launcher", MB_ICONERROR);
    return 1;
  }
  LauncherWindow window(state);
  Update::RollingCheck rollingCheck(gameRoot(), [&state] {
    PostMessageW(static_cast<HWND>(state.window), kGameFilesDamagedMessage, 0, 0);
  });
  connectServices(state, rollingCheck, verifyRequested);
  configureGui(state);
  if (!window.create(static_cast<HINSTANCE>(moduleHandle))) return 1;
  window.show(showCommand);
  const int exitCode = runMessageLoop();
  rollingCheck.stop();
  window.rethrowFailure();
  return exitCode;
}

}  // namespace

int runLauncher(void* moduleHandle, int showCommand) {
  const std::optional<WinsockSession> winsock = startWinsock();
  if (!winsock) return 1;
  while (true) {
    bool verifyRequested = false;
    const int exitCode = runLauncherWindow(moduleHandle, showCommand, verifyRequested);
    if (!verifyRequested) return exitCode;
    if (!Update::runBootstrap(moduleHandle, true)) return 0;
  }
}

}  // namespace Corvanthorne
