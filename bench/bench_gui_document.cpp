// Parsing and validating GUI documents must grow linearly with the number of controls.
// Reports lexing alone and the whole parse + validation, for 2,000 and 20,000 controls.
#include <benchmark/benchmark.h>

#include <string>

#include "warm_heap_main.h"

#include "gui/document.h"

namespace {

using namespace Corvanthorne::Gui;

// Windows of twenty controls each, with the kinds of properties real documents carry.
std::wstring documentOf(int controls) {
  std::wstring text = L"Root Application { width = 1280; height = 720;\n";
  for (int i = 0; i < controls;) {
    const std::wstring id = std::to_wstring(i);
    text += L"  Window W" + id + L" { x = center; y = 40; width = 600; height = 400; title = \"Window " + id +
            L"\"; # a window\n";
    ++i;
    for (int k = 0; k < 19 && i < controls; ++k, ++i) {
      const std::wstring name = std::to_wstring(i);
      text += L"    Button B" + name + L" { x = 20; y = " + std::to_wstring(k * 20) +
              L"; width = 120; height = 32; text = $label." + name + L"; onClick = press; tabIndex = " + name +
              L"; anchor = right bottom; }\n";
    }
    text += L"  }\n";
  }
  return text + L"}\n";
}

void lexOnly(benchmark::State& state) {
  const std::wstring text = documentOf(static_cast<int>(state.range(0)));
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
  const std::wstring text = documentOf(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(parseDocument(text, L"bench.ghi").controls.data());
}

BENCHMARK(lexOnly)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(parseAndValidate)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return runWithWarmHeap(argc, argv); }
