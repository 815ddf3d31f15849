// cvtool settings normalize FILE: reads a game_settings.ini exactly as the launcher does and
// writes it back in the launcher's layout.
#include <ostream>
#include <stdexcept>
#include <system_error>

#include "common/text.h"
#include "launcher/game_settings.h"
#include "launcher/settings_text.h"
#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Tools {

int runSettings(Arguments arguments, std::ostream& out) {
  if (arguments.size() != 2 || arguments[0] != "normalize") throwUsage("settings normalize FILE");
  const std::filesystem::path file = pathFromUtf8(arguments[1]);
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error))
    throw std::runtime_error("No such settings file: " + pathText(file));
  if (!writeCrlfTextFile(file, formatGameSettings(readGameSettings(file))))
    throw std::runtime_error("Could not write " + pathText(file));
  out << "Normalized " << pathText(file) << "\n";
  return 0;
}

}  // namespace Corvanthorne::Tools
