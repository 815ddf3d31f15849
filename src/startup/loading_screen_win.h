#pragma once
// The loading window that follows the game client's start-up. It runs on a thread of its own
// (window, GUI screen, GPU presenter, frame timer), redraws up to 120 times a second from the
// loading progress block, and ends when the client reports ready, the user closes it, the
// session ends, or the owner calls stop().
#include <windows.h>

#include <filesystem>
#include <thread>

#include "common/handle_win.h"
#include "launcher/game_settings.h"
#include "startup/loading_handles_win.h"

namespace Corvanthorne::Startup {

// The window's class, by which tools find it.
inline constexpr wchar_t kLoadingWindowClass[] = L"CorvanthorneStartupLoading";

class LoadingScreen {
 public:
  // Opens the window the size of windowSettings.width x height (or covering the monitor of
  // launcherWindow when windowSettings.fullscreen) and returns once its first frame is shown
  // or its thread has failed (then the block's `closed` is 1). `handles` must outlive this
  // object. Throws std::runtime_error "Loading screen events" when its events cannot be made.
  // The loading image is the game's assets/textures/Loading.png unless another is given.
  LoadingScreen(const LoadingHandles& handles, const GameSettings& windowSettings, HWND launcherWindow,
                std::filesystem::path loadingImage = {});
  ~LoadingScreen();
  LoadingScreen(const LoadingScreen&) = delete;
  LoadingScreen& operator=(const LoadingScreen&) = delete;

  // Ends the frame loop within a frame period and joins the thread. Safe to call again.
  void stop();

  const LoadingStatistics& statistics() const { return statistics_; }
  // Whether the loading image was decoded with a positive size.
  bool imageLoaded() const { return imageLoaded_; }

 private:
  void run(RECT monitor, GameSettings windowSettings);
  void runWindow(const RECT& monitor, const GameSettings& windowSettings);

  const LoadingHandles* handles_;
  std::filesystem::path loadingImage_;
  ScopedHandle stopEvent_;  // declared first: closed last
  ScopedHandle startedEvent_;
  LoadingStatistics statistics_;  // written by the loading thread as it ends
  bool imageLoaded_ = false;
  std::thread thread_;
};

}  // namespace Corvanthorne::Startup
