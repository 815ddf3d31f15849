#pragma once
// The demo game client's settings, from demo-client.ini in the game root, so that tests and
// demos can make the client behave as a real one might:
//   behaviour=normal        load for `seconds`, open the game window, report ready (default)
//   behaviour=exit-at-once  end at once with code 1, before reading anything
//   behaviour=never-ready   load, then wait without a window until the loading window closes
//   seconds=3               how long loading takes, 0 to 60
//   close-after=0           seconds the game window stays open; 0 until the player closes it
// Lines are KEY=VALUE; blank lines and lines starting with '#' are ignored.
#include <array>
#include <string>
#include <string_view>
#include <variant>

namespace Corvanthorne::DemoClient {

enum class Behaviour { Normal, ExitAtOnce, NeverReady };

struct Config {
  Behaviour behaviour = Behaviour::Normal;
  int seconds = 3;
  int closeAfter = 0;
};

// The settings, or the message for the first line that cannot be read.
std::variant<Config, std::string> parseConfig(std::string_view text);

// The files the client reports while it loads, one per start-up step.
inline constexpr std::array<std::wstring_view, 8> kLoadingFiles = {
    L"data\\gui\\game.ghi",
    L"assets\\worlds\\world_1.world.json",
    L"assets\\textures\\terrain\\highmoor_grass.dds",
    L"assets\\textures\\sky\\night_clouds.dds",
    L"assets\\models\\characters\\warrior.mesh",
    L"assets\\sounds\\ambient\\lake_ennet_night.ogg",
    L"data\\quests\\corvan_marches.json",
    L"assets\\shaders\\terrain.hlsl",
};

}  // namespace Corvanthorne::DemoClient
