#pragma once
// launcher.ini: the launcher's own three settings (remembered user name, public server
// address, local or public server), over the shipped defaults in assets/config/launcher.ini.
// Lines the launcher does not interpret are carried over unchanged on every rewrite.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace Corvanthorne {

// The public game server used when no settings file names one.
inline constexpr std::string_view kDefaultServerHost = "play.qelmarin.net";
// The studio's LAN test server; like loopback it is never kept as the public address.
inline constexpr std::string_view kPrivateLanAddress = "192.168.1.10";
inline constexpr std::string_view kLoopbackAddress = "127.0.0.1";

struct LauncherSettings {
  std::string serverAddress{kDefaultServerHost};
  std::string username;
  bool useLocalServer = false;
  // Uninterpreted lines of launcher.ini, each followed by "\n", in file order.
  std::string preservedLines;
};

// Applies the defaults file's text and then the player file's text; either may be absent.
LauncherSettings parseLauncherSettings(const std::optional<std::string>& defaultsText,
                                       const std::optional<std::string>& playerText);

// The player file's content as written: preserved lines, then the three keys; LF line ends.
std::string formatLauncherSettings(const LauncherSettings& settings);

// Reads assets/config/launcher.ini and launcher.ini below root. Never fails.
LauncherSettings readLauncherSettings(const std::filesystem::path& root);
LauncherSettings readLauncherSettings();

// Rewrites launcher.ini below root (CR LF on disk); false when it could not be written whole.
bool writeLauncherSettings(const LauncherSettings& settings, const std::filesystem::path& root);
bool writeLauncherSettings(const LauncherSettings& settings);

// DownloadLimit=KIB in launcher.ini's carried-over lines: the player's cap on update downloads,
// in KiB per second, as bytes per second. 0 (no cap) when absent, 0, or not a whole number.
std::uint64_t downloadLimitBytesPerSecond(const LauncherSettings& settings);

// "127.0.0.1" when the local server is selected, otherwise the public server address.
std::string connectionAddress(const std::filesystem::path& root);
std::string connectionAddress();

}  // namespace Corvanthorne
