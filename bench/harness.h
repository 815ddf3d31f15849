#pragma once
// Shared by the benchmarks and the Wine timing harnesses: numbers from the command line,
// wall-clock seconds, the best of several rounds (the machine is shared), and files of
// pseudo-random bytes.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

namespace Corvanthorne::Bench {

// The index-th command-line argument as a number, or fallback when it is not given.
template <typename Number>
Number argument(int argc, char** argv, int index, Number fallback) {
  return argc > index ? static_cast<Number>(std::atof(argv[index])) : fallback;
}

// Wall-clock seconds of one run of action.
template <typename Action>
double seconds(Action action) {
  const auto start = std::chrono::steady_clock::now();
  action();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The least of what measure returns in as many calls as rounds.
template <typename Measure>
double bestOf(int rounds, Measure measure) {
  double best = std::numeric_limits<double>::infinity();
  for (int round = 0; round < rounds; ++round) best = std::min(best, measure());
  return best;
}

template <typename Action>
double bestSeconds(int rounds, Action action) {
  return bestOf(rounds, [&] { return seconds(action); });
}

// Writes size pseudo-random bytes to file in 1 MiB blocks; state carries on across files.
inline void writeRandomFile(const std::filesystem::path& file, std::uint64_t size, std::uint64_t& state) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary);
  std::vector<std::uint64_t> block((1 << 20) / 8);
  for (std::uint64_t written = 0; written < size; written += block.size() * 8) {
    for (std::uint64_t& word : block) word = state = state * 6364136223846793005ull + 1442695040888963407ull;
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(std::min<std::uint64_t>(size - written, block.size() * 8)));
  }
}

}  // namespace Corvanthorne::Bench
