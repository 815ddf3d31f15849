#include <windows.h>

#include <cstring>
#include <future>
#include <stdexcept>
#include <vector>

#include "common/handle_win.h"
#include "common/text.h"
#include "update/chunk_index.h"
#include "update/file_ops.h"

namespace Corvanthorne::Update {
namespace {

// Moves the unread tail of buffer[0, end) from `start` to the front and reads behind it until
// the buffer is full or the file ends; returns the new end.
std::size_t refill(HANDLE file, std::vector<std::uint8_t>& buffer, std::size_t start, std::size_t end,
                   bool& atEnd, const std::string& failure) {
  std::memmove(buffer.data(), buffer.data() + start, end - start);
  end -= start;
  while (!atEnd && end < buffer.size()) {
    DWORD read = 0;
    if (!ReadFile(file, buffer.data() + end, static_cast<DWORD>(buffer.size() - end), &read, nullptr))
      throw std::runtime_error(failure);
    atEnd = read == 0;
    end += read;
  }
  return end;
}

}  // namespace

// One buffer of four maximum chunks, reused: each round cuts every chunk the buffer holds whole
// (the cut always sees a maximum chunk or the file's end), then hashes them one by one while
// another thread hashes the same bytes as part of the whole file; the unfinished tail moves to
// the front for the next round.
ChunkIndex chunkFile(const std::filesystem::path& file) {
  ScopedHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!handle) throw std::runtime_error("Could not read " + pathText(file));
  const std::string readFailure = "Could not finish reading " + pathText(file);
  const std::string hashFailure = "Could not hash " + pathText(file);
  std::vector<std::uint8_t> buffer(std::size_t{kChunkSizes.maximum} * 4);
  Sha256Hasher whole;
  ChunkIndex index;
  bool atEnd = false;
  for (std::size_t start = 0, end = 0;;) {
    end = refill(handle.get(), buffer, start, end, atEnd, readFailure);
    const std::size_t firstChunk = index.chunks.size();
    for (start = 0; end - start >= kChunkSizes.maximum || (atEnd && start < end);) {
      const auto length = static_cast<std::uint32_t>(nextChunkLength(std::span(buffer.data() + start, end - start)));
      index.chunks.push_back({index.objectSize + start, length, {}});
      start += length;
    }
    if (start == 0) break;
    auto wholeHash = std::async(std::launch::async, [&] { whole.add(buffer.data(), start, hashFailure); });
    for (std::size_t i = firstChunk; i < index.chunks.size(); ++i) {
      ChunkRecord& chunk = index.chunks[i];
      Sha256Hasher hasher;
      hasher.add(buffer.data() + (chunk.offset - index.objectSize), chunk.length, hashFailure);
      chunk.sha256 = hasher.finish();
    }
    wholeHash.get();
    index.objectSize += start;
  }
  index.objectSha256 = whole.finish();
  return index;
}

}  // namespace Corvanthorne::Update
