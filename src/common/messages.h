#pragma once
// Message text shared by every subsystem: the user sees these strings verbatim.
#include <cstdint>
#include <string>
#include <string_view>

namespace Corvanthorne {

// " (Windows error N)", appended to a message whose cause was a failed OS call.
std::string windowsErrorSuffix(std::uint32_t code);

// message + " (Windows error N)".
std::string withWindowsError(std::string_view message, std::uint32_t code);

}  // namespace Corvanthorne
