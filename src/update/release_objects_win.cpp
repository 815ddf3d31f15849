// Bringing a release's objects into its package folders: one listing of the installed game,
// the publisher's patch plan against the installed files, and one fetcher for every download.
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
#include "update/release_patch.h"

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
    if (installed)
      installed->rejectLinks(record);
    else
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

// The installed files a package's objects may be built from, as a previous release for
// planPatch: the installed manifest's files, and any other installed file at a path the
// package fetches. A fetched file whose record claims the wanted bytes is damaged or missing:
// its SHA-256 is dropped, so that the plan takes it as changed instead of current. Every byte
// copied from these files is checked by the fetcher anyway.
std::vector<PackageFile> installedSources(const std::vector<Wanted>& wanted, const std::string& installedManifest) {
  std::vector<PackageFile> previous;
  if (!installedManifest.empty()) {
    try {
      previous = parsePackageManifestText(installedManifest, "game").files;
    } catch (const std::exception&) {
      // A damaged installed manifest only costs the copies.
    }
  }
  std::unordered_map<std::wstring, std::size_t> byPath;
  for (std::size_t i = 0; i < previous.size(); ++i) byPath.emplace(packagePathIdentity(previous[i].path), i);
  for (const Wanted& w : wanted) {
    const auto found = byPath.find(packagePathIdentity(w.record->path));
    if (found == byPath.end() && !w.installed.empty())
      previous.push_back({"", existingSize(w.installed), w.record->path});
    else if (found != byPath.end() && previous[found->second].sha256 == w.record->sha256)
      previous[found->second].sha256.clear();
  }
  return previous;
}

