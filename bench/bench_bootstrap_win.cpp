// Timing harness under Wine for a start on an already current game folder: launcher.exe from
// process start until its update bootstrap has verified every file and let the launcher go on
// (the run ends as soon as the launcher stage shows a window), beside one hashing pass over the
// same files in the same run. A start on a current folder of the four required files is the
// fixed cost of a process with a window (under Xvfb without a window manager Wine waits 2 s for
// the window to be withdrawn); the difference is what checking the big folder costs.
// Targets: with the verified-state record, that difference is at most 0.25 s whatever the bytes;
// without it (the first start) at most the hashing pass plus 20 %.
// Also reported: the record's size and load time, the launcher's peak private memory beside the
// 4-file folder's, and the rolling check's throughput and how much it slows a concurrent
// hashing pass (it runs in background mode and must yield).
// Each figure is the best of ROUNDS rounds (the machine is shared).
// Usage: bench_bootstrap_win [FILES] [MiB] [ROUNDS]   (default 2000 files, 512 MiB, 3 rounds)
//        e.g. 2000 2048 3, and 100000 400 3 for many small files
// Build and run as bench_install_win; it starts the launcher.exe built beside it.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <thread>

#include "package_writer_win.h"
#include "support/client_package_win.h"
#include "support/desktop_win.h"
#include "update/game_file_check.h"
#include "update/game_install.h"
#include "update/rolling_check.h"

namespace {

namespace fs = std::filesystem;
using namespace Corvanthorne;

// Runs the launcher until its update bootstrap lets it go on: it ends with code 0, or its
// launcher stage shows a window, which ends the run. Polled every 5 ms: the figure is a time.
// Returns the process's peak private bytes.
std::size_t runToEnd(const fs::path& launcher) {
  const ScopedHandle process = Testing::launchProcess(Testing::quotedPath(launcher), launcher.parent_path());
  PROCESS_MEMORY_COUNTERS_EX memory{};
  for (int waited = 0; WaitForSingleObject(process.get(), 5) == WAIT_TIMEOUT; waited += 5) {
    if (Testing::reachedLauncherStage(GetProcessId(process.get()))) {
      Sleep(200);  // the launcher stage's record loading, if any, has begun
      if (K32GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory)) == 0)
        memory = {};
      TerminateProcess(process.get(), 0);
    }
    else if (waited > 600'000)
      throw std::runtime_error("launcher.exe did not go on to the launcher");
  }
  DWORD exitCode = 1;
  if (!GetExitCodeProcess(process.get(), &exitCode) || exitCode != 0)
    throw std::runtime_error("launcher.exe did not go on to the launcher");
  return memory.PeakPagefileUsage;
}

double hashingPass(const Update::LatestPackage& package, const fs::path& game) {
  return Bench::seconds([&] {
    for (const auto& file : package.manifest.files) Update::sha256File(game / file.path);
  });
}

// A game folder below root with the package installed and this build's launcher recorded.
fs::path currentGameFolder(const fs::path& root, const Update::LatestPackage& package) {
  Testing::writeClientPackage(root, "launcher", "bench", {{"launcher.exe", Testing::readFile(Testing::launcherPath())}});
  const fs::path game = root / "game-folder";
  Update::installGamePackage(package, game, {});
  fs::copy_file(Testing::launcherPath(), game / "launcher.exe");
  Testing::writeFile(game / ".corvanthorne" / "update-source.txt", pathText(root));
  runToEnd(game / "launcher.exe");  // records the launcher once, as any first start does
  return game;
}

}  // namespace

int main(int argc, char** argv) {
  const auto count = Bench::argument<std::size_t>(argc, argv, 1, 2000);
  const auto mebibytes = Bench::argument<std::size_t>(argc, argv, 2, 512);
  const int rounds = Bench::argument(argc, argv, 3, 3);
  const fs::path root = fs::temp_directory_path() / "qel-bootstrap-bench";
  fs::remove_all(root);
  const Update::LatestPackage package = Bench::writePackage(root / "big", count, mebibytes << 20);
  const fs::path big = currentGameFolder(root / "big", package);
  const fs::path tiny = currentGameFolder(root / "tiny", Bench::writePackage(root / "tiny", 4, 4096));

  double bigStart = 1e30, tinyStart = 1e30, firstStart = 1e30, hashPass = 1e30;
  std::size_t bigMemory = 0, tinyMemory = 0;
  for (int round = 0; round < rounds; ++round) {
    bigStart = std::min(bigStart, Bench::seconds([&] { bigMemory = runToEnd(big / "launcher.exe"); }));
    tinyStart = std::min(tinyStart, Bench::seconds([&] { tinyMemory = runToEnd(tiny / "launcher.exe"); }));
    Update::dropVerifiedState(big);  // as on the first start after an update of the launcher
    firstStart = std::min(firstStart, Bench::seconds([&] { runToEnd(big / "launcher.exe"); }));
    hashPass = std::min(hashPass, hashingPass(package, big));
  }
  const double recordLoad = Bench::bestSeconds(rounds, [&] { Update::loadVerifiedState(big); });
  const auto recordBytes = fs::file_size(Update::verifiedStatePath(big));

  // The rolling check alone over the whole game, then a hashing pass with it running beside.
  std::uint64_t gameBytes = 0;
  for (const auto& file : package.manifest.files) gameBytes += file.size;
  double rollingSeconds = 0;
  Update::RollingCheckReport rolled;
  rollingSeconds = Bench::seconds([&] { rolled = Update::RollingCheck(big, {}, gameBytes).wait(); });
  Update::RollingCheck beside(big, {}, ~std::uint64_t{0});
  const double hashBeside = hashingPass(package, big);
  beside.stop();
  fs::remove_all(root);

  const double checking = bigStart - tinyStart, firstChecking = firstStart - tinyStart;
  std::printf("%zu files, %zu MiB, best of %d rounds (2 shared cores: compare ratios)\n", count, mebibytes, rounds);
  std::printf("one hashing pass                      %.3f s\n", hashPass);
  std::printf("start on a current 4-file folder      %.3f s   peak private %.1f MiB\n", tinyStart, tinyMemory / 1048576.0);
  std::printf("start on the recorded folder          %.3f s   peak private %.1f MiB\n", bigStart, bigMemory / 1048576.0);
  std::printf("  checking (the difference)           %.3f s   (target <= 0.25 s)\n", checking);
  std::printf("first start, no record                %.3f s\n", firstStart);
  std::printf("  checking (the difference)           %.3f s   ratio to hashing pass %.2f (target <= 1.2)\n",
              firstChecking, firstChecking / hashPass);
  std::printf("record: %.2f MiB on disk, loaded in %.3f s\n", recordBytes / 1048576.0, recordLoad);
  std::printf("rolling check: %zu files, %.0f MiB in %.3f s = %.0f MiB/s\n", rolled.filesChecked,
              rolled.bytesChecked / 1048576.0, rollingSeconds, rolled.bytesChecked / 1048576.0 / rollingSeconds);
  std::printf("hashing pass with the rolling check beside %.3f s   slowdown ratio %.2f\n", hashBeside,
              hashBeside / hashPass);
  return 0;
}
