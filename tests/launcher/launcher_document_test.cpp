// The shipped launcher document: it loads without errors and its keyboard flow, replayed with
// cvtool's replay, stays what the player relies on.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "gui/accessible.h"
#include "support/temp_dir.h"
#include "tools/cvtool/ghi_replay.h"

namespace Corvanthorne {
namespace {

const std::filesystem::path kData = std::filesystem::path(QEL_TEST_DATA_DIR);
const std::filesystem::path kDocument = kData / ".." / ".." / "game" / "data" / "gui" / "launcher.ghi";

TEST(LauncherDocument, LoadsCleanlyAndKeepsItsKeyboardFlow) {
  Gui::Screen screen;
  ASSERT_TRUE(screen.load(kDocument));
  // The scroll bar's targetList is read by the engine, though the vocabulary does not list it.
  ASSERT_EQ(screen.document().diagnostics.size(), 1u);
  EXPECT_EQ(screen.document().diagnostics[0].message, L"Unknown property 'targetList' on PatchNotesScroll.");
  EXPECT_TRUE(Gui::unnamedControlWarnings(screen).empty());

  std::ifstream script(kData / "launcher" / "keyboard.replay", std::ios::binary);
  std::ostringstream out;
  EXPECT_EQ(Tools::replayScript(screen, std::nullopt, script, out), 0);
  EXPECT_EQ(out.str(), Testing::readFile(kData / "launcher" / "keyboard.expected"));
}

}  // namespace
}  // namespace Corvanthorne
