// The launcher's state, bindings and actions on the shipped launcher.ghi, with the play flow and
// the registration request injected; the window's size and key rules.
#include <gtest/gtest.h>

#include <string>

#include "common/text.h"
#include "launcher/launcher_state.h"
#include "launcher/launcher_window.h"
#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {

using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;

const std::filesystem::path kShippedDocument =
    std::filesystem::path(QEL_TEST_DATA_DIR) / ".." / ".." / "game" / "data" / "gui" / "launcher.ghi";

constexpr int32_t kTab = 9, kEnter = 13, kEscape = 27, kSpace = 32, kDown = 40;

// A game root with the given files, read into a state bound to a document.
struct Launcher {
  explicit Launcher(std::initializer_list<std::pair<const char*, std::string>> files, std::string_view saved = "",
                    const std::filesystem::path& document = kShippedDocument) {
    for (const auto& [name, bytes] : files) writeFile(root / name, bytes);
    readLauncherState(state, root.path(), saved);
    EXPECT_TRUE(state.screen.load(document));
    state.services.repaint = [this] { ++repaints; };
    state.services.play = [this] { ++plays; };
    state.services.registerAccount = [this](std::string_view name, std::string_view password, std::string_view email) {
      request = std::string(name) + " " + std::string(password) + " " + std::string(email);
      return answer;
    };
    configureGui(state);
    state.screen.setClientSize(760, 480);
    state.screen.layout();
  }
  void type(std::wstring_view text) {
    for (const wchar_t c : text) state.screen.character(c);
  }
  KeyOutcome key(int32_t code, bool shift = false) { return launcherKeyDown(state.screen, code, shift, false); }
  int32_t selected(std::wstring_view control) { return state.screen.state(control)->selectedRow; }
  bool dialogShown() { return state.screen.isVisible(*state.screen.findNode(L"RegistrationDialog")); }

  TempDir root;
  LauncherState state;
  int repaints = 0, plays = 0;
  std::string request;
  std::wstring answer;
};

TEST(LauncherState, StoredSettingsChooseRowsAndFillTheForm) {
  const struct {
    const char* size;
    int32_t row;
  } resolutions[] = {{"width 2560\nheight 1440\n", 3}, {"width 1366\nheight 768\n", 0}, {"width 1920\nheight 1080\n", 2}};
  for (const auto& [size, row] : resolutions) {
    Launcher launcher({{"game_settings.ini", size}});
    EXPECT_EQ(launcher.selected(L"Resolution"), row) << size;
    EXPECT_EQ(launcher.state.screen.state(L"Resolution")->rows.at(1).text, L"1600 x 900");
  }
  Launcher launcher({{"launcher.ini", "Username=ada\nServerSelection=Local\n"},
                     {"patch notes.txt", "Version 2\r\n- Boats\r\n\r\nVersion 1\r\n"}},
                    "p\xC3\xA4ss");
  EXPECT_EQ(launcher.state.username, L"ada");
  EXPECT_TRUE(launcher.state.rememberUsername);
  EXPECT_EQ(launcher.state.screen.text(L"Password"), L"p\u00E4ss");
  EXPECT_TRUE(launcher.state.screen.isChecked(*launcher.state.screen.findNode(L"SavePassword")));
  EXPECT_EQ(launcher.selected(L"ServerSelection"), 0);
  EXPECT_EQ(launcher.state.screen.state(L"ServerSelection")->rows.at(1).text, L"play.qelmarin.net");
  const auto& notes = launcher.state.screen.state(L"PatchNotes")->rows;
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_TRUE(notes[0].emphasised);
  EXPECT_FALSE(notes[1].emphasised);
  EXPECT_EQ(launcher.state.screen.state(L"PatchNotes")->firstVisibleRow, 0);
  // The start rewrites launcher.ini at once.
  EXPECT_EQ(readFile(launcher.root / "launcher.ini"), "Username=ada\r\nServerAddress=play.qelmarin.net\r\nServerSelection=Local\r\n");
}

TEST(LauncherState, KeyboardLoginPlaysAndSettingsFollowTheControls) {
  Launcher launcher({});
  launcher.key(kTab);
  launcher.type(L"ada");
  launcher.key(kTab);
  launcher.type(L"pw");
  EXPECT_EQ(launcher.state.username, L"ada");
  EXPECT_EQ(launcher.state.password, L"pw");
  for (int i = 0; i < 2; ++i) launcher.key(kTab);
  launcher.key(kSpace);  // the save-password box
  EXPECT_TRUE(launcher.state.savePassword);
  launcher.key(kTab, true);
  launcher.key(kTab, true);
  launcher.key(kEnter);
  EXPECT_EQ(launcher.plays, 1);
  // The resolution drop-down and the toggles, by keys.
  launcher.state.screen.setFocus(launcher.state.screen.findNode(L"Resolution"));
  launcher.key(kDown);
  EXPECT_EQ(launcher.state.resolutionChoice, 1u);
  EXPECT_EQ(launcher.state.screen.resolveValue(L"$graphics.resolution"), L"1600 x 900");
  launcher.key(kTab);
  launcher.key(kSpace);
  EXPECT_TRUE(launcher.state.gameSettings.fullscreen);
  EXPECT_EQ(launcher.state.screen.resolveValue(L"$graphics.fullscreen"), L"true");
}

