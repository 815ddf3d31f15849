// Timing harness under Wine: what a player on the previous release downloads for a patch.
// (1) One object of pseudo-random bytes, edited four ways, cut with each chunk-size setting in
// turn: bytes to download (missing chunks as ranges plus the index) against the target of at
// most 1.5 times the changed bytes plus 1 MiB (nothing for an unchanged object), and the
// index's size as a share of the object. (2) The cut alone and chunkFile (cut plus SHA-256 of
// every chunk and of the file) against sha256File on the same file, best of 3. (3) The demo
// game (with this build's launcher) published twice through cvtool with one GUI file changed:
// its "patch from" line.
// Usage: bench_patch_win [MiB]   (default 256)
// Build it in a Windows tree configured with -DQEL_BENCH=ON and run it with wine64 from that
// tree: (cd build/windows && wine64 ./bench_patch_win.exe)
#include <cstdio>
#include <functional>
#include <string>

#include "common/text.h"
#include "harness.h"
#include "support/process_win.h"
#include "support/temp_dir.h"
#include "update/chunk_index.h"
#include "update/file_ops.h"

namespace {

namespace fs = std::filesystem;
using namespace Corvanthorne;
using Bytes = std::string;
using Update::ChunkSizes;

Update::ChunkIndex indexOf(const Bytes& data, const ChunkSizes& sizes) {
  Update::ChunkIndex index;
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  for (std::size_t at = 0, length; (length = Update::nextChunkLength(bytes.subspan(at), sizes)) > 0; at += length)
    index.chunks.push_back({at, static_cast<std::uint32_t>(length), Update::sha256Bytes({data.data() + at, length})});
  index.objectSize = data.size();
  return index;
}

Bytes randomBytes(std::size_t size, std::uint64_t state) {
  Bytes bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>((state = state * 6364136223846793005ull + 1442695040888963407ull) >> 56);
  return bytes;
}

struct Edit {
  const char* name;
  unsigned long long changed;
  std::function<Bytes(Bytes)> apply;
};

void reportPatchSizes(const Bytes& original) {
  const std::size_t middle = original.size() / 2;
  const Edit edits[] = {
      {"1 MiB overwritten in the middle", 1 << 20, [&](Bytes b) { return b.replace(middle, 1 << 20, randomBytes(1 << 20, 7)); }},
      {"4 KiB inserted at 100 KiB", 4096, [](Bytes b) { return b.insert(100 << 10, randomBytes(4096, 8)); }},
      {"10 MiB appended", 10 << 20, [](Bytes b) { return b + randomBytes(10 << 20, 9); }},
      {"16 x 4 KiB overwritten, spread", 16 * 4096, [](Bytes b) {
         for (std::size_t i = 0; i < 16; ++i) b.replace((2 * i + 1) * (b.size() / 32), 4096, randomBytes(4096, i));
         return b;
       }},
      {"unchanged", 0, [](Bytes b) { return b; }}};
  const ChunkSizes settings[] = {{8 << 10, 32 << 10, 128 << 10}, {16 << 10, 64 << 10, 256 << 10}, {32 << 10, 128 << 10, 512 << 10}};
  std::printf("%-16s %-32s %12s %12s %12s\n", "min/avg/max KiB", "edit", "changed", "download", "target");
  for (const ChunkSizes& sizes : settings) {
    const Update::ChunkIndex before = indexOf(original, sizes);
    Update::LocalChunks local;
    Update::addLocalChunks(local, before, 0);
    const unsigned long long indexSize = Update::chunkIndexSize(before.chunks.size());
    char setting[32];
    std::snprintf(setting, sizeof setting, "%u/%u/%u", sizes.minimum >> 10, sizes.average >> 10, sizes.maximum >> 10);
    for (const Edit& edit : edits) {
      const Update::ChunkIndex after = indexOf(edit.apply(original), sizes);
      const Update::AssemblyPlan plan = Update::planAssembly(after, local, 8 << 20);
      // An unchanged object keeps its SHA-256: the player fetches neither index nor bytes.
      const unsigned long long download = edit.changed ? plan.downloadBytes + Update::chunkIndexSize(after.chunks.size()) : 0;
      const unsigned long long target = edit.changed ? edit.changed * 3 / 2 + (1 << 20) : 0;
      std::printf("%-16s %-32s %12llu %12llu %12llu %s\n", setting, edit.name, edit.changed, download, target,
                  download <= target && plan.downloadBytes <= target ? "ok" : "OVER");
    }
    std::printf("%-16s mean chunk %.1f KiB, index %llu bytes = %.4f %% of the object\n", setting,
                original.size() / 1024.0 / before.chunks.size(), indexSize, 100.0 * indexSize / original.size());
  }
}

void reportThroughput(const Bytes& original, const fs::path& file) {
  const double mib = original.size() / 1048576.0;
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(original.data()), original.size());
  const double cut = Bench::bestSeconds(3, [&] {
    for (std::size_t at = 0, length; (length = Update::nextChunkLength(bytes.subspan(at))) > 0;) at += length;
  });
  const double chunked = Bench::bestSeconds(3, [&] { Update::chunkFile(file); });
  const double hashed = Bench::bestSeconds(3, [&] { Update::sha256File(file); });
  std::printf("nextChunkLength %8.1f MiB/s\nchunkFile       %8.1f MiB/s\nsha256File      %8.1f MiB/s\n"
              "ratio chunkFile/sha256File throughput %.3f\n", mib / cut, mib / chunked, mib / hashed, hashed / chunked);
}

// The demo game published, then published again with one line added to a GUI file.
void reportDemoGame(const Testing::TempDir& work) {
  const fs::path tree = work / "tree", source = work / "source";
  fs::copy(fs::path(QEL_GAME_DATA_DIR), tree, fs::copy_options::recursive);
  // This build's launcher, also standing in for the game client, as the demo's package has them.
  for (const char* name : {"launcher.exe", "Qelmarin.exe"}) fs::copy_file(Testing::launcherPath(), tree / name);
  const auto run = [&](const std::wstring& arguments) {
    const Testing::ProcessResult result = Testing::runProcess(Testing::cvtool(arguments));
    if (result.exitCode != 0) throw std::runtime_error(result.output);
    return result.output;
  };
  const std::wstring key = Testing::quotedPath(work / "studio.key"), pub = Testing::quotedPath(work / "studio.pub");
  run(L"release keygen " + key + L" " + pub);
  const std::wstring publish = L"release publish --key " + key + L" --public-key " + pub + L" --content 1 --build 1 " +
                               Testing::quotedPath(tree) + L" " + Testing::quotedPath(source);
  run(publish);
  Testing::writeFile(tree / "data/gui/launcher.ghi", Testing::readFile(tree / "data/gui/launcher.ghi") + "\n");
  std::printf("demo game (%s, one line added to data/gui/launcher.ghi):\n%s", pathText(QEL_GAME_DATA_DIR).c_str(),
              run(publish).c_str());
}

}  // namespace

int main(int argc, char** argv) try {
  const auto mebibytes = Bench::argument<std::size_t>(argc, argv, 1, 256);
  Testing::TempDir work;
  std::uint64_t state = 1;
  Bench::writeRandomFile(work / "object", std::uint64_t{mebibytes} << 20, state);
  const Bytes original = Testing::readFile(work / "object");
  std::printf("object of %zu MiB\n", mebibytes);
  reportPatchSizes(original);
  reportThroughput(original, work / "object");
  reportDemoGame(work);
  return 0;
} catch (const std::exception& error) {
  std::fprintf(stderr, "%s\n", error.what());
  return 1;
}
