#include "launcher/play_win.h"

#include <stdexcept>

#include "common/text.h"
#include "launcher/client_handoff.h"
#include "launcher/credentials.h"
#include "launcher/debug_log.h"
#include "launcher/game_folder.h"
#include "launcher/launcher_settings.h"
#include "launcher/server_protocol.h"
#include "startup/loading_handles_win.h"
#include "startup/loading_screen_win.h"
#include "update/game_folder_lock.h"
#include "update/game_folder_lock_win.h"

namespace Corvanthorne {
namespace {

std::uint64_t handleValue(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

void setStatus(LauncherState& state, std::wstring_view text) {
  state.status = text;
  state.services.repaint();
}

// From the moment the launcher window is hidden, every way out of the attempt stops the
// loading screen and shows the window again, unless it was destroyed because the client took
// over.
class LauncherWindowReturns {
 public:
  LauncherWindowReturns(HWND window, Startup::LoadingScreen& loading) : window_(window), loading_(loading) {
    ShowWindow(window_, SW_HIDE);
  }
  ~LauncherWindowReturns() {
    loading_.stop();
    if (!IsWindow(window_)) return;
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
  }
  LauncherWindowReturns(const LauncherWindowReturns&) = delete;
  LauncherWindowReturns& operator=(const LauncherWindowReturns&) = delete;

 private:
  HWND window_;
  Startup::LoadingScreen& loading_;
};

GameSettings withChosenResolution(GameSettings settings, unsigned choice) {
  const Resolution& resolution = chosenResolution(choice);
  settings.width = resolution.width;
  settings.height = resolution.height;
  return settings;
}

// What Play keeps of the player's choices, whatever happens to the attempt afterwards.
void storePreferences(LauncherState& state, const std::string& username, const std::string& password) {
  const std::filesystem::path& root = state.services.gameRoot;
  state.gameSettings = withChosenResolution(state.gameSettings, state.resolutionChoice);
  writeGameSettings(state.gameSettings, root / "game_settings.ini");
  LauncherSettings settings = readLauncherSettings(root);
  settings.username = state.rememberUsername ? username : std::string();
  writeLauncherSettings(settings, root);
  storePasswordPreference(password, state.savePassword, root / "launcher.credentials");
}

struct SessionPipe {
  ScopedHandle readEnd;   // inherited by the client
  ScopedHandle writeEnd;  // the launcher's alone
};

SessionPipe createSessionPipe() {
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  SessionPipe pipe;
  if (!CreatePipe(pipe.readEnd.receive(), pipe.writeEnd.receive(), &inheritable, 0))
    throw std::runtime_error("Could not create the client session pipe");
  if (!SetHandleInformation(pipe.writeEnd.get(), HANDLE_FLAG_INHERIT, 0))
    throw std::runtime_error("Could not protect the session pipe write handle");
  return pipe;
}

// The client inherits every inheritable handle: the pipe's read end, the loading handles and
// the folder lock, which it keeps holding after the launcher ends.
bool startClient(const std::filesystem::path& client, const std::filesystem::path& gameRoot, const SessionPipe& pipe,
                 const Startup::LoadingHandles& handles, bool fullscreen, PROCESS_INFORMATION& started) {
  const ClientHandOff handOff{handleValue(pipe.readEnd.get()), handleValue(handles.mapping.get()),
                              handleValue(handles.closedEvent.get()), handleValue(handles.parentProcess.get())};
  std::wstring commandLine = clientCommandLine(client.wstring(), handOff);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = fullscreen ? SW_SHOWNORMAL : SW_MAXIMIZE;
  return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, gameRoot.c_str(), &startup,
                        &started) != FALSE;
}

// The whole token in one write, then end of file for the client.
bool sendToken(SessionPipe& pipe, const std::string& token) {
  DWORD written = 0;
  const bool sent = WriteFile(pipe.writeEnd.get(), token.data(), static_cast<DWORD>(token.size()), &written, nullptr) &&
                    written == token.size();
  pipe.writeEnd.reset();
  pipe.readEnd.reset();
  return sent;
}

ClientFolder launcherClientFolder() { return {executableDirectory(), isPackagedClient()}; }

// Qelmarin.exe in folder when it is a regular file, otherwise Corvanthorne.exe.
std::filesystem::path clientExecutable(const std::filesystem::path& folder) {
  const std::filesystem::path preferred = folder / L"Qelmarin.exe";
  return Update::isExistingRegularFile(preferred) ? preferred : folder / L"Corvanthorne.exe";
}

}  // namespace

void playGame(LauncherState& state, const ClientFolder& folder) {
  const HWND window = static_cast<HWND>(state.window);
  const std::filesystem::path& root = state.services.gameRoot;
  ScopedHandle lock;
  if (folder.installed) {
    lock = Update::acquireGameFolderLock(folder.path, true);
    if (!lock) return setStatus(state, kFolderInUse);
  }
  const std::string username = wideToUtf8(state.username), password = wideToUtf8(state.password);
  if (username.empty() || password.empty()) return setStatus(state, kEnterCredentials);
  setDebugLogging(state.gameSettings.debug);
  setStatus(state, kAuthenticating);
  UpdateWindow(window);  // the login blocks this thread
  const std::string token = loginTo(connectionAddress(root), kGameServerPort, username, password);
  if (token.empty()) return setStatus(state, kLoginFailed);

  const Startup::LoadingHandles handles = Startup::createLoadingHandles();
  Startup::LoadingProgressBlock& block = handles.block();
  block.totalSteps.exchange(Startup::kPlannedStartupSteps);
  StartupCheckpoints checkpoints(block.totalSteps, block.completedSteps);
  checkpoints.restartClock();
  checkpoints.checkpoint("Launcher authentication and session creation");
  Startup::LoadingScreen loading(handles, withChosenResolution(state.gameSettings, state.resolutionChoice), window,
                                 root / "assets" / "textures" / "Loading.png");
  if (block.closed.load() != 0) return loading.stop();
  const LauncherWindowReturns returns(window, loading);

  storePreferences(state, username, password);
  checkpoints.checkpoint("Launcher settings and credential preferences");
  SessionPipe pipe = createSessionPipe();
  PROCESS_INFORMATION started{};
  if (!startClient(clientExecutable(folder.path), root, pipe, handles, state.gameSettings.fullscreen, started))
    return setStatus(state, std::wstring(kClientNotStarted) + std::wstring(kSuggestVerify));
  const ScopedHandle process(started.hProcess);
  ScopedHandle thread(started.hThread);
  thread.reset();
  AllowSetForegroundWindow(started.dwProcessId);
  block.clientProcessId.exchange(started.dwProcessId);
  checkpoints.checkpoint("Client process and inherited session pipe");
  if (!sendToken(pipe, token)) block.closed.exchange(1);

  const HANDLE ends[] = {process.get(), handles.closedEvent.get()};
  if (WaitForMultipleObjects(2, ends, FALSE, INFINITE) == WAIT_FAILED) {
    block.closed.exchange(1);
    throw std::runtime_error("Could not wait for client startup");
  }
  loading.stop();
  if (block.closed.load() == 0 && block.ready.load() == 0) return setStatus(state, kClientNotInitialized);
  DestroyWindow(window);
}

void runPlayAction(LauncherState& state) {
  try {
    playGame(state, launcherClientFolder());
  } catch (const std::exception& error) {
    debugLog("LOADING", error.what());
    setStatus(state, kPlayFailed);
  }
}

}  // namespace Corvanthorne
