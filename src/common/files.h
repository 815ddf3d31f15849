#pragma once
// Reading small files whole, for parsers that work on bytes.
#include <filesystem>
#include <optional>
#include <string>

namespace Corvanthorne {

// The file's bytes, or nothing when it cannot be opened or read (a folder, for one) or holds
// more than maxBytes, of which little more is ever read. Read errors are reported by the
// result, never thrown out of the stream buffer.
std::optional<std::string> readFileBytes(const std::filesystem::path& path, std::size_t maxBytes);

}  // namespace Corvanthorne
