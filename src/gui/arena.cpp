#include "gui/arena.h"

#include <algorithm>
#include <iterator>
#include <cstdint>
#include <new>

namespace Corvanthorne::Gui {
namespace {

// Blocks double from 16 KiB up to this size, so small documents stay small and large ones
// need few blocks.
constexpr size_t kLargestBlock = 1024 * 1024;

}  // namespace

Arena& Arena::operator=(Arena&& other) noexcept {
  blocks_ = std::move(other.blocks_);
  next_ = std::exchange(other.next_, nullptr);
  left_ = std::exchange(other.left_, 0);
  nextBlockSize_ = std::exchange(other.nextBlockSize_, 16 * 1024);
  other.blocks_.clear();
  return *this;
}

void Arena::adopt(Arena&& other) {
  // The current block stays the one to allocate from; the other's blocks are only kept.
  std::move(other.blocks_.begin(), other.blocks_.end(), std::back_inserter(blocks_));
  other = Arena();
}

void* Arena::allocateBytes(size_t size, size_t alignment) {
  const size_t padding = (alignment - reinterpret_cast<uintptr_t>(next_) % alignment) % alignment;
  if (left_ < size || left_ - size < padding) {
    if (size > SIZE_MAX - alignment) throw std::bad_alloc();
    const size_t blockSize = std::max(nextBlockSize_, size + alignment);
    nextBlockSize_ = std::min(nextBlockSize_ * 2, kLargestBlock);
    blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(blockSize));
    next_ = blocks_.back().get();
    left_ = blockSize;
    return allocateBytes(size, alignment);
  }
  std::byte* const start = next_ + padding;
  next_ = start + size;
  left_ -= padding + size;
  return start;
}

}  // namespace Corvanthorne::Gui
