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

// The chunks' contents, in order.
std::vector<std::string> chunksOf(const Bytes& data) {
  std::vector<std::string> chunks;
  for (std::size_t at = 0, length; (length = nextChunkLength(std::span(data).subspan(at))) > 0; at += length)
    chunks.emplace_back(reinterpret_cast<const char*>(data.data() + at), length);
  return chunks;
}

// An edit moves only the cuts near it: what the edited data holds in chunks the original lacks
// stays within the edit plus two maximum chunks, wherever the edit sits.
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
  } cases[] = {{edited(0, 0, inserted), inserted.size()},
               {edited(100'000, 0, randomBytes(4096, 3)), 4096},
               {edited(4 << 20, 1 << 20, randomBytes(1 << 20, 4)), 1 << 20},
               {edited(original.size(), 0, randomBytes(3 << 20, 5)), 3 << 20},
               {edited(0, 70'000, {}), 0}};
  const std::vector<std::string> before = chunksOf(original);
  const std::unordered_set<std::string> known(before.begin(), before.end());
  for (const auto& c : cases) {
    std::size_t fresh = 0;
    for (const std::string& chunk : chunksOf(c.data)) fresh += known.contains(chunk) ? 0 : chunk.size();
    EXPECT_LE(fresh, c.changed + 2 * kChunkSizes.maximum) << c.changed;
  }
}

// Random data cuts by the rule; uniform data never does and falls back on the maximum.
TEST(ChunkIndex, ChunksTileTheDataWithinTheirSizes) {
  const Bytes cases[] = {{}, {9}, randomBytes(100, 1), randomBytes(kChunkSizes.minimum, 2),
                         randomBytes(kChunkSizes.minimum + 1, 3), randomBytes(8 << 20, 4), Bytes(3 << 20, 7)};
  for (const Bytes& data : cases) {
    const std::vector<std::string> chunks = chunksOf(data);
    std::size_t total = 0;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
      EXPECT_LE(chunks[i].size(), kChunkSizes.maximum);
      if (i + 1 < chunks.size()) {
        EXPECT_GE(chunks[i].size(), kChunkSizes.minimum) << data.size();
      }
      total += chunks[i].size();
    }
    EXPECT_EQ(total, data.size());
    EXPECT_EQ(chunks.size() <= 1, data.size() <= kChunkSizes.minimum + 1) << data.size();
  }
}

std::string shaOf(int number) { return lowerHex(std::string(31, 'x') + static_cast<char>(number)); }

// An index of chunks of these lengths, the k-th chunk's SHA-256 made from k + 1.
ChunkIndex indexOf(const std::vector<std::uint32_t>& lengths, int object = 0) {
  ChunkIndex index{shaOf(object), 0, {}};
  for (const std::uint32_t length : lengths) {
    index.chunks.push_back({index.objectSize, length, shaOf(static_cast<int>(index.chunks.size()) + 1)});
    index.objectSize += length;
  }
  return index;
}

TEST(ChunkIndex, IndexesRoundTripAndDamageIsRefused) {
  const std::uint32_t min = kChunkSizes.minimum, max = kChunkSizes.maximum;
  const ChunkIndex index = indexOf({max, min, 70'000, 5});
  const std::string bytes = composeChunkIndex(index);
  EXPECT_EQ(bytes.size(), chunkIndexSize(4));
  EXPECT_LE(bytes.size(), chunkIndexSizeLimit(index.objectSize));
  const ChunkIndex parsed = parseChunkIndex(bytes, index.objectSha256, index.objectSize);
  EXPECT_EQ(composeChunkIndex(parsed), bytes);
  EXPECT_EQ(parsed.chunks[3].offset, index.objectSize - 5);
  EXPECT_EQ(parsed.chunks[2].sha256, index.chunks[2].sha256);

  const auto composed = [](const std::vector<std::uint32_t>& lengths, std::uint64_t size) {
    ChunkIndex other = indexOf(lengths);
    other.objectSize = size;
    return composeChunkIndex(other);
  };
  std::string wrongMagic = bytes;
  wrongMagic[7] = '2';
  const struct {
    std::string bytes;
    std::string sha256;
    std::uint64_t size;
  } cases[] = {{bytes.substr(0, bytes.size() - 1), index.objectSha256, index.objectSize},
               {bytes + "x", index.objectSha256, index.objectSize},
               {wrongMagic, index.objectSha256, index.objectSize},
               {bytes, shaOf(1), index.objectSize},
               {bytes, index.objectSha256, index.objectSize + 1},
               {composed({max, min}, max + min + 1), shaOf(0), max + min + 1},      // a gap at the end
               {composed({max, min, 9}, max + min), shaOf(0), max + min},           // beyond the object
               {composed({max + 1, min}, max + min + 1), shaOf(0), max + min + 1},  // oversize
               {composed({min - 1, min}, 2 * min - 1), shaOf(0), 2 * min - 1},      // undersize, not last
               {composed({min, 0}, min), shaOf(0), min},
               {"", index.objectSha256, index.objectSize}};
  for (const auto& c : cases)
    EXPECT_THROW(
        try { parseChunkIndex(c.bytes, c.sha256, c.size); } catch (const std::runtime_error& error) {
          EXPECT_STREQ(error.what(), "Invalid chunk index");
          throw;
        },
        std::runtime_error)
        << c.bytes.size();
}

// A plan as text: "L<file>@<offset>+<chunks>" for a local piece, "R+<chunks>" for a range.
std::string describe(const AssemblyPlan& plan) {
  std::string text;
  for (const AssemblyPiece& piece : plan.pieces)
    text += (piece.local ? "L" + std::to_string(piece.local->file) + "@" + std::to_string(piece.local->offset) : "R") +
            "+" + std::to_string(piece.chunkCount) + " ";
  return text + std::to_string(plan.downloadBytes) + "/" + std::to_string(plan.reusedBytes);
}

TEST(ChunkIndex, PlansCopyLocalChunksAndMergeMissingOnesIntoBoundedRanges) {
  constexpr std::uint32_t k = 20'000;
  const ChunkIndex wanted = indexOf({k, k, k, k, k, k, k});  // chunks 1..7
  ChunkIndex oldFile = indexOf({k, k, k});                    // holds chunks 1..3
  ChunkIndex other = indexOf({k, k, k, k, k});                // holds 4 and 5 (1..3 already known)
  std::swap(oldFile.chunks[1].sha256, oldFile.chunks[2].sha256);
  LocalChunks local;
  addLocalChunks(local, oldFile, 0);
  addLocalChunks(local, other, 1);
  const struct {
    std::uint64_t maxRange;
    std::string plan;
  } cases[] = {{3 * k, "L0@0+1 L0@40000+1 L0@20000+1 L1@60000+2 R+2 40000/100000"},
               {k, "L0@0+1 L0@40000+1 L0@20000+1 L1@60000+2 R+1 R+1 40000/100000"},
               {1, "L0@0+1 L0@40000+1 L0@20000+1 L1@60000+2 R+1 R+1 40000/100000"}};
  for (const auto& c : cases) EXPECT_EQ(describe(planAssembly(wanted, local, c.maxRange)), c.plan) << c.maxRange;
  oldFile = indexOf({k, k, k});
  addLocalChunks(local = {}, oldFile, 0);
  EXPECT_EQ(describe(planAssembly(wanted, local, 10 * k)), "L0@0+3 R+4 80000/60000");
  EXPECT_EQ(describe(planAssembly(indexOf({}), local, k)), "0/0");
}

}  // namespace
}  // namespace Corvanthorne::Update
