#include "update/game_folder_lock_win.h"

#include "update/file_ops.h"

namespace Corvanthorne::Update {

ScopedHandle acquireGameFolderLock(const std::filesystem::path& gameFolder, bool inheritable) {
  rejectLinks(gameFolder, std::filesystem::path(L".corvanthorne") / L"use.lock");
  const std::filesystem::path stateFolder = gameFolder / L".corvanthorne";
  std::filesystem::create_directories(stateFolder);
  SECURITY_ATTRIBUTES security{sizeof(security), nullptr, inheritable ? TRUE : FALSE};
  ScopedHandle lock(CreateFileW((stateFolder / L"use.lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                &security, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (lock) return lock;
  const DWORD error = GetLastError();
  if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return {};
  throwWindowsError("Could not write to the game folder. Choose a writable folder", error);
}

}  // namespace Corvanthorne::Update
