// Replay scripts: UTF-8 text, one event per line (LF; a CR before it is tolerated). Blank lines
// and lines whose first token starts with "#" are skipped. Tokens are separated by blanks;
// TEXT and VALUE are the verbatim rest of the line after the one blank that follows the token
// before them. Numbers are whole decimal numbers.
//
//   move X Y, down X Y, up X Y    pointer at client pixel X, Y
//   wheel X Y DELTA               wheel at X, Y; DELTA in the platform's units (120 a notch)
//   key NAME [shift] [ctrl]       NAME: tab, enter, escape, space, backspace, left, up, right,
//                                 down, or a decimal virtual-key code from 1 to 254
//   type TEXT                     one character event per UTF-16 code unit of TEXT
//   tick MS                       advances a clock that starts at 0 by MS milliseconds
//   bind NAME VALUE               the binding NAME reads VALUE from now on
//   dump NAME                     prints the state of the control NAME
//   show NAME, hide NAME          shows or hides the control NAME, as an application does (a
//                                 dialog that an action opens)
#include "tools/cvtool/ghi_replay.h"

#include <algorithm>
#include <charconv>
#include <iostream>
#include <limits>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "common/line_reader.h"
#include "common/text.h"
#include "gui/screen.h"
#include "gui/values.h"
#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Tools {
namespace {

using Gui::Node;
using Gui::Screen;

struct EventWord {
  std::string_view word;
  ReplayEventKind kind;
  std::string_view usage;
};
constexpr EventWord eventWords[] = {
    {"move", ReplayEventKind::Move, "move X Y"},      {"down", ReplayEventKind::Down, "down X Y"},
    {"up", ReplayEventKind::Up, "up X Y"},            {"wheel", ReplayEventKind::Wheel, "wheel X Y DELTA"},
    {"key", ReplayEventKind::Key, "key NAME [shift] [ctrl]"}, {"type", ReplayEventKind::Type, "type TEXT"},
    {"tick", ReplayEventKind::Tick, "tick MS"},       {"bind", ReplayEventKind::Bind, "bind NAME VALUE"},
    {"dump", ReplayEventKind::Dump, "dump NAME"},     {"show", ReplayEventKind::Show, "show NAME"},
    {"hide", ReplayEventKind::Hide, "hide NAME"},
};

struct KeyName {
  std::string_view name;
  int32_t virtualKey;
};
constexpr KeyName keyNames[] = {{"tab", 9},   {"enter", 13}, {"escape", 27}, {"space", 32}, {"backspace", 8},
                                {"left", 37}, {"up", 38},    {"right", 39},  {"down", 40}};

// Properties whose value names an action the screen fires.
constexpr Gui::PropertyName actionProperties[] = {L"onRightClick", L"onClick", L"onChange", L"onActivate",
                                                  L"onEscape",     L"onFocus", L"onBlur",   L"onSubmit",
                                                  L"onCancel",     L"onDropOutside"};

std::string utf8(std::wstring_view text) { return wideToUtf8(text); }

// Reads the arguments of one event word; every failure names the form the word expects.
class EventReader {
 public:
  EventReader(LineReader& reader, const EventWord& word) : reader_(reader), word_(word) {}

  [[noreturn]] void fail(std::string_view detail = "") const {
    throw std::invalid_argument("expected '" + std::string(word_.usage) + "'" + std::string(detail));
  }
  int32_t number() {
    const auto value = wholeNumber(reader_.token());
    if (!value) fail(" with whole numbers");
    return *value;
  }
  std::string_view token() {
    const std::string_view token = reader_.token();
    if (token.empty()) fail();
    return token;
  }
  std::string_view optionalToken() { return reader_.token(); }
  // The rest of the line after the one blank that ends the previous token.
  std::wstring restText() const {
    const std::string_view rest = reader_.rest();
    return utf8ToWide(rest.empty() ? rest : rest.substr(1));
  }
  void end() {
    if (!reader_.token().empty()) fail(" and nothing after it");
  }

