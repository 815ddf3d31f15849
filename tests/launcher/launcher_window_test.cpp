// The launcher's state, bindings and actions on the shipped launcher.ghi, with the play flow and
// the registration request injected; the window's size and key rules.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "launcher/launcher_state.h"
#include "launcher/launcher_window.h"
#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {

using Testing::readFile;
using Testing::writeFile;

const std::filesystem::path kShippedDocument =
    std::filesystem::path(QEL_TEST_DATA_DIR) / ".." / ".." / "game" / "data" / "gui" / "launcher.ghi";

// A game root with the given files, read into a state bound to a document.
struct Launcher {
  explicit Launcher(std::initializer_list<std::pair<const char*, std::string>> files, std::string_view saved = "",
                    const std::filesystem::path& document = kShippedDocument) {
    for (const auto& [name, bytes] : files) writeFile(root / name, bytes);
    readLauncherState(state, root.path(), saved);
    EXPECT_TRUE(state.screen.load(document));
    state.services = {root.path(), [this] { ++repaints; }, [this] { ++plays; },
                      [this](std::string_view name, std::string_view password, std::string_view email) {
                        request = std::string(name) + " " + std::string(password) + " " + std::string(email);
                        return answer;
                      },
                      {}};
    configureGui(state);
    state.screen.setClientSize(760, 480);
    state.screen.layout();
  }
  // Words: tab, stab (Shift+Tab), enter, esc, space, down; anything else is typed. The outcome
  // of the last key.
  KeyOutcome input(const std::wstring& script) {
    KeyOutcome outcome;
    std::wistringstream words(script);
    for (std::wstring word; words >> word;) {
      const int32_t key = word == L"tab" || word == L"stab" ? 9 : word == L"enter" ? 13 : word == L"esc" ? 27
                          : word == L"space" ? 32 : word == L"down" ? 40 : 0;
      if (key) outcome = launcherKeyDown(state.screen, key, word == L"stab", false);
      for (const wchar_t c : key ? std::wstring() : word) state.screen.character(c);
    }
    return outcome;
  }
  void focus(const wchar_t* name) { state.screen.setFocus(state.screen.findNode(name)); }
  bool activate(const wchar_t* name) { return state.screen.activate(*state.screen.findNode(name)); }
  int32_t selected(const wchar_t* control) { return state.screen.state(control)->selectedRow; }
  bool dialogShown() { return state.screen.isVisible(*state.screen.findNode(L"RegistrationDialog")); }

  Testing::TempDir root;
  LauncherState state;
  int repaints = 0, plays = 0;
  std::string request;
  std::wstring answer;
};

TEST(LauncherState, StoredSettingsChooseRowsAndFillTheForm) {
  for (const auto& [size, row] : {std::pair{"width 2560\nheight 1440\n", 3}, {"width 1366\nheight 768\n", 0}})
    EXPECT_EQ(Launcher({{"game_settings.ini", size}}).selected(L"Resolution"), row) << size;
  Launcher launcher({{"launcher.ini", "Username=ada\nServerSelection=Local\n"},
                     {"patch notes.txt", "Version 2\r\n- Boats\r\n\r\nVersion 1\r\n"}},
                    "p\xC3\xA4ss");
  EXPECT_TRUE(launcher.state.rememberUsername && launcher.state.savePassword);
  EXPECT_EQ(launcher.state.screen.text(L"Username") + L"|" + launcher.state.screen.text(L"Password"), L"ada|p\u00E4ss");
  EXPECT_EQ(launcher.selected(L"ServerSelection"), 0);
  EXPECT_EQ(launcher.state.screen.state(L"ServerSelection")->rows.at(1).text + L"|" +
                launcher.state.screen.state(L"Resolution")->rows.at(1).text, L"play.qelmarin.net|1600 x 900");
  const auto& notes = launcher.state.screen.state(L"PatchNotes")->rows;
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_TRUE(notes[0].emphasised && !notes[1].emphasised);
  EXPECT_EQ(readFile(launcher.root / "launcher.ini"), "Username=ada\r\nServerAddress=play.qelmarin.net\r\nServerSelection=Local\r\n");
}

