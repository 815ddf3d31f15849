#pragma once
// cvtool ghi replay: drives a loaded GUI document headless with a script of events and prints
// what the document does in reply: values written back, actions fired, focus and popups.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Gui {
class Screen;
}

namespace Corvanthorne::Tools {

enum class ReplayEventKind { None, Move, Down, Up, Wheel, Key, Type, Tick, Bind, Dump, Show, Hide };

// One script line as read; `None` for blank lines and comments.
struct ReplayEvent {
  ReplayEventKind kind = ReplayEventKind::None;
  int32_t x = 0, y = 0;
  int32_t wheelDelta = 0;
  int32_t virtualKey = 0;
  bool shift = false;
  bool control = false;
  int64_t milliseconds = 0;
  std::wstring name;  // of the binding (bind) or the control (dump, show, hide)
  std::wstring text;  // typed (type) or bound (bind)
};

// Reads one script line; throws std::invalid_argument saying what is wrong with it.
ReplayEvent readReplayLine(std::string_view line);

// Replays a script against the document the screen holds, at `size` (default: the design
// size). A document with errors gets its diagnostics printed and 1 returned before any event;
// a line that cannot be read or carried out throws std::runtime_error naming its number. The
// bindings and actions it registers live only during the call, so a screen is replayed once.
int replayScript(Gui::Screen& screen, std::optional<ClientSize> size, std::istream& script, std::ostream& out);

}  // namespace Corvanthorne::Tools
