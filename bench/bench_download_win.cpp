// Timing harness under Wine: one large release object fetched from the local HTTPS test server
// the way a release fetch does it (downloadFile, then the size and SHA-256 check), against
// curl saving the same object from the same server in the same run.
// Usage: bench_download_win [MiB] [ROUNDS]   (default 256 MiB, best of 3 rounds each)
// Build: cmake -S . -B build/bench-windows -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_TESTS=OFF
//   -DQEL_BENCH=ON -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake && cmake --build build/bench-windows
// and run it with wine64 (WINEPREFIX=build/windows/wine-prefix); needs python3, openssl, curl.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "support/https_server_win.h"
#include "seconds.h"
#include "update/file_ops.h"
#include "update/remote_release.h"

namespace {

namespace fs = std::filesystem;
using Corvanthorne::Testing::unixPath;

// Writes the object in 1 MiB blocks of pseudo-random bytes; returns its SHA-256.
std::string writeObject(const fs::path& file, std::size_t mebibytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  std::vector<std::uint64_t> block((1 << 20) / 8);
  std::uint64_t state = 88172645463325252ull;
  for (std::size_t i = 0; i < mebibytes; ++i) {
    for (std::uint64_t& word : block) word = state = state * 6364136223846793005ull + 1442695040888963407ull;
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
  }
  out.close();
  return Corvanthorne::Update::sha256File(file);
}

std::wstring quoted(const fs::path& path) { return L"'" + Corvanthorne::utf8ToWide(unixPath(path)) + L"'"; }

// curl's total time; the shell renames the result into place once curl is done.
double curlSeconds(const std::wstring& url, const fs::path& ca, const fs::path& folder) {
  const fs::path result = folder / "curl-seconds";
  fs::remove(result);
  Corvanthorne::Testing::startUnixProgram(
      L"/bin/sh", L"/bin/sh -c \"curl -s -f --cacert " + quoted(ca) + L" -o " + quoted(folder / "curl-copy") +
                      L" -w %{time_total} '" + url + L"' > " + quoted(folder) + L"/curl.new && mv " + quoted(folder) +
                      L"/curl.new " + quoted(result) + L"\"");
  if (!Corvanthorne::Testing::waitForFile(result, std::chrono::seconds(300))) throw std::runtime_error("curl failed");
  return std::strtod(Corvanthorne::Testing::readFile(result).c_str(), nullptr);
}

}  // namespace

int main(int argc, char** argv) try {
  const std::size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  Corvanthorne::Testing::TempDir root, work;
  const std::string sha256 = writeObject(root / "objects" / "big", mebibytes);
  const std::uint64_t size = std::uint64_t{mebibytes} << 20;
  Corvanthorne::Testing::LocalHttpsServer server(root.path());

  // Every curl round comes first: under Wine, starting a Unix program after an HTTPS
  // connection of this process has gone idle breaks the sockets of later connections.
  double curl = 1e30, ours = 1e30;
  for (int i = 0; i < rounds; ++i)
    curl = std::min(curl, curlSeconds(server.url("/objects/big"), server.caCertificate(), work.path()));
  const fs::path target = work / "downloaded";
  for (int i = 0; i < rounds; ++i) {
    ours = std::min(ours, seconds([&] {
      Corvanthorne::Update::downloadFile(server.url(), "objects/big", target, size);
      if (!Corvanthorne::Update::holdsFile(target, size, sha256)) throw std::runtime_error("checksum failed");
    }));
    fs::remove(target);
  }
  std::printf("size %zu MiB, best of %d\ncurl                  %.3f s  %.1f MiB/s\n"
              "downloadFile+SHA-256  %.3f s  %.1f MiB/s\nratio ours/curl throughput %.3f (target >= 0.8)\n",
              mebibytes, rounds, curl, mebibytes / curl, ours, mebibytes / ours, curl / ours);
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "%s\n", error.what());
  return 1;
}
