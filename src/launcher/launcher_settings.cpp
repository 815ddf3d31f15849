#include "launcher/launcher_settings.h"

// launcher.ini format: lines split at LF (a CR before the LF is part of the Windows line end).
//   blank, or starting with ';', '#' or '[' (after trimming)  kept verbatim
//   text without '='                  the user name, when none is known yet; else dropped
//   ServerAddress=VALUE               public server; empty or a reserved address falls back
//   Username=VALUE                    remembered user name
//   ServerSelection=Local|other       local server exactly for "Local"
//   DownloadLimit=KIB                 kept verbatim; read by the update downloads
//   any other KEY=VALUE               kept verbatim
// Keys and values are trimmed of " \t\r\n"; keys are case-sensitive; a later line wins.

#include <limits>

#include "launcher/game_folder.h"
#include "launcher/settings_text.h"

namespace Corvanthorne {
namespace {

bool isReservedAddress(std::string_view value) {
  return value.empty() || value == kLoopbackAddress || value == kPrivateLanAddress;
}

// Calls visit(line) for each LF-separated line, without its LF.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    visit(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

void applyDefaultsLine(std::string_view line, LauncherSettings& settings) {
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos || trimSettingText(line.substr(0, equals)) != "ServerAddress")
    return;
  const std::string_view value = trimSettingText(line.substr(equals + 1));
  settings.serverAddress = isReservedAddress(value) ? kDefaultServerHost : value;
}

void applyPlayerLine(std::string_view line, std::string_view fallbackAddress,
                     LauncherSettings& settings) {
  const std::string_view trimmed = trimSettingText(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#' || trimmed.front() == '[') {
    settings.preservedLines.append(line).append("\n");
    return;
  }
  const size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) {
    // An old file held just the name on a line of its own.
    if (settings.username.empty()) settings.username = trimmed;
    return;
  }
  const std::string_view key = trimSettingText(trimmed.substr(0, equals));
  const std::string_view value = trimSettingText(trimmed.substr(equals + 1));
  if (key == "ServerAddress") {
    settings.serverAddress = isReservedAddress(value) ? fallbackAddress : value;
  } else if (key == "Username") {
    settings.username = value;
  } else if (key == "ServerSelection") {
    settings.useLocalServer = value == "Local";
  } else {
    settings.preservedLines.append(line).append("\n");
  }
}

}  // namespace

LauncherSettings parseLauncherSettings(const std::optional<std::string>& defaultsText,
                                       const std::optional<std::string>& playerText) {
  LauncherSettings settings;
  if (defaultsText)
    forEachLine(*defaultsText, [&](std::string_view line) { applyDefaultsLine(line, settings); });
  const std::string fallbackAddress = settings.serverAddress;
  if (playerText)
    forEachLine(*playerText,
                [&](std::string_view line) { applyPlayerLine(line, fallbackAddress, settings); });
  return settings;
}

std::string formatLauncherSettings(const LauncherSettings& settings) {
  return settings.preservedLines + "Username=" + settings.username +
         "\nServerAddress=" + settings.serverAddress +
         "\nServerSelection=" + (settings.useLocalServer ? "Local" : "Server") + "\n";
}

LauncherSettings readLauncherSettings(const std::filesystem::path& root) {
  constexpr std::size_t unlimited = std::numeric_limits<std::size_t>::max();
  return parseLauncherSettings(readTextModeFile(root / "assets" / "config" / "launcher.ini", unlimited),
                               readTextModeFile(root / "launcher.ini", unlimited));
}

LauncherSettings readLauncherSettings() { return readLauncherSettings(gameRoot()); }

bool writeLauncherSettings(const LauncherSettings& settings, const std::filesystem::path& root) {
  return writeCrlfTextFile(root / "launcher.ini", formatLauncherSettings(settings));
}

bool writeLauncherSettings(const LauncherSettings& settings) {
  return writeLauncherSettings(settings, gameRoot());
}

std::uint64_t downloadLimitBytesPerSecond(const LauncherSettings& settings) {
  // Up to a terabyte per second: more digits are a typing error, not a limit.
  constexpr std::size_t maxDigits = 9;
  std::uint64_t kib = 0;
  forEachLine(settings.preservedLines, [&](std::string_view line) {
    const std::string_view trimmed = trimSettingText(line);
    const size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos || trimSettingText(trimmed.substr(0, equals)) != "DownloadLimit") return;
    const std::string_view value = trimSettingText(trimmed.substr(equals + 1));
    const bool number = !value.empty() && value.size() <= maxDigits && value.find_first_not_of("0123456789") == std::string_view::npos;
    kib = number ? std::stoull(std::string(value)) : 0;
  });
  return kib * 1024;
}

std::string connectionAddress(const std::filesystem::path& root) {
  const LauncherSettings settings = readLauncherSettings(root);
  return settings.useLocalServer ? std::string(kLoopbackAddress) : settings.serverAddress;
}

std::string connectionAddress() { return connectionAddress(gameRoot()); }

}  // namespace Corvanthorne
