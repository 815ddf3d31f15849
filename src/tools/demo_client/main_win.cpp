// The demo game client: it plays the client's side of the launcher's hand-off, so that Play can
// be seen and tested end to end. It takes exactly the launcher's four handle arguments (else
// exit code 2), reads the session token from the pipe to its end, reports its loading steps
// and file names in the shared progress block, opens its window "Qelmarin" and reports ready.
// It records how it was started and the token's length and SHA-256 (never the token) in
// logs/demo-client.log.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "common/files.h"
#include "common/handle_win.h"
#include "common/text.h"
#include "launcher/client_handoff.h"
#include "launcher/debug_log.h"
#include "launcher/game_settings.h"
#include "startup/loading_progress.h"
#include "tools/demo_client/demo_client.h"
#include "update/file_ops.h"

namespace {

using namespace Corvanthorne;
using Startup::LoadingProgressBlock;

constexpr int kWrongArguments = 2, kBadConfig = 3, kNoSession = 4;
constexpr UINT_PTR kCloseTimer = 1;
constexpr std::size_t kMaxTokenBytes = 64 * 1024;

// Relative to the game root, which the launcher makes the client's working directory.
const std::filesystem::path kLogFile = std::filesystem::path("logs") / "demo-client.log";

void log(std::string_view line) { appendLogLine(kLogFile, line); }

HANDLE handleOf(std::uint64_t value) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)); }

std::optional<ClientHandOff> handOffArguments() {
  int count = 0;
  ScopedLocalMemory argv(reinterpret_cast<HLOCAL>(CommandLineToArgvW(GetCommandLineW(), &count)));
  if (!argv || count < 1) return std::nullopt;
  const auto* items = static_cast<wchar_t**>(static_cast<void*>(argv.get()));
  const std::vector<std::wstring> arguments(items + 1, items + count);
  return parseClientHandOff(arguments);
}

// The whole pipe, up to its end of file; nothing when it cannot be read or runs too long.
std::optional<std::string> readToken(HANDLE pipe) {
  std::string token;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    token.append(buffer, read);
    if (token.size() > kMaxTokenBytes) return std::nullopt;
  }
  if (GetLastError() != ERROR_BROKEN_PIPE && GetLastError() != ERROR_SUCCESS) return std::nullopt;
  return token;
}

// One step per file, spread over the configured loading time.
void reportLoading(LoadingProgressBlock& block, int seconds) {
  block.stepsPublished.exchange(1);
  const auto pause = std::chrono::milliseconds(seconds * 1000 / static_cast<int>(DemoClient::kLoadingFiles.size()));
  for (const std::wstring_view file : DemoClient::kLoadingFiles) {
    Startup::writeFileText(block, file);
    std::this_thread::sleep_for(pause);
    if (block.completedSteps.load() < block.totalSteps.load() - 1) block.completedSteps.fetch_add(1);
  }
}

struct GameWindow {
  std::size_t tokenBytes = 0;
};

LRESULT CALLBACK gameWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      const HDC dc = BeginPaint(window, &paint);
      RECT client{};
      GetClientRect(window, &client);
      SetDCBrushColor(dc, RGB(8, 10, 14));
      FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(220, 199, 151));
      const auto* game = reinterpret_cast<const GameWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      const std::wstring text = L"QELMARIN\n\nDemo game client, signed in with a session token of " +
                                std::to_wstring(game ? game->tokenBytes : 0) + L" bytes.\nEscape closes the game.";
      const ScopedGdiObject<HFONT> font(CreateFontW(-std::max(16L, client.bottom / 30), 0, 0, 0, FW_SEMIBOLD, FALSE, FALSE,
                                                    FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                                    ANTIALIASED_QUALITY, DEFAULT_PITCH, L"Palatino Linotype"));
      const HGDIOBJ previous = SelectObject(dc, font.get());
      RECT area = client;
      area.top = client.bottom * 2 / 5;
      DrawTextW(dc, text.c_str(), -1, &area, DT_CENTER | DT_NOPREFIX);
      SelectObject(dc, previous);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) DestroyWindow(window);
      return 0;
    case WM_TIMER:
      if (wParam == kCloseTimer) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// The window at the game's resolution, shown as the launcher asked (maximised or not).
HWND openGameWindow(HINSTANCE instance, GameWindow& game) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = gameWindowProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = L"QelmarinDemoClient";
  if (!RegisterClassExW(&windowClass)) return nullptr;
  const GameSettings settings = readGameSettings("game_settings.ini");
  RECT outer{0, 0, settings.width, settings.height};
  AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
  const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Qelmarin", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                      CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                      instance, nullptr);
  if (!window) return nullptr;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&game));
  ShowWindow(window, SW_SHOWDEFAULT);
  UpdateWindow(window);
  SetForegroundWindow(window);
  return window;
}

int runGameWindow(HINSTANCE instance, LoadingProgressBlock& block, GameWindow& game, int closeAfter) {
  const HWND window = openGameWindow(instance, game);
  if (!window) {
    log("the game window could not be opened" + windowsErrorSuffix(GetLastError()));
    return 1;
  }
  block.completedSteps.exchange(block.totalSteps.load());
  block.ready.exchange(1);
  if (closeAfter > 0) SetTimer(window, kCloseTimer, static_cast<UINT>(closeAfter) * 1000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

// Without readiness the client only waits for the loading window to close or the launcher to end.
void waitForLauncher(const ClientHandOff& handOff) {
  const HANDLE ends[] = {handleOf(handOff.loadingClosed), handleOf(handOff.loadingParent)};
  WaitForMultipleObjects(2, ends, FALSE, 10 * 60 * 1000);
}

// How the launcher started this client, for tests to compare exactly.
void logStart() {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  log("show-command=" + std::to_string(startup.wShowWindow) + " command-line=" + wideToUtf8(GetCommandLineW()));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const std::optional<ClientHandOff> handOff = handOffArguments();
  if (!handOff) return kWrongArguments;
  logStart();
  const auto config = DemoClient::parseConfig(readFileBytes("demo-client.ini", 64 * 1024).value_or(std::string()));
  if (const auto* problem = std::get_if<std::string>(&config)) {
    log(*problem);
    return kBadConfig;
  }
  const DemoClient::Config& settings = std::get<DemoClient::Config>(config);
  if (settings.behaviour == DemoClient::Behaviour::ExitAtOnce) return 1;

  const ScopedHandle pipe(handleOf(handOff->launcherPipe));
  const std::optional<std::string> token = readToken(pipe.get());
  const ScopedMappedView view(MapViewOfFile(handleOf(handOff->loadingMap), FILE_MAP_ALL_ACCESS, 0, 0,
                                            Startup::kLoadingProgressBlockSize));
  if (!token || token->empty() || !view) {
    log("no session: the token or the progress block could not be read");
    return kNoSession;
  }
  log("token-bytes=" + std::to_string(token->size()) + " token-sha256=" + Update::sha256Bytes(*token));
  auto& block = *static_cast<LoadingProgressBlock*>(view.get());
  reportLoading(block, settings.seconds);
  if (settings.behaviour == DemoClient::Behaviour::NeverReady) {
    waitForLauncher(*handOff);
    return 0;
  }
  GameWindow game{token->size()};
  return runGameWindow(instance, block, game, settings.closeAfter);
}
