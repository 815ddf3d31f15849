#pragma once
// Graphics failures carry the failing step's name alone, without an error code: the name is
// what the debug log and the player see.
#include <windows.h>

#include <stdexcept>

namespace Corvanthorne::Gui {

inline void checkStep(HRESULT result, const char* step) {
  if (FAILED(result)) throw std::runtime_error(step);
}

}  // namespace Corvanthorne::Gui
