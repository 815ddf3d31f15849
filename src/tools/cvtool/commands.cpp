#include <span>

#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Tools {

int runGhi(Arguments arguments, std::ostream& out);

// Each subcommand lives in a file of its own; this table is the only place that lists them.
std::span<const Command> commands() {
  static constexpr Command table[] = {
      Command{"ghi", "ghi check|tree FILE", runGhi},
  };
  return table;
}

}  // namespace Corvanthorne::Tools
