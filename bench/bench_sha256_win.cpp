// Timing harness under Wine: sha256File on a large file against the same provider hashing
// the same bytes from memory, in one run. Usage: bench_sha256_win [MiB] [keep]  (default 256 MiB;
// "keep" leaves the file in the temporary folder for a comparison with other tools).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "update/file_ops.h"

namespace {

template <typename Action>
double bestSeconds(int rounds, Action action) {
  double best = 1e30;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    action();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  std::string bytes(mebibytes << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "qel-sha256-bench.bin";
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));

  std::string fromFile, fromMemory;
  Corvanthorne::Update::sha256File(file);  // warm the file cache
  const double fileSeconds = bestSeconds(3, [&] { fromFile = Corvanthorne::Update::sha256File(file); });
  const double memorySeconds = bestSeconds(3, [&] { fromMemory = Corvanthorne::Update::sha256Bytes(bytes); });
  if (argc > 2 && std::string(argv[2]) == "keep")
    std::printf("kept %s\n", file.string().c_str());
  else
    std::filesystem::remove(file);

  const double mib = static_cast<double>(mebibytes);
  std::printf("size %zu MiB\nsha256File   %.3f s  %.1f MiB/s\nfrom memory  %.3f s  %.1f MiB/s\n"
              "ratio file/memory throughput %.3f (target >= 0.95)\ndigests %s\n",
              mebibytes, fileSeconds, mib / fileSeconds, memorySeconds, mib / memorySeconds,
              memorySeconds / fileSeconds, fromFile == fromMemory ? "agree" : "DIFFER");
  return fromFile == fromMemory ? 0 : 1;
}
