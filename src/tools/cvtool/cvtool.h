#pragma once
// cvtool: the command-line tool for studio developers and tests. Arguments arrive as UTF-8
// on every target; a command reports failure by throwing a standard exception whose message
// is printed verbatim to standard error (exit code 1).
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace Corvanthorne::Tools {

using Arguments = std::span<const std::string>;

struct Command {
  std::string_view name;     // one word, or two for a subcommand in a file of its own ("ghi replay")
  std::string_view usage;    // shown by "cvtool help"
  int (*run)(Arguments arguments, std::ostream& out);  // arguments after the name
};

// Every command of this build, in the order "help" lists them.
std::span<const Command> commands();

// Runs a whole command line (arguments after the program name).
int runCvtool(Arguments arguments, std::ostream& out, std::ostream& err);

// Thrown for a command line that does not fit a command's usage.
[[noreturn]] void throwUsage(std::string_view usage);

}  // namespace Corvanthorne::Tools