 private:
  LineReader& reader_;
  const EventWord& word_;
};

int32_t virtualKeyNamed(std::string_view name) {
  for (const KeyName& key : keyNames)
    if (key.name == name) return key.virtualKey;
  const auto code = wholeNumber(name);
  if (!code || *code < 1 || *code > 254)
    throw std::invalid_argument("unknown key '" + std::string(name) +
                                "' (tab, enter, escape, space, backspace, left, up, right, down, or a "
                                "virtual-key code from 1 to 254)");
  return *code;
}

void readKey(EventReader& reader, ReplayEvent& event) {
  event.virtualKey = virtualKeyNamed(reader.token());
  for (std::string_view word = reader.optionalToken(); !word.empty(); word = reader.optionalToken()) {
    bool* modifier = word == "shift" ? &event.shift : word == "ctrl" ? &event.control : nullptr;
    if (!modifier || *modifier) reader.fail();
    *modifier = true;
  }
}

void readArguments(EventReader& reader, ReplayEvent& event) {
  switch (event.kind) {
    case ReplayEventKind::Wheel:
    case ReplayEventKind::Move:
    case ReplayEventKind::Down:
    case ReplayEventKind::Up:
      event.x = reader.number();
      event.y = reader.number();
      if (event.kind == ReplayEventKind::Wheel) event.wheelDelta = reader.number();
      return reader.end();
    case ReplayEventKind::Key:
      return readKey(reader, event);
    case ReplayEventKind::Type:
      event.text = reader.restText();
      return;
    case ReplayEventKind::Tick:
      event.milliseconds = reader.number();
      if (event.milliseconds < 0) reader.fail(" with a whole number of milliseconds, 0 or more");
      return reader.end();
    case ReplayEventKind::Bind:
      event.name = utf8ToWide(reader.token());
      event.text = reader.restText();
      return;
    case ReplayEventKind::Dump:
    case ReplayEventKind::Show:
    case ReplayEventKind::Hide:
      event.name = utf8ToWide(reader.token());
      return reader.end();
    case ReplayEventKind::None:
      return;
  }
}

}  // namespace

ReplayEvent readReplayLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (!line.empty() && utf8ToWide(line).empty()) throw std::invalid_argument("the line is not valid UTF-8");
  LineReader reader(line);
  const std::string_view word = reader.token();
  ReplayEvent event;
  if (word.empty() || word.front() == '#') return event;
  for (const EventWord& known : eventWords) {
    if (known.word != word) continue;
    event.kind = known.kind;
    EventReader arguments(reader, known);
    readArguments(arguments, event);
    return event;
  }
  throw std::invalid_argument("unknown event '" + std::string(word) +
                              "' (move, down, up, wheel, key, type, tick, bind, dump, show or hide)");
}

namespace {

constexpr int64_t nanosecondsPerMillisecond = 1'000'000;

// Connects a screen to the script: every binding the document names reads a value the script
// sets and prints what the document writes back; every action prints when it fires.
class Replayer {
 public:
  Replayer(Screen& screen, std::ostream& out) : screen_(screen), out_(out) {
    Gui::forEachNode(screen_.document().controls, [this](const Node& node) { connect(node); });
  }

  // Carries out one event, then reports the focus and the open popup when they changed.
  void run(const ReplayEvent& event) {
    const std::wstring focused = screen_.focusedName();
    const std::wstring popup = screen_.popupName();
    apply(event);
    if (screen_.focusedName() != focused) printName("focus", screen_.focusedName());
    if (screen_.popupName() != popup) printName("popup", screen_.popupName());
  }

 private:
  void connect(const Node& node) {
    for (const Gui::Property property : node.properties)
      if (Gui::isBinding(property.value) && property.value.size() > 1) bind(property.value.substr(1));
    for (const Gui::PropertyName key : actionProperties)
      if (const std::wstring_view action = node.raw(key); !action.empty()) connectAction(action);
    // Drop handlers are named like actions and print like them, with the dragged control.
    if (const std::wstring_view handler = node.raw(L"onDrop"); !handler.empty())
      screen_.setDropHandler(handler, [this, line = "action " + utf8(handler) + ' '](Node& dragged, Node&, uint8_t) {
        out_ << line << utf8(dragged.name) << '\n';
      });
  }

  void bind(std::wstring_view name) {
    const auto [entry, added] = values_.try_emplace(std::wstring(name));
    if (!added) return;
    std::wstring* value = &entry->second;  // map entries stay where they are
    screen_.bindValue(name, [value] { return *value; },
                      [this, value, line = "set " + utf8(name) + ' '](std::wstring_view text) {
                        *value = text;
                        out_ << line << utf8(text) << '\n';
                      });
  }

  void connectAction(std::wstring_view action) {
    screen_.setAction(action, [this, line = "action " + utf8(action) + ' '](Node& node) {
      out_ << line << utf8(node.name) << '\n';
    });
  }

