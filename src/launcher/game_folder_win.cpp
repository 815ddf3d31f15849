#include <windows.h>

#include <vector>

#include "launcher/game_folder.h"

namespace Corvanthorne {

std::optional<std::filesystem::path> moduleFileName() {
  // 32768 units covers the longest extended-length path; a result that fills the buffer
  // may be truncated and is treated as unknown.
  std::vector<wchar_t> buffer(32768);
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length > 32767) return std::nullopt;
  return std::filesystem::path(std::wstring(buffer.data(), length));
}

}  // namespace Corvanthorne
