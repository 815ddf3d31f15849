#pragma once
// The timing harnesses' memory figure: this process's peak private bytes so far.
#include <windows.h>

#include <psapi.h>

namespace Corvanthorne::Bench {

inline double peakPrivateMiB() {
  PROCESS_MEMORY_COUNTERS counters{};
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
  return static_cast<double>(counters.PeakPagefileUsage) / (1 << 20);
}

}  // namespace Corvanthorne::Bench
