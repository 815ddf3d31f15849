// Update commands that need Win32: hashing through the system provider and the folder lock.
#include <ostream>

#include "common/text.h"
#include "tools/cvtool/cvtool.h"
#include "update/file_ops.h"
#include "update/game_folder_lock_win.h"

namespace Corvanthorne::Tools {

constexpr std::string_view kSha256Usage = "sha256 FILE...";
constexpr std::string_view kLockUsage = "lock check GAME_FOLDER";

// Prints "<hex>  <path>" per file, like sha256sum.
int runSha256Command(Arguments arguments, std::ostream& out) {
  if (arguments.empty()) throwUsage(kSha256Usage);
  for (const std::string& file : arguments) out << Update::sha256File(pathFromUtf8(file)) << "  " << file << "\n";
  return 0;
}

// Prints "free" or "in use"; the lock is released again at once.
int runLockCommand(Arguments arguments, std::ostream& out) {
  if (arguments.size() != 2 || arguments[0] != "check") throwUsage(kLockUsage);
  const ScopedHandle lock = Update::acquireGameFolderLock(pathFromUtf8(arguments[1]), false);
  out << (lock ? "free" : "in use") << "\n";
  return 0;
}

}  // namespace Corvanthorne::Tools
