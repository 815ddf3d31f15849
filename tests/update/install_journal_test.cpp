#include "update/install_journal.h"

#include <gtest/gtest.h>

#include "support/message_of.h"

namespace Corvanthorne::Update {
namespace {

std::string errorOf(std::string_view text) {
  return Testing::messageOf([&] { parseJournal(text); });
}

TEST(InstallJournal, RoundTripsAndRefusesMalformedLines) {
  const std::vector<JournalEntry> entries = {{true, L"assets/a b.png"}, {false, L"x.dll"}};
  const std::string text = formatJournal(entries);
  EXPECT_EQ(text, "R assets/a b.png\nD x.dll\n");
  const std::vector<JournalEntry> parsed = parseJournal(text);
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_TRUE(parsed[0].restore);
  EXPECT_EQ(parsed[0].path, std::filesystem::path(L"assets/a b.png"));
  EXPECT_FALSE(parsed[1].restore);
  EXPECT_TRUE(parseJournal("").empty());

  EXPECT_EQ(errorOf("X assets/a.png\n"), "Invalid update recovery journal");
  EXPECT_EQ(errorOf("R assets/a.png\n\nD x.dll\n"), "Invalid update recovery journal");
  EXPECT_EQ(errorOf("Rassets/a.png\n"), "Invalid update recovery journal");
  EXPECT_EQ(errorOf("R \n"), "Invalid update recovery journal");
  EXPECT_EQ(errorOf("R ../x\n"), "Invalid update recovery path");
  EXPECT_EQ(errorOf("D assets/a.png\r\n"), "Invalid update recovery path");
  EXPECT_EQ(errorOf("D readme.txt\n"), "Invalid update recovery path");
}

}  // namespace
}  // namespace Corvanthorne::Update
