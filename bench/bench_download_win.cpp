// Timing harness under Wine: one large release object fetched from a local nginx over HTTPS
// the way a release fetch does it (downloadFile, then the size and SHA-256 check), against
// curl saving the same object from the same server in the same run.
// Usage: bench_download_win [MiB] [ROUNDS]   (default 256 MiB, best of 3 rounds each)
// Build: cmake -S . -B build/bench-windows -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF
//   -DQEL_BENCH=ON -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake && cmake --build build/bench-windows
// and run it with wine64 (WINEPREFIX=build/windows/wine-prefix); needs python3, openssl, nginx, curl.
#include <cstdio>

#include "harness.h"
#include "support/https_server_win.h"
#include "update/file_ops.h"
#include "update/remote_release.h"

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
  Testing::LocalHttpsServer server(root.path(), Testing::ServerKind::Nginx);

  // Every curl round comes first: under Wine, starting a Unix program after an HTTPS
  // connection of this process has gone idle breaks the sockets of later connections.
  const double curl =
      Bench::bestOf(rounds, [&] { return curlSeconds(server.url("/objects/big"), server.caCertificate(), work.path()); });
  const fs::path target = work / "downloaded";
  const double ours = Bench::bestOf(rounds, [&] {
    fs::remove(target);
    return Bench::seconds([&] {
      Update::downloadFile(server.url(), "objects/big", target, size);
      if (!Update::holdsFile(target, size, sha256)) throw std::runtime_error("checksum failed");
    });
  });
  std::printf("size %zu MiB, best of %d\ncurl                  %.3f s  %.1f MiB/s\n"
              "downloadFile+SHA-256  %.3f s  %.1f MiB/s\nratio ours/curl throughput %.3f (target >= 0.8)\n",
              mebibytes, rounds, curl, mebibytes / curl, ours, mebibytes / ours, curl / ours);
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "%s\n", error.what());
  return 1;
}
