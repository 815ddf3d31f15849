#include <windows.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "common/handle_win.h"
#include "common/text.h"
#include "update/chunk_index.h"
#include "update/file_ops.h"

namespace Corvanthorne::Update {

// One buffer of four maximum chunks, reused: at most the unfinished chunk's bytes move to its
// front before each read, and the cut always sees a whole maximum chunk or the file's end.
ChunkIndex chunkFile(const std::filesystem::path& file) {
  ScopedHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!handle) throw std::runtime_error("Could not read " + pathText(file));
  const std::string readFailure = "Could not finish reading " + pathText(file);
  const std::string hashFailure = "Could not hash " + pathText(file);
  std::vector<std::uint8_t> buffer(std::size_t{kChunkSizes.maximum} * 4);
  Sha256Hasher whole;
  ChunkIndex index;
  std::size_t start = 0, end = 0;
  bool atEnd = false;
  while (true) {
    if (!atEnd && end - start < kChunkSizes.maximum) {
      std::memmove(buffer.data(), buffer.data() + start, end - start);
      end -= start;
      start = 0;
      DWORD read = 0;
      if (!ReadFile(handle.get(), buffer.data() + end, static_cast<DWORD>(buffer.size() - end), &read, nullptr))
        throw std::runtime_error(readFailure);
      atEnd = read == 0;
      end += read;
      continue;
    }
    const std::size_t length = nextChunkLength(std::span(buffer.data() + start, end - start));
    if (length == 0) break;
    Sha256Hasher chunk;
    chunk.add(buffer.data() + start, length, hashFailure);
    whole.add(buffer.data() + start, length, hashFailure);
    index.chunks.push_back({index.objectSize, static_cast<std::uint32_t>(length), chunk.finish()});
    index.objectSize += length;
    start += length;
  }
  index.objectSha256 = whole.finish();
  return index;
}

}  // namespace Corvanthorne::Update
