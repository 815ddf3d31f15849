// Reading and writing game_settings.ini against a baseline of merely splitting the same text
// into words with the same kind of stream: the key lookup and range rules should cost little
// beyond the tokenising every reader has to do.
#include <benchmark/benchmark.h>

#include <sstream>

#include "launcher/game_settings.h"

namespace {

using Corvanthorne::GameSettings;

const std::string& sampleFile() {
  static const std::string text = Corvanthorne::formatGameSettings(GameSettings{});
  return text;
}

void baselineSplitWords(benchmark::State& state) {
  for (auto _ : state) {
    std::istringstream in(sampleFile());
    std::string word;
    std::size_t words = 0;
    while (in >> word) ++words;
    benchmark::DoNotOptimize(words);
  }
}
BENCHMARK(baselineSplitWords);

void parseGameSettings(benchmark::State& state) {
  for (auto _ : state) {
    std::istringstream in(sampleFile());
    GameSettings settings = Corvanthorne::parseGameSettings(in);
    benchmark::DoNotOptimize(settings);
  }
}
BENCHMARK(parseGameSettings);

void formatGameSettings(benchmark::State& state) {
  const GameSettings settings;
  for (auto _ : state) benchmark::DoNotOptimize(Corvanthorne::formatGameSettings(settings));
}
BENCHMARK(formatGameSettings);

}  // namespace

BENCHMARK_MAIN();
