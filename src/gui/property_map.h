#pragma once
// The raw properties of one control: a hash map from property name to raw value, keys
// unique, hashed with 64-bit FNV-1a. Entries keep the order in which their names were first
// written. A control with thousands of properties is still looked up through an index, so
// hostile documents stay linear.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gui/arena.h"

namespace Corvanthorne::Gui {

// 64-bit FNV-1a over UTF-16 code units taken as little-endian bytes; every name-keyed map
// of the GUI system hashes with it.
constexpr uint64_t fnv1a(std::wstring_view name) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const wchar_t unit : name) {
    const auto code = static_cast<uint32_t>(unit) & 0xFFFFu;
    hash = (hash ^ (code & 0xFFu)) * 0x100000001b3ull;
    hash = (hash ^ (code >> 8)) * 0x100000001b3ull;
  }
  return hash;
}

// A property name with its hash. Names written in the code are hashed while compiling, since
// layout reads a dozen properties of every control for every frame.
struct PropertyName {
  template <size_t N>
  consteval PropertyName(const wchar_t (&literal)[N]) : text(literal, N - 1), hash(fnv1a(text)) {}
  explicit PropertyName(std::wstring_view name) : text(name), hash(fnv1a(name)) {}

  std::wstring_view text;
  uint64_t hash;
};

struct Property {
  std::wstring_view key;
  std::wstring_view value;
};

// Read-only, with its entries and text in an arena (see PropertyMapBuilder). Small maps are
// searched by hash in their entry array; larger ones also have an open-addressed index.
class PropertyMap {
 public:
  static constexpr size_t kIndexedFrom = 16;

  std::optional<std::wstring_view> find(PropertyName key) const;
  // One bit per name hash (low six bits): most reads ask for properties a control does not
  // have, and a clear bit answers them without a search.
  bool mayHave(PropertyName key) const { return (bits_ >> (key.hash & 63)) & 1; }
  size_t size() const { return size_; }

  class Iterator {
   public:
    Iterator(const PropertyMap& map, size_t index) : map_(&map), index_(index) {}
    Property operator*() const { return map_->at(index_); }
    Iterator& operator++() {
      ++index_;
      return *this;
    }
    bool operator==(const Iterator& other) const { return index_ == other.index_; }

   private:
    const PropertyMap* map_;
    size_t index_;
  };
  Iterator begin() const { return {*this, 0}; }
  Iterator end() const { return {*this, size_}; }

 private:
  friend class PropertyMapBuilder;
  // Offsets into the text; 32 bits suffice because a map holds no more text than its document.
  struct Entry {
    uint64_t hash;
    uint32_t keyStart, keyLength;
    uint32_t valueStart, valueLength;
  };
  static constexpr size_t kNotFound = static_cast<size_t>(-1);

  Property at(size_t index) const;
  size_t findIndex(PropertyName key) const;

  const wchar_t* text_ = nullptr;
  const Entry* entries_ = nullptr;
  const uint32_t* index_ = nullptr;  // entry number + 1 per slot, 0 for free
  uint32_t size_ = 0;
  uint32_t indexSize_ = 0;  // a power of two, or 0 for small maps
  uint64_t bits_ = 0;
};

// Collects the properties of one control while it is parsed; the parser reuses one builder per
// nesting depth, so its buffers are allocated once per document rather than once per control.
class PropertyMapBuilder {
 public:
  // Stores the value; returns false when the key was already present (its value is replaced).
  bool set(std::wstring_view key, std::wstring_view value);
  void clear();
  // An exactly sized copy of the live entries and text.
  PropertyMap build(Arena& arena) const;

 private:
  using Entry = PropertyMap::Entry;
  PropertyMap view() const;
  static void placeInIndex(std::span<uint32_t> index, uint64_t hash, size_t number);
  static void indexEntries(std::span<const Entry> entries, std::span<uint32_t> index);

  std::wstring text_;
  std::vector<Entry> entries_;
  std::vector<uint32_t> index_;
  uint64_t bits_ = 0;
};

}  // namespace Corvanthorne::Gui
