#pragma once
// Runs a cvtool command line in-process, as the tool's own main does, and keeps what it wrote.
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Testing {

struct CvtoolOutcome {
  int code;
  std::string out, err;
  bool operator==(const CvtoolOutcome&) const = default;
};

inline std::ostream& operator<<(std::ostream& stream, const CvtoolOutcome& outcome) {
  return stream << outcome.code << " out:" << outcome.out << " err:" << outcome.err;
}

inline CvtoolOutcome cvtoolOutcome(std::vector<std::string> arguments) {
  std::ostringstream out, err;
  const int code = Tools::runCvtool(arguments, out, err);
  return {code, out.str(), err.str()};
}

}  // namespace Corvanthorne::Testing
