#include <system_error>

#include "launcher/game_folder.h"

namespace Corvanthorne {

// Native builds (tests and tools) find their own file through procfs.
std::optional<std::filesystem::path> moduleFileName() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::nullopt;
  return self;
}

}  // namespace Corvanthorne
