#pragma once
// The handles that carry the loading progress block to the game client: an unnamed
// page-file mapping of the block, the loading-closed event and the launcher's own process
// handle (the client's parent), all inheritable, and the launcher's mapped view. The play flow
// owns them for one attempt; the loading screen only reads the view and signals the event.
#include "common/handle_win.h"
#include "startup/loading_progress.h"

namespace Corvanthorne::Startup {

struct LoadingHandles {
  ScopedHandle mapping;
  ScopedHandle closedEvent;    // manual reset, initially not signalled
  ScopedHandle parentProcess;  // SYNCHRONIZE access only
  ScopedMappedView view;       // the whole block, zero-filled when created

  LoadingProgressBlock& block() const { return *static_cast<LoadingProgressBlock*>(view.get()); }
};

// Creates all four. Throws std::runtime_error "Loading parent handle" when the process handle
// cannot be duplicated, "Loading communication handles" when the mapping or the event cannot
// be created, and "Loading progress mapping" when the view cannot be mapped.
LoadingHandles createLoadingHandles();

}  // namespace Corvanthorne::Startup
