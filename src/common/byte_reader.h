#pragma once
// Little-endian binary records: a writer's append and a reader whose every read is checked
// against the bytes left, so that a truncated or damaged record can only fail, never overrun.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Corvanthorne {

template <typename Number>
void appendLittleEndian(std::string& out, Number value) {
  for (std::size_t i = 0; i < sizeof(Number); ++i) out += static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF);
}

class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

  // The next count bytes, or nothing (and the reader spent) when fewer remain.
  std::optional<std::string_view> take(std::size_t count) {
    if (!ok_ || bytes_.size() - position_ < count) {
      ok_ = false;
      return std::nullopt;
    }
    const std::string_view piece = bytes_.substr(position_, count);
    position_ += count;
    return piece;
  }

  // A little-endian number; 0 (and the reader spent) when too few bytes remain.
  template <typename Number>
  Number number() {
    const std::optional<std::string_view> piece = take(sizeof(Number));
    std::uint64_t value = 0;
    if (piece)
      for (std::size_t i = 0; i < sizeof(Number); ++i) value |= std::uint64_t{static_cast<unsigned char>((*piece)[i])} << (8 * i);
    return static_cast<Number>(value);
  }

  bool ok() const { return ok_; }
  bool atEnd() const { return position_ == bytes_.size(); }
  std::size_t remaining() const { return bytes_.size() - position_; }

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
  bool ok_ = true;
};

}  // namespace Corvanthorne
