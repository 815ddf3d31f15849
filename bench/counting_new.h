#pragma once
// Counts every global allocation of a benchmark executable (include from one file only), and
// tallies the time and the allocations of the runs of one piece of work.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "harness.h"

inline std::atomic<uint64_t> allocations{0};

// The replacements below pair malloc with free themselves; GCC cannot see that through them.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

struct Tally {
  double seconds = 0;
  uint64_t allocations = 0;

  // Runs action once and adds its time and allocations; returns its time.
  template <typename Action>
  double run(Action action) {
    const uint64_t before = ::allocations.load();
    const double once = Corvanthorne::Bench::seconds(action);
    allocations += ::allocations.load() - before;
    seconds += once;
    return once;
  }
};