TEST(LauncherState, ServerSelectionIsWrittenAtOnce) {
  Launcher launcher({{"launcher.ini", "ServerSelection=Local\n"}});
  launcher.state.status = L"old";
  launcher.state.screen.setFocus(launcher.state.screen.findNode(L"ServerSelection"));
  launcher.key(kDown);
  EXPECT_EQ(readFile(launcher.root / "launcher.ini"), "Username=\r\nServerAddress=play.qelmarin.net\r\nServerSelection=Server\r\n");
  EXPECT_EQ(launcher.state.status, L"");
  EXPECT_GT(launcher.repaints, 0);
  // A launcher.ini that cannot be written leaves its message in the status line.
  std::filesystem::remove(launcher.root / "launcher.ini");
  std::filesystem::create_directory(launcher.root / "launcher.ini");
  launcher.key(kDown);
  EXPECT_EQ(launcher.state.status, kLauncherIniNotWritten);
}

TEST(LauncherState, FlagSettersStoreTrueOnlyForExactlyTrue) {
  Launcher launcher({});
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
  launcher.state.screen.activate(*launcher.state.screen.findNode(L"CreateAccount"));
  ASSERT_TRUE(launcher.dialogShown());
  EXPECT_EQ(launcher.state.screen.text(L"RegisterName"), L"ada");
  EXPECT_EQ(launcher.state.screen.text(L"RegisterPassword"), L"");
  // Focus moved into the dialog: its user name, then the password and the e-mail by Tab.
  launcher.state.screen.layout();
  EXPECT_EQ(launcher.state.screen.focusedName(), L"RegisterName");
  launcher.key(kEnter);
  launcher.key(kTab);
  launcher.type(L"secret1");
  launcher.key(kTab);
  launcher.key(kEnter);
  EXPECT_EQ(launcher.state.status, kRegistrationIncomplete);
  EXPECT_TRUE(launcher.request.empty());

  // Enter submitted and left the box; the player comes back to it.
  launcher.answer = L"That username already exists.";
  launcher.state.screen.setFocus(launcher.state.screen.findNode(L"RegisterEmail"));
  launcher.type(L"ada@example.org");
  launcher.key(kEnter);
  EXPECT_EQ(launcher.request, "ada secret1 ada@example.org");
  EXPECT_EQ(launcher.state.status, L"That username already exists.");
  EXPECT_TRUE(launcher.dialogShown());

  launcher.answer.clear();
  launcher.state.screen.activate(*launcher.state.screen.findNode(L"ConfirmRegistration"));
  EXPECT_FALSE(launcher.dialogShown());
  EXPECT_EQ(launcher.state.status, kAccountCreated);
  EXPECT_EQ(launcher.state.screen.text(L"Username"), L"ada");
  EXPECT_EQ(launcher.state.screen.text(L"Password"), L"secret1");
  EXPECT_EQ(launcher.state.password, L"secret1");
}

TEST(LauncherWindowRules, EscapeClosesTheLauncherUnlessTheScreenTakesIt) {
  Launcher launcher({});
  launcher.state.screen.activate(*launcher.state.screen.findNode(L"CreateAccount"));
  const KeyOutcome closesDialog = launcher.key(kEscape);
  EXPECT_FALSE(closesDialog.closeLauncher);
  EXPECT_FALSE(launcher.dialogShown());
  launcher.state.screen.openPopup(*launcher.state.screen.findNode(L"Resolution"));
  EXPECT_FALSE(launcher.key(kEscape).closeLauncher);
  EXPECT_EQ(launcher.state.screen.popupName(), L"");
  EXPECT_TRUE(launcher.key(kEscape).closeLauncher);

  // A document whose dialog is shown but does not take Escape, and which has no resolution
  // drop-down: the launcher closes, and choosing a resolution only repaints.
  TempDir folder;
  writeFile(folder / "plain.ghi",
            "Root R { width = 760; height = 480; Panel RegistrationDialog { width = 100; height = 100; }"
            " Button B { width = 10; height = 10; onClick = resolutionChanged; } }");
  Launcher plain({}, "", folder / "plain.ghi");
  plain.state.screen.activate(*plain.state.screen.findNode(L"B"));
  EXPECT_EQ(plain.repaints, 1);
  plain.state.screen.activate(*plain.state.screen.findNode(L"B"));
  EXPECT_EQ(plain.state.resolutionChoice, 0u);
  EXPECT_TRUE(plain.key(kEscape).closeLauncher);
}

TEST(LauncherWindowRules, ClientAreaScalesWithTheMonitorDpi) {
  const struct {
    unsigned dpi;
    ClientArea area;
  } rows[] = {{96, {760, 480}}, {120, {950, 600}}, {144, {1140, 720}}, {192, {1520, 960}}, {100, {792, 500}}, {72, {570, 360}}};
  for (const auto& [dpi, area] : rows) EXPECT_EQ(launcherClientArea(dpi), area) << dpi;
  // A 2x window on a 1280 x 800 screen shrinks to the room left inside its frame.
  EXPECT_EQ(fitClientArea({1520, 960}, {1270, 760}), (ClientArea{1203, 760}));
  EXPECT_EQ(fitClientArea({1520, 960}, {1000, 900}), (ClientArea{1000, 631}));
  EXPECT_EQ(fitClientArea({1140, 720}, {1140, 720}), (ClientArea{1140, 720}));
}

TEST(LauncherState, PatchNotesWrapAtSpacesUnderTheirItem) {
  const std::vector<Gui::ListItem> rows =
      patchNotesRows(L"Notes\n- one two three four five six\n\nsupercalifragilistic", 63);
  std::wstring texts;
  for (const Gui::ListItem& row : rows) texts += row.text + (row.emphasised ? L"*|" : L"|");
  EXPECT_EQ(texts, L"Notes*|- one two|  three four|  five six||supercalifra*|gilistic*|");
}

}  // namespace
}  // namespace Corvanthorne
