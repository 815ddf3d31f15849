// Chunk index file format (binary, integers little-endian):
//
//   8 bytes   "CVCHUNK1"
//   u64       object size in bytes
//   32 bytes  object SHA-256 (raw digest)
//   u32       chunk count
//   chunks:   u32 length, 32 bytes SHA-256 of the chunk (raw digest); in object order
//
// Offsets are implied: the chunks tile the object from byte 0, and nothing may follow the last
// one. Every chunk lies within kChunkSizes but the last, which may be shorter than the minimum.
// About 36 bytes per chunk: 0.055 % of an object cut into 64 KiB chunks. Every read goes through
// a bounds-checked reader, so damage of any kind refuses the whole index.
//
// The cut: a gear hash (h = 2h + gear[byte]) rolls over the bytes from just before the minimum
// size on; the chunk ends after the first byte whose hash has its top bits clear: log2(average)
// + 2 of them before the average size, log2(average) - 2 after it, which pulls lengths towards
// the average (normalised chunking). The hash at a byte depends only on the 64 bytes up to it, so
// an edit moves the cuts of the chunks around it and the cuts realign after it.
//
// Sizes 16 / 64 / 256 KiB (mean chunk 74 KiB), chosen with bench_patch_win on 256 MiB of random
// data against 8/32/128 and 32/128/512: an edit costs about 1.2 mean chunks of data, and every
// patch of an object downloads its whole index. A 4 KiB insertion then costs 214 KB (306 KB and
// 253 KB with the others), 16 spread 4 KiB edits 1.5 MB (0.95 MB and 3.5 MB), the index 0.048 %
// of the object (0.096 % and 0.024 %): smaller chunks double the index, larger ones double what
// each edit costs. On 1 GiB the index dominates small edits: a 4 KiB insertion costs 0.60 MB
// (1.08 MB and 0.45 MB), 16 spread edits 1.89 MB (1.86 MB and 2.78 MB).
#include "update/chunk_index.h"

#include <array>
#include <bit>
#include <stdexcept>

#include "common/byte_reader.h"
#include "common/text.h"

