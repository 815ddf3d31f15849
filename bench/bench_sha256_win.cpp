// Timing harness under Wine: sha256File on a large file against the same provider hashing
// the same bytes from memory, in one run. Usage: bench_sha256_win [MiB] [keep]  (default 256 MiB;
// "keep" leaves the file in the temporary folder for a comparison with other tools).
#include <cstdio>
#include <string>

#include "harness.h"
#include "support/temp_dir.h"
#include "update/file_ops.h"

int main(int argc, char** argv) {
  using namespace Corvanthorne;
  const auto mebibytes = Bench::argument<std::size_t>(argc, argv, 1, 256);
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "qel-sha256-bench.bin";
  std::uint64_t state = 1;
  Bench::writeRandomFile(file, mebibytes << 20, state);
  const std::string bytes = Testing::readFile(file);  // and the file is in the cache

  std::string fromFile, fromMemory;
  const double fileSeconds = Bench::bestSeconds(3, [&] { fromFile = Update::sha256File(file); });
  const double memorySeconds = Bench::bestSeconds(3, [&] { fromMemory = Update::sha256Bytes(bytes); });
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
