#include "launcher/game_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "support/temp_dir.h"

namespace Corvanthorne {
namespace {

using Testing::readFile;
using Testing::TempDir;
using Testing::writeFile;

GameSettings parse(const std::string& text) {
  std::istringstream in(text);
  return parseGameSettings(in);
}

std::string withCrlf(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

// The layout the game client reads; any drift here breaks the client's settings.
const char* const kDefaultFile =
    "debug=0\nwidth 1280\nheight 720\nminingGravelPitch 1\nminingMetalPitch 1\nfullscreen 0\n"
    "vsync 1\ngraphicsDetail 2\nviewingDistance 112\nmsaa 4\nterrainTextureSmoothing 1\n"
    "wetTerrainEnabled 1\nsurfaceHeightMapsEnabled 1\nfogDistance 104\nshadowResolution 4096\n"
    "shadowPcf 9\nshadowsEnabled 1\nsunRaysEnabled 1\nsunRayStrength 1\nnightAmbient 1\n"
    "precipitationRippleSlots 8\nprecipitationRippleSpawnRate 128\nprecipitationRippleRange 15\n"
    "precipitationRippleLifetime 1.5\nprecipitationRippleDistortion 2\nswimWakeStrength 1\n"
    "swimWakeSpacing 1.5\nswimWakeWidth 1\nswimWakeSpread 1\nswimWakeGlide 1.1\nswimWakeLifetime 3\n"
    "swimRearWakeStrength 0.55\nswimRearWakeSpacing 1.5\nswimRearWakeWidth 1\nswimRearWakeSpread 1\n"
    "swimRearWakeGlide 1.1\nswimRearWakeLifetime 3\n"
    "keyBindings 87 83 65 68 32 9 49 53 50 2 32 70 67 80 73 66 69 71 77 82 49 50 51 52 53 54 55 56 57 48 90\n"
    "actionBar 1 2 3 4 5 6 0 0 0 0\nguiAlpha 1\nguiAmbient 0.05\nguiContrast 1\nguiBackgroundPreset 0\n"
    "turboLootMode 1\ntooltipsEnabled 1\n";

// A missing file gives the client's default layout; a second read and write of the launcher's
// own output changes no byte.
TEST(GameSettings, WritesTheDefaultLayoutAndRoundTripsByteForByte) {
  TempDir dir;
  const std::filesystem::path file = dir / "game_settings.ini";
  writeGameSettings(readGameSettings(file), file);
  EXPECT_EQ(readFile(file), withCrlf(kDefaultFile));
  writeFile(file, "debug=1\r\nwidth 1366\r\nheight 768\r\nfullscreen 1\r\nviewingDistance 64.25\r\n"
                  "guiAmbient 0.123456789\r\nkeyBindings 81 82\r\nactionBar 0 0 1 1 2 2 3 3 6 6\r\n");
  writeGameSettings(readGameSettings(file), file);
  const std::string once = readFile(file);
  for (const char* line : {"debug=1\r\nwidth 1366\r\n", "\r\nguiAmbient 0.123457\r\n", "\r\nviewingDistance 64.25\r\n"})
    EXPECT_NE(once.find(line), std::string::npos) << line;
  writeGameSettings(readGameSettings(file), file);
  EXPECT_EQ(readFile(file), once);
}

// Each text is read as the launcher reads game_settings.ini; the lines are what it then
// writes, so the reading rules show whole: ranges, flags, lists, and where reading stops.
TEST(GameSettings, ReadingRulesShowInTheWrittenFile) {
  std::string many = "keyBindings";
  for (int i = 0; i < 40; ++i) many += " 100";
  const std::string actionDefaults = "actionBar 1 2 3 4 5 6 0 0 0 0";
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"width 4000 height 100 msaa 3 shadowResolution 3072 shadowPcf 2 graphicsDetail -5",
       {"width 3840", "height 500", "msaa 1", "shadowResolution 4096", "shadowPcf 9", "graphicsDetail 0"}},
      {"viewingDistance 1000 fogDistance 1 guiAmbient 0.5 miningGravelPitch 9 turboLootMode 7",
       {"viewingDistance 180", "fogDistance 40", "guiAmbient 0.2", "miningGravelPitch 2", "turboLootMode 2"}},
      {"precipitationRippleSlots 9999 guiBackgroundPreset -1 swimWakeGlide -3",
       {"precipitationRippleSlots 500", "guiBackgroundPreset 0", "swimWakeGlide 0"}},
      {"msaa 8 shadowResolution 2048 shadowPcf 1", {"msaa 8", "shadowResolution 2048", "shadowPcf 1"}},
      {"debug=1 width 1600", {"debug=1", "width 1600"}}, {"debug=yes", {"debug=0"}}, {"debug=", {"debug=0"}},
      {"debug=10", {"debug=0"}}, {"debug 2", {"debug=1"}}, {"debug=1 debug 0", {"debug=0"}},
      {"fullscreen -4", {"fullscreen 1"}}, {"tooltipsEnabled 0", {"tooltipsEnabled 0"}},
      {"tooltipsEnabled 2 vsync 0", {"tooltipsEnabled 1", "vsync 1"}},  // 2 is no boolean: reading ends
      {"width 1600\nheight abc\nvsync 0\n", {"width 1600", "height 720", "vsync 1"}},
      {"miningGravelPitch 1e60\nfullscreen 1", {"miningGravelPitch 1", "fullscreen 0"}},
      {"mysteryKey fullscreen 1\nvsync 0\nWidth 1600\nheight\n\n  900\n",
       {"fullscreen 0", "vsync 0", "width 1280", "height 900"}},
      {"keyBindings 81 0\nwidth 1600", {"keyBindings 81 83 65 68", "width 1600"}},
      {"keyBindings 300 -5 7 x 9\r\nheight 900", {"keyBindings 87 83 7 68 32 9", "height 900"}},
      {many, {"keyBindings 100 100 100 100 100 100 100 100 100 100 100 100 100 100 100 100 100 100 100 100 100 "
              "100 100 100 100 100 100 100 100 100 100"}},
      {"actionBar 1 2 3 4 5 6 7 0 0 0\nwidth 1600", {actionDefaults, "width 1600"}},
      {"actionBar 1 2 3\nwidth 1600", {actionDefaults, "width 1600"}},
      {"actionBar 6 6 6 6 6 6 6 6 6 6 extra\nwidth 1600", {actionDefaults, "width 1600"}},
      {"actionBar 6 6 6 6 6 6 6 6 6 6 6\nwidth 1600", {actionDefaults, "width 1600"}},
      {"actionBar 6 6 6 6 6 6 6 6 6 -1\nwidth 1600", {actionDefaults, "width 1600"}},
      {"actionBar 6 5 4 3 2 1 0 1 2 3 \r\n", {"actionBar 6 5 4 3 2 1 0 1 2 3"}},
  };
  for (const auto& [input, lines] : cases) {
    const std::string written = std::string(1, '\n').append(formatGameSettings(parse(input)));
    for (const std::string& line : lines)
      EXPECT_TRUE(written.find("\n" + line + "\n") != std::string::npos ||
                  written.find("\n" + line + " ") != std::string::npos)
          << input << " -> " << line;
  }
}

// Non-finite values fall back to their defaults; after reading, keys the client re-checks
// are ruled again on write, the others are written as held.
TEST(GameSettings, NonFiniteValuesFallBackAndWriteRulesReapply) {
  GameSettings s;
  s.sunRayStrength = std::numeric_limits<float>::infinity();
  s.swimRearWakeStrength = std::numeric_limits<float>::quiet_NaN();
  s.precipitationRippleSpawnRate = -std::numeric_limits<float>::infinity();
  validateGameSettings(s);
  s.nightAmbient = std::numeric_limits<float>::quiet_NaN();
  s.turboLootMode = 9;
  s.shadowPcf = 3;
  s.width = 5000;
  s.msaa = 3;
  const std::string text = formatGameSettings(s);
  for (const char* line : {"\nsunRayStrength 1\n", "\nswimRearWakeStrength 0.55\n", "\nprecipitationRippleSpawnRate 128\n",
                           "\nnightAmbient 1\n", "\nturboLootMode 2\n", "\nshadowPcf 9\n", "\nwidth 5000\n", "\nmsaa 3\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
}

}  // namespace
}  // namespace Corvanthorne
