#include "launcher/credentials.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {

// A saved password survives whole and is not stored in clear; missing, empty, foreign or huge
// files give none. Unticking deletes the file (twice is no error); ticking again recreates it.
TEST(SavedPassword, SurvivesHiddenAndGoesWithTheTick) {
  Testing::TempDir dir;
  const std::filesystem::path file = dir / "launcher.credentials";
  EXPECT_EQ(readSavedPassword(file), "");
  for (const std::string& bytes : {std::string(), std::string("\x01\x00\x00\x00\xd0\x8c\x9d\xdf garbage that is no blob", 32),
                                   std::string(1 << 20, 'z')}) {
    Testing::writeFile(file, bytes);
    EXPECT_EQ(readSavedPassword(file), "") << bytes.size();
  }
  const std::string password = wideToUtf8(L"p\u00e4ss w\u00f6rd \u65e5\u672c") + "\xF0\x9F\x98\x80";
  storePasswordPreference(password, true, file);
  EXPECT_EQ(Testing::readFile(file).find("ss w"), std::string::npos);
  EXPECT_EQ(readSavedPassword(file), password);
  storePasswordPreference(password, false, file);
  EXPECT_FALSE(std::filesystem::exists(file));
  storePasswordPreference("secret1", false, file);
  storePasswordPreference("secret2", true, file);
  EXPECT_EQ(readSavedPassword(file), "secret2");
}

}  // namespace
}  // namespace Corvanthorne
