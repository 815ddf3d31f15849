#include <fcntl.h>
#include <io.h>

#include <iostream>
#include <vector>

#include "common/text.h"
#include "tools/cvtool/cvtool.h"

// Arguments come in as UTF-16 and are handed on as UTF-8; input and output are raw bytes so
// that UTF-8 text and line ends pass through pipes unchanged.
int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(Corvanthorne::wideToUtf8(argv[i]));
  return Corvanthorne::Tools::runCvtool(arguments, std::cout, std::cerr);
}
