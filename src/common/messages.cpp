#include "common/messages.h"

namespace Corvanthorne {

std::string windowsErrorSuffix(std::uint32_t code) {
  return " (Windows error " + std::to_string(code) + ")";
}

std::string withWindowsError(std::string_view message, std::uint32_t code) {
  return std::string(message) + windowsErrorSuffix(code);
}

}  // namespace Corvanthorne
