// Composing one loading-window frame for a 1280 x 720 window (runtime values, the pulsing
// theme, the loading document's draw list with the waterLevel marker, the frame list with the
// image and the file line), against one layout of the same screen in the same run. Target:
// at most 50 microseconds a frame, and no allocation once the file text stops changing.
// Counters: frameUs, frameOverLayout, allocationsPerFrame, commands.
#include <benchmark/benchmark.h>

#include <memory>

#include "counting_new.h"
#include "startup/loading_frame.h"

namespace {

using namespace Corvanthorne::Startup;

void composeLoadingFrame(benchmark::State& state) {
  auto block = std::make_unique<LoadingProgressBlock>();
  writeFileText(*block, L"C:\\Games\\Qelmarin\\assets\\worlds\\harbour\\town.map");
  block->stepsPublished = 1;
  block->totalSteps = 12;
  block->completedSteps = 5;
  LoadingFrame frame;
  frame.setImage(L"assets/textures/Loading.png", 1920, 1080);
  // One marker cycle first (3.75 s), so that the lists have held their longest frame.
  frame.readFileText(*block);
  for (int i = 0; i < 480; ++i) frame.compose(1280, 720, progressFraction(*block), i / 120.0, 0);
  double elapsed = 0;
  size_t commands = 0;
  Tally composed, layout;
  for (auto _ : state) {
    elapsed += 1.0 / 120;  // the marker moves and the caption pulses every frame
    state.SetIterationTime(composed.run([&] {
      frame.readFileText(*block);
      commands = frame.compose(1280, 720, progressFraction(*block), elapsed, 0).commands().size();
    }));
    layout.run([&] { frame.screen().layout(); });
  }
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["frameUs"] = composed.seconds / iterations * 1e6;
  state.counters["frameOverLayout"] = composed.seconds / layout.seconds;
  state.counters["allocationsPerFrame"] = static_cast<double>(composed.allocations) / iterations;
  state.counters["commands"] = static_cast<double>(commands);
}

BENCHMARK(composeLoadingFrame)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
