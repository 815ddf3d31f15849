#include "update/game_folder_lock_win.h"

#include <gtest/gtest.h>

#include "support/message_of.h"
#include "support/process_win.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Update {
namespace {

std::string lockStateSeenByAnotherProcess(const std::filesystem::path& game) {
  return Testing::runProcess(Testing::cvtool(L"lock check " + Testing::quotedPath(game))).output;
}

// Held, the lock excludes other processes and a second open here; closed, it is free again. An
// inheritable lock stays held by a child after the parent closes it.
TEST(GameFolderLock, ExcludesOthersUntilClosedAndStaysWithAChild) {
  Testing::TempDir game;
  ScopedHandle child;
  {
    ScopedHandle lock = acquireGameFolderLock(game.path(), false);
    ASSERT_TRUE(lock);
    EXPECT_TRUE(std::filesystem::is_regular_file(game / ".corvanthorne" / "use.lock"));
    EXPECT_EQ(lockStateSeenByAnotherProcess(game.path()), "in use\n");
    EXPECT_FALSE(acquireGameFolderLock(game.path(), false));
  }
  EXPECT_EQ(lockStateSeenByAnotherProcess(game.path()), "free\n");
  {
    ScopedHandle lock = acquireGameFolderLock(game.path(), true);
    ASSERT_TRUE(lock);
    child = Testing::startProcess(Testing::cvtool(L"--version"), {}, CREATE_SUSPENDED).process;
  }
  EXPECT_FALSE(acquireGameFolderLock(game.path(), false));
  TerminateProcess(child.get(), 0);
  WaitForSingleObject(child.get(), INFINITE);
  EXPECT_TRUE(acquireGameFolderLock(game.path(), false));

  Testing::TempDir unopenable;
  std::filesystem::create_directories(unopenable / ".corvanthorne" / "use.lock");  // a folder cannot be opened
  EXPECT_TRUE(Testing::messageOf([&] { acquireGameFolderLock(unopenable.path(), false); })
                  .starts_with("Could not write to the game folder. Choose a writable folder (Windows error "));
}

}  // namespace
}  // namespace Corvanthorne::Update
