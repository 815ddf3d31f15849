// Timing harness under Wine for a start on an already current game folder: launcher.exe from
// process start until its update bootstrap has verified every file and let the launcher go on
// (the run ends as soon as the launcher stage shows a window), beside one hashing pass over the
// same files in the same run. A start on a current folder of the four required files is the
// fixed cost of a process with a window (under Xvfb without a window manager Wine waits 2 s for
// the window to be withdrawn); the difference is what verifying the big folder costs.
// Target: that verification costs at most the hashing pass plus 20 %.
// Each figure is the best of ROUNDS rounds (the machine is shared).
// Usage: bench_bootstrap_win [FILES] [MiB] [ROUNDS]   (default 2000 files, 512 MiB, 3 rounds)
// Build and run as bench_install_win; it starts the launcher.exe built beside it.
#include <cstdio>

#include "package_writer_win.h"
#include "support/client_package_win.h"
#include "support/desktop_win.h"
#include "update/game_install.h"

namespace {

namespace fs = std::filesystem;
using namespace Corvanthorne;

// Runs the launcher until its update bootstrap lets it go on: it ends with code 0, or its
// launcher stage shows a window, which ends the run. Polled every 5 ms: the figure is a time.
void runToEnd(const fs::path& launcher) {
  const ScopedHandle process = Testing::launchProcess(Testing::quotedPath(launcher), launcher.parent_path());
  for (int waited = 0; WaitForSingleObject(process.get(), 5) == WAIT_TIMEOUT; waited += 5) {
    if (Testing::reachedLauncherStage(GetProcessId(process.get())))
      TerminateProcess(process.get(), 0);
    else if (waited > 600'000)
      throw std::runtime_error("launcher.exe did not go on to the launcher");
  }
  DWORD exitCode = 1;
  if (!GetExitCodeProcess(process.get(), &exitCode) || exitCode != 0)
    throw std::runtime_error("launcher.exe did not go on to the launcher");
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

  double bigStart = 1e30, tinyStart = 1e30, hashPass = 1e30;
  for (int round = 0; round < rounds; ++round) {
    bigStart = std::min(bigStart, Bench::seconds([&] { runToEnd(big / "launcher.exe"); }));
    tinyStart = std::min(tinyStart, Bench::seconds([&] { runToEnd(tiny / "launcher.exe"); }));
    hashPass = std::min(hashPass, Bench::seconds([&] {
      for (const auto& file : package.manifest.files) Update::sha256File(big / file.path);
    }));
  }
  fs::remove_all(root);
  const double verification = bigStart - tinyStart;
  std::printf("%zu files, %zu MiB, best of %d rounds\n", count, mebibytes, rounds);
  std::printf("one hashing pass                 %.3f s\n", hashPass);
  std::printf("start on the current folder      %.3f s\n", bigStart);
  std::printf("start on a current 4-file folder %.3f s\n", tinyStart);
  std::printf("verification (the difference)    %.3f s   ratio %.2f (target <= 1.2)\n", verification,
              verification / hashPass);
  return 0;
}
