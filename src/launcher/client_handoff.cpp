#include "launcher/client_handoff.h"

#include <array>
#include <limits>

namespace Corvanthorne {
namespace {

constexpr std::wstring_view kPipe = L"--launcher-pipe=", kMap = L"--loading-map=", kClosed = L"--loading-closed=",
                            kParent = L"--loading-parent=";

std::wstring argument(std::wstring_view name, std::uint64_t value) {
  return L" " + std::wstring(name) + std::to_wstring(value);
}

// Decimal digits only, without sign or blanks, that fit 64 bits; 0 is no handle.
std::optional<std::uint64_t> handleValue(std::wstring_view digits) {
  if (digits.empty() || digits.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  for (const wchar_t c : digits) {
    const std::uint64_t digit = static_cast<std::uint64_t>(c - L'0');
    if (c < L'0' || c > L'9' || value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (value == 0) return std::nullopt;
  return value;
}

}  // namespace

std::wstring clientCommandLine(std::wstring_view clientPath, const ClientHandOff& handOff) {
  return L"\"" + std::wstring(clientPath) + L"\"" + argument(kPipe, handOff.launcherPipe) +
         argument(kMap, handOff.loadingMap) + argument(kClosed, handOff.loadingClosed) +
         argument(kParent, handOff.loadingParent);
}

std::optional<ClientHandOff> parseClientHandOff(std::span<const std::wstring> arguments) {
  ClientHandOff handOff;
  const std::array<std::pair<std::wstring_view, std::uint64_t*>, 4> names = {
      {{kPipe, &handOff.launcherPipe}, {kMap, &handOff.loadingMap}, {kClosed, &handOff.loadingClosed},
       {kParent, &handOff.loadingParent}}};
  if (arguments.size() != names.size()) return std::nullopt;
  for (const std::wstring& text : arguments) {
    bool known = false;
    for (const auto& [name, field] : names) {
      if (!text.starts_with(name)) continue;
      const std::optional<std::uint64_t> value = handleValue(std::wstring_view(text).substr(name.size()));
      if (!value || *field != 0) return std::nullopt;
      *field = *value;
      known = true;
    }
    if (!known) return std::nullopt;
  }
  return handOff;
}

}  // namespace Corvanthorne
