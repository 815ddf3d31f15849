#pragma once
// Plain-text settings files shared with the game. The game opens them in Windows text mode,
// so on disk every line ends in CR LF on every target; in memory lines end in LF alone.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace Corvanthorne {

// Writes text with each LF stored as CR LF, truncating the file. True only when opening,
// writing and closing all succeeded.
bool writeCrlfTextFile(const std::filesystem::path& file, std::string_view text);

// The file's bytes with each CR LF turned into LF, as Windows text mode reads them; nothing
// when it cannot be read or holds more than maxBytes.
std::optional<std::string> readTextModeFile(const std::filesystem::path& file, std::size_t maxBytes);

// Removes the characters " \t\r\n" from both ends.
std::string_view trimSettingText(std::string_view text);

}  // namespace Corvanthorne
