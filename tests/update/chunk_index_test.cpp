#include "update/chunk_index.h"

#include <gtest/gtest.h>

#include <unordered_set>

#include "common/text.h"

namespace Corvanthorne::Update {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes randomBytes(std::size_t size, std::uint64_t seed) {
  Bytes bytes(size);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>((seed = seed * 6364136223846793005ull + 1442695040888963407ull) >> 56);
  return bytes;
}

// The chunks' contents, in order, each checked to lie within the sizes (the last may be short).
std::vector<std::string> chunksOf(const Bytes& data) {
  std::vector<std::string> chunks;
  for (std::size_t at = 0, length; (length = nextChunkLength(std::span(data).subspan(at))) > 0; at += length) {
    EXPECT_TRUE(length <= kChunkSizes.maximum && (length >= kChunkSizes.minimum || at + length == data.size()));
    chunks.emplace_back(reinterpret_cast<const char*>(data.data() + at), length);
  }
  return chunks;
}

// An edit moves only the cuts near it: what the edited data holds in chunks the original lacks
// stays within the edit plus two maximum chunks, wherever the edit sits. Uniform bytes never
// cut by the rule and fall back on the maximum.
TEST(ChunkIndex, CutsDependOnlyOnNearbyContent) {
  const Bytes original = randomBytes(8 << 20, 1), inserted = randomBytes(12'345, 2);
  const auto edited = [&](std::size_t at, std::size_t removed, const Bytes& added) {
    Bytes data(original.begin(), original.begin() + at);
    data.insert(data.end(), added.begin(), added.end());
    data.insert(data.end(), original.begin() + at + removed, original.end());
    return data;
  };
  const struct {
    Bytes data;
    std::size_t changed;
  } cases[] = {{edited(0, 0, inserted), inserted.size()},          {edited(100'000, 0, randomBytes(4096, 3)), 4096},
               {edited(4 << 20, 1 << 20, randomBytes(1 << 20, 4)), 1 << 20}, {edited(8 << 20, 0, Bytes(3 << 20, 7)), 3 << 20},
               {edited(0, 70'000, {}), 0}, {{}, 0}, {{9}, 1}, {randomBytes(kChunkSizes.minimum + 1, 5), 1 << 20}};
  const std::vector<std::string> before = chunksOf(original);
  const std::unordered_set<std::string> known(before.begin(), before.end());
  for (const auto& c : cases) {
    std::size_t fresh = 0;
    const std::vector<std::string> after = chunksOf(c.data);
    for (const std::string& chunk : after) fresh += known.contains(chunk) ? 0 : chunk.size();
    EXPECT_LE(fresh, c.changed + 2 * kChunkSizes.maximum) << c.changed;
    EXPECT_EQ(after.size() <= 1, c.data.size() <= kChunkSizes.minimum + 1) << c.data.size();
  }
}

std::string shaOf(int number) { return lowerHex(std::string(31, 'x') + static_cast<char>(number)); }

// An index of chunks of these lengths, the k-th chunk's SHA-256 made from k + 1.
ChunkIndex indexOf(const std::vector<std::uint32_t>& lengths, std::uint64_t size = 0) {
  ChunkIndex index{shaOf(0), 0, {}};
  for (const std::uint32_t length : lengths) {
    index.chunks.push_back({index.objectSize, length, shaOf(static_cast<int>(index.chunks.size()) + 1)});
    index.objectSize += length;
  }
  if (size) index.objectSize = size;
  return index;
}

TEST(ChunkIndex, IndexesRoundTripAndDamageIsRefused) {
  const std::uint32_t min = kChunkSizes.minimum, max = kChunkSizes.maximum;
  const ChunkIndex index = indexOf({max, min, 70'000, 5});
  const std::string bytes = composeChunkIndex(index), sha = index.objectSha256;
  const std::uint64_t size = index.objectSize;
  EXPECT_LE(bytes.size(), chunkIndexSizeLimit(size));
  const ChunkIndex parsed = parseChunkIndex(bytes, sha, size);
  EXPECT_EQ(composeChunkIndex(parsed), bytes);
  EXPECT_EQ(parsed.chunks[3].offset, size - 5);
  EXPECT_EQ(parsed.chunks[2].sha256, index.chunks[2].sha256);
  std::string wrongMagic = bytes;
  wrongMagic[7] = '2';
  const struct {
    std::string bytes;
    std::string sha256;
    std::uint64_t size;
  } cases[] = {{bytes.substr(0, bytes.size() - 1), sha, size}, {bytes + "x", sha, size}, {wrongMagic, sha, size},
               {bytes, shaOf(1), size}, {bytes, sha, size + 1}, {"", sha, size},
               {composeChunkIndex(indexOf({max, min}, max + min + 1)), sha, max + min + 1},  // a gap at the end
               {composeChunkIndex(indexOf({max, min, 9}, max + min)), sha, max + min},       // beyond the object
               {composeChunkIndex(indexOf({max + 1, min})), sha, max + 1 + min},             // oversize
               {composeChunkIndex(indexOf({min - 1, min})), sha, 2 * min - 1},               // short, not last
               {composeChunkIndex(indexOf({min, 0})), sha, min}};
  for (const auto& c : cases) {
    try {
      parseChunkIndex(c.bytes, c.sha256, c.size);
      ADD_FAILURE() << c.bytes.size();
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "Invalid chunk index");
    }
  }
}

// A plan as text: "L<file>@<offset>+<chunks>" for a local piece, "R+<chunks>" for a range.
std::string describe(const AssemblyPlan& plan) {
  std::string text;
  for (const AssemblyPiece& piece : plan.pieces) {
    if (piece.local) text.append("L").append(std::to_string(piece.local->file)).append("@").append(std::to_string(piece.local->offset));
    text.append(piece.local ? "+" : "R+").append(std::to_string(piece.chunkCount)).append(" ");
  }
  return text.append(std::to_string(plan.downloadBytes)).append("/").append(std::to_string(plan.reusedBytes));
}

TEST(ChunkIndex, PlansCopyLocalChunksAndMergeMissingOnesIntoBoundedRanges) {
  constexpr std::uint32_t k = 20'000;
  ChunkIndex oldFile = indexOf({k, k, k});  // chunks 1..3, the second and third swapped
  std::swap(oldFile.chunks[1].sha256, oldFile.chunks[2].sha256);
  LocalChunks local;
  addLocalChunks(local, oldFile, 0);
  addLocalChunks(local, indexOf({k, k, k, k, k}), 1);  // 4 and 5 are new
  const ChunkIndex wanted = indexOf({k, k, k, k, k, k, k});
  EXPECT_EQ(describe(planAssembly(wanted, local, 3 * k)), "L0@0+1 L0@40000+1 L0@20000+1 L1@60000+2 R+2 40000/100000");
  EXPECT_EQ(describe(planAssembly(wanted, local, k)), "L0@0+1 L0@40000+1 L0@20000+1 L1@60000+2 R+1 R+1 40000/100000");
  addLocalChunks(local = {}, indexOf({k, k, k}), 0);
  EXPECT_EQ(describe(planAssembly(wanted, local, 10 * k)), "L0@0+3 R+4 80000/60000");
  EXPECT_EQ(describe(planAssembly(indexOf({}), local, 1)), "0/0");
}

}  // namespace
}  // namespace Corvanthorne::Update
