#pragma once
// For the Wine timing harnesses: a synthetic game package of COUNT files of equal size, TOTAL
// bytes in all, with pseudo-random content, its manifest and game.latest.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "update/file_ops.h"
#include "update/package_manifest.h"

namespace Corvanthorne::Bench {

namespace fs = std::filesystem;
using Update::LatestPackage;

inline std::vector<std::string> packagePaths(std::size_t count) {
  std::vector<std::string> paths = {"Qelmarin.exe", "data/gui/launcher.ghi", "data/gui/game.ghi",
                                    "assets/worlds/world_1.world.json"};
  for (std::size_t i = paths.size(); i < count; ++i)
    paths.push_back("assets/set" + std::to_string(i % 40) + "/file" + std::to_string(i) + ".bin");
  return paths;
}

// Writes the package's files (equal sizes), its manifest and game.latest; streams each file.
inline LatestPackage writePackage(const fs::path& root, std::size_t count, std::size_t totalBytes) {
  const fs::path folder = root / "game" / "bench";
  std::string manifest = "CVPACKAGE 1 game bench\n";
  std::vector<char> block(1 << 20);
  std::uint64_t state = 88172645463325252ull;
  const std::size_t fileSize = totalBytes / count;
  for (const std::string& path : packagePaths(count)) {
    const fs::path file = folder / path;
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    for (std::size_t written = 0; written < fileSize;) {
      const std::size_t piece = std::min(block.size(), fileSize - written);
      for (std::size_t i = 0; i < piece; i += 8) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        std::memcpy(block.data() + i, &state, std::min<std::size_t>(8, piece - i));
      }
      out.write(block.data(), static_cast<std::streamsize>(piece));
      written += piece;
    }
    out.close();
    manifest += Corvanthorne::Update::sha256File(file) + " " + std::to_string(fileSize) + " " + path + "\n";
  }
  std::ofstream(folder / "manifest.txt", std::ios::binary) << manifest;
  std::ofstream(root / "game.latest", std::ios::binary) << "bench\n";
  return Corvanthorne::Update::loadLatestPackage(root, "game");
}

}  // namespace Corvanthorne::Bench
