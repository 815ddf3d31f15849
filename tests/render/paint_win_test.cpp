#include <windows.h>

#include <gtest/gtest.h>

#include "common/text.h"
#include "render/gdi.h"
#include "support/cvtool_outcome.h"
#include "support/dib_win.h"
#include "support/message_of.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Gui {
namespace {

const CorvanthorneGuiTheme& theme = defaultGuiTheme();

bool closeTo(Colour a, Colour b) {
  const auto close = [](uint32_t x, uint32_t y) { return (x > y ? x - y : y - x) <= 4; };
  return close(redOf(a), redOf(b)) && close(greenOf(a), greenOf(b)) && close(blueOf(a), blueOf(b));
}

TEST(GdiPainting, FillsLandWhereTheLayoutPutsThem) {
  Screen screen;
  screen.setDocument(parseDocument(
      L"Root R { width = 400; height = 300; ProgressBar P { x = 10; y = 10; width = 200; height = 30; max = 4; value = 3; }"
      L" Input I { x = 10; y = 60; width = 200; height = 30; }"
      L" List L { x = 10; y = 100; width = 150; height = 80; rowHeight = 20; items = a,b,c,d,e,f,g,h; }"
      L" ScrollBar S { x = 160; y = 100; width = 20; height = 180; targetList = L; }"
      L" Dropdown D { x = 220; y = 10; width = 160; height = 30; items = one, two, three; selectedIndex = 1; }"
      L" Button B { x = 10; y = 200; width = 140; height = 60; visualScale = 4; }"
      L" Button A { x = 190; y = 200; width = 100; height = 60; visualScale = 4; style = action; }"
      L" Button C { x = 295; y = 200; width = 100; height = 60; visualScale = 4; style = character; } }",
      L"gdi.ghi"));
  screen.setClientSize(400, 300);
  screen.layout();
  screen.openPopup(*screen.findNode(L"D"));
  const Testing::Dib dib(400, 300);
  GdiRenderer().paint(screen, theme, dib.dc());
  const struct {
    int32_t x, y;
    Colour colour;
    const char* what;
  } probes[] = {
      {390, 290, rgb(5, 7, 10), "background"},
      {100, 25, theme[76], "progress fill (three quarters of 196 pixels)"},
      {180, 25, theme[2], "progress trough"},
      {100, 75, theme[42], "text field"},
      {170, 150, theme[9], "scroll-bar thumb"},
      {300, 95, theme[9], "selected pop-up row, below its highlight band"},
      {300, 65, theme[6], "another pop-up row"},
      // At four times the scale each button's inner fill is a ring four pixels wide.
      {15, 230, theme[24], "plain button's inner fill"},
      {195, 230, theme[24], "action button's inner fill"},
      {200, 230, theme[36], "action button's face beside its glow"},
      {300, 230, theme[24], "character button's inner fill"},
  };
  for (const auto& probe : probes)
    EXPECT_TRUE(closeTo(dib.at(probe.x, probe.y), probe.colour)) << probe.what << ": " << std::hex << dib.at(probe.x, probe.y);
  screen.setGpuPrepared(true);
  EXPECT_EQ(Testing::messageOf([&] { GdiRenderer().paint(screen, theme, dib.dc()); }), "GDI rendering is forbidden in the game GUI");
}

// PNG files the launcher writes and reads back, and cvtool ghi render's pictures and refusals.
TEST(GdiPainting, PngsRoundTripAndCvtoolRendersDocuments) {
  Testing::TempDir dir;
  const std::vector<uint8_t> pixels = {255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0};
  writePng(dir / "made.png", 3, 2, pixels);
  std::vector<uint8_t> opaque = pixels;  // BGRX is read back as opaque BGRA
  for (size_t i = 3; i < opaque.size(); i += 4) opaque[i] = 255;
  EXPECT_EQ(Testing::pictureOf(loadGuiBitmap(dir / "made.png")), (Testing::Picture{3, 2, opaque}));
  Testing::writeFile(dir / "broken.png", "\x89PNG\r\n\x1a\nnot really");
  EXPECT_FALSE(loadGuiBitmap(dir / "broken.png"));
  EXPECT_FALSE(loadGuiBitmap(dir / "missing.png"));

  Testing::writeFile(dir / "good.ghi", "Root R { width = 320; height = 200; Button B { x = 10; y = 10; width = 100; height = 30; text = Go; } }");
  Testing::writeFile(dir / "bad.ghi", "Root R { Labl L { } }");
  const auto render = [&](const char* document, const char* picture, std::vector<std::string> options = {}) {
    std::vector<std::string> arguments = {"ghi", "render", pathText(dir / document), pathText(dir / picture)};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return Testing::cvtoolOutcome(arguments);
  };
  ASSERT_EQ(render("good.ghi", "good.png", {"--scale", "1.5", "--hover", "B"}).code, 0);
  const Testing::Picture rendered = Testing::pictureOf(loadGuiBitmap(dir / "good.png"));
  EXPECT_EQ(std::make_pair(rendered.width, rendered.height), std::make_pair(LONG{480}, LONG{300}));
  EXPECT_EQ(render("bad.ghi", "bad.png"),
            (Testing::CvtoolOutcome{1, "", pathText(dir / "bad.ghi") + ":1:10: error: Unknown control type 'Labl'.\n"}));
  EXPECT_FALSE(std::filesystem::exists(dir / "bad.png"));
  EXPECT_EQ(render("good.ghi", "x.png", {"--hover", "Nobody"}),
            (Testing::CvtoolOutcome{1, "", "--hover: the document has no control named Nobody\n"}));
}

}  // namespace
}  // namespace Corvanthorne::Gui
