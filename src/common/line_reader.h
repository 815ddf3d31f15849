#pragma once
// Reads one line of a line-based text format through a bounds-checked peek: blank-separated
// tokens, then the verbatim rest of the line.
#include <cstddef>
#include <string_view>

namespace Corvanthorne {

class LineReader {
 public:
  explicit LineReader(std::string_view line) : line_(line) {}

  static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

  // The next blank-delimited token, or empty when the line has no more.
  std::string_view token() {
    while (peekIs(isBlank)) ++position_;
    const std::size_t start = position_;
    while (position_ < line_.size() && !isBlank(line_[position_])) ++position_;
    return line_.substr(start, position_ - start);
  }
  // Everything after the last token read, its separator included.
  std::string_view rest() const { return line_.substr(position_); }

 private:
  bool peekIs(bool (*test)(char)) const { return position_ < line_.size() && test(line_[position_]); }

  std::string_view line_;
  std::size_t position_ = 0;
};

}  // namespace Corvanthorne
