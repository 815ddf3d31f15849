#include "tools/cvtool/cvtool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "support/cvtool_outcome.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Tools {
namespace {

using Testing::readFile;
using Testing::writeFile;
using Outcome = Testing::CvtoolOutcome;
constexpr auto cvtool = Testing::cvtoolOutcome;

TEST(Cvtool, VersionHelpAndMistakes) {
  EXPECT_EQ(cvtool({"--version"}), (Outcome{0, "cvtool " QEL_VERSION "\n", ""}));
  const Outcome help = cvtool({"help"});
  for (const Command& command : commands())
    EXPECT_NE(help.out.find(std::string(command.usage)), std::string::npos) << command.name;
  EXPECT_EQ(cvtool({"frobnicate"}), (Outcome{1, "", "Unknown command: frobnicate (try cvtool help)\n"}));
}

// The publisher's commands print results on standard output and the reader's exact message
// on standard error, on Linux as in the launcher.
TEST(Cvtool, PublisherCommandsReportResultsOrExactMessages) {
  Testing::TempDir dir;
  const auto at = [&](const char* name) { return pathText(dir / name); };
  writeFile(dir / "good.json", "{\"files\": []}");
  writeFile(dir / "bad.json", "{\"a\":1,}");
  writeFile(dir / "release.json", "\xEF\xBB\xBF{\"z\":[1,2.5,-0,1e21],\"a\":{\"t\\/\":\"q\\\"\\u0001\\n\xC3\xA9\"},\"e\":[],"
                                  "\"o\":{},\"n\":null,\"b\":false}");
  std::string manifest = "CVPACKAGE 1 game r-2\r\n";
  for (const char* path : {"Corvanthorne.exe", "data/gui/launcher.ghi", "data/gui/game.ghi",
                           "assets/worlds/world_1.world.json", "assets/\xC3\x9C" "ber.png"})
    manifest += std::string(64, '0') + " 3 " + path + "\r\n";
  writeFile(dir / "game" / "r-2" / "manifest.txt", manifest);
  writeFile(dir / "game.latest", "r-2\n");
  writeFile(dir / "bad" / "game.latest", " r-2\n");
  writeFile(dir / "game_settings.ini", "width 4000\nmystery 1 2 3\nmsaa 3\n");
  const std::string manifestPath = pathText(dir / "game" / "r-2" / "manifest.txt");
  const std::pair<std::vector<std::string>, Outcome> cases[] = {
      {{"json", "check", at("good.json")}, {0, "ok\n", ""}},
      {{"json", "check", at("bad.json")}, {1, "", "World JSON at byte 7: expected object key\n"}},
      {{"json", "pretty", at("release.json")},
       {0, "{\n  \"a\": {\n    \"t/\": \"q\\\"\\u0001\\n\xC3\xA9\"\n  },\n  \"b\": false,\n  \"e\": [],\n  \"n\": null,\n"
           "  \"o\": {},\n  \"z\": [\n    1,\n    2.5,\n    -0,\n    1e+21\n  ]\n}\n", ""}},
      {{"manifest", "check", manifestPath, "game"}, {0, "ok game r-2 5 files\n", ""}},
      {{"manifest", "check", manifestPath, "launcher"}, {1, "", "Invalid package manifest header\n"}},
      {{"package", "resolve", pathText(dir.path()), "game"}, {0, pathText(dir / "game" / "r-2") + "\nr-2\n", ""}},
      {{"package", "resolve", at("bad"), "game"}, {1, "", "Invalid package version pointer\n"}},
      {{"settings", "normalize", at("game_settings.ini")}, {0, "Normalized " + at("game_settings.ini") + "\n", ""}},
      {{"settings", "normalize", at("absent.ini")}, {1, "", "No such settings file: " + at("absent.ini") + "\n"}},
  };
  for (const auto& [arguments, outcome] : cases) EXPECT_EQ(cvtool(arguments), outcome) << arguments[0] << " " << arguments[2];
  EXPECT_TRUE(readFile(dir / "game_settings.ini").starts_with("debug=0\r\nwidth 3840\r\nheight 720\r\n"));
}

}  // namespace
}  // namespace Corvanthorne::Tools
