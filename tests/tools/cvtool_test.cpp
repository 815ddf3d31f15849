#include "tools/cvtool/cvtool.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace Corvanthorne::Tools {
namespace {

struct Outcome {
  int code;
  std::string out, err;
};

Outcome cvtool(std::vector<std::string> arguments) {
  std::ostringstream out, err;
  const int code = runCvtool(arguments, out, err);
  return {code, out.str(), err.str()};
}

TEST(Cvtool, VersionAndHelpGoToStandardOutput) {
  const Outcome version = cvtool({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, "cvtool " QEL_VERSION "\n");
  const Outcome help = cvtool({"help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("cvtool --version"), std::string::npos);
  for (const Command& command : commands())
    EXPECT_NE(help.out.find(std::string(command.usage)), std::string::npos) << command.name;
}

TEST(Cvtool, MistakesGoToStandardErrorWithExitCodeOne) {
  const Outcome unknown = cvtool({"frobnicate"});
  EXPECT_EQ(unknown.code, 1);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(unknown.err, "Unknown command: frobnicate (try cvtool help)\n");
  const Outcome none = cvtool({});
  EXPECT_EQ(none.code, 1);
  EXPECT_NE(none.out.find("usage:"), std::string::npos);
}

}  // namespace
}  // namespace Corvanthorne::Tools
