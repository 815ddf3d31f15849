#include "launcher/settings_text.h"

#include <fstream>

#include "common/files.h"

namespace Corvanthorne {

bool writeCrlfTextFile(const std::filesystem::path& file, std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return out.good();
}

std::optional<std::string> readTextModeFile(const std::filesystem::path& file, std::size_t maxBytes) {
  std::optional<std::string> text = readFileBytes(file, maxBytes);
  if (!text) return std::nullopt;
  size_t kept = 0;  // CR LF shrinks in place: a kept byte never lands past the one being read
  for (size_t i = 0; i < text->size(); ++i)
    if ((*text)[i] != '\r' || i + 1 >= text->size() || (*text)[i + 1] != '\n') (*text)[kept++] = (*text)[i];
  text->resize(kept);
  return text;
}

std::string_view trimSettingText(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace Corvanthorne
