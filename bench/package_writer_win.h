#pragma once
// For the Wine timing harnesses: a synthetic game package of COUNT files of equal size, TOTAL
// bytes in all, with pseudo-random content, its manifest and game.latest.
#include <string>

#include "harness.h"
#include "support/temp_dir.h"
#include "update/file_ops.h"
#include "update/package_manifest.h"

namespace Corvanthorne::Bench {

inline Update::LatestPackage writePackage(const std::filesystem::path& root, std::size_t count, std::size_t totalBytes) {
  const std::filesystem::path folder = root / "game" / "bench";
  std::string manifest = "CVPACKAGE 1 game bench\n";
  std::uint64_t state = 88172645463325252ull;
  const std::size_t fileSize = totalBytes / count;
  for (std::size_t i = 0; i < count; ++i) {
    const char* const required[] = {"Qelmarin.exe", "data/gui/launcher.ghi", "data/gui/game.ghi",
                                    "assets/worlds/world_1.world.json"};
    const std::string path = i < 4 ? required[i] : "assets/set" + std::to_string(i % 40) + "/file" + std::to_string(i) + ".bin";
    writeRandomFile(folder / path, fileSize, state);
    manifest += Update::sha256File(folder / path) + " " + std::to_string(fileSize) + " " + path + "\n";
  }
  Testing::writeFile(folder / "manifest.txt", manifest);
  Testing::writeFile(root / "game.latest", "bench\n");
  return Update::loadLatestPackage(root, "game");
}

}  // namespace Corvanthorne::Bench
