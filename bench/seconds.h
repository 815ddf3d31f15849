#pragma once
// Wall-clock seconds of one run of an action, for the timing harnesses.
#include <chrono>

template <typename Action>
double seconds(Action action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
