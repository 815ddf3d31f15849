// Bringing a release's objects into its package folders: one listing of the installed game,
// chunk indexes for the large objects that changed, and one fetcher for every download.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/text.h"
#include "update/bootstrap.h"
#include "update/file_ops.h"
#include "update/game_file_check.h"
#include "update/game_folder_lock.h"
#include "update/release_objects.h"

namespace Corvanthorne::Update {
namespace {

namespace fs = std::filesystem;

constexpr int kDownloadShare = 70;  // percent of the bootstrap's bar that downloads fill
// A range request's bytes wait in memory until their turn to be written: 4 MiB keeps a
// request's buffer small while a request still moves a lot for its round trip.
constexpr std::uint64_t kMaxRangeBytes = 4 << 20;

bool holdsRecord(const fs::path& path, const PackageFile& record) { return holdsFile(path, record.size, record.sha256); }

// A package file that must come from the source, and the installed file at its path.
struct Wanted {
  const PackageFile* record = nullptr;
  fs::path target;
  fs::path installed;
};

std::uint64_t existingSize(const fs::path& path) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  return error ? 0 : size;
}

// The package files that are neither installed and current nor complete in the package
// folder from an earlier, interrupted run. installed answers for the game; the launcher
// package, outside the game's record, is hashed.
void collectWanted(const LatestPackage& package, const fs::path& gameFolder, GameFileCheck* installed,
                   std::vector<Wanted>& wanted) {
  const fs::path remote = gameFolder / L".corvanthorne" / L"remote";
  for (const PackageFile& record : package.manifest.files) {
    rejectLinks(gameFolder, record.path);
    if (installed ? installed->holds(record) : holdsRecord(gameFolder / record.path, record)) continue;
    // The path passed the package rule, so it has no "..": the lexical form is exact, and it
    // checks every element from the remote folder down, whatever the file system would
    // resolve it to.
    const fs::path target = package.folder / record.path;
    rejectLinks(remote, target.lexically_relative(remote));
    if (holdsRecord(target, record)) continue;
    const fs::path current = gameFolder / record.path;
    wanted.push_back({&record, target, isExistingRegularFile(current) ? current : fs::path()});
  }
}

// Installed files by SHA-256, as the installed manifest lists them: an object the release only
// moved or copied is copied from there. The manifest may be stale; the fetcher checks every
// byte it copies.
using InstalledBySha = std::unordered_map<std::string, fs::path>;

InstalledBySha installedBySha(const fs::path& gameFolder) {
  InstalledBySha found;
  const std::string text = installedManifestText(gameFolder);
  if (text.empty()) return found;
  try {
    for (const PackageFile& file : parsePackageManifestText(text, "game").files)
      found.emplace(file.sha256, gameFolder / file.path);
  } catch (const std::exception&) {
    // A damaged installed manifest only costs the copies.
  }
  return found;
}

// The installed file holding exactly these bytes, if any.
fs::path identicalInstalled(const InstalledBySha& installed, const PackageFile& record) {
  const auto found = installed.find(record.sha256);
  return found != installed.end() && isExistingRegularFile(found->second) ? found->second : fs::path();
}

// A small object the game holds under another path is one local chunk: copied, and checked
// against the signed SHA-256 like any chunk.
void planCopy(const fs::path& from, ObjectJob& job) {
  job.index = ChunkIndex{job.sha256, job.size, {{0, static_cast<std::uint32_t>(job.size), job.sha256}}};
  job.plan = AssemblyPlan{{{0, job.size, LocalChunk{0, 0}, 0, 1}}, 0, job.size};
  job.localFiles = {from};
}

// Chunks of installed files for an object's index: the file at the object's own path, or for
// an object new at its path, the same bytes elsewhere and the large files the release
// removes (a rename then costs nothing).
class LocalSources {
 public:
  LocalSources(const fs::path& gameFolder, const PackageManifest& game) {
    for (const fs::path& removed : game.removals) {
      const fs::path file = gameFolder / removed;
      if (isExistingRegularFile(file) && existingSize(file) >= kChunkedObjectMinimum) removed_.push_back(file);
    }
  }

  // Fills job's local files and returns their chunks.
  LocalChunks chunksFor(const Wanted& wanted, const fs::path& identical, ObjectJob& job) const {
    LocalChunks chunks;
    if (!wanted.installed.empty()) {
      addFile(wanted.installed, chunks, job);
      return chunks;
    }
    if (!identical.empty()) addFile(identical, chunks, job);
    for (const fs::path& removed : removed_) addFile(removed, chunks, job);
    return chunks;
  }

 private:
  static void addFile(const fs::path& file, LocalChunks& chunks, ObjectJob& job) {
    // An installed file that cannot be read only costs its chunks.
    try {
      addLocalChunks(chunks, chunkFile(file, WholeFileHash::Skip), job.localFiles.size());
      job.localFiles.push_back(file);
    } catch (const std::exception&) {
    }
  }