  void apply(const ReplayEvent& event) {
    switch (event.kind) {
      case ReplayEventKind::Move:
        screen_.mouseMove(event.x, event.y);
        return;
      case ReplayEventKind::Down:
        screen_.mouseDown(event.x, event.y);
        return;
      case ReplayEventKind::Up:
        screen_.mouseUp(event.x, event.y);
        return;
      case ReplayEventKind::Wheel:
        screen_.mouseWheel(event.x, event.y, event.wheelDelta);
        return;
      case ReplayEventKind::Key:
        screen_.keyDown(event.virtualKey, event.shift, event.control);
        return;
      case ReplayEventKind::Type:
        for (const wchar_t unit : event.text) screen_.character(static_cast<uint16_t>(unit));
        return;
      case ReplayEventKind::Tick:
        advanceClock(event.milliseconds);
        screen_.tick(clock_);
        return;
      case ReplayEventKind::Bind:
        values_[event.name] = event.text;
        return;
      case ReplayEventKind::Dump:
        dump(event.name);
        return;
      case ReplayEventKind::Show:
      case ReplayEventKind::Hide:
        if (!screen_.setVisible(event.name, event.kind == ReplayEventKind::Show)) throw noControl(event.name);
        return;
      case ReplayEventKind::None:
        return;
    }
  }

  void advanceClock(int64_t milliseconds) {
    if (milliseconds > (std::numeric_limits<int64_t>::max() - clock_) / nanosecondsPerMillisecond)
      throw std::invalid_argument("the clock would run past its end");
    clock_ += milliseconds * nanosecondsPerMillisecond;
  }

  // "NAME rect=L,T,R,B text=TEXT checked=0|1 selected=N", the rectangle from a fresh layout.
  void dump(std::wstring_view name) {
    Node* node = screen_.findNode(name);
    if (!node) throw noControl(name);
    screen_.layout();
    const Gui::LayoutEntry* entry = screen_.entryFor(node);
    const Gui::PixelRect rect = entry ? entry->rect : Gui::PixelRect{};
    out_ << utf8(name) << " rect=" << rect.left << ',' << rect.top << ',' << rect.right << ',' << rect.bottom
         << " text=" << utf8(screen_.text(name)) << " checked=" << (screen_.isChecked(*node) ? 1 : 0)
         << " selected=" << screen_.state(name)->selectedRow << '\n';
  }

  static std::invalid_argument noControl(std::wstring_view name) {
    return std::invalid_argument("no control named '" + utf8(name) + "'");
  }

  void printName(std::string_view what, const std::wstring& name) {
    out_ << what << ' ' << (name.empty() ? std::string("-") : utf8(name)) << '\n';
  }

  Screen& screen_;
  std::ostream& out_;
  Gui::NameMap<std::wstring> values_;  // binding name to the value its getter returns
  int64_t clock_ = 0;                  // nanoseconds
};

}  // namespace

int replayScript(Screen& screen, std::optional<ClientSize> size, std::istream& script, std::ostream& out) {
  if (screen.document().hasErrors()) {
    for (const Gui::Diagnostic& diagnostic : screen.document().diagnostics)
      out << Gui::formatDiagnostic(diagnostic) << '\n';
    return 1;
  }
  const auto side = [](double design) { return std::clamp(Gui::roundToInt(design), 1, kLargestClientSide); };
  const ClientSize client = size.value_or(ClientSize{side(screen.designWidth()), side(screen.designHeight())});
  screen.setClientSize(client.width, client.height);
  Replayer replayer(screen, out);
  std::string line;
  for (size_t number = 1; std::getline(script, line); ++number) {
    try {
      replayer.run(readReplayLine(line));
    } catch (const std::invalid_argument& error) {
      throw std::runtime_error("line " + std::to_string(number) + ": " + error.what());
    }
  }
  return 0;
}

int runGhiReplay(Arguments arguments, std::ostream& out) {
  constexpr std::string_view usage = "ghi replay FILE [--size WxH] < SCRIPT";
  std::string file;
  std::optional<ClientSize> size;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--size" && i + 1 < arguments.size()) {
      size = clientSizeOf(arguments[++i]);
    } else if (file.empty() && !arguments[i].starts_with("--")) {
      file = arguments[i];
    } else {
      throwUsage(usage);
    }
  }
  if (file.empty()) throwUsage(usage);
  Screen screen;
  screen.load(pathFromUtf8(file));
  return replayScript(screen, size, std::cin, out);
}

}  // namespace Corvanthorne::Tools
