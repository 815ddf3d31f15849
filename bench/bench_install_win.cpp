// Timing harness under Wine for the journaled install, against baselines from the same run:
//   first install into an empty folder  vs  copying the files and hashing them once;
//   reinstalling the same package       vs  one hashing pass over the installed files
//                                           (the install hashes on every core it may use).
// Also prints the peak private memory before and after, which must not grow with file size.
// Each figure is the best of ROUNDS rounds in fresh folders (the machine is shared).
// Usage: bench_install_win [FILES] [MiB] [ROUNDS]   (default 2000 files, 512 MiB, 3 rounds);
// for the one-core figure run it as "taskset -c 0 wine64 ..." (Wine ignores affinity set from inside).
// Build: cmake -S . -B build/bench-windows -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF
//   -DQEL_BENCH=ON -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake && cmake --build build/bench-windows
// and run it with wine64 (WINEPREFIX=build/windows/wine-prefix).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "package_writer_win.h"
#include "seconds.h"
#include "update/file_ops.h"
#include "update/game_install.h"

namespace {

namespace fs = std::filesystem;
using Corvanthorne::Update::LatestPackage;
using Corvanthorne::Bench::writePackage;

double peakPrivateMiB() {
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return static_cast<double>(counters.PeakPagefileUsage) / (1 << 20);
}

void copyAndHashOnce(const LatestPackage& package, const fs::path& target) {
  for (const auto& file : package.manifest.files) {
    fs::create_directories((target / file.path).parent_path());
    Corvanthorne::Update::copyFileReplacing(package.folder / file.path, target / file.path);
    Corvanthorne::Update::sha256File(target / file.path);
  }
}

void hashOnce(const LatestPackage& package, const fs::path& game) {
  for (const auto& file : package.manifest.files) Corvanthorne::Update::sha256File(game / file.path);
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2000;
  const std::size_t mebibytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 512;
  const fs::path root = fs::temp_directory_path() / "qel-install-bench";
  fs::remove_all(root);
  const LatestPackage package = writePackage(root / "package", count, mebibytes << 20);
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  const double peakBefore = peakPrivateMiB();

  double copyHash = 1e30, install = 1e30, hashPass = 1e30, reinstall = 1e30;
  const auto installIn = [&](const fs::path& game) { Corvanthorne::Update::installGamePackage(package, game, {}); };
  for (int round = 0; round < rounds; ++round) {
    const fs::path copy = root / "copy";
    const fs::path game = root / "game";
    copyHash = std::min(copyHash, seconds([&] { copyAndHashOnce(package, copy); }));
    install = std::min(install, seconds([&] { installIn(game); }));
    hashPass = std::min(hashPass, seconds([&] { hashOnce(package, game); }));
    reinstall = std::min(reinstall, seconds([&] { installIn(game); }));
    hashPass = std::min(hashPass, seconds([&] { hashOnce(package, game); }));
    fs::remove_all(copy);
    fs::remove_all(game);
  }
  const double peakAfter = peakPrivateMiB();
  fs::remove_all(root);

  std::printf("%zu files, %zu MiB, best of %d rounds\n", count, mebibytes, rounds);
  std::printf("copy + hash once   %.3f s\nfirst install      %.3f s   ratio %.2f (target <= 2.5)\n", copyHash,
              install, install / copyHash);
  std::printf("one hashing pass   %.3f s\nreinstall          %.3f s   ratio %.2f on %u cores (target <= 0.6)\n",
              hashPass, reinstall, reinstall / hashPass, std::thread::hardware_concurrency());
  std::printf("peak private memory: %.1f MiB after writing the package, %.1f MiB after the installs\n",
              peakBefore, peakAfter);
  return 0;
}