  std::vector<fs::path> removed_;
};

// An index only helps when it is valid for the object and something local matches; otherwise
// the job stays a whole-object download, which a kept ".part" continues.
void planFromIndex(ObjectFetcher& fetcher, const Wanted& wanted, const fs::path& identical, const LocalSources& sources,
                   ObjectJob& job) {
  const PackageFile& record = *wanted.record;
  const std::optional<std::string> bytes =
      fetcher.fetchOptional(chunkIndexName(record.sha256), chunkIndexSizeLimit(record.size));
  if (!bytes) return;
  ChunkIndex index;
  try {
    index = parseChunkIndex(*bytes, record.sha256, record.size);
  } catch (const std::runtime_error&) {
    return;
  }
  const LocalChunks local = sources.chunksFor(wanted, identical, job);
  AssemblyPlan plan = planAssembly(index, local, kMaxRangeBytes);
  if (plan.reusedBytes == 0) {
    job.localFiles.clear();
    return;
  }
  job.index = std::move(index);
  job.plan = std::move(plan);
}

// The bytes a job will receive: what its plan fetches, or what its object lacks beyond a kept
// ".part".
std::uint64_t bytesToReceive(const ObjectJob& job) {
  if (job.index) return job.plan.downloadBytes;
  const std::uint64_t kept = existingSize(job.destination.native() + L".part");
  return kept < job.size ? job.size - kept : job.size;
}

// "Downloading 1.2 GB of 3.4 GB at 45 MB/s" over the bytes the jobs receive, filling the
// download share of the bar.
class ByteProgress {
 public:
  ByteProgress(const InstallProgress& progress, std::uint64_t total, std::uint64_t limit)
      : progress_(progress), total_(total), limit_(limit), start_(std::chrono::steady_clock::now()) {}

  void report(std::uint64_t received) const {
    if (!progress_) return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const std::uint64_t total = std::max(total_, received);  // retries may receive some bytes twice
    const double rate = seconds > 0.5 ? static_cast<double>(received) / seconds : 0;
    progress_(downloadProgressText(received, total, rate, limit_),
              total == 0 ? kDownloadShare : static_cast<int>(received * kDownloadShare / total));
  }

 private:
  const InstallProgress& progress_;
  std::uint64_t total_;
  std::uint64_t limit_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

TransferTotals fetchReleaseObjects(std::wstring_view sourceBase, const fs::path& gameFolder, const LatestPackage& game,
                                   const LatestPackage& launcher, const InstallProgress& progress,
                                   const FetchOptions& options) {
  std::vector<Wanted> wanted;
  GameFileCheck installed(gameFolder, game.manifest.files);
  collectWanted(game, gameFolder, &installed, wanted);
  // What was hashed here is recorded, so that the install that follows reads no file again.
  if (installed.hashedCount() > 0) installed.save(installedManifestText(gameFolder));
  collectWanted(launcher, gameFolder, nullptr, wanted);

  std::uint64_t assembled = 0;
  for (const Wanted& w : wanted) assembled += w.record->size;
  if (options.requireSpace)
    options.requireSpace(assembled + installSpaceNeeded(game.manifest, [&installed](const PackageFile& file) {
                           return installed.installedSize(file);
                         }));

  // Reports come from the fetcher's threads; bytes count only once the jobs run, not while
  // indexes arrive. The reporter outlives the fetcher.
  std::optional<ByteProgress> bytes;
  std::atomic<bool> counting{false};
  std::uint64_t before = 0;
  ObjectFetcher fetcher(sourceBase, options.transfer, [&](const TransferTotals& totals) {
    if (counting.load()) bytes->report(totals.downloaded - before);
  });
  const LocalSources sources(gameFolder, game.manifest);
  const InstalledBySha installedFiles = installedBySha(gameFolder);
  std::vector<ObjectJob> jobs;
  std::uint64_t toReceive = 0;
  for (const Wanted& w : wanted) {
    ObjectJob job;
    job.sha256 = w.record->sha256;
    job.size = w.record->size;
    job.destination = w.target;
    job.linkFreeFrom = gameFolder / L".corvanthorne" / L"remote";
    const fs::path identical = w.installed.empty() ? identicalInstalled(installedFiles, *w.record) : fs::path();
    if (w.record->size >= kChunkedObjectMinimum) {
      if (progress) progress(L"Comparing " + packagePathKey(w.record->path), 0);
      planFromIndex(fetcher, w, identical, sources, job);
    } else if (!identical.empty() && w.record->size > 0) {
      planCopy(identical, job);
    }
    toReceive += bytesToReceive(job);
    jobs.push_back(std::move(job));
  }
  bytes.emplace(progress, toReceive, options.transfer.bytesPerSecond);
  before = fetcher.totals().downloaded;
  counting = true;
  bytes->report(0);
  fetcher.fetch(std::move(jobs));
  return fetcher.totals();
}

}  // namespace Corvanthorne::Update
