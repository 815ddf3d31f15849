#pragma once
// Runs a cvtool command line in-process, as the tool's own main does, and keeps what it wrote.
#include <sstream>
#include <string>
#include <vector>

#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Testing {

struct CvtoolOutcome {
  int code;
  std::string out, err;
};

inline CvtoolOutcome cvtoolOutcome(std::vector<std::string> arguments) {
  std::ostringstream out, err;
  const int code = Tools::runCvtool(arguments, out, err);
  return {code, out.str(), err.str()};
}

}  // namespace Corvanthorne::Testing
