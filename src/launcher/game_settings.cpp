#include "launcher/game_settings.h"

// game_settings.ini format: whitespace-separated words read with stream extraction.
//   KEY VALUE                 integer, float or 0/1 flag; the value may follow on a later line
//   debug=1                   one word; the debug switch is on exactly for "debug=1"
//   keyBindings C1 C2 ...     up to 31 key codes on the rest of the line; stops at a non-number
//   actionBar S1 ... S10      exactly ten values 0..6 and nothing else, or the line is ignored
//   UNKNOWN ...               skipped to the end of its line
// A value that cannot be extracted ends reading; later keys keep their defaults. The range
// rules are applied after reading, and again on writing for the keys the client re-checks.

#include <algorithm>
#include <cmath>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <locale>
#include <sstream>
#include <string_view>
#include <variant>

#include "launcher/settings_text.h"

namespace Corvanthorne {
namespace {

struct FlagKey {
  bool GameSettings::*field;
  bool readAsBool = false;  // 0 or 1 only; any other number fails the extraction
};
struct IntKey {
  std::int32_t GameSettings::*field;
  std::int32_t (*rule)(std::int32_t);
};
struct FloatKey {
  float GameSettings::*field;
  float (*rule)(float);
};
struct KeyBindingsKey {};
struct ActionBarKey {};

struct Key {
  std::string_view name;
  std::variant<FlagKey, IntKey, FloatKey, KeyBindingsKey, ActionBarKey> kind;
  bool ruleOnWrite = false;
};

std::int32_t oneOf(std::int32_t value, std::initializer_list<std::int32_t> allowed, std::int32_t fallback) {
  return std::find(allowed.begin(), allowed.end(), value) != allowed.end() ? value : fallback;
}

float finiteOr(float value, float fallback) { return std::isfinite(value) ? value : fallback; }

using S = GameSettings;

// Every key in the order it is written.
const Key kKeys[] = {
    {"debug", FlagKey{&S::debug}},
    {"width", IntKey{&S::width, [](std::int32_t v) { return std::clamp(v, 800, 3840); }}},
    {"height", IntKey{&S::height, [](std::int32_t v) { return std::clamp(v, 500, 2160); }}},
    {"miningGravelPitch", FloatKey{&S::miningGravelPitch, [](float v) { return std::clamp(finiteOr(v, 1.0f), 0.35f, 2.0f); }}, true},
    {"miningMetalPitch", FloatKey{&S::miningMetalPitch, [](float v) { return std::clamp(finiteOr(v, 1.0f), 0.35f, 2.0f); }}, true},
    {"fullscreen", FlagKey{&S::fullscreen}},
    {"vsync", FlagKey{&S::vsync}},
    {"graphicsDetail", IntKey{&S::graphicsDetail, [](std::int32_t v) { return std::clamp(v, 0, 3); }}},
    {"viewingDistance", FloatKey{&S::viewingDistance, [](float v) { return std::clamp(v, 48.0f, 180.0f); }}},
    {"msaa", IntKey{&S::msaa, [](std::int32_t v) { return oneOf(v, {1, 2, 4, 8}, 1); }}},
    {"terrainTextureSmoothing", FlagKey{&S::terrainTextureSmoothing}},
    {"wetTerrainEnabled", FlagKey{&S::wetTerrainEnabled}},
    {"surfaceHeightMapsEnabled", FlagKey{&S::surfaceHeightMapsEnabled}},
    {"fogDistance", FloatKey{&S::fogDistance, [](float v) { return std::clamp(v, 40.0f, 180.0f); }}},
    {"shadowResolution", IntKey{&S::shadowResolution, [](std::int32_t v) { return oneOf(v, {1024, 2048, 4096}, 4096); }}, true},
    {"shadowPcf", IntKey{&S::shadowPcf, [](std::int32_t v) { return oneOf(v, {1, 4, 9}, 9); }}, true},
    {"shadowsEnabled", FlagKey{&S::shadowsEnabled}},
    {"sunRaysEnabled", FlagKey{&S::sunRaysEnabled}},
    {"sunRayStrength", FloatKey{&S::sunRayStrength, [](float v) { return std::clamp(finiteOr(v, 1.0f), 0.0f, 1.0f); }}, true},
    {"nightAmbient", FloatKey{&S::nightAmbient, [](float v) { return std::clamp(finiteOr(v, 1.0f), 0.0f, 3.0f); }}, true},
    {"precipitationRippleSlots", IntKey{&S::precipitationRippleSlots, [](std::int32_t v) { return std::clamp(v, 0, 500); }}, true},
    {"precipitationRippleSpawnRate", FloatKey{&S::precipitationRippleSpawnRate, [](float v) { return std::clamp(finiteOr(v, 128.0f), 0.0f, 1000.0f); }}, true},
    {"precipitationRippleRange", FloatKey{&S::precipitationRippleRange, [](float v) { return std::clamp(finiteOr(v, 15.0f), 5.0f, 50.0f); }}, true},
    {"precipitationRippleLifetime", FloatKey{&S::precipitationRippleLifetime, [](float v) { return std::clamp(finiteOr(v, 1.5f), 0.25f, 3.0f); }}, true},
    {"precipitationRippleDistortion", FloatKey{&S::precipitationRippleDistortion, [](float v) { return std::clamp(finiteOr(v, 2.0f), 0.0f, 4.0f); }}, true},
    {"swimWakeStrength", FloatKey{&S::swimWakeStrength, [](float v) { return std::clamp(finiteOr(v, 1.0f), 0.0f, 4.0f); }}, true},
    {"swimWakeSpacing", FloatKey{&S::swimWakeSpacing, [](float v) { return std::clamp(finiteOr(v, 1.5f), 0.75f, 3.0f); }}, true},
    {"swimWakeWidth", FloatKey{&S::swimWakeWidth, [](float v) { return std::clamp(finiteOr(v, 1.0f), 0.5f, 2.0f); }}, true},
    {"swimWakeSpread", FloatKey{&S::swimWakeSpread, [](float v) { return std::clamp(finiteOr(v, 1.0f), 0.5f, 2.0f); }}, true},
    {"swimWakeGlide", FloatKey{&S::swimWakeGlide, [](float v) { return std::clamp(finiteOr(v, 1.1f), 0.0f, 7.5f); }}, true},
    {"swimWakeLifetime", FloatKey{&S::swimWakeLifetime, [](float v) { return std::clamp(finiteOr(v, 3.0f), 1.0f, 5.0f); }}, true},
    {"swimRearWakeStrength", FloatKey{&S::swimRearWakeStrength, [](float v) { return std::clamp(finiteOr(v, 0.55f), 0.0f, 4.0f); }}, true},
    {"swimRearWakeSpacing", FloatKey{&S::swimRearWakeSpacing, [](float v) { return std::clamp(finiteOr(v, 1.5f), 0.75f, 3.0f); }}, true},
    {"swimRearWakeWidth", FloatKey{&S::swimRearWakeWidth, [](float v) { return std::clamp(finiteOr(v, 1.0f), 0.5f, 2.0f); }}, true},
    {"swimRearWakeSpread", FloatKey{&S::swimRearWakeSpread, [](float v) { return std::clamp(finiteOr(v, 1.0f), 0.5f, 2.0f); }}, true},
    {"swimRearWakeGlide", FloatKey{&S::swimRearWakeGlide, [](float v) { return std::clamp(finiteOr(v, 1.1f), 0.0f, 7.5f); }}, true},
    {"swimRearWakeLifetime", FloatKey{&S::swimRearWakeLifetime, [](float v) { return std::clamp(finiteOr(v, 3.0f), 1.0f, 5.0f); }}, true},
    {"keyBindings", KeyBindingsKey{}},
    {"actionBar", ActionBarKey{}},
    {"guiAlpha", FloatKey{&S::guiAlpha, [](float v) { return std::clamp(v, 0.0f, 1.0f); }}},
    {"guiAmbient", FloatKey{&S::guiAmbient, [](float v) { return std::clamp(v, 0.0f, 0.2f); }}},
    {"guiContrast", FloatKey{&S::guiContrast, [](float v) { return std::clamp(v, 0.75f, 1.25f); }}},
    {"guiBackgroundPreset", IntKey{&S::guiBackgroundPreset, [](std::int32_t v) { return std::clamp(v, 0, 5); }}},
    {"turboLootMode", IntKey{&S::turboLootMode, [](std::int32_t v) { return std::clamp(v, 0, 2); }}, true},
    {"tooltipsEnabled", FlagKey{&S::tooltipsEnabled, true}},
};

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
// Clang 14, which builds the fuzz targets, does not deduce aggregate arguments by itself.
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

const Key* findKey(std::string_view name) {
  for (const Key& key : kKeys)
    if (key.name == name) return &key;
  return nullptr;
}

std::string restOfLine(std::istream& in) {
  std::string rest;
  std::getline(in, rest);
  return rest;
}

// Codes go into slots 1, 2, 3 ... until the first text that is not a number.
void readKeyBindings(const std::string& line, GameSettings& settings) {
  std::istringstream codes(line);
  codes.imbue(std::locale::classic());
  for (std::uint32_t& slot : settings.keyBindings) {
    std::uint32_t code = 0;
    if (!(codes >> code)) return;
    slot = code;
  }
}

// All ten slots or none.
void readActionBar(const std::string& line, GameSettings& settings) {
  std::istringstream values(line);
  values.imbue(std::locale::classic());
  std::array<std::uint32_t, kActionBarSlotCount> slots{};
  for (std::uint32_t& slot : slots) {
    int value = 0;
    if (!(values >> value) || value < 0 || value > 6) return;
    slot = static_cast<std::uint32_t>(value);
  }
  values >> std::ws;
  if (values.eof()) settings.actionBar = slots;
}

// False when the value could not be extracted; the field then keeps what it held.
template <typename T>
bool extractInto(std::istream& in, T& field) {
  T value{};
  if (!(in >> value)) return false;
  field = value;
  return true;
}

bool readValue(std::istream& in, const Key& key, GameSettings& settings) {
  return std::visit(
      Overloaded{[&](const FlagKey& k) {
                   if (k.readAsBool) return extractInto(in, settings.*k.field);
                   std::int32_t value = 0;
                   if (!(in >> value)) return false;
                   settings.*k.field = value != 0;
                   return true;
                 },
                 [&](const IntKey& k) { return extractInto(in, settings.*k.field); },
                 [&](const FloatKey& k) { return extractInto(in, settings.*k.field); },
                 [&](const KeyBindingsKey&) {
                   readKeyBindings(restOfLine(in), settings);
                   return true;
                 },
                 [&](const ActionBarKey&) {
                   readActionBar(restOfLine(in), settings);
                   return true;
                 }},
      key.kind);
}

void applyRule(const Key& key, GameSettings& settings) {
  std::visit(Overloaded{[&](const IntKey& k) { settings.*k.field = k.rule(settings.*k.field); },
                        [&](const FloatKey& k) { settings.*k.field = k.rule(settings.*k.field); },
                        [&](const KeyBindingsKey&) {
                          for (size_t i = 0; i < kKeyBindingCount; ++i) {
                            std::uint32_t& code = settings.keyBindings[i];
                            if (code < 1 || code > 255) code = kDefaultKeyBindings[i];
                          }
                        },
                        [](const auto&) {}},
             key.kind);
}

void writeValue(std::ostream& out, const Key& key, const GameSettings& settings) {
  std::visit(Overloaded{[&](const FlagKey& k) { out << '\n' << key.name << ' ' << (settings.*k.field ? 1 : 0); },
                        [&](const IntKey& k) {
                          const std::int32_t value = settings.*k.field;
                          out << '\n' << key.name << ' ' << (key.ruleOnWrite ? k.rule(value) : value);
                        },
                        [&](const FloatKey& k) {
                          const float value = settings.*k.field;
                          out << '\n' << key.name << ' ' << (key.ruleOnWrite ? k.rule(value) : value);
                        },
                        [&](const KeyBindingsKey&) {
                          out << "\nkeyBindings";
                          for (const std::uint32_t code : settings.keyBindings) out << ' ' << code;
                        },
                        [&](const ActionBarKey&) {
                          out << "\nactionBar ";
                          for (size_t i = 0; i < kActionBarSlotCount; ++i)
                            out << (i == 0 ? "" : " ") << settings.actionBar[i];
                        }},
             key.kind);
}

}  // namespace

GameSettings parseGameSettings(std::istream& in) {
  in.imbue(std::locale::classic());
  GameSettings settings;
  std::string word;
  while (in >> word) {
    if (word != "debug" && word.starts_with("debug=")) {
      settings.debug = std::string_view(word).substr(6) == "1";
      continue;
    }
    const Key* key = findKey(word);
    if (!key) {
      in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      continue;
    }
    if (!readValue(in, *key, settings)) break;
  }
  validateGameSettings(settings);
  return settings;
}

void validateGameSettings(GameSettings& settings) {
  for (const Key& key : kKeys) applyRule(key, settings);
}

std::string formatGameSettings(const GameSettings& settings) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << "debug=" << (settings.debug ? 1 : 0);
  for (const Key& key : kKeys)
    if (key.name != "debug") writeValue(out, key, settings);
  out << '\n';
  return out.str();
}

GameSettings readGameSettings(const std::filesystem::path& file) {
  // Binary mode: a CR before a line feed is whitespace to every extraction.
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    GameSettings defaults;
    validateGameSettings(defaults);
    return defaults;
  }
  return parseGameSettings(in);
}

void writeGameSettings(const GameSettings& settings, const std::filesystem::path& file) {
  writeCrlfTextFile(file, formatGameSettings(settings));
}

std::optional<int> resolutionChoiceFor(std::int32_t width, std::int32_t height) {
  for (size_t i = 0; i < kOfferedResolutions.size(); ++i)
    if (kOfferedResolutions[i].width == width && kOfferedResolutions[i].height == height)
      return static_cast<int>(i);
  return std::nullopt;
}

}  // namespace Corvanthorne
