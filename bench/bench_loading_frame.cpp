// Composing one loading-window frame for a 1280 x 720 window (runtime values, the pulsing
// theme, the loading document's draw list with the waterLevel marker, the frame list with the
// image and the file line), against one layout of the same screen in the same run. Target:
// at most 50 microseconds a frame, and no allocation once the file text stops changing.
// Counters: frameUs, frameOverLayout, allocationsPerFrame, commands.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "counting_new.h"
#include "startup/loading_frame.h"

namespace {

using namespace Corvanthorne::Startup;
using Clock = std::chrono::steady_clock;

void composeLoadingFrame(benchmark::State& state) {
  auto block = std::make_unique<LoadingProgressBlock>();
  writeFileText(*block, L"C:\\Games\\Qelmarin\\assets\\worlds\\harbour\\town.map");
  block->stepsPublished = 1;
  block->totalSteps = 12;
  block->completedSteps = 5;
  LoadingFrame frame;
  frame.setImage(L"assets/textures/Loading.png", 1920, 1080);
  double elapsed = 0, frameSeconds = 0, layoutSeconds = 0;
  uint64_t frameAllocations = 0;
  size_t commands = 0;
  // One marker cycle first (3.75 s), so that the lists have held their longest frame.
  frame.readFileText(*block);
  for (int i = 0; i < 480; ++i) frame.compose(1280, 720, progressFraction(*block), i / 120.0, 0);
  for (auto _ : state) {
    elapsed += 1.0 / 120;  // the marker moves and the caption pulses every frame
    const uint64_t before = allocations.load();
    const auto start = Clock::now();
    frame.readFileText(*block);
    commands = frame.compose(1280, 720, progressFraction(*block), elapsed, 0).commands().size();
    const auto composed = Clock::now();
    frameAllocations += allocations.load() - before;
    frame.screen().layout();
    layoutSeconds += std::chrono::duration<double>(Clock::now() - composed).count();
    frameSeconds += std::chrono::duration<double>(composed - start).count();
    state.SetIterationTime(std::chrono::duration<double>(composed - start).count());
  }
  const auto iterations = static_cast<double>(state.iterations());
  state.counters["frameUs"] = frameSeconds / iterations * 1e6;
  state.counters["frameOverLayout"] = frameSeconds / layoutSeconds;
  state.counters["allocationsPerFrame"] = static_cast<double>(frameAllocations) / iterations;
  state.counters["commands"] = static_cast<double>(commands);
}

BENCHMARK(composeLoadingFrame)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