// The object's published index, when it has a valid one.
std::optional<ChunkIndex> publishedIndex(ObjectFetcher& fetcher, const PackageFile& record) {
  const std::optional<std::string> bytes =
      fetcher.fetchOptional(chunkIndexName(record.sha256), chunkIndexSizeLimit(record.size));
  if (!bytes) return std::nullopt;
  try {
    return parseChunkIndex(*bytes, record.sha256, record.size);
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

// The chunks of an installed file; none when it cannot be read, which only costs its chunks.
ChunkIndex installedChunks(const fs::path& file) {
  try {
    return chunkFile(file, WholeFileHash::Skip);
  } catch (const std::exception&) {
    return {};
  }
}

// An assembly whose local pieces number previous files: the job lists just the files its
// pieces read, numbered anew.
void assembleFrom(ChunkIndex index, AssemblyPlan plan, const std::vector<PackageFile>& previous,
                  const fs::path& gameFolder, ObjectJob& job) {
  std::unordered_map<std::size_t, std::size_t> renumbered;
  for (AssemblyPiece& piece : plan.pieces) {
    if (!piece.local) continue;
    const auto [at, added] = renumbered.try_emplace(piece.local->file, job.localFiles.size());
    if (added) job.localFiles.push_back(gameFolder / previous[piece.local->file].path);
    piece.local->file = at->second;
  }
  job.index = std::move(index);
  job.plan = std::move(plan);
}

// An object the game holds under another path: a small one is one local chunk, checked
// against the signed SHA-256 like any chunk; a large one is assembled from that file's chunks
// when the object has an index (one chunk of its size would be held in memory whole).
void planCopy(ObjectFetcher& fetcher, const PackageFile& record, std::size_t from,
              const std::vector<PackageFile>& previous, const fs::path& gameFolder, ObjectJob& job) {
  if (record.size < kChunkedObjectMinimum) {
    assembleFrom(ChunkIndex{job.sha256, job.size, {{0, static_cast<std::uint32_t>(job.size), job.sha256}}},
                 AssemblyPlan{{{0, job.size, LocalChunk{from, 0}, 0, 1}}, 0, job.size}, previous, gameFolder, job);
    return;
  }
  std::optional<ChunkIndex> index = publishedIndex(fetcher, record);
  if (!index) return;
  LocalChunks local;
  addLocalChunks(local, installedChunks(gameFolder / previous[from].path), from);
  AssemblyPlan plan = planAssembly(*index, local, kMaxRangeBytes);
  if (plan.reusedBytes > 0) assembleFrom(std::move(*index), std::move(plan), previous, gameFolder, job);
}

ObjectJob jobFor(const Wanted& wanted, const fs::path& gameFolder) {
  ObjectJob job;
  job.sha256 = wanted.record->sha256;
  job.size = wanted.record->size;
  job.destination = wanted.target;
  job.linkFreeFrom = gameFolder / L".corvanthorne" / L"remote";
  return job;
}

// The jobs of one package's wanted files, planned as the publisher's patch estimate plans
// them: copies of installed files of the same bytes, assemblies from installed chunks, and
// whole objects for the rest (a second file of one object included: its first copy is not in
// place before the fetch).
void planJobs(const LatestPackage& package, const std::vector<Wanted>& wanted, const std::vector<PackageFile>& previous,
              const fs::path& gameFolder, ObjectFetcher& fetcher, const InstallProgress& progress,
              std::vector<ObjectJob>& jobs) {
  std::unordered_map<const PackageFile*, const Wanted*> byRecord;
  for (const Wanted& w : wanted) byRecord.emplace(w.record, &w);
  std::unordered_map<const PackageFile*, ObjectJob> planned;
  const PatchSources sources{
      [&](const PackageFile& file) -> std::optional<ChunkIndex> {
        if (!byRecord.contains(&file)) return std::nullopt;  // current, or complete from an earlier run
        if (progress) progress(L"Comparing " + packagePathKey(file.path), 0);
        return publishedIndex(fetcher, file);
      },
      [&](std::size_t file) { return installedChunks(gameFolder / previous[file].path); }};
  planPatch(package.manifest.files, previous, sources, kMaxRangeBytes, [&](FilePatch&& patch) {
    const PackageFile& record = package.manifest.files[patch.file];
    const auto w = byRecord.find(&record);
    if (w == byRecord.end()) return;
    ObjectJob job = jobFor(*w->second, gameFolder);
    if (patch.identicalPrevious)
      planCopy(fetcher, record, *patch.identicalPrevious, previous, gameFolder, job);
    else if (patch.index && patch.plan.reusedBytes > 0)
      assembleFrom(std::move(*patch.index), std::move(patch.plan), previous, gameFolder, job);
    planned.emplace(&record, std::move(job));
  });
  for (const Wanted& w : wanted) {
    const auto found = planned.find(w.record);
    jobs.push_back(found != planned.end() ? std::move(found->second) : jobFor(w, gameFolder));
  }
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
  std::vector<Wanted> wantedGame, wantedLauncher;
  GameFileCheck installed(gameFolder, game.manifest.files);
  collectWanted(game, gameFolder, &installed, wantedGame);
  // What was hashed here is recorded, so that the install that follows reads no file again.
  if (installed.hashedCount() > 0) installed.save(installedManifestText(gameFolder));
  collectWanted(launcher, gameFolder, nullptr, wantedLauncher);

  std::uint64_t assembled = 0;
  for (const std::vector<Wanted>* wanted : {&wantedGame, &wantedLauncher})
    for (const Wanted& w : *wanted) assembled += w.record->size;
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
  std::vector<ObjectJob> jobs;
  planJobs(game, wantedGame, installedSources(wantedGame, installedManifestText(gameFolder)), gameFolder,
           fetcher, progress, jobs);
  planJobs(launcher, wantedLauncher, installedSources(wantedLauncher, {}), gameFolder, fetcher, progress,
           jobs);
  std::uint64_t toReceive = 0;
  for (const ObjectJob& job : jobs) toReceive += bytesToReceive(job);
  bytes.emplace(progress, toReceive, options.transfer.bytesPerSecond);
  before = fetcher.totals().downloaded;
  counting = true;
  bytes->report(0);
  fetcher.fetch(std::move(jobs));
  return fetcher.totals();
}

}  // namespace Corvanthorne::Update
