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

TEST(GameFolderLock, ExcludesOtherProcessesUntilClosed) {
  Testing::TempDir game;
  {
    ScopedHandle lock = acquireGameFolderLock(game.path(), false);
    ASSERT_TRUE(lock);
    EXPECT_TRUE(std::filesystem::is_regular_file(game / ".corvanthorne" / "use.lock"));
    EXPECT_EQ(lockStateSeenByAnotherProcess(game.path()), "in use\n");
    EXPECT_FALSE(acquireGameFolderLock(game.path(), false));  // even a second open here is refused
  }
  EXPECT_EQ(lockStateSeenByAnotherProcess(game.path()), "free\n");
  EXPECT_TRUE(acquireGameFolderLock(game.path(), false));
}

TEST(GameFolderLock, InheritableLockStaysHeldByChild) {
  Testing::TempDir game;
  ScopedHandle child;
  {
    ScopedHandle lock = acquireGameFolderLock(game.path(), true);
    ASSERT_TRUE(lock);
    child = Testing::startProcess(Testing::cvtool(L"--version"), {}, CREATE_SUSPENDED).process;
  }
  EXPECT_FALSE(acquireGameFolderLock(game.path(), false));
  TerminateProcess(child.get(), 0);
  WaitForSingleObject(child.get(), INFINITE);
  EXPECT_TRUE(acquireGameFolderLock(game.path(), false));
}

TEST(GameFolderLock, UnopenableLockFileReportsWindowsError) {
  Testing::TempDir game;
  std::filesystem::create_directories(game / ".corvanthorne" / "use.lock");  // a folder cannot be opened
  const std::string message = Testing::messageOf([&] { acquireGameFolderLock(game.path(), false); });
  EXPECT_TRUE(message.starts_with("Could not write to the game folder. Choose a writable folder (Windows error "))
      << message;
}

}  // namespace
}  // namespace Corvanthorne::Update
