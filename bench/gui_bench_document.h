#pragma once
// The GUI benchmarks' document: windows of ten controls (buttons, inputs, a list and a check
// box, each with its tab index), every fifth control with a bound position, visibility or
// enabled state, and the bindings it names.
#include <string>

#include "gui/screen.h"

namespace Corvanthorne::Gui {

inline std::wstring benchDocument(int controls) {
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
              L"; width = 160; height = 32; text = Label; anchor = right; tabIndex = " + id + L"; ";
      if (i % 5 == 0) text += std::wstring(bound[(i / 5) % 3]) + id + L"; ";
      text += L"}\n";
    }
    text += L"  }\n";
  }
  return text + L"}\n";
}

// A screen holding the document with its bindings, laid out for a 1920 x 1080 client area.
inline Screen benchScreen(int controls) {
  Screen screen;
  screen.setDocument(parseDocument(benchDocument(controls), L"bench.ghi"));
  for (int i = 0; i < controls; ++i) {
    const std::wstring id = std::to_wstring(i);
    screen.bindValue(L"x." + id, [] { return std::wstring(L"24"); });
    screen.bindValue(L"shown." + id, [] { return std::wstring(L"true"); });
    screen.bindValue(L"on." + id, [] { return std::wstring(L"1"); });
  }
  screen.setClientSize(1920, 1080);
  screen.layout();
  return screen;
}

}  // namespace Corvanthorne::Gui
