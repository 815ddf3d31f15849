// What every pointer event costs: one layout() and one mouseMove() of a loaded screen, for
// 300 and 3,000 controls with one bound value per five controls. Reports getter calls per
// layout.
#include <benchmark/benchmark.h>

#include <string>

#include "gui/screen.h"
#include "gui_bench_document.h"

namespace {

using namespace Corvanthorne::Gui;

void layoutAndMove(benchmark::State& state) {
  const int controls = static_cast<int>(state.range(0));
  Screen screen = benchScreen(controls);
  const uint64_t callsBefore = screen.getterCalls();
  int32_t x = 0;
  for (auto _ : state) {
    screen.layout();
    benchmark::DoNotOptimize(screen.mouseMove(700 + (x++ & 63), 300));
  }
  state.counters["getterCallsPerEvent"] =
      static_cast<double>(screen.getterCalls() - callsBefore) / static_cast<double>(state.iterations());
  state.counters["entries"] = static_cast<double>(screen.entries().size());
}

BENCHMARK(layoutAndMove)->Arg(300)->Arg(3000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
