#pragma once
// Content-defined chunks of release objects. A publisher cuts every large object where a
// rolling hash of its bytes says so, and publishes beside it an index of the chunks' lengths
// and SHA-256s. Cuts depend only on the bytes around them, so an edit moves the boundaries of
// the chunks it touches and no others: a launcher that chunks its installed file the same way
// holds every unchanged chunk already and downloads only the rest, as byte ranges of the
// whole object. Indexes are not signed: each chunk is checked against its SHA-256 before use
// and the assembled object against the signed release record.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Corvanthorne::Update {

// Objects below this are fetched whole: an index would save a player little.
inline constexpr std::uint64_t kChunkedObjectMinimum = 1 << 20;

struct ChunkSizes {
  std::uint32_t minimum = 0;
  std::uint32_t average = 0;
  std::uint32_t maximum = 0;
};
extern const ChunkSizes kChunkSizes;

// The length of the chunk that starts at data[0]; data holds at least kChunkSizes.maximum
// bytes, or everything left of the object. Empty data gives 0.
std::size_t nextChunkLength(std::span<const std::uint8_t> data);
// The same rule with other sizes (average a power of two), for measuring them against each other.
std::size_t nextChunkLength(std::span<const std::uint8_t> data, const ChunkSizes& sizes);

struct ChunkRecord {
  std::uint64_t offset = 0;
  std::uint32_t length = 0;
  std::string sha256;  // 64 lowercase hexadecimal characters
};

struct ChunkIndex {
  std::string objectSha256;
  std::uint64_t objectSize = 0;
  std::vector<ChunkRecord> chunks;  // in order; together they cover the object exactly
};

// "objects/<sha256>.chunks": where a source publishes an object's index.
std::string chunkIndexName(std::string_view objectSha256);

// The size of an index of chunkCount chunks.
std::uint64_t chunkIndexSize(std::uint64_t chunkCount);

// The largest index a well-formed object of this size can have; anything longer is refused
// while it downloads.
std::uint64_t chunkIndexSizeLimit(std::uint64_t objectSize);

// The index file's bytes (format at the top of chunk_index.cpp).
std::string composeChunkIndex(const ChunkIndex& index);

// Refuses, with "Invalid chunk index", bytes that are malformed, name another object (SHA-256
// or size), or whose chunks do not tile the object within kChunkSizes.
ChunkIndex parseChunkIndex(std::string_view bytes, std::string_view objectSha256, std::uint64_t objectSize);

// Cuts and hashes a file (sha256 of the whole file included) as a publisher does; streams it.
// Skip leaves objectSha256 empty: a launcher cutting its installed files needs only the chunks,
// and the whole-file hash is a third of the work.
enum class WholeFileHash { Compute, Skip };
ChunkIndex chunkFile(const std::filesystem::path& file, WholeFileHash wholeFile = WholeFileHash::Compute);

// Where a chunk of a new object can be copied from: a file of the caller's list, at offset.
struct LocalChunk {
  std::size_t file = 0;
  std::uint64_t offset = 0;
};
using LocalChunks = std::unordered_map<std::string, LocalChunk>;  // by chunk SHA-256

// Adds the chunks of `index`, read from the caller's file number `file`, to `local`; a chunk
// already known keeps its first place.
void addLocalChunks(LocalChunks& local, const ChunkIndex& index, std::size_t file);

// One contiguous part of a new object: copied from a local file, or fetched from the source
// as one byte range. It covers whole chunks of the index, each checked before use.
struct AssemblyPiece {
  std::uint64_t offset = 0;  // in the new object
  std::uint64_t length = 0;
  std::optional<LocalChunk> local;  // none: a range request
  std::size_t firstChunk = 0;
  std::size_t chunkCount = 0;
};

struct AssemblyPlan {
  std::vector<AssemblyPiece> pieces;  // in object order, covering it exactly
  std::uint64_t downloadBytes = 0;
  std::uint64_t reusedBytes = 0;
};

// Every chunk of `wanted` held locally is copied; adjacent missing chunks merge into one
// range of at most maxRangeBytes (a longer run is split at chunk boundaries).
AssemblyPlan planAssembly(const ChunkIndex& wanted, const LocalChunks& local, std::uint64_t maxRangeBytes);

}  // namespace Corvanthorne::Update
