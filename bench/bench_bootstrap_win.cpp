// Timing harness under Wine for a start on an already current game folder: launcher.exe from
// process start until its update bootstrap has verified every file and let the launcher go on
// (the run ends as soon as the launcher stage shows a window), beside one hashing pass over the
// same files in the same run. A start on a current folder of the four required files is the
// fixed cost of a process with a window (under Xvfb without a window manager Wine waits 2 s for
// the window to be withdrawn); the difference is what verifying the big folder costs.
// Target: that verification costs at most the hashing pass plus 20 %.
// Each figure is the best of ROUNDS rounds (the machine is shared).
// Usage: bench_bootstrap_win [FILES] [MiB] [ROUNDS]   (default 2000 files, 512 MiB, 3 rounds)
// Build and run as bench_install_win; launcher.exe is taken from the harness's own folder.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "common/handle_win.h"
#include "common/text.h"
#include "launcher/game_folder.h"
#include "package_writer_win.h"
#include "seconds.h"
#include "update/game_install.h"

namespace {

namespace fs = std::filesystem;
using namespace Corvanthorne;

// A launcher package holding launcher, so that the start finds the launcher current.
void writeLauncherPackage(const fs::path& root, const fs::path& launcher) {
  const fs::path folder = root / "launcher" / "bench";
  fs::create_directories(folder);
  Update::copyFileReplacing(launcher, folder / "launcher.exe");
  std::ofstream(folder / "manifest.txt", std::ios::binary)
      << "CVPACKAGE 1 launcher bench\n"
      << Update::sha256File(launcher) << " " << fs::file_size(launcher) << " launcher.exe\n";
  std::ofstream(root / "launcher.latest", std::ios::binary) << "bench\n";
}

void runToEnd(const fs::path& exe);

// A game folder below root with the package installed and this build's launcher recorded.
fs::path currentGameFolder(const fs::path& root, const Update::LatestPackage& package) {
  writeLauncherPackage(root, executableDirectory() / "launcher.exe");
  const fs::path game = root / "game-folder";
  Update::installGamePackage(package, game, {});
  Update::copyFileReplacing(executableDirectory() / "launcher.exe", game / "launcher.exe");
  std::ofstream(game / ".corvanthorne" / "update-source.txt", std::ios::binary) << wideToUtf8(root.wstring());
  runToEnd(game / "launcher.exe");  // records the launcher once, as any first start does
  return game;
}

// Whether the process shows a window of the launcher stage: the launcher window, or the box
// saying that the package's stand-in launcher document cannot be loaded.
bool showsLauncherStage(DWORD processId) {
  for (const wchar_t* windowClass : {L"CorvanthorneLauncher", L"#32770"}) {
    for (HWND w = FindWindowW(windowClass, nullptr); w; w = FindWindowExW(nullptr, w, windowClass, nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == processId && IsWindowVisible(w)) return true;
    }
  }
  return false;
}

// Runs the launcher until its update bootstrap lets it go on: it ends with code 0, or its
// launcher stage shows a window, which ends the run.
void runToEnd(const fs::path& exe) {
  std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      exe.parent_path().c_str(), &startup, &info))
    throwWindowsError("CreateProcessW");
  const ScopedHandle process(info.hProcess), thread(info.hThread);
  for (int waited = 0; WaitForSingleObject(process.get(), 5) == WAIT_TIMEOUT; waited += 5) {
    if (showsLauncherStage(info.dwProcessId)) {
      TerminateProcess(process.get(), 0);
      WaitForSingleObject(process.get(), INFINITE);
    } else if (waited > 600'000) {
      throw std::runtime_error("launcher.exe did not go on to the launcher");
    }
  }
  DWORD exitCode = 1;
  if (!GetExitCodeProcess(process.get(), &exitCode) || exitCode != 0)
    throw std::runtime_error("launcher.exe did not go on to the launcher");
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2000;
  const std::size_t mebibytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 512;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  const fs::path root = fs::temp_directory_path() / "qel-bootstrap-bench";
  fs::remove_all(root);
  const Update::LatestPackage package = Bench::writePackage(root / "big", count, mebibytes << 20);
  const fs::path big = currentGameFolder(root / "big", package);
  const fs::path tiny = currentGameFolder(root / "tiny", Bench::writePackage(root / "tiny", 4, 4096));

  double bigStart = 1e30, tinyStart = 1e30, hashPass = 1e30;
  for (int round = 0; round < rounds; ++round) {
    bigStart = std::min(bigStart, seconds([&] { runToEnd(big / "launcher.exe"); }));
    tinyStart = std::min(tinyStart, seconds([&] { runToEnd(tiny / "launcher.exe"); }));
    hashPass = std::min(hashPass, seconds([&] {
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
