// Building the draw list of a laid-out screen against laying it out, in the same run, for the
// 300-control benchmark document: the painting part of a build (a build lays the screen out
// first) should cost no more than the layout, and allocate only for the texts and image paths
// of its commands. Counters: paintOverLayout (time of build minus layout, over layout),
// allocations per layout and per build, and the text and image commands per build.
#include <benchmark/benchmark.h>

#include "counting_new.h"
#include "gui_bench_document.h"
#include "render/screen_painter.h"

namespace {

using namespace Corvanthorne::Gui;

void paintVersusLayout(benchmark::State& state) {
  Screen screen = benchScreen(static_cast<int>(state.range(0)));
  DrawList list;
  buildDrawList(screen, defaultGuiTheme(), list);  // the list's capacity is kept from here on
  Tally layout, build;
  uint64_t ownedStrings = 0;
  for (auto _ : state) {
    layout.run([&] { screen.layout(); });
    list.clear();
    state.SetIterationTime(build.run([&] { buildDrawList(screen, defaultGuiTheme(), list); }));
    for (const DrawCommand& command : list.commands()) ownedStrings += !command.text.empty() || !command.imagePath.empty();
  }
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["layoutUs"] = layout.seconds / iterations * 1e6;
  state.counters["paintOverLayout"] = (build.seconds - layout.seconds) / layout.seconds;
  state.counters["allocationsPerLayout"] = static_cast<double>(layout.allocations) / iterations;
  state.counters["allocationsPerBuild"] = static_cast<double>(build.allocations) / iterations;
  state.counters["textAndImageCommands"] = static_cast<double>(ownedStrings) / iterations;
  state.counters["commands"] = static_cast<double>(list.commands().size());
}

BENCHMARK(paintVersusLayout)->Arg(300)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
