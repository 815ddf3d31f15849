#include "tools/cvtool/cvtool.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <ostream>
#include <stdexcept>

namespace Corvanthorne::Tools {
namespace {

void printHelp(std::ostream& out) {
  out << "cvtool " QEL_VERSION " - Qelmarin launcher developer tool\n\n"
         "usage:\n"
         "  cvtool --version\n"
         "  cvtool help\n";
  for (const Command& command : commands()) out << "  cvtool " << command.usage << "\n";
}

// How many leading arguments name the command: one, or two for a subcommand that lives in a
// file of its own ("ghi replay"); 0 when they do not name it.
size_t wordsNaming(const Command& command, Arguments arguments) {
  const size_t space = command.name.find(' ');
  if (space == std::string_view::npos) return command.name == arguments[0] ? 1 : 0;
  const bool named = arguments.size() > 1 && command.name.substr(0, space) == arguments[0] &&
                     command.name.substr(space + 1) == arguments[1];
  return named ? 2 : 0;
}

}  // namespace

std::optional<int32_t> wholeNumber(std::string_view token) {
  int32_t value = 0;
  const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
  if (token.empty() || error != std::errc() || end != token.data() + token.size()) return std::nullopt;
  return value;
}

ClientSize clientSizeOf(std::string_view text) {
  const size_t x = text.find('x');
  const auto width = wholeNumber(text.substr(0, x));
  const auto height = x == std::string_view::npos ? std::nullopt : wholeNumber(text.substr(x + 1));
  const auto fits = [](std::optional<int32_t> side) { return side && *side >= 1 && *side <= kLargestClientSide; };
  if (!fits(width) || !fits(height))
    throw std::invalid_argument("--size expects WxH in pixels from 1 to " + std::to_string(kLargestClientSide) +
                                ", for example 1280x720, not '" + std::string(text) + "'");
  return {*width, *height};
}

void throwUsage(std::string_view usage) {
  throw std::invalid_argument("usage: cvtool " + std::string(usage));
}

CommandLine::CommandLine(Arguments arguments, std::initializer_list<std::string_view> optionNames,
                         std::initializer_list<std::string_view> switchNames, std::string_view usage) {
  for (const std::string_view name : optionNames) options_[std::string(name)];
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (!argument.starts_with("--")) {
      words_.push_back(argument);
      continue;
    }
    const std::string_view name = std::string_view(argument).substr(2);
    if (const auto option = options_.find(name); option != options_.end() && i + 1 < arguments.size())
      option->second.push_back(arguments[++i]);
    else if (std::find(switchNames.begin(), switchNames.end(), name) != switchNames.end())
      switches_.emplace(name);
    else
      throwUsage(usage);
  }
}

const std::vector<std::string>& CommandLine::values(std::string_view option) const {
  return options_.find(option)->second;
}

std::string CommandLine::value(std::string_view option, std::string_view fallback) const {
  const std::vector<std::string>& given = values(option);
  return given.empty() ? std::string(fallback) : given.back();
}

int runCvtool(Arguments arguments, std::ostream& out, std::ostream& err) {
  try {
    if (arguments.empty() || arguments[0] == "help" || arguments[0] == "--help") {
      printHelp(out);
      return arguments.empty() ? 1 : 0;
    }
    if (arguments[0] == "--version") {
      out << "cvtool " QEL_VERSION "\n";
      return 0;
    }
    const Command* named = nullptr;
    size_t words = 0;
    for (const Command& command : commands())
      if (const size_t count = wordsNaming(command, arguments); count > words) {
        named = &command;
        words = count;
      }
    if (named) return named->run(arguments.subspan(words), out);
    throw std::invalid_argument("Unknown command: " + arguments[0] + " (try cvtool help)");
  } catch (const std::exception& error) {
    out.flush();
    err << error.what() << "\n";
    return 1;
  }
}

}  // namespace Corvanthorne::Tools
