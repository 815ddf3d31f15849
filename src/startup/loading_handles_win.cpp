#include "startup/loading_handles_win.h"

#include <stdexcept>

namespace Corvanthorne::Startup {

LoadingHandles createLoadingHandles() {
  // Unnamed and inheritable: the client receives the values on its command line.
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  LoadingHandles handles;
  handles.mapping.reset(CreateFileMappingW(INVALID_HANDLE_VALUE, &inheritable, PAGE_READWRITE, 0,
                                           static_cast<DWORD>(kLoadingProgressBlockSize), nullptr));
  handles.closedEvent.reset(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
  HANDLE parent = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &parent, SYNCHRONIZE, TRUE, 0))
    throw std::runtime_error("Loading parent handle");
  handles.parentProcess.reset(parent);
  if (!handles.mapping || !handles.closedEvent || !handles.parentProcess)
    throw std::runtime_error("Loading communication handles");
  handles.view.reset(MapViewOfFile(handles.mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, kLoadingProgressBlockSize));
  if (!handles.view) throw std::runtime_error("Loading progress mapping");
  return handles;
}

}  // namespace Corvanthorne::Startup
