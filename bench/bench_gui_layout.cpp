// What every pointer event costs: one layout() and one mouseMove() of a loaded screen, for
// 300 and 3,000 controls with one bound value per five controls. Reports getter calls per
// layout. Then a replay script of 10,000 events (cvtool ghi replay) against the 300-control
// document, with its cost as a ratio to as many bare mouseMove() calls, each of which lays
// out once too.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "gui/screen.h"
#include "gui_bench_document.h"
#include "harness.h"
#include "tools/cvtool/ghi_replay.h"

namespace {

using namespace Corvanthorne::Gui;
using Corvanthorne::Bench::seconds;

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

// Clicks a button and an input of the topmost window, types, scrolls its list, tabs, ticks
// and moves the pointer.
std::string replayScriptOf(int events) {
  static const char* const cycle[] = {"down 800 50", "up 800 50",     "key tab",            "down 800 170", "up 800 170",
                                      "type ab",     "key backspace", "wheel 800 250 -120", "tick 16"};
  std::string script;
  for (int i = 0; i < events; ++i)
    script += (i % 10 == 9 ? "move " + std::to_string(700 + i % 64) + " 300" : std::string(cycle[i % 10])) + '\n';
  return script;
}

void replayTenThousandEvents(benchmark::State& state) {
  constexpr int events = 10'000;
  const std::wstring document = benchDocument(300);
  const std::string script = replayScriptOf(events);
  double replaySeconds = 0, engineSeconds = 0;
  for (auto _ : state) {
    Screen replayed, engine;
    replayed.setDocument(parseDocument(document, L"bench.ghi"));
    engine.setDocument(parseDocument(document, L"bench.ghi"));
    std::istringstream in(script);
    std::ostringstream out;
    const double replay = seconds([&] { Corvanthorne::Tools::replayScript(replayed, std::nullopt, in, out); });
    state.SetIterationTime(replay);
    replaySeconds += replay;
    engineSeconds += seconds([&] {
      for (int i = 0; i < events; ++i) engine.mouseMove(700 + (i & 63), 300);
    });
  }
  state.counters["ratioToBareEvents"] = replaySeconds / engineSeconds;
}

BENCHMARK(replayTenThousandEvents)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
