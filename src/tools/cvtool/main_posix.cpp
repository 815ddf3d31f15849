#include <iostream>
#include <vector>

#include "tools/cvtool/cvtool.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return Corvanthorne::Tools::runCvtool(arguments, std::cout, std::cerr);
}
