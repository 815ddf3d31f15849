// Parsing and validating GUI documents (the GUI benchmarks' document) must grow linearly with
// the number of controls.
// Reports lexing alone and the whole parse + validation, for 2,000 and 20,000 controls.
#include <benchmark/benchmark.h>

#include <string>

#include "warm_heap_main.h"

#include "gui/document.h"
#include "gui_bench_document.h"

namespace {

using namespace Corvanthorne::Gui;

void lexOnly(benchmark::State& state) {
  const std::wstring text = benchDocument(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Lexer lexer(text);
    size_t tokens = 0;
    Token token;
    for (lexer.next(token); token.kind != TokenKind::End; lexer.next(token)) ++tokens;
    benchmark::DoNotOptimize(tokens);
  }
  state.counters["bytes"] = static_cast<double>(text.size());
}

void parseAndValidate(benchmark::State& state) {
  const std::wstring text = benchDocument(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(parseDocument(text, L"bench.ghi").controls.data());
}

BENCHMARK(lexOnly)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(parseAndValidate)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return runWithWarmHeap(argc, argv); }
