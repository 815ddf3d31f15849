#pragma once
// Memory for the nodes of GUI documents and all their text: a few large blocks handed out in
// order and freed together. A document of tens of thousands of controls would otherwise be
// several small allocations per control, and on large documents the allocator's own work
// grows faster than the document.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace Corvanthorne::Gui {

class Arena {
 public:
  Arena() = default;
  Arena(Arena&& other) noexcept { *this = std::move(other); }
  Arena& operator=(Arena&& other) noexcept;

  // Room for `count` objects that need no destructor; the arena never runs one.
  template <class T>
  T* allocate(size_t count) {
    static_assert(std::is_trivially_destructible_v<T>);
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(allocateBytes(count * sizeof(T), alignof(T)));
  }
  template <class T, class... Arguments>
  T* create(Arguments&&... arguments) {
    return new (allocate<T>(1)) T(std::forward<Arguments>(arguments)...);
  }
  template <class T>
  std::span<const T> copy(std::span<const T> items) {
    if (items.empty()) return {};
    T* copied = allocate<T>(items.size());
    std::uninitialized_copy(items.begin(), items.end(), copied);
    return {copied, items.size()};
  }
  std::wstring_view copy(std::wstring_view text) {
    return text.empty() ? std::wstring_view() : std::wstring_view(copy(std::span<const wchar_t>(text)).data(), text.size());
  }

  // Takes over the blocks of another arena, whose contents stay where they are.
  void adopt(Arena&& other);

 private:
  void* allocateBytes(size_t size, size_t alignment);

  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::byte* next_ = nullptr;
  size_t left_ = 0;
  size_t nextBlockSize_ = 16 * 1024;
};

}  // namespace Corvanthorne::Gui
