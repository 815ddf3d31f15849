// Building the draw list of a laid-out screen against laying it out, in the same run, for the
// 300-control benchmark document: the painting part of a build (a build lays the screen out
// first) should cost no more than the layout, and allocate only for the texts and image paths
// of its commands. Counters: paintOverLayout (time of build minus layout, over layout),
// allocations per layout and per build, and the text and image commands per build.
#include <benchmark/benchmark.h>

#include <chrono>

#include "counting_new.h"
#include "gui_bench_document.h"
#include "render/screen_painter.h"

namespace {

using namespace Corvanthorne::Gui;
using Clock = std::chrono::steady_clock;

void paintVersusLayout(benchmark::State& state) {
  const int controls = static_cast<int>(state.range(0));
  Screen screen = benchScreen(controls);
  DrawList list;
  buildDrawList(screen, defaultGuiTheme(), list);  // the list's capacity is kept from here on
  double layoutSeconds = 0, buildSeconds = 0;
  uint64_t layoutAllocations = 0, buildAllocations = 0, ownedStrings = 0;
  for (auto _ : state) {
    uint64_t before = allocations.load();
    const auto start = Clock::now();
    screen.layout();
    const auto laidOut = Clock::now();
    layoutAllocations += allocations.load() - before;
    list.clear();
    before = allocations.load();
    const auto built = Clock::now();
    buildDrawList(screen, defaultGuiTheme(), list);
    const auto end = Clock::now();
    buildAllocations += allocations.load() - before;
    layoutSeconds += std::chrono::duration<double>(laidOut - start).count();
    buildSeconds += std::chrono::duration<double>(end - built).count();
    for (const DrawCommand& command : list.commands()) ownedStrings += !command.text.empty() || !command.imagePath.empty();
    state.SetIterationTime(std::chrono::duration<double>(end - built).count());
  }
  const auto perIteration = [&state](double value) { return value / static_cast<double>(state.iterations()); };
  state.counters["layoutUs"] = perIteration(layoutSeconds) * 1e6;
  state.counters["paintOverLayout"] = (buildSeconds - layoutSeconds) / layoutSeconds;
  state.counters["allocationsPerLayout"] = perIteration(static_cast<double>(layoutAllocations));
  state.counters["allocationsPerBuild"] = perIteration(static_cast<double>(buildAllocations));
  state.counters["textAndImageCommands"] = perIteration(static_cast<double>(ownedStrings));
  state.counters["commands"] = static_cast<double>(list.commands().size());
}

BENCHMARK(paintVersusLayout)->Arg(300)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
