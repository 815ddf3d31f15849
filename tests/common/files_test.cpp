#include "common/files.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {

TEST(ReadFileBytes, ReadsUpToTheLimitAndRefusesMoreOrAFolder) {
  Testing::TempDir dir;
  Testing::writeFile(dir / "file", std::string(40'000, 'x'));
  EXPECT_EQ(readFileBytes(dir / "file", 40'000), std::string(40'000, 'x'));
  EXPECT_EQ(readFileBytes(dir / "file", 39'999), std::nullopt);
  EXPECT_EQ(readFileBytes(dir.path(), 100), std::nullopt);
  EXPECT_EQ(readFileBytes(dir / "missing", 100), std::nullopt);
}

}  // namespace
}  // namespace Corvanthorne
