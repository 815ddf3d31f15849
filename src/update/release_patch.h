#pragma once
// What a player on one release fetches to reach the next: the studio's patch-size estimate at
// publishing time and the launcher's plan before downloading are the same computation.
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "update/chunk_index.h"
#include "update/package_manifest.h"

namespace Corvanthorne::Update {

struct PatchSources {
  // The index the source publishes for a new object; none when it has none or a damaged one.
  std::function<std::optional<ChunkIndex>(const PackageFile& file)> nextIndex;
  // The chunks of a file of the previous release (by its number there), cut as a publisher cuts.
  std::function<ChunkIndex(std::size_t previousFile)> previousChunks;
};

// How one file of the next release is brought in: copied whole from a previous file of the
// same bytes, assembled from previous files' chunks (LocalChunk::file numbers previous files)
// plus ranges, or, with neither, downloaded whole.
struct FilePatch {
  std::size_t file = 0;  // in next
  std::optional<std::size_t> identicalPrevious;
  std::optional<ChunkIndex> index;
  AssemblyPlan plan;
};

struct PatchTotals {
  std::uint64_t downloadBytes = 0;  // ranges, whole objects and the indexes themselves
  std::uint64_t reusedBytes = 0;
};

// Files whose path kept its SHA-256 cost nothing. A changed or new file is copied from any
// previous file of the same bytes; else, when its object has an index, assembled from the
// chunks of the previous file at its path and of the previous files next no longer lists
// (renames cost nothing); else downloaded whole. A later file of an object already planned is
// copied from the first (reused). each, when given, receives every plan in next's order.
PatchTotals planPatch(const std::vector<PackageFile>& next, const std::vector<PackageFile>& previous,
                      const PatchSources& sources, std::uint64_t maxRangeBytes,
                      const std::function<void(FilePatch&&)>& each = {});

}  // namespace Corvanthorne::Update
