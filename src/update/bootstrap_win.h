#pragma once
// The update bootstrap: one worker thread at a time brings the game folder to the newest
// game and decides on the launcher, while the update window only draws what the worker
// reports. The worker talks to the window only by posting two messages; title, detail and
// progress pass under the mutex, the state is atomic.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include <thread>

#include "common/handle_win.h"
#include "gui/accessible_win.h"
#include "render/window_theme_win.h"
#include "update/bootstrap.h"
#include "update/game_install.h"
#include "update/package_manifest.h"

namespace Corvanthorne::Update {

inline constexpr UINT kProgressChangedMessage = WM_APP + 41;
inline constexpr UINT kWorkerFinishedMessage = WM_APP + 42;

// What the window paints, copied under the mutex.
struct BootstrapText {
  std::wstring title;
  std::wstring detail;
  unsigned progress = 0;
};

class Bootstrap : private Gui::AccessibleSource {
 public:
  // A verifying bootstrap reads every installed file whole, repairs what is damaged or missing
  // and shows what it found before going on to the launcher.
  Bootstrap(std::filesystem::path gameFolder, std::filesystem::path packageSource, std::wstring patchSource,
            bool verifying = false);
  ~Bootstrap();
  Bootstrap(const Bootstrap&) = delete;
  Bootstrap& operator=(const Bootstrap&) = delete;

  // Opens the update window, starts the first run and runs the message loop until the window
  // is gone. True: go on to the launcher.
  bool run(HINSTANCE instance);

  // The window procedure's calls.
  // False when the window's buttons or fonts cannot be made.
  bool attach(HWND window);
  void onProgressChanged();
  void onRepaintTimer();
  void onWorkerFinished();
  void onCloseRequested();
  void onButton(int id);
  void onDpiChanged(unsigned dpi, const RECT& suggested);
  void onSize(int width, int height);
  void onSystemColoursChanged();
  void paint(HDC dc, const RECT& client) const;
  void drawButton(const DRAWITEMSTRUCT& item) const;
  // Screen readers: the answer to WM_GETOBJECT, and the end of the objects with the window.
  std::optional<LRESULT> accessibleObject(WPARAM wParam, LPARAM lParam);
  void announceChanges();
  void detach();

  BootstrapText text() const;
  HWND window() const { return window_; }
  // Its own colours, or the system's in high contrast.
  Gui::WindowTheme& theme() { return theme_; }

  // Tests only: passed to the journaled install, to hold it at a chosen step.
  UpdateStepGate installGate;

 private:
  void start(bool launcherMode);
  void postProgress(const std::wstring& text, unsigned percent);
  void chooseUpdateSource();
  void work(bool launcherMode);
  void updateGame();
  void fail(const std::string& message);
  void setText(const std::wstring& title, const std::wstring& detail);
  void showFinishedButtons();
  void fitClientToDpi();
  void rebuildFonts();
  double secondsSinceStart() const;
  // The painted texts and the progress bar; the buttons are windows of their own.
  std::vector<Gui::AccessibleObject> accessibleObjects() override;

  HWND window_ = nullptr;
  std::filesystem::path gameFolder_;
  std::filesystem::path packageSource_;
  std::wstring patchSource_;
  bool verifying_ = false;
  std::thread worker_;
  mutable std::mutex mutex_;
  std::wstring title_ = L"Preparing your game folder";
  std::wstring detail_ = L"Checking for complete game and launcher builds...";
  unsigned progress_ = 0;
  std::atomic<BootstrapState> state_{BootstrapState::Running};
  bool installed_ = false;
  bool continueToLauncher_ = false;
  bool closeRequested_ = false;
  LatestPackage launcherPackage_;
  ScopedGdiObject<HFONT> titleFont_;
  ScopedGdiObject<HFONT> bodyFont_;
  unsigned dpi_ = 96;
  TimeLeftEstimate timeLeft_;
  bool repaintPending_ = false;
  std::atomic<bool> progressPosted_{false};
  std::chrono::steady_clock::time_point clockStart_ = std::chrono::steady_clock::now();
  std::optional<Gui::AccessibleWindow> accessible_;  // while the window exists
  Gui::WindowTheme theme_;
};

// Registers the window class and creates the update window for bootstrap.
HWND createUpdateWindow(HINSTANCE instance, Bootstrap& bootstrap);

}  // namespace Corvanthorne::Update
