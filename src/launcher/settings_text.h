#pragma once
// Plain-text settings files shared with the game. The game opens them in Windows text mode,
// so on disk every line ends in CR LF on every target; in memory lines end in LF alone.
#include <filesystem>
#include <string>
#include <string_view>

namespace Corvanthorne {

// Writes text with each LF stored as CR LF, truncating the file. True only when opening,
// writing and closing all succeeded.
bool writeCrlfTextFile(const std::filesystem::path& file, std::string_view text);

// Removes the characters " \t\r\n" from both ends.
std::string_view trimSettingText(std::string_view text);

}  // namespace Corvanthorne
