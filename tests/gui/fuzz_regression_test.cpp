// Inputs kept from fuzzing the document parser (seeds and any crash found): each must
// parse and become a screen's document without failing.
#include <gtest/gtest.h>

#include <filesystem>

#include "gui/screen.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Gui {
namespace {

TEST(FuzzRegression, KeptInputsParse) {
  const std::filesystem::path folder = std::filesystem::path(QEL_TEST_DATA_DIR) / "fuzz" / "fuzz_gui_document";
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string bytes = Testing::readFile(entry.path());
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<wchar_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    Screen screen;
    screen.setDocument(parseDocument(text, L"kept.ghi"));
    ++inputs;
  }
  EXPECT_GE(inputs, 2);
}

}  // namespace
}  // namespace Corvanthorne::Gui
