#pragma once
// The play flow: from Play to the game client's own window. It locks an installed game folder,
// logs in, opens the loading window, stores the player's settings, starts the client with the
// session token in an inherited pipe and the loading handles on its command line, and waits
// until the client has taken over (the launcher window is destroyed) or has failed (the window
// comes back with a message). It runs on the GUI thread and blocks it while it waits.
#include <filesystem>
#include <string>
#include <string_view>

#include "launcher/launcher_state.h"

namespace Corvanthorne {

inline constexpr std::wstring_view kFolderInUse = L"This game folder is in use. Close the other game or updater first.";
inline constexpr std::wstring_view kEnterCredentials = L"Enter your username and password.";
inline constexpr std::wstring_view kAuthenticating = L"Authenticating with the game server...";
inline constexpr std::wstring_view kLoginFailed = L"Login failed or the server is unavailable.";
inline constexpr std::wstring_view kClientNotStarted = L"The game client could not be started.";
inline constexpr std::wstring_view kSuggestVerify = L" Try Verify game files.";
inline constexpr std::wstring_view kClientNotInitialized = L"The client could not initialize. Check the game debug log.";
inline constexpr std::wstring_view kPlayFailed = L"The loading screen or game client could not be initialized.";

// The folder the client is started from (the launcher's own), locked while a game plays from
// it when it is an installed game folder.
struct ClientFolder {
  std::filesystem::path path;
  bool installed = false;
};

// One play attempt; settings are read and written below the state's game root. Outcomes end in
// the status line; the exceptions of the loading handles, the pipe and the wait are thrown.
void playGame(LauncherState& state, const ClientFolder& folder);

// The play action: playGame, with a standard exception logged and turned into kPlayFailed.
void runPlayAction(LauncherState& state);

}  // namespace Corvanthorne
