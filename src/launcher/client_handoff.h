#pragma once
// What the launcher hands the game client on its command line: the inherited read end of the
// session pipe and the three loading handles, as unsigned decimal handle values, after the
// quoted client path and in this order:
//   "<client path>" --launcher-pipe=N --loading-map=N --loading-closed=N --loading-parent=N
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace Corvanthorne {

struct ClientHandOff {
  std::uint64_t launcherPipe = 0;
  std::uint64_t loadingMap = 0;
  std::uint64_t loadingClosed = 0;
  std::uint64_t loadingParent = 0;
};

// The quoted path and the four arguments.
std::wstring clientCommandLine(std::wstring_view clientPath, const ClientHandOff& handOff);

// The client's side: exactly the four arguments (the program name not included), each once and
// with a non-zero value; nothing for anything else.
std::optional<ClientHandOff> parseClientHandOff(std::span<const std::wstring> arguments);

}  // namespace Corvanthorne