TEST(LauncherState, KeyboardPlaysAndControlsSetTheChoices) {
  Launcher launcher({{"launcher.ini", "ServerSelection=Local\n"}});
  launcher.input(L"tab ada tab pw tab tab space stab stab enter");
  EXPECT_EQ(launcher.state.username + L" " + launcher.state.password, L"ada pw");
  EXPECT_TRUE(launcher.state.savePassword);
  EXPECT_EQ(launcher.plays, 1);
  launcher.focus(L"Resolution");
  launcher.input(L"down tab space");
  EXPECT_EQ(launcher.state.screen.resolveValue(L"$graphics.resolution") + L"|" +
                launcher.state.screen.resolveValue(L"$graphics.fullscreen"), L"1600 x 900|true");
  // The server choice is written at once; a launcher.ini that cannot be written says so.
  launcher.state.status = L"old";
  launcher.focus(L"ServerSelection");
  launcher.input(L"down");
  EXPECT_EQ(readFile(launcher.root / "launcher.ini"), "Username=\r\nServerAddress=play.qelmarin.net\r\nServerSelection=Server\r\n");
  EXPECT_EQ(launcher.state.status, L"");
  std::filesystem::remove(launcher.root / "launcher.ini");
  std::filesystem::create_directory(launcher.root / "launcher.ini");
  launcher.input(L"down");
  EXPECT_EQ(launcher.state.status, kLauncherIniNotWritten);
  // Flag setters store true for exactly "true".
  const Gui::Node& remember = *launcher.state.screen.findNode(L"RememberUsername");
  for (const auto& [text, stored] : {std::pair{L"true", true}, {L"True", false}, {L"true", true}, {L"1", false}}) {
    launcher.state.screen.writeBack(remember, L"checked", text);
    EXPECT_EQ(launcher.state.rememberUsername, stored) << text;
  }
}

TEST(LauncherState, RegistrationDialogOpensFilledAndRegisters) {
  Launcher launcher({});
  launcher.state.username = L"ada";
  launcher.state.screen.setText(L"RegisterPassword", L"left over");
  launcher.activate(L"CreateAccount");
  EXPECT_EQ(launcher.state.screen.text(L"RegisterName") + L"|" + launcher.state.screen.text(L"RegisterPassword"), L"ada|");
  launcher.input(L"tab secret1 tab enter");  // focus moved into the dialog, on the user name
  EXPECT_EQ(launcher.state.status, kRegistrationIncomplete);
  launcher.answer = L"That username already exists.";
  launcher.focus(L"RegisterEmail");
  launcher.input(L"ada@example.org enter");
  EXPECT_EQ(launcher.request, "ada secret1 ada@example.org");
  EXPECT_TRUE(launcher.state.status == launcher.answer && launcher.dialogShown());
  launcher.answer.clear();
  launcher.activate(L"ConfirmRegistration");
  EXPECT_TRUE(!launcher.dialogShown() && launcher.state.status == kAccountCreated);
  EXPECT_EQ(launcher.state.screen.text(L"Username") + L"|" + launcher.state.screen.text(L"Password"), L"ada|secret1");
}

TEST(LauncherWindowRules, EscapeClosesTheLauncherUnlessTheScreenTakesIt) {
  Launcher launcher({});
  launcher.activate(L"CreateAccount");
  EXPECT_FALSE(launcher.input(L"esc").closeLauncher);
  EXPECT_FALSE(launcher.dialogShown());
  launcher.state.screen.openPopup(*launcher.state.screen.findNode(L"Resolution"));
  EXPECT_FALSE(launcher.input(L"esc").closeLauncher);
  EXPECT_TRUE(launcher.input(L"esc").closeLauncher);
  // A shown dialog that does not take Escape, and no resolution drop-down to choose from.
  Testing::TempDir folder;
  writeFile(folder / "plain.ghi", "Root R { width = 760; height = 480; Panel RegistrationDialog { width = 100; height = 100; }"
                                  " Button B { width = 10; height = 10; onClick = resolutionChanged; } }");
  Launcher plain({}, "", folder / "plain.ghi");
  EXPECT_TRUE(plain.activate(L"B"));
  EXPECT_EQ(plain.repaints, 1);
  EXPECT_TRUE(plain.input(L"esc").closeLauncher);
}

TEST(LauncherWindowRules, ClientAreaFitsTheScreenInItsProportions) {
  EXPECT_EQ(fitClientArea({1520, 960}, {1270, 760}), (ClientArea{1203, 760}));
  EXPECT_EQ(fitClientArea({1520, 960}, {1000, 900}), (ClientArea{1000, 631}));
}

TEST(LauncherState, PatchNotesWrapAtSpacesUnderTheirItem) {
  std::wstring rows;
  for (const Gui::ListItem& row : patchNotesRows(L"Notes\n- one two three four five six\n\nsupercalifragilistic", 63))
    rows += row.text + (row.emphasised ? L"*|" : L"|");
  EXPECT_EQ(rows, L"Notes*|- one two|  three four|  five six||supercalifra*|gilistic*|");
}

}  // namespace
}  // namespace Corvanthorne
