#pragma once
// CPU time of a thread, for statistics and benchmarks.
#include <windows.h>

namespace Corvanthorne {

// User plus kernel seconds the thread (by default the calling one) has used; 0 when the system
// cannot tell.
inline double threadCpuSeconds(HANDLE thread = GetCurrentThread()) {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0.0;
  const auto ticks = [](const FILETIME& time) {
    return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  };
  return (ticks(kernel) + ticks(user)) / 10'000'000.0;
}

}  // namespace Corvanthorne
