#pragma once
// main() for native benchmarks that parse large documents. The heap stays warm between
// iterations, as in a process that parses once: otherwise glibc hands the freed megabytes back
// to the kernel after every iteration and the next parse pays page faults that grow with the
// heap, not with the parser. Run with "--default-heap" to see the allocator's own behaviour.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <string_view>

inline int runWithWarmHeap(int argc, char** argv) {
  const bool defaultHeap = argc > 1 && std::string_view(argv[1]) == "--default-heap";
  if (defaultHeap) {
    --argc;
    ++argv;
  } else {
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
