// Timing harness under Wine: one large release object, a fresh install with nothing to reuse,
// fetched from a local nginx over HTTPS through the object fetcher (SHA-256 included) with
// 1 to 8 requests in flight, against curl saving the same object from the same server in the
// same run. Where the time goes: SHA-256 alone and writing alone over the same bytes in memory;
// receiving is what is left.
// Usage: bench_download_win [MiB] [ROUNDS] [IN_FLIGHT]   (default 256 MiB, best of 3 rounds each,
// 1 to 8 requests in flight; IN_FLIGHT measures that count alone, so that the peak private
// memory printed at the end is its own)
// Build: cmake -S . -B build/bench-windows -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF
//   -DQEL_BENCH=ON -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake && cmake --build build/bench-windows
// and run it with wine64 (WINEPREFIX=build/windows/wine-prefix); needs python3, openssl, nginx, curl.
#include <cstdio>
#include <fstream>

#include "harness.h"
#include "peak_memory_win.h"
#include "support/https_server_win.h"
#include "update/file_ops.h"
#include "update/object_fetch.h"

namespace {

namespace fs = std::filesystem;
using namespace Corvanthorne;

std::wstring quoted(const fs::path& path) { return L"'" + utf8ToWide(Testing::unixPath(path)) + L"'"; }

// curl's total time; the shell renames the result into place once curl is done.
double curlSeconds(const std::wstring& url, const fs::path& ca, const fs::path& folder) {
  const fs::path result = folder / "curl-seconds";
  fs::remove(result);
  Testing::startUnixProgram(L"/bin/sh", L"/bin/sh -c \"curl -s -f --cacert " + quoted(ca) + L" -o " +
                                            quoted(folder / "curl-copy") + L" -w %{time_total} '" + url + L"' > " +
                                            quoted(folder) + L"/curl.new && mv " + quoted(folder) + L"/curl.new " +
                                            quoted(result) + L"\"");
  if (!Testing::waitUntil([&] { return fs::exists(result); }, 300'000)) throw std::runtime_error("curl failed");
  return std::strtod(Testing::readFile(result).c_str(), nullptr);
}

}  // namespace

int main(int argc, char** argv) try {
  const auto mebibytes = Bench::argument<std::size_t>(argc, argv, 1, 256);
  const int rounds = Bench::argument(argc, argv, 2, 3);
  const std::uint64_t size = std::uint64_t{mebibytes} << 20;
  Testing::TempDir root, work;
  std::uint64_t state = 1;
  Bench::writeRandomFile(root / "objects" / "big", size, state);
  const std::string sha256 = Update::sha256File(root / "objects" / "big");
  fs::rename(root / "objects" / "big", root / "objects" / sha256);
  Testing::LocalHttpsServer server(root.path(), Testing::ServerKind::Nginx);

  // Every curl round comes first: under Wine, starting a Unix program after an HTTPS
  // connection of this process has gone idle breaks the sockets of later connections.
  const double curl =
      Bench::bestOf(rounds, [&] { return curlSeconds(server.url("/objects/" + sha256), server.caCertificate(), work.path()); });
  // As many bytes as the object, from one 4 MiB block, so that memory stays small.
  std::string block(std::min<std::uint64_t>(size, 4 << 20), '\0');
  std::ifstream(root / "objects" / sha256, std::ios::binary).read(block.data(), std::ssize(block));
  const double hashing = Bench::bestSeconds(rounds, [&] {
    Update::Sha256Hasher hasher;
    for (std::uint64_t at = 0; at < size; at += block.size()) hasher.add(block.data(), block.size());
    hasher.finish();
  });
  const double writing = Bench::bestSeconds(rounds, [&] {
    std::ofstream out(work / "written", std::ios::binary | std::ios::trunc);
    for (std::uint64_t at = 0; at < size; at += block.size()) out.write(block.data(), std::ssize(block));
  });
  std::printf("size %zu MiB, best of %d\n%-26s %7.3f s %7.1f MiB/s\n", mebibytes, rounds, "curl", curl, mebibytes / curl);
  std::printf("%-26s %7.3f s %7.1f MiB/s\n%-26s %7.3f s %7.1f MiB/s\n", "SHA-256 alone (memory)", hashing,
              mebibytes / hashing, "writing alone (4 MiB)", writing, mebibytes / writing);
  const fs::path target = work / "downloaded";
  // The counts take turns within each round, so that the load of a shared machine falls on all.
  const double peakBefore = Bench::peakPrivateMiB();
  const unsigned only = Bench::argument(argc, argv, 3, 0u);
  const std::vector<unsigned> counts = only ? std::vector<unsigned>{only} : std::vector<unsigned>{1, 2, 4, 6, 8};
  std::vector<double> best(counts.size(), std::numeric_limits<double>::infinity());
  for (int round = 0; round < rounds; ++round)
    for (std::size_t c = 0; c < counts.size(); ++c) {
      fs::remove(target);
      Update::ObjectJob job;
      job.sha256 = sha256;
      job.size = size;
      job.destination = target;
      Update::ObjectFetcher fetcher(server.url(), {counts[c]});
      best[c] = std::min(best[c], Bench::seconds([&] { fetcher.fetch({job}); }));
    }
  for (std::size_t c = 0; c < counts.size(); ++c)
    std::printf("ObjectFetcher, %u in flight %7.3f s %7.1f MiB/s  of curl %.3f (target >= 0.5)\n", counts[c], best[c],
                mebibytes / best[c], curl / best[c]);
  std::printf("peak private memory %.1f MiB before the fetches, %.1f MiB after\n", peakBefore, Bench::peakPrivateMiB());
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "%s\n", error.what());
  return 1;
}
