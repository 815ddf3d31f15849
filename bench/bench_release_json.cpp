// Parsing a full-size release document (16 MiB, 100,000 file entries): our reader against
// nlohmann::json building its DOM from the same bytes (the baseline, ratios printed at the
// end, with a warm and a cold heap) and simdjson for reference. Before the timings, the peak
// memory of one parse is measured for it and for hostile documents of tiny values.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <malloc.h>
#include <map>
#include <nlohmann/json.hpp>
#include <simdjson.h>
#include <stdexcept>
#include <string>

#include "release_draft.h"
#include "update/release_json.h"

namespace {

using Corvanthorne::Update::composeReleasePayload;
using Corvanthorne::Update::parseReleaseJson;
using Corvanthorne::Update::releaseMetadataSizeLimit;

constexpr int fileCount = 100'000;

// A release payload of exactly the size limit: the file list, padded by the notes text.
std::string makeReleaseDocument() {
  Corvanthorne::Update::ReleaseDraft draft = Corvanthorne::Bench::largeReleaseDraft(fileCount);
  draft.removals = {"old/file.dat"};
  const std::size_t unpadded = composeReleasePayload(draft).size();
  if (unpadded > releaseMetadataSizeLimit) throw std::length_error("benchmark document too large");
  draft.notes.assign(releaseMetadataSizeLimit - unpadded, 'n');
  return composeReleasePayload(draft);
}

const std::string& releaseDocument() {
  static const std::string document = makeReleaseDocument();
  return document;
}

// Warm: the heap keeps what the previous parse freed, as in a long benchmark loop. Cold: the
// freed heap is returned to the system before each parse (untimed), so the parse pays for
// fresh pages as the launcher's single parse per run does.
template <typename Parse>
void parseWith(benchmark::State& state, bool cold, Parse parse) {
  const std::string& document = releaseDocument();
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      malloc_trim(0);
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(parse(document));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document.size()));
}

void parseWithReleaseReader(benchmark::State& state, bool cold) { parseWith(state, cold, parseReleaseJson); }
void parseWithNlohmannJson(benchmark::State& state, bool cold) {
  parseWith(state, cold, [](const std::string& text) { return nlohmann::json::parse(text); });
}

// simdjson reuses its parser's buffers between documents, as it is meant to be used.
void parseWithSimdjson(benchmark::State& state) {
  const simdjson::padded_string document(releaseDocument());
  simdjson::dom::parser parser;
  for (auto _ : state) {
    simdjson::dom::element root;
    if (parser.parse(document).get(root)) state.SkipWithError("simdjson refused the document");
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document.size()));
}

BENCHMARK_CAPTURE(parseWithReleaseReader, warm, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(parseWithNlohmannJson, warm, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(parseWithReleaseReader, cold, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(parseWithNlohmannJson, cold, true)->Unit(benchmark::kMillisecond);
BENCHMARK(parseWithSimdjson)->Unit(benchmark::kMillisecond);

long statusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
  return -1;
}

// A document of the size limit made of one element repeated, as a hostile source could send.
std::string repeatedElements(const std::string& element) {
  std::string text = "[" + element;
  while (text.size() + element.size() + 2 <= releaseMetadataSizeLimit) text += "," + element;
  return text + "]";
}

// What one parse adds to the resident memory at its peak, as a multiple of the document
// size, and with the document itself counted (the limit: below 8 x).
void reportParsePeakMemory(const char* name, const std::string& document) {
  malloc_trim(0);
  const bool reset = static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5");
  const long before = statusKiB("VmRSS:");
  parseReleaseJson(document);
  const double added = static_cast<double>(statusKiB("VmHWM:") - before) * 1024 / static_cast<double>(document.size());
  std::printf("%-28s %9zu bytes: parse peak adds %5.2f x, with the document %5.2f x%s\n", name, document.size(),
              added, added + 1, reset ? "" : " (peak of the whole run)");
}

void reportPeakMemories() {
  {
    const auto tree = parseReleaseJson(releaseDocument());
    const auto* files = tree.root().object().find("files");
    if (!files || files->array().size() != fileCount) throw std::logic_error("benchmark document misread");
  }
  reportParsePeakMemory("release document", releaseDocument());
  const std::pair<const char*, std::string> hostile[] = {
      {"tiny numbers [0,0,...]", "0"},
      {"empty arrays [[],[],...]", "[]"},
      {"31-deep one-element arrays", std::string(31, '[') + "0" + std::string(31, ']')},
      {"short strings", "\"a\""},
      {"one-member objects", "{\"\":0}"},
  };
  for (const auto& [name, element] : hostile) reportParsePeakMemory(name, repeatedElements(element));
}

struct Timing {
  double realMilliseconds = 0;
  double cpuMilliseconds = 0;
};

// Console output plus the mean times of every benchmark, for the ratio line. CPU time is
// given beside real time because other work on a shared machine inflates real time.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) timings[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
  }
  std::map<std::string, Timing> timings;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  reportPeakMemories();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const Timing simdjson = reporter.timings["parseWithSimdjson"];
  std::printf("simdjson (reference): %.1f ms real, %.1f ms CPU\n", simdjson.realMilliseconds, simdjson.cpuMilliseconds);
  for (const char* heap : {"warm", "cold"}) {
    const Timing ours = reporter.timings[std::string("parseWithReleaseReader/") + heap];
    const Timing nlohmann = reporter.timings[std::string("parseWithNlohmannJson/") + heap];
    if (nlohmann.realMilliseconds > 0 && nlohmann.cpuMilliseconds > 0)
      std::printf("%s heap, real/CPU ms: parseReleaseJson %.1f/%.1f, nlohmann::json %.1f/%.1f (baseline); "
                  "ratio %.2f real, %.2f CPU (target <= 1.00)\n",
                  heap, ours.realMilliseconds, ours.cpuMilliseconds, nlohmann.realMilliseconds, nlohmann.cpuMilliseconds,
                  ours.realMilliseconds / nlohmann.realMilliseconds, ours.cpuMilliseconds / nlohmann.cpuMilliseconds);
  }
  benchmark::Shutdown();
  return 0;
}
