#pragma once
// Client packages written from bytes, for tests and timing harnesses of installs and updates.
#include <filesystem>
#include <map>
#include <string>

#include "common/text.h"
#include "support/temp_dir.h"
#include "update/file_ops.h"

namespace Corvanthorne::Testing {

using PackageFiles = std::map<std::string, std::string>;  // relative path -> bytes

// The files every game package must hold, tagged so that two versions differ.
inline PackageFiles requiredGameFiles(std::string_view tag) {
  return {{"Qelmarin.exe", "client " + std::string(tag)},
          {"data/gui/launcher.ghi", "launcher gui"},
          {"data/gui/game.ghi", "game gui " + std::string(tag)},
          {"assets/worlds/world_1.world.json", "{}"}};
}

// Writes <root>/<kind>/<version>/ with its files and manifest.txt, and <root>/<kind>.latest.
inline void writeClientPackage(const std::filesystem::path& root, const std::string& kind, const std::string& version,
                               const PackageFiles& files) {
  std::string manifest = "CVPACKAGE 1 " + kind + " " + version + "\n";
  for (const auto& [path, bytes] : files) {
    writeFile(root / kind / version / pathFromUtf8(path), bytes);
    manifest += Update::sha256Bytes(bytes) + " " + std::to_string(bytes.size()) + " " + path + "\n";
  }
  writeFile(root / kind / version / "manifest.txt", manifest);
  writeFile(root / (kind + ".latest"), version + "\n");
}

}  // namespace Corvanthorne::Testing
