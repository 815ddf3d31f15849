#include <array>

#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Tools {

// Each subcommand lives in a file of its own; this table is the only place that lists them.
extern const Command jsonCommand;

std::span<const Command> commands() {
  static const std::array table = {
      jsonCommand,
  };
  return table;
}

}  // namespace Corvanthorne::Tools
