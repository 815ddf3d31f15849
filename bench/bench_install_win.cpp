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
#include <thread>

#include "package_writer_win.h"
#include "peak_memory_win.h"
#include "update/game_install.h"

namespace {

namespace fs = std::filesystem;
using namespace Corvanthorne;

// Hashes the package's files in game once; with copy, copies each from the package first.
void hashOnce(const Update::LatestPackage& package, const fs::path& game, bool copy) {
  for (const auto& file : package.manifest.files) {
    if (copy) {
      fs::create_directories((game / file.path).parent_path());
      Update::copyFileReplacing(package.folder / file.path, game / file.path);
    }
    Update::sha256File(game / file.path);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const auto count = Bench::argument<std::size_t>(argc, argv, 1, 2000);
  const auto mebibytes = Bench::argument<std::size_t>(argc, argv, 2, 512);
  const int rounds = Bench::argument(argc, argv, 3, 3);
  const fs::path root = fs::temp_directory_path() / "qel-install-bench", copy = root / "copy", game = root / "game";
  fs::remove_all(root);
  const Update::LatestPackage package = Bench::writePackage(root / "package", count, mebibytes << 20);
  const double peakBefore = Bench::peakPrivateMiB();

  double copyHash = 1e30, install = 1e30, hashPass = 1e30, reinstall = 1e30;
  for (int round = 0; round < rounds; ++round) {
    copyHash = std::min(copyHash, Bench::seconds([&] { hashOnce(package, copy, true); }));
    install = std::min(install, Bench::seconds([&] { Update::installGamePackage(package, game, {}); }));
    hashPass = std::min(hashPass, Bench::seconds([&] { hashOnce(package, game, false); }));
    reinstall = std::min(reinstall, Bench::seconds([&] { Update::installGamePackage(package, game, {}); }));
    hashPass = std::min(hashPass, Bench::seconds([&] { hashOnce(package, game, false); }));
    fs::remove_all(copy);
    fs::remove_all(game);
  }
  const double peakAfter = Bench::peakPrivateMiB();
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
