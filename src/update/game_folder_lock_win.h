#pragma once
// The game-folder lock: .corvanthorne/use.lock opened without any sharing. Holding the open
// handle is holding the lock; closing it releases the lock.
#include <filesystem>

#include "common/handle_win.h"

namespace Corvanthorne::Update {

// An open handle (lock held), or an invalid one when another process holds the lock.
// inheritable lets a child process (the game client) keep holding it.
ScopedHandle acquireGameFolderLock(const std::filesystem::path& gameFolder, bool inheritable);

}  // namespace Corvanthorne::Update
