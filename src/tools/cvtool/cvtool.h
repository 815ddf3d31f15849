#pragma once
// cvtool: the command-line tool for studio developers and tests. Arguments arrive as UTF-8
// on every target; a command reports failure by throwing a standard exception whose message
// is printed verbatim to standard error (exit code 1).
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// Option values: a base-10 32-bit integer and nothing else, or none.
std::optional<int32_t> wholeNumber(std::string_view token);

inline constexpr int32_t kLargestClientSide = 32768;
struct ClientSize {
  int32_t width = 0;
  int32_t height = 0;
};
// "--size WxH" in pixels from 1 to 32768; throws std::invalid_argument saying what it expects.
ClientSize clientSizeOf(std::string_view text);

// Thrown for a command line that does not fit a command's usage.
[[noreturn]] void throwUsage(std::string_view usage);

// A command's arguments sorted into "--name VALUE" options, "--name" switches and the
// remaining words, in order. Options and switches may stand anywhere and options may repeat.
class CommandLine {
 public:
  // An unknown "--name", or an option without its value, is a usage error.
  CommandLine(Arguments arguments, std::initializer_list<std::string_view> optionNames,
              std::initializer_list<std::string_view> switchNames, std::string_view usage);

  const std::vector<std::string>& words() const { return words_; }
  // Every value given for the option, in order.
  const std::vector<std::string>& values(std::string_view option) const;
  // The last value given, or fallback.
  std::string value(std::string_view option, std::string_view fallback) const;
  bool has(std::string_view switchName) const { return switches_.contains(switchName); }

 private:
  std::vector<std::string> words_;
  std::map<std::string, std::vector<std::string>, std::less<>> options_;
  std::set<std::string, std::less<>> switches_;
};

}  // namespace Corvanthorne::Tools
