#include "update/release_patch.h"

#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace Corvanthorne::Update {
namespace {

// The chunks of the previous files that next no longer lists, read once and only when some
// file is assembled from chunks at all.
class RemovedFileChunks {
 public:
  RemovedFileChunks(const std::vector<PackageFile>& next, const std::vector<PackageFile>& previous,
                    const PatchSources& sources)
      : next_(next), previous_(previous), sources_(sources) {}

  LocalChunks& chunks() {
    if (loaded_) return chunks_;
    std::unordered_set<std::wstring> listed;
    for (const PackageFile& file : next_) listed.insert(packagePathIdentity(file.path));
    for (std::size_t i = 0; i < previous_.size(); ++i)
      if (!listed.contains(packagePathIdentity(previous_[i].path))) addLocalChunks(chunks_, sources_.previousChunks(i), i);
    loaded_ = true;
    return chunks_;
  }

 private:
  const std::vector<PackageFile>& next_;
  const std::vector<PackageFile>& previous_;
  const PatchSources& sources_;
  LocalChunks chunks_;
  bool loaded_ = false;
};

// Plans one object from the removed files' chunks plus, for this object only, those of the
// previous file at its path.
AssemblyPlan planFromPrevious(const ChunkIndex& wanted, LocalChunks& removed, std::optional<std::size_t> samePath,
                              const PatchSources& sources, std::uint64_t maxRangeBytes) {
  if (!samePath) return planAssembly(wanted, removed, maxRangeBytes);
  const ChunkIndex old = sources.previousChunks(*samePath);
  std::vector<bool> added(old.chunks.size());
  for (std::size_t i = 0; i < old.chunks.size(); ++i)
    added[i] = removed.try_emplace(old.chunks[i].sha256, LocalChunk{*samePath, old.chunks[i].offset}).second;
  AssemblyPlan plan = planAssembly(wanted, removed, maxRangeBytes);
  for (std::size_t i = 0; i < old.chunks.size(); ++i)
    if (added[i]) removed.erase(old.chunks[i].sha256);
  return plan;
}

}  // namespace

PatchTotals planPatch(const std::vector<PackageFile>& next, const std::vector<PackageFile>& previous,
                      const PatchSources& sources, std::uint64_t maxRangeBytes,
                      const std::function<void(FilePatch&&)>& each) {
  std::unordered_map<std::wstring, std::size_t> previousByPath;
  std::unordered_map<std::string_view, std::size_t> previousBySha;
  for (std::size_t i = 0; i < previous.size(); ++i) {
    previousByPath.emplace(packagePathIdentity(previous[i].path), i);
    previousBySha.emplace(previous[i].sha256, i);
  }
  RemovedFileChunks removed(next, previous, sources);
  std::unordered_set<std::string_view> planned;
  PatchTotals totals;
  for (std::size_t i = 0; i < next.size(); ++i) {
    const PackageFile& file = next[i];
    const auto atPath = previousByPath.find(packagePathIdentity(file.path));
    const std::optional<std::size_t> samePath =
        atPath == previousByPath.end() ? std::nullopt : std::optional<std::size_t>(atPath->second);
    if (samePath && previous[*samePath].sha256 == file.sha256) continue;
    if (!planned.insert(file.sha256).second) {
      totals.reusedBytes += file.size;
      continue;
    }
    FilePatch patch;
    patch.file = i;
    if (const auto same = previousBySha.find(file.sha256); same != previousBySha.end()) {
      patch.identicalPrevious = same->second;
      totals.reusedBytes += file.size;
    } else if (file.size >= kChunkedObjectMinimum && (patch.index = sources.nextIndex(file))) {
      patch.plan = planFromPrevious(*patch.index, removed.chunks(), samePath, sources, maxRangeBytes);
      totals.downloadBytes += patch.plan.downloadBytes + chunkIndexSize(patch.index->chunks.size());
      totals.reusedBytes += patch.plan.reusedBytes;
    } else {
      totals.downloadBytes += file.size;
    }
    if (each) each(std::move(patch));
  }
  return totals;
}

}  // namespace Corvanthorne::Update
