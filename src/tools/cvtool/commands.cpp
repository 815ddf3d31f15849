#include <array>

#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Tools {

// Each subcommand lives in a file of its own; this table is the only place that lists them.
std::span<const Command> commands() {
  static constexpr std::array<Command, 0> table = {};
  return table;
}

}  // namespace Corvanthorne::Tools
