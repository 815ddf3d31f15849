// What every pointer event costs: one layout() and one mouseMove() of a loaded screen, for
// 300 and 3,000 controls with one bound value per five controls. Reports getter calls per
// layout. Then a replay script of 10,000 events (cvtool ghi replay) against the 300-control
// document, with its cost as a ratio to as many bare mouseMove() calls, each of which lays
// out once too.
#include <benchmark/benchmark.h>

#include <chrono>
#include <sstream>
#include <string>

#include "gui/screen.h"
#include "tools/cvtool/ghi_replay.h"

namespace {

using namespace Corvanthorne::Gui;

// Windows of ten controls: buttons, inputs, a list and a checkbox, every fifth with a bound
// position, visibility or enabled state.
std::wstring documentOf(int controls) {
  std::wstring text = L"Root Application { width = 1280; height = 720;\n";
  static const wchar_t* const bound[] = {L"x = $x.", L"visible = $shown.", L"enabled = $on."};
  int i = 1;
  while (i < controls) {
    const std::wstring window = std::to_wstring(i++);
    text += L"  Window W" + window + L" { x = center; y = 40; width = 600; height = 400; movable = true; playerMovable = true;\n";
    for (int k = 0; k < 9 && i < controls; ++k, ++i) {
      const std::wstring id = std::to_wstring(i);
      const wchar_t* type = k == 3 ? L"Input" : k == 5 ? L"List" : k == 7 ? L"Checkbox" : L"Button";
      text += std::wstring(L"    ") + type + L" C" + id + L" { x = 20; y = " + std::to_wstring(k * 40) +
              L"; width = 160; height = 32; text = Label; anchor = right; ";
      if (i % 5 == 0) text += std::wstring(bound[(i / 5) % 3]) + id + L"; ";
      text += L"}\n";
    }
    text += L"  }\n";
  }
  return text + L"}\n";
}

void layoutAndMove(benchmark::State& state) {
  const int controls = static_cast<int>(state.range(0));
  Screen screen;
  screen.setDocument(parseDocument(documentOf(controls), L"bench.ghi"));
  for (int i = 0; i < controls; ++i) {
    const std::wstring id = std::to_wstring(i);
    screen.bindValue(L"x." + id, [] { return std::wstring(L"24"); });
    screen.bindValue(L"shown." + id, [] { return std::wstring(L"true"); });
    screen.bindValue(L"on." + id, [] { return std::wstring(L"1"); });
  }
  screen.setClientSize(1920, 1080);
  screen.layout();
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
  const std::wstring document = documentOf(300);
  const std::string script = replayScriptOf(events);
  double replaySeconds = 0, engineSeconds = 0;
  for (auto _ : state) {
    Screen replayed, engine;
    replayed.setDocument(parseDocument(document, L"bench.ghi"));
    engine.setDocument(parseDocument(document, L"bench.ghi"));
    std::istringstream in(script);
    std::ostringstream out;
    const auto start = std::chrono::steady_clock::now();
    Corvanthorne::Tools::replayScript(replayed, std::nullopt, in, out);
    const auto middle = std::chrono::steady_clock::now();
    for (int i = 0; i < events; ++i) engine.mouseMove(700 + (i & 63), 300);
    const auto end = std::chrono::steady_clock::now();
    const double replay = std::chrono::duration<double>(middle - start).count();
    state.SetIterationTime(replay);
    replaySeconds += replay;
    engineSeconds += std::chrono::duration<double>(end - middle).count();
  }
  state.counters["ratioToBareEvents"] = replaySeconds / engineSeconds;
}

BENCHMARK(replayTenThousandEvents)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
