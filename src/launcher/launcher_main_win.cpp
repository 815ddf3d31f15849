#include "launcher/launcher_main.h"

#include <optional>

#include "launcher/credentials.h"
#include "launcher/game_folder.h"
#include "launcher/launcher_state.h"
#include "launcher/launcher_window_win.h"
#include "launcher/play_win.h"
#include "launcher/server_connection_win.h"
#include "launcher/server_protocol.h"

namespace Corvanthorne {
namespace {

std::optional<WinsockSession> startWinsock() {
  try {
    return std::optional<WinsockSession>(std::in_place);
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

void connectServices(LauncherState& state) {
  state.services.repaint = [&state] { InvalidateRect(static_cast<HWND>(state.window), nullptr, FALSE); };
  state.services.play = [&state] { runPlayAction(state); };
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

}  // namespace

int runLauncher(void* moduleHandle, int showCommand) {
  const std::optional<WinsockSession> winsock = startWinsock();
  if (!winsock) return 1;
  LauncherState state;
  readLauncherState(state, gameRoot(), readSavedPassword());
  if (!state.screen.load(gamePath("data/gui/launcher.ghi"))) {
    MessageBoxW(nullptr, L"Could not load data/gui/launcher.ghi.", L"Qelmarin Launcher", MB_ICONERROR);
    return 1;
  }
  connectServices(state);
  configureGui(state);
  LauncherWindow window(state);
  if (!window.create(static_cast<HINSTANCE>(moduleHandle))) return 1;
  window.show(showCommand);
  const int exitCode = runMessageLoop();
  window.rethrowFailure();
  return exitCode;
}

}  // namespace Corvanthorne
