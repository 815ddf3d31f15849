#include "update/install_journal.h"

#include <gtest/gtest.h>

#include "support/message_of.h"

namespace Corvanthorne::Update {
namespace {

using Testing::messageOf;

TEST(InstallJournal, RoundTripsAndRefusesMalformedLines) {
  const std::string text = formatJournal({{true, L"assets/a b.png"}, {false, L"x.dll"}});
  EXPECT_EQ(text, "R assets/a b.png\nD x.dll\n");
  const std::vector<JournalEntry> parsed = parseJournal(text);
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(std::tuple(parsed[0].restore, parsed[0].path, parsed[1].restore, parsed[1].path),
            std::tuple(true, std::filesystem::path(L"assets/a b.png"), false, std::filesystem::path(L"x.dll")));
  EXPECT_TRUE(parseJournal("").empty());
  for (const char* line : {"X assets/a.png\n", "R assets/a.png\n\nD x.dll\n", "Rassets/a.png\n", "R \n"})
    EXPECT_EQ(messageOf([&] { parseJournal(line); }), "Invalid update recovery journal") << line;
  for (const char* line : {"R ../x\n", "D assets/a.png\r\n", "D readme.txt\n"})
    EXPECT_EQ(messageOf([&] { parseJournal(line); }), "Invalid update recovery path") << line;
}

// Recovery reads at most 8 MiB of journal, so an install that would write more is refused.
TEST(InstallJournal, MustFitWhatRecoveryReadsBack) {
  const std::vector<std::filesystem::path> changed(1024, "assets/" + std::string(4086, 'c'));  // 4,096-byte lines
  std::vector<std::filesystem::path> deleted(1024, "assets/" + std::string(4086, 'd'));
  EXPECT_EQ(messageOf([&] { refuseUnrecoverableJournal(changed, deleted); }), "no error");
  deleted.emplace_back("x.dll");
  EXPECT_EQ(messageOf([&] { refuseUnrecoverableJournal(changed, deleted); }),
            "This update changes too many files to install safely: its recovery journal would exceed 8 MiB");
}

}  // namespace
}  // namespace Corvanthorne::Update
