// The shipped launcher document: it loads without errors and its keyboard flow, replayed with
// cvtool's replay, stays what the player relies on.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "gui/accessible.h"
#include "support/temp_dir.h"
#include "tools/cvtool/cvtool.h"
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

// The window fills with the backdrop at any DPI: 760 x 480 design units times dpi / 96.
TEST(LauncherDocument, PaintsScaledToTheDpiAsked) {
  for (const auto& [dpi, backdrop] : {std::pair{"96", "0,0,760,480"}, {"144", "0,0,1140,720"}, {"192", "0,0,1520,960"}}) {
    const std::string arguments[] = {"ghi", "drawlist", kDocument.string(), "--dpi", dpi};
    std::ostringstream out, err;
    EXPECT_EQ(Tools::runCvtool(arguments, out, err), 0) << err.str();
    EXPECT_TRUE(out.str().starts_with(std::string("image ") + backdrop + " ")) << dpi;
  }
}

}  // namespace
}  // namespace Corvanthorne
