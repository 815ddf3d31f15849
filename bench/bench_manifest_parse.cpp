// Manifest parsing must grow linearly: compare the per-record cost at 10,000 and 100,000
// records in one run (the 100,000 run may cost at most 12 times the 10,000 run). Records are
// kept short, as 100,000 of them must fit the 8 MiB limit.
#include <benchmark/benchmark.h>

#include <string>

#include "update/package_manifest.h"
#include "warm_heap_main.h"

namespace {

std::string manifestWithRecords(int count) {
  const std::string hash(64, 'c');
  std::string text = "CVPACKAGE 1 game bench-1\n";
  for (const char* required : {"Qelmarin.exe", "data/gui/launcher.ghi", "data/gui/game.ghi",
                               "assets/worlds/world_1.world.json"})
    text += hash + " 1 " + required + "\n";
  for (int i = 4; i < count; ++i)
    text += hash + " 42 assets/" + std::to_string(10'000 + i) + "\n";
  return text;
}

void parseManifest(benchmark::State& state) {
  const std::string text = manifestWithRecords(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    // Callers hand the bytes they read over by move; the copy here is not the parser's cost.
    state.PauseTiming();
    std::string bytes = text;
    state.ResumeTiming();
    auto manifest = Corvanthorne::Update::parsePackageManifestText(std::move(bytes), "game");
    benchmark::DoNotOptimize(manifest.files.data());
  }
  state.SetComplexityN(state.range(0));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(parseManifest)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

}  // namespace

int main(int argc, char** argv) { return runWithWarmHeap(argc, argv); }
