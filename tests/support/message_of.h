#pragma once
// The message a failing action throws, or "no error": lets tests compare exact user texts.
#include <exception>
#include <string>

namespace Corvanthorne::Testing {

template <typename Action>
std::string messageOf(Action action) {
  try {
    action();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "no error";
}

}  // namespace Corvanthorne::Testing
