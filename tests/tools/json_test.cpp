#include <gtest/gtest.h>

#include <cstdlib>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {
namespace fs = std::filesystem;
using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;

struct CvtoolRun {
  int exitCode;
  std::string out;
  std::string err;
};

// Runs the cvtool of this build through the shell, with standard output and error in files.
CvtoolRun runCvtool(const TempDir& dir, const std::string& arguments) {
  const fs::path tool = fs::absolute(QEL_CVTOOL_PATH);
  const std::string command = "\"\"" + tool.string() + "\" " + arguments + " > \"" + (dir / "out").string() +
                              "\" 2> \"" + (dir / "err").string() + "\"\"";
#ifdef _WIN32
  const int status = std::system(command.c_str());
#else
  const int status = WEXITSTATUS(std::system(command.substr(1, command.size() - 2).c_str()));
#endif
  return {status, readFile(dir / "out"), readFile(dir / "err")};
}

TEST(CvtoolJson, CheckReportsOkOrTheReadersMessage) {
  TempDir dir;
  writeFile(dir / "good.json", "{\"files\": []}");
  writeFile(dir / "bad.json", "{\"a\":1,}");
  const std::string good = "json check \"" + (dir / "good.json").string() + "\"";
  const CvtoolRun ok = runCvtool(dir, good);
  EXPECT_EQ(ok.exitCode, 0);
  EXPECT_EQ(ok.out, "ok\n");

  const CvtoolRun bad = runCvtool(dir, "json check \"" + (dir / "bad.json").string() + "\"");
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err, "World JSON at byte 7: expected object key\n");

  EXPECT_EQ(runCvtool(dir, "json tidy x").exitCode, 1);
}

TEST(CvtoolJson, PrettyPrintsKeysInStoredOrderWithEscapes) {
  TempDir dir;
  writeFile(dir / "release.json",
            "\xEF\xBB\xBF{\"z\":[1,2.5,-0,1e21],\"a\":{\"t\\/\":\"q\\\"\\u0001\\n\xC3\xA9\"},\"e\":[],\"o\":{},"
            "\"n\":null,\"b\":false}");
  const CvtoolRun run = runCvtool(dir, "json pretty \"" + (dir / "release.json").string() + "\"");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "{\n"
            "  \"a\": {\n"
            "    \"t/\": \"q\\\"\\u0001\\n\xC3\xA9\"\n"
            "  },\n"
            "  \"b\": false,\n"
            "  \"e\": [],\n"
            "  \"n\": null,\n"
            "  \"o\": {},\n"
            "  \"z\": [\n"
            "    1,\n"
            "    2.5,\n"
            "    -0,\n"
            "    1e+21\n"
            "  ]\n"
            "}\n");
}

}  // namespace
}  // namespace Corvanthorne
