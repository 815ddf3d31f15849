#include "launcher/launcher_state.h"

#include <algorithm>

#include "common/text.h"
#include "gui/style.h"
#include "launcher/settings_text.h"

namespace Corvanthorne {
namespace {

using Gui::ListItem;
using Gui::Node;

constexpr const wchar_t* kTrue = L"true";
constexpr const wchar_t* kFalse = L"false";
// Patch notes are shown whole in a list; a file past this is not patch notes.
constexpr std::size_t kMaxPatchNotesBytes = 4 * 1024 * 1024;

const wchar_t* flagText(bool value) { return value ? kTrue : kFalse; }

// A setter stores true for exactly "true": "True" and "1" store false.
bool flagFrom(std::wstring_view text) { return text == kTrue; }

// A row that lists and drop-downs draw: value first, then the drawn text.
ListItem row(std::wstring value, std::wstring text) {
  ListItem item;
  item.value = std::move(value);
  item.text = std::move(text);
  return item;
}

void repaint(LauncherState& state) {
  if (state.services.repaint) state.services.repaint();
}

// The check box's state as the user left it (the toggle once made, else `checked`); false
// when the control is missing.
bool checkedState(Gui::Screen& screen, std::wstring_view name) {
  const Node* node = screen.findNode(name);
  return node && screen.isChecked(*node);
}

// Selects row in a drop-down when it exists and shows another row.
void selectRow(Gui::Screen& screen, std::wstring_view name, int32_t row) {
  const Gui::NodeState* found = screen.state(name);
  if (!found) return;
  const int32_t wanted = std::clamp(row, -1, found->rowCount() - 1);
  if (found->selectedRow != wanted) screen.setSelectedRow(name, wanted);
}

void fillResolutions(LauncherState& state) {
  std::vector<ListItem> rows;
  for (unsigned i = 0; i < kOfferedResolutions.size(); ++i) rows.push_back(row(std::to_wstring(i), resolutionText(i)));
  state.screen.setListItems(L"Resolution", std::move(rows));
  selectRow(state.screen, L"Resolution", static_cast<int32_t>(state.resolutionChoice));
}

void fillServers(LauncherState& state) {
  const LauncherSettings& settings = state.startSettings;
  state.screen.setListItems(L"ServerSelection",
                            {row(L"local", L"Local"), row(L"server", utf8ToWide(settings.serverAddress))});
  selectRow(state.screen, L"ServerSelection", settings.useLocalServer ? 0 : 1);
}

// The list shows its bound text ($patch.notes) as rows, from the top.
void fillPatchNotes(LauncherState& state) {
  const Node* list = state.screen.findNode(L"PatchNotes");
  Gui::NodeState* found = state.screen.state(L"PatchNotes");
  if (!list || !found || list->type != L"List") return;
  // A row loses 4 design units of padding and 8 of text inset on each side.
  state.screen.setListItems(L"PatchNotes", patchNotesRows(state.screen.text(L"PatchNotes"), found->width - 24));
  found->firstVisibleRow = 0;
}

void serverSelectionChanged(LauncherState& state) {
  const Gui::NodeState* found = state.screen.state(L"ServerSelection");
  if (!found || (found->selectedRow != 0 && found->selectedRow != 1)) return;
  LauncherSettings settings = readLauncherSettings(state.services.gameRoot);
  settings.useLocalServer = found->selectedRow == 0;
  state.status = writeLauncherSettings(settings, state.services.gameRoot) ? L"" : std::wstring(kLauncherIniNotWritten);
  repaint(state);
}

void resolutionChanged(LauncherState& state) {
  const Gui::NodeState* found = state.screen.state(L"Resolution");
  if (found && found->selectedRow >= 0 && found->selectedRow < static_cast<int32_t>(kOfferedResolutions.size()))
    state.resolutionChoice = static_cast<unsigned>(found->selectedRow);
  repaint(state);
}

void openRegistration(LauncherState& state) {
  state.registerName = state.username;
  state.registerPassword.clear();
  state.registerEmail.clear();
  state.screen.setText(L"RegisterName", state.registerName);
  state.screen.setText(L"RegisterPassword", L"");
  state.screen.setText(L"RegisterEmail", L"");
  state.screen.setVisible(L"RegistrationDialog", true);
  repaint(state);
}

void registerAccount(LauncherState& state) {
  if (state.registerName.empty() || state.registerPassword.empty() || state.registerEmail.empty()) {
    state.status = kRegistrationIncomplete;
    return repaint(state);
  }
  const std::wstring message = state.services.registerAccount(
      wideToUtf8(state.registerName), wideToUtf8(state.registerPassword), wideToUtf8(state.registerEmail));
  if (!message.empty()) {
    state.status = message;
    return repaint(state);
  }
  state.username = state.registerName;
  state.password = state.registerPassword;
  state.screen.setText(L"Username", state.username);
  state.screen.setText(L"Password", state.password);
  state.screen.setVisible(L"RegistrationDialog", false);
  state.status = kAccountCreated;
  repaint(state);
}

// A text binding that the document may both show and edit.
void bindText(Gui::Screen& screen, std::wstring_view name, std::wstring& field) {
  screen.bindValue(name, [&field] { return field; }, [&field](std::wstring_view text) { field = text; });
}

void bindFlag(Gui::Screen& screen, std::wstring_view name, bool& field) {
  screen.bindValue(name, [&field] { return std::wstring(flagText(field)); },
                   [&field](std::wstring_view text) { field = flagFrom(text); });
}

void bindValues(LauncherState& state) {
  Gui::Screen& screen = state.screen;
  bindText(screen, L"login.username", state.username);
  bindText(screen, L"login.password", state.password);
  screen.bindValue(L"login.status", [&state] { return state.status; });
  bindFlag(screen, L"login.remember", state.rememberUsername);
  bindFlag(screen, L"login.savePassword", state.savePassword);
  screen.bindValue(L"graphics.resolution", [&state] { return resolutionText(state.resolutionChoice); });
  bindFlag(screen, L"graphics.fullscreen", state.gameSettings.fullscreen);
  bindFlag(screen, L"graphics.vsync", state.gameSettings.vsync);
  screen.bindValue(L"patch.notes", [&state] { return state.patchNotes; });
  bindText(screen, L"register.username", state.registerName);
  bindText(screen, L"register.password", state.registerPassword);
  bindText(screen, L"register.email", state.registerEmail);
}

// An action that copies a control's text into a field.
void copyText(LauncherState& state, std::wstring_view action, std::wstring_view control, std::wstring& field) {
  state.screen.setAction(action, [&state, control, &field](Node&) { field = state.screen.text(control); });
}

void copyChecked(LauncherState& state, std::wstring_view action, std::wstring_view control, bool& field) {
  state.screen.setAction(action, [&state, control, &field](Node&) { field = checkedState(state.screen, control); });
}

void setActions(LauncherState& state) {
  Gui::Screen& screen = state.screen;
  copyText(state, L"usernameChanged", L"Username", state.username);
  copyText(state, L"passwordChanged", L"Password", state.password);
  copyChecked(state, L"rememberChanged", L"RememberUsername", state.rememberUsername);
  copyChecked(state, L"savePasswordChanged", L"SavePassword", state.savePassword);
  copyChecked(state, L"fullscreenChanged", L"Fullscreen", state.gameSettings.fullscreen);
  copyChecked(state, L"vsyncChanged", L"Vsync", state.gameSettings.vsync);
  screen.setAction(L"resolutionChanged", [&state](Node&) { resolutionChanged(state); });
  screen.setAction(L"play", [&state](Node&) { state.services.play(); });
  screen.setAction(L"verifyGameFiles", [&state](Node&) {
    if (state.services.verify) state.services.verify();
  });
  screen.setAction(L"openRegistration", [&state](Node&) { openRegistration(state); });
  copyText(state, L"registerNameChanged", L"RegisterName", state.registerName);
  copyText(state, L"registerPasswordChanged", L"RegisterPassword", state.registerPassword);
  copyText(state, L"registerEmailChanged", L"RegisterEmail", state.registerEmail);
  screen.setAction(L"cancelRegistration", [&state](Node&) {
    state.screen.setVisible(L"RegistrationDialog", false);
    repaint(state);
  });
  screen.setAction(L"registerAccount", [&state](Node&) { registerAccount(state); });
}

// Estimated width of a character at the list's text size (the small font), in design units.
// The estimate is made to keep an input's caret in view and errs wide for the serif face by
// about a third; rows wrapped that early would waste the list.
double characterWidth(wchar_t c) { return Gui::charWidth(c) * Gui::guiMetrics.entry(Gui::inputTextSizeMetric) * 0.7; }

// How many characters of text fit in widthUnits.
size_t fittingLength(std::wstring_view text, double widthUnits) {
  size_t length = 0;
  for (double used = 0; length < text.size() && (used += characterWidth(text[length])) <= widthUnits;) ++length;
  return length;
}

// Breaks one line into rows no wider than widthUnits, at spaces where there are any;
// continuation rows of a "- " item are indented under its text.
void appendWrapped(std::wstring_view line, double widthUnits, bool heading, std::vector<ListItem>& rows) {
  const std::wstring_view indent = line.starts_with(L"- ") ? L"  " : L"";
  std::wstring_view prefix;
  do {
    const size_t fits = fittingLength(line, widthUnits - characterWidth(L' ') * static_cast<double>(prefix.size()));
    size_t cut = fits == line.size() || line[fits] == L' ' ? fits : line.substr(0, fits).find_last_of(L' ');
    if (cut == std::wstring_view::npos || cut == 0) cut = std::max<size_t>(fits, 1);
    ListItem item = row(L"", std::wstring(prefix) + std::wstring(line.substr(0, cut)));
    item.emphasised = heading;
    rows.push_back(std::move(item));
    line.remove_prefix(std::min(line.size(), cut + (cut < line.size() && line[cut] == L' ' ? 1 : 0)));
    prefix = indent;
  } while (!line.empty());
}

}  // namespace

const Resolution& chosenResolution(unsigned choice) {
  return kOfferedResolutions[std::min<size_t>(choice, kOfferedResolutions.size() - 1)];
}

std::wstring resolutionText(unsigned choice) {
  const Resolution& r = chosenResolution(choice);
  return std::to_wstring(r.width) + L" x " + std::to_wstring(r.height);
}

std::vector<ListItem> patchNotesRows(std::wstring_view notes, double widthUnits) {
  std::vector<ListItem> rows;
  while (!notes.empty()) {
    const size_t end = notes.find(L'\n');
    std::wstring_view line = notes.substr(0, end);
    if (line.ends_with(L'\r')) line.remove_suffix(1);
    if (line.empty()) {
      rows.push_back(row(L"", L""));
    } else {
      appendWrapped(line, widthUnits, line[0] != L'-' && line[0] != L' ', rows);
    }
    if (end == std::wstring_view::npos) break;
    notes.remove_prefix(end + 1);
  }
  return rows;
}

void readLauncherState(LauncherState& state, const std::filesystem::path& gameRoot, std::string_view savedPassword) {
  state.services.gameRoot = gameRoot;
  state.gameSettings = readGameSettings(gameRoot / "game_settings.ini");
  state.resolutionChoice =
      static_cast<unsigned>(resolutionChoiceFor(state.gameSettings.width, state.gameSettings.height).value_or(0));
  state.startSettings = readLauncherSettings(gameRoot);
  const LauncherSettings& settings = state.startSettings;
  if (!writeLauncherSettings(settings, gameRoot)) state.status = kLauncherIniNotWritten;
  if (!settings.username.empty()) {
    state.username = utf8ToWide(settings.username);
    state.rememberUsername = true;
  }
  if (!savedPassword.empty()) {
    state.password = utf8ToWide(savedPassword);
    state.savePassword = true;
  }
  state.patchNotes = utf8ToWide(readTextModeFile(gameRoot / "patch notes.txt", kMaxPatchNotesBytes).value_or(std::string()));
}

void configureGui(LauncherState& state) {
  fillResolutions(state);
  fillServers(state);
  state.screen.setAction(L"serverSelectionChanged", [&state](Node&) { serverSelectionChanged(state); });
  bindValues(state);
  setActions(state);
  fillPatchNotes(state);
}

}  // namespace Corvanthorne
