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
  EXPECT_TRUE(parsed[0].restore);
  EXPECT_EQ(parsed[0].path, std::filesystem::path(L"assets/a b.png"));
  EXPECT_FALSE(parsed[1].restore);
  EXPECT_TRUE(parseJournal("").empty());
  const std::pair<const char*, const char*> bad[] = {
      {"X assets/a.png\n", "Invalid update recovery journal"}, {"R assets/a.png\n\nD x.dll\n", "Invalid update recovery journal"},
      {"Rassets/a.png\n", "Invalid update recovery journal"}, {"R \n", "Invalid update recovery journal"},
      {"R ../x\n", "Invalid update recovery path"}, {"D assets/a.png\r\n", "Invalid update recovery path"},
      {"D readme.txt\n", "Invalid update recovery path"}};
  for (const auto& [line, message] : bad) EXPECT_EQ(messageOf([&] { parseJournal(line); }), message) << line;
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
