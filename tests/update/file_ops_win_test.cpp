#include "update/file_ops.h"

#include <gtest/gtest.h>

#include <windows.h>

#include "common/handle_win.h"
#include "common/text.h"
#include "support/message_of.h"
#include "support/process_win.h"
#include "support/temp_dir.h"
#include "update/game_folder_lock_win.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;
using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;

using Testing::messageOf;

std::string pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  return bytes;
}

std::string linkMessage(const fs::path& path) { return "Update path contains a link: " + pathText(path); }

// The links are committed fixtures (Wine sees host folder links as reparse points; it
// follows links to files, so file links cannot be checked here).
TEST(SafeFiles, RefusesEveryKindOfLinkAndLeavesNoTrace) {
  const fs::path fixtures = Testing::hostPath(QEL_TEST_DATA_DIR) / "update-links";
  const fs::path game = fixtures / "game";
  const fs::path outside = fixtures / "outside";
  const auto before = fs::directory_iterator(outside);
  const std::size_t outsideEntries = std::distance(before, fs::directory_iterator());

  EXPECT_EQ(messageOf([&] { writeFileAtomically(game / "linked", "evil"); }), linkMessage(game / "linked"));
  EXPECT_EQ(messageOf([&] { writeFileAtomically(game / "linked" / "victim.txt", "evil"); }),
            linkMessage(game / "linked"));
  EXPECT_EQ(messageOf([&] { rejectLinks(fixtures / "game-link", L"missing/x"); }),
            linkMessage(fixtures / "game-link"));
  EXPECT_EQ(messageOf([&] { acquireGameFolderLock(game, false); }), linkMessage(game / ".corvanthorne"));
  EXPECT_EQ(readFile(outside / "victim.txt"), "precious\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), outsideEntries);
  EXPECT_FALSE(fs::exists(game / "linked.new"));
  EXPECT_NO_THROW(rejectLinks(game, L"not/there/at all"));
}

TEST(SafeFiles, WritesAtomicallyOverStaleAndEmptyOrKeepsTheOldContent) {
  TempDir dir;
  writeFileAtomically(dir / "empty", "");
  EXPECT_TRUE(fs::is_regular_file(dir / "empty"));
  EXPECT_EQ(fs::file_size(dir / "empty"), 0u);

  writeFile(dir / "target.txt", "old");
  writeFile(dir / "target.txt.new", "stale leftover that is longer");
  writeFileAtomically(dir / "target.txt", "new");
  EXPECT_EQ(readFile(dir / "target.txt"), "new");
  EXPECT_FALSE(fs::exists(dir / "target.txt.new"));

  EXPECT_EQ(messageOf([&] { writeFileAtomically(dir / "no folder" / "x", "y"); }),
            "Could not write " + pathText(dir / "no folder" / "x"));

  const fs::path target = dir / "held.txt";
  writeFile(target, "old content");
  {
    ScopedHandle held(CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    const std::string message = messageOf([&] { writeFileAtomically(target, "new content"); });
    EXPECT_TRUE(message.starts_with("Could not replace " + pathText(target) + " (Windows error ")) << message;
    EXPECT_TRUE(message.ends_with(")")) << message;
  }
  EXPECT_EQ(readFile(target), "old content");
  EXPECT_EQ(messageOf([&] { moveReplacing(dir / "absent", dir / "to"); }),
            "Could not replace " + pathText(dir / "to") + " (Windows error 2)");
  EXPECT_EQ(messageOf([&] { flushFile(dir / "absent"); }), "Could not flush update file: " + pathText(dir / "absent"));
}

TEST(Sha256, MatchesReferenceDigestsAcrossChunkBoundaries) {
  TempDir dir;
  // Reference digests from an independent implementation (Python's hashlib).
  const std::pair<std::size_t, const char*> cases[] = {
      {0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {65'536, "510b126e1d4ced49107fe4ab03ee54cb1c8e4caf6064e1dd29c48d4a3e74c38b"},
      {65'537, "ad8b370d36508e55e3c9cd44667a6e36e35955d0ff9f8fe59805bb18c2db5dd8"},
  };
  for (const auto& [size, digest] : cases) {
    const fs::path file = dir / std::to_string(size);
    writeFile(file, pattern(size));
    EXPECT_EQ(sha256File(file), digest) << size;
    EXPECT_EQ(sha256Bytes(pattern(size)), digest) << size;
  }
  EXPECT_EQ(messageOf([&] { sha256File(dir / "absent"); }), "Could not read " + pathText(dir / "absent"));
}

}  // namespace
}  // namespace Corvanthorne::Update
