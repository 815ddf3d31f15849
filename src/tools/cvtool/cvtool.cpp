#include "tools/cvtool/cvtool.h"

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

}  // namespace

void throwUsage(std::string_view usage) {
  throw std::invalid_argument("usage: cvtool " + std::string(usage));
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
    for (const Command& command : commands())
      if (command.name == arguments[0]) return command.run(arguments.subspan(1), out);
    throw std::invalid_argument("Unknown command: " + arguments[0] + " (try cvtool help)");
  } catch (const std::exception& error) {
    out.flush();
    err << error.what() << "\n";
    return 1;
  }
}

}  // namespace Corvanthorne::Tools