namespace Corvanthorne::Update {

const ChunkSizes kChunkSizes{16 * 1024, 64 * 1024, 256 * 1024};

namespace {

constexpr std::string_view kMagic = "CVCHUNK1";
constexpr std::size_t kDigestBytes = 32;
constexpr std::uint64_t kHeaderBytes = kMagic.size() + 8 + kDigestBytes + 4;
constexpr std::uint64_t kChunkRecordBytes = 4 + kDigestBytes;
constexpr std::size_t kWindowBytes = 64;  // the bytes one gear hash value depends on

// 256 fixed pseudo-random words (splitmix64 from a fixed seed): the cut rule, and so every
// published index, depends on them; they never change.
constexpr std::array<std::uint64_t, 256> makeGearTable() {
  std::array<std::uint64_t, 256> table{};
  std::uint64_t state = 0x51a7c0de2f6b9e35ull;
  for (std::uint64_t& word : table) {
    std::uint64_t z = state += 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    word = z ^ (z >> 31);
  }
  return table;
}
constexpr std::array<std::uint64_t, 256> kGear = makeGearTable();

// A mask of the hash's top bits: their count sets the odds of a cut at each byte.
constexpr std::uint64_t topBits(unsigned count) { return ~std::uint64_t{0} << (64 - count); }

[[noreturn]] void invalidIndex() { throw std::runtime_error("Invalid chunk index"); }

}  // namespace

std::size_t nextChunkLength(std::span<const std::uint8_t> data, const ChunkSizes& sizes) {
  if (data.size() <= sizes.minimum) return data.size();
  const std::size_t limit = std::min<std::size_t>(data.size(), sizes.maximum);
  const std::size_t normal = std::min<std::size_t>(limit, sizes.average);
  const auto averageBits = static_cast<unsigned>(std::bit_width(sizes.average) - 1);
  const std::uint64_t strict = topBits(averageBits + 2), loose = topBits(averageBits - 2);
  const std::uint8_t* bytes = data.data();
  std::uint64_t hash = 0;
  std::size_t i = sizes.minimum > kWindowBytes ? sizes.minimum - kWindowBytes : 0;
  for (; i < sizes.minimum; ++i) hash = (hash << 1) + kGear[bytes[i]];
  for (; i < normal; ++i) {
    hash = (hash << 1) + kGear[bytes[i]];
    if (!(hash & strict)) return i + 1;
  }
  for (; i < limit; ++i) {
    hash = (hash << 1) + kGear[bytes[i]];
    if (!(hash & loose)) return i + 1;
  }
  return limit;
}

std::size_t nextChunkLength(std::span<const std::uint8_t> data) { return nextChunkLength(data, kChunkSizes); }

std::string chunkIndexName(std::string_view objectSha256) {
  return "objects/" + std::string(objectSha256) + ".chunks";
}

std::uint64_t chunkIndexSize(std::uint64_t chunkCount) { return kHeaderBytes + chunkCount * kChunkRecordBytes; }

std::uint64_t chunkIndexSizeLimit(std::uint64_t objectSize) {
  return chunkIndexSize(objectSize / kChunkSizes.minimum + 1);
}

std::string composeChunkIndex(const ChunkIndex& index) {
  std::string out(kMagic);
  out.reserve(chunkIndexSize(index.chunks.size()));
  appendLittleEndian(out, index.objectSize);
  const auto appendDigest = [&](std::string_view sha256) {
    const std::string digest = bytesOfLowerHex(sha256);
    if (digest.size() != kDigestBytes) invalidIndex();
    out += digest;
  };
  appendDigest(index.objectSha256);
  appendLittleEndian(out, static_cast<std::uint32_t>(index.chunks.size()));
  for (const ChunkRecord& chunk : index.chunks) {
    appendLittleEndian(out, chunk.length);
    appendDigest(chunk.sha256);
  }
  return out;
}

ChunkIndex parseChunkIndex(std::string_view bytes, std::string_view objectSha256, std::uint64_t objectSize) {
  ByteReader in(bytes);
  ChunkIndex index;
  if (in.take(kMagic.size()) != kMagic) invalidIndex();
  index.objectSize = in.number<std::uint64_t>();
  const std::optional<std::string_view> digest = in.take(kDigestBytes);
  const auto count = in.number<std::uint32_t>();
  if (!in.ok() || index.objectSize != objectSize || lowerHex(*digest) != objectSha256 ||
      in.remaining() != count * kChunkRecordBytes)
    invalidIndex();
  index.objectSha256 = std::string(objectSha256);
  index.chunks.reserve(count);
  std::uint64_t offset = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto length = in.number<std::uint32_t>();
    const std::string_view chunkDigest = *in.take(kDigestBytes);  // the count was checked above
    const bool last = i + 1 == count;
    if (length == 0 || length > kChunkSizes.maximum || (!last && length < kChunkSizes.minimum) ||
        length > objectSize - offset)
      invalidIndex();
    index.chunks.push_back({offset, length, lowerHex(chunkDigest)});
    offset += length;
  }
  if (offset != objectSize) invalidIndex();
  return index;
}

void addLocalChunks(LocalChunks& local, const ChunkIndex& index, std::size_t file) {
  for (const ChunkRecord& chunk : index.chunks) local.try_emplace(chunk.sha256, LocalChunk{file, chunk.offset});
}

AssemblyPlan planAssembly(const ChunkIndex& wanted, const LocalChunks& local, std::uint64_t maxRangeBytes) {
  AssemblyPlan plan;
  for (std::size_t i = 0; i < wanted.chunks.size(); ++i) {
    const ChunkRecord& chunk = wanted.chunks[i];
    const auto found = local.find(chunk.sha256);
    AssemblyPiece* last = plan.pieces.empty() ? nullptr : &plan.pieces.back();
    if (found != local.end()) {
      plan.reusedBytes += chunk.length;
      const LocalChunk& from = found->second;
      const bool continues = last && last->local && last->local->file == from.file &&
                             last->local->offset + last->length == from.offset;
      if (!continues) last = &plan.pieces.emplace_back(AssemblyPiece{chunk.offset, 0, from, i, 0});
    } else {
      plan.downloadBytes += chunk.length;
      const bool continues = last && !last->local && last->length + chunk.length <= maxRangeBytes;
      if (!continues) last = &plan.pieces.emplace_back(AssemblyPiece{chunk.offset, 0, std::nullopt, i, 0});
    }
    last->length += chunk.length;
    ++last->chunkCount;
  }
  return plan;
}

}  // namespace Corvanthorne::Update
