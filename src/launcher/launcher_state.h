#pragma once
// The launcher's one application record: the settings and credentials read at start, the texts
// of the login form and the registration dialog, and the GUI screen they are bound to. The
// document names these values ($login.username, ...) and actions (play, ...); configureGui
// connects them. What the actions need from the platform (repainting, the play flow, the
// registration request) is injected, so the whole binding layer runs without a window.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "gui/screen.h"
#include "launcher/game_settings.h"
#include "launcher/launcher_settings.h"

namespace Corvanthorne {

struct LauncherServices {
  std::filesystem::path gameRoot;  // launcher.ini is read and rewritten below it
  std::function<void()> repaint;   // invalidates the whole window without erasing
  std::function<void()> play;      // one play attempt
  // User name, password and e-mail as UTF-8: "" on success, else the message to show.
  std::function<std::wstring(std::string_view, std::string_view, std::string_view)> registerAccount;
  std::function<void()> verify;  // closes the window and reads every game file whole, repairing it
};

struct LauncherState {
  void* window = nullptr;  // the launcher window (HWND) once it exists
  Gui::Screen screen;
  GameSettings gameSettings;
  LauncherSettings startSettings;  // launcher.ini as read at start; changes re-read the file
  std::wstring username;
  std::wstring password;
  std::wstring status;
  std::wstring patchNotes;
  std::wstring registerName;
  std::wstring registerPassword;
  std::wstring registerEmail;
  bool rememberUsername = false;
  bool savePassword = false;
  unsigned resolutionChoice = 0;  // index into kOfferedResolutions
  LauncherServices services;
};

inline constexpr std::wstring_view kLauncherIniNotWritten =
    L"Could not update launcher.ini. Check the game folder's write permissions.";
inline constexpr std::wstring_view kRegistrationIncomplete = L"Enter username, password, and recovery email.";
inline constexpr std::wstring_view kAccountCreated = L"Account created. You can now play.";
inline constexpr std::wstring_view kGameFilesDamaged =
    L"A game file is damaged. Press Verify game files to repair it.";

// The start of the launcher main below the game root: game_settings.ini and its resolution
// choice, launcher.ini (rewritten at once; a failure goes to the status line) with the
// remembered user name, the saved password (UTF-8, "" for none) and patch notes.txt.
void readLauncherState(LauncherState& state, const std::filesystem::path& gameRoot, std::string_view savedPassword);

// Fills the drop-downs (and the patch notes) and registers every binding and action on the
// state's screen.
void configureGui(LauncherState& state);

// The offered resolution of a choice (the last one for a choice past the end), and as the
// document shows it: "1920 x 1080".
const Resolution& chosenResolution(unsigned choice);
std::wstring resolutionText(unsigned choice);

// Rows of the patch notes list: one per line, long lines broken at spaces so that each row
// fits widthUnits at the list's text size; headings (lines that do not start with "-" or a
// blank) are emphasised.
std::vector<Gui::ListItem> patchNotesRows(std::wstring_view notes, double widthUnits);

}  // namespace Corvanthorne
