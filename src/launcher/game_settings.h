#pragma once
// game_settings.ini: the game client's settings, which the launcher reads whole at start and
// writes back whole before it starts the client. Every key is kept faithfully, with the
// client's defaults and range rules, although the launcher itself uses only a few.
#include <array>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

namespace Corvanthorne {

inline constexpr size_t kKeyBindingCount = 31;
inline constexpr size_t kActionBarSlotCount = 10;

// Windows virtual-key codes of the client's default bindings, in slot order.
inline constexpr std::array<std::uint32_t, kKeyBindingCount> kDefaultKeyBindings = {
    87, 83, 65, 68, 32, 9, 49, 53, 50, 2, 32, 70, 67, 80, 73, 66,
    69, 71, 77, 82, 49, 50, 51, 52, 53, 54, 55, 56, 57, 48, 90};

struct GameSettings {
  bool debug = false;
  std::int32_t width = 1280;
  std::int32_t height = 720;
  float miningGravelPitch = 1.0f;
  float miningMetalPitch = 1.0f;
  bool fullscreen = false;
  bool vsync = true;
  std::int32_t graphicsDetail = 2;
  float viewingDistance = 112.0f;
  std::int32_t msaa = 4;
  bool terrainTextureSmoothing = true;
  bool wetTerrainEnabled = true;
  bool surfaceHeightMapsEnabled = true;
  float fogDistance = 104.0f;
  std::int32_t shadowResolution = 4096;
  std::int32_t shadowPcf = 9;
  bool shadowsEnabled = true;
  bool sunRaysEnabled = true;
  float sunRayStrength = 1.0f;
  float nightAmbient = 1.0f;
  std::int32_t precipitationRippleSlots = 8;
  float precipitationRippleSpawnRate = 128.0f;
  float precipitationRippleRange = 15.0f;
  float precipitationRippleLifetime = 1.5f;
  float precipitationRippleDistortion = 2.0f;
  float swimWakeStrength = 1.0f;
  float swimWakeSpacing = 1.5f;
  float swimWakeWidth = 1.0f;
  float swimWakeSpread = 1.0f;
  float swimWakeGlide = 1.1f;
  float swimWakeLifetime = 3.0f;
  float swimRearWakeStrength = 0.55f;
  float swimRearWakeSpacing = 1.5f;
  float swimRearWakeWidth = 1.0f;
  float swimRearWakeSpread = 1.0f;
  float swimRearWakeGlide = 1.1f;
  float swimRearWakeLifetime = 3.0f;
  std::array<std::uint32_t, kKeyBindingCount> keyBindings = kDefaultKeyBindings;
  std::array<std::uint32_t, kActionBarSlotCount> actionBar = {1, 2, 3, 4, 5, 6, 0, 0, 0, 0};
  float guiAlpha = 1.0f;
  float guiAmbient = 0.05f;
  float guiContrast = 1.0f;
  std::int32_t guiBackgroundPreset = 0;
  std::int32_t turboLootMode = 1;
  bool tooltipsEnabled = true;
};

// Defaults overridden by the stream's keys, then every range rule applied.
GameSettings parseGameSettings(std::istream& in);

// Applies the range rules of every key.
void validateGameSettings(GameSettings& settings);

// The file's text with LF line ends.
std::string formatGameSettings(const GameSettings& settings);

// Never fails: a missing or unreadable file gives the validated defaults.
GameSettings readGameSettings(const std::filesystem::path& file);

// Rewrites the file (CR LF on disk); a failure is not reported, as the client then simply
// reads what is on disk.
void writeGameSettings(const GameSettings& settings, const std::filesystem::path& file);

// The launcher's offered resolutions, choice 0 to 4.
struct Resolution {
  std::int32_t width;
  std::int32_t height;
};
inline constexpr std::array<Resolution, 5> kOfferedResolutions = {
    {{1280, 720}, {1600, 900}, {1920, 1080}, {2560, 1440}, {3840, 2160}}};

// Index of the offered resolution of exactly this size, if any.
std::optional<int> resolutionChoiceFor(std::int32_t width, std::int32_t height);

}  // namespace Corvanthorne
