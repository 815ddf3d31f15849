#include "gui/property_map.h"

#include <algorithm>
#include <bit>

namespace Corvanthorne::Gui {

Property PropertyMap::at(size_t index) const {
  const Entry& entry = entries_[index];
  return {{text_ + entry.keyStart, entry.keyLength}, {text_ + entry.valueStart, entry.valueLength}};
}

size_t PropertyMap::findIndex(PropertyName key) const {
  if (!mayHave(key)) return kNotFound;
  if (indexSize_ == 0) {
    for (size_t i = 0; i < size_; ++i)
      if (entries_[i].hash == key.hash && at(i).key == key.text) return i;
    return kNotFound;
  }
  const size_t mask = indexSize_ - 1;
  for (size_t slot = key.hash & mask; index_[slot] != 0; slot = (slot + 1) & mask) {
    const size_t i = index_[slot] - 1;
    if (entries_[i].hash == key.hash && at(i).key == key.text) return i;
  }
  return kNotFound;
}

std::optional<std::wstring_view> PropertyMap::find(PropertyName key) const {
  const size_t i = findIndex(key);
  if (i == kNotFound) return std::nullopt;
  return at(i).value;
}

PropertyMap PropertyMapBuilder::view() const {
  PropertyMap map;
  map.text_ = text_.data();
  map.entries_ = entries_.data();
  map.index_ = index_.data();
  map.size_ = static_cast<uint32_t>(entries_.size());
  map.indexSize_ = static_cast<uint32_t>(index_.size());
  map.bits_ = bits_;
  return map;
}

// Linear probing from the hash's slot; `number` is the entry index + 1.
void PropertyMapBuilder::placeInIndex(std::span<uint32_t> index, uint64_t hash, size_t number) {
  const size_t mask = index.size() - 1;
  size_t slot = hash & mask;
  while (index[slot] != 0) slot = (slot + 1) & mask;
  index[slot] = static_cast<uint32_t>(number);
}

// `index` holds twice as many slots as entries or more, so probe runs stay short.
void PropertyMapBuilder::indexEntries(std::span<const Entry> entries, std::span<uint32_t> index) {
  std::fill(index.begin(), index.end(), 0);
  for (size_t i = 0; i < entries.size(); ++i) placeInIndex(index, entries[i].hash, i + 1);
}

bool PropertyMapBuilder::set(std::wstring_view key, std::wstring_view value) {
  const PropertyName name(key);
  const size_t existing = view().findIndex(name);
  const auto valueStart = static_cast<uint32_t>(text_.size());
  text_ += value;
  if (existing != PropertyMap::kNotFound) {
    // The old value's text stays behind; build() copies only live text.
    entries_[existing].valueStart = valueStart;
    entries_[existing].valueLength = static_cast<uint32_t>(value.size());
    return false;
  }
  const auto keyStart = static_cast<uint32_t>(text_.size());
  text_ += key;
  entries_.push_back({name.hash, keyStart, static_cast<uint32_t>(key.size()), valueStart,
                      static_cast<uint32_t>(value.size())});
  bits_ |= uint64_t{1} << (name.hash & 63);
  if (entries_.size() >= PropertyMap::kIndexedFrom && entries_.size() * 2 > index_.size()) {
    index_.resize(std::bit_ceil(entries_.size() * 4));
    indexEntries(entries_, index_);
  } else if (!index_.empty()) {
    placeInIndex(index_, name.hash, entries_.size());
  }
  return true;
}

void PropertyMapBuilder::clear() {
  text_.clear();
  entries_.clear();
  index_.clear();
  bits_ = 0;
}

PropertyMap PropertyMapBuilder::build(Arena& arena) const {
  const PropertyMap source = view();
  size_t live = 0;
  for (const Property property : source) live += property.key.size() + property.value.size();
  wchar_t* const text = arena.allocate<wchar_t>(live);
  Entry* const entries = arena.allocate<Entry>(entries_.size());
  size_t used = 0;
  const auto append = [&](std::wstring_view part) {
    std::copy(part.begin(), part.end(), text + used);
    used += part.size();
    return static_cast<uint32_t>(used - part.size());
  };
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Property property = source.at(i);
    const uint32_t valueStart = append(property.value);
    const uint32_t keyStart = append(property.key);
    entries[i] = {entries_[i].hash, keyStart, entries_[i].keyLength, valueStart, entries_[i].valueLength};
  }
  PropertyMap map;
  map.text_ = text;
  map.entries_ = entries;
  map.size_ = source.size_;
  map.bits_ = bits_;
  if (entries_.size() >= PropertyMap::kIndexedFrom) {
    const size_t slots = std::bit_ceil(entries_.size() * 2);
    uint32_t* const index = arena.allocate<uint32_t>(slots);
    indexEntries({entries, entries_.size()}, {index, slots});
    map.index_ = index;
    map.indexSize_ = static_cast<uint32_t>(slots);
  }
  return map;
}

}  // namespace Corvanthorne::Gui
