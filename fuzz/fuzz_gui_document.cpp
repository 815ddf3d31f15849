// libFuzzer target: any text must parse without crashing, and the parsed document must be
// accepted by a Screen. Input bytes are read as UTF-16 code units (pairs, little-endian),
// so unpaired surrogates and every punctuation reach the lexer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "gui/screen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text;
  text.reserve(size / 2);
  for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  Corvanthorne::Gui::Screen screen;
  screen.setDocument(Corvanthorne::Gui::parseDocument(text, L"fuzz.ghi"));
  return 0;
}
