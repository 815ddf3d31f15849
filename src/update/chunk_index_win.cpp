#include <windows.h>

#include <cstring>
#include <optional>
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
// (the cut always sees a maximum chunk or the file's end) and hashes each, and each as part of
// the whole file; the unfinished tail moves to the front for the next round. (Hashing the whole
// file on a second thread measured no faster under Wine.)
ChunkIndex chunkFile(const std::filesystem::path& file, WholeFileHash wholeFile) {
  ScopedHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!handle) throw std::runtime_error("Could not read " + pathText(file));
  const std::string readFailure = "Could not finish reading " + pathText(file);
  const std::string hashFailure = "Could not hash " + pathText(file);
  std::vector<std::uint8_t> buffer(std::size_t{kChunkSizes.maximum} * 4);
  std::optional<Sha256Hasher> whole;
  if (wholeFile == WholeFileHash::Compute) whole.emplace();
  ChunkIndex index;
  bool atEnd = false;
  for (std::size_t start = 0, end = 0;;) {
    end = refill(handle.get(), buffer, start, end, atEnd, readFailure);
    for (start = 0; end - start >= kChunkSizes.maximum || (atEnd && start < end);) {
      const std::uint8_t* bytes = buffer.data() + start;
      const auto length = static_cast<std::uint32_t>(nextChunkLength(std::span(bytes, end - start)));
      Sha256Hasher chunk;
      chunk.add(bytes, length, hashFailure);
      if (whole) whole->add(bytes, length, hashFailure);
      index.chunks.push_back({index.objectSize, length, chunk.finish()});
      index.objectSize += length;
      start += length;
    }
    if (start == 0) break;
  }
  if (whole) index.objectSha256 = whole->finish();
  return index;
}

}  // namespace Corvanthorne::Update
