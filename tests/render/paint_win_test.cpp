#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>

#include "common/handle_win.h"
#include "common/text.h"
#include "render/gdi.h"
#include "render/gui_bitmap_win.h"
#include "support/message_of.h"
#include "support/temp_dir.h"
#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Gui {
namespace {

const CorvanthorneGuiTheme& theme = defaultGuiTheme();

// A 32-bit top-down DIB with the launcher window's background.
class Dib {
 public:
  Dib(int32_t width, int32_t height) : width_(width), dc_(CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    bitmap_.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0));
    previous_ = SelectObject(dc_.get(), bitmap_.get());
    const RECT all{0, 0, width, height};
    SetDCBrushColor(dc_.get(), RGB(5, 7, 10));
    FillRect(dc_.get(), &all, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  }
  ~Dib() { SelectObject(dc_.get(), previous_); }
  HDC dc() const { return dc_.get(); }
  Colour at(int32_t x, int32_t y) const {
    GdiFlush();
    const uint32_t bgrx = bits_[y * width_ + x];
    return rgb((bgrx >> 16) & 0xFF, (bgrx >> 8) & 0xFF, bgrx & 0xFF);
  }

 private:
  int32_t width_;
  ScopedMemoryDc dc_;
  ScopedGdiObject<HBITMAP> bitmap_;
  HGDIOBJ previous_ = nullptr;
  uint32_t* bits_ = nullptr;
};

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
      L" Dropdown D { x = 220; y = 10; width = 160; height = 30; items = one, two, three; selectedIndex = 1; } }",
      L"gdi.ghi"));
  screen.setClientSize(400, 300);
  screen.layout();
  screen.openPopup(*screen.findNode(L"D"));
  Dib dib(400, 300);
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
  };
  for (const auto& probe : probes)
    EXPECT_TRUE(closeTo(dib.at(probe.x, probe.y), probe.colour)) << probe.what << ": " << std::hex << dib.at(probe.x, probe.y);
  screen.setGpuPrepared(true);
  EXPECT_EQ(Testing::messageOf([&] { GdiRenderer().paint(screen, theme, dib.dc()); }), "GDI rendering is forbidden in the game GUI");
}

TEST(GdiPainting, BitmapsRoundTripThroughPng) {
  Testing::TempDir dir;
  const uint8_t pixels[] = {255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0};  // BGRX
  writePng(dir / "made.png", 3, 2, pixels);
  const GuiBitmap bitmap = loadGuiBitmap(dir / "made.png");
  ASSERT_TRUE(bitmap);
  DIBSECTION section{};
  ASSERT_TRUE(GetObjectW(bitmap.get(), sizeof section, &section));
  EXPECT_EQ(std::make_pair(section.dsBm.bmWidth, section.dsBm.bmHeight), std::make_pair(LONG{3}, LONG{2}));
  const auto* loaded = static_cast<const uint8_t*>(section.dsBm.bmBits);
  for (size_t i = 0; i < sizeof pixels; ++i) EXPECT_EQ(loaded[i], i % 4 == 3 ? 255 : pixels[i]) << i;
  Testing::writeFile(dir / "broken.png", "\x89PNG\r\n\x1a\nnot really");
  EXPECT_FALSE(loadGuiBitmap(dir / "broken.png"));
  EXPECT_FALSE(loadGuiBitmap(dir / "missing.png"));
}

TEST(GdiPainting, CvtoolRendersDocumentsAndRefusesBrokenOnes) {
  Testing::TempDir dir;
  Testing::writeFile(dir / "good.ghi", "Root R { width = 320; height = 200; Button B { x = 10; y = 10; width = 100; height = 30; text = Go; } }");
  Testing::writeFile(dir / "bad.ghi", "Root R { Labl L { } }");
  const auto run = [](std::vector<std::string> arguments, std::string* error = nullptr) {
    std::ostringstream out, err;
    const int code = Tools::runCvtool(arguments, out, err);
    if (error) *error = err.str();
    return code;
  };
  ASSERT_EQ(run({"ghi", "render", pathText(dir / "good.ghi"), pathText(dir / "good.png"), "--scale", "1.5", "--hover", "B"}), 0);
  DIBSECTION section{};
  const GuiBitmap picture = loadGuiBitmap(dir / "good.png");
  ASSERT_TRUE(picture && GetObjectW(picture.get(), sizeof section, &section));
  EXPECT_EQ(std::make_pair(section.dsBm.bmWidth, section.dsBm.bmHeight), std::make_pair(LONG{480}, LONG{300}));
  std::string error;
  EXPECT_EQ(run({"ghi", "render", pathText(dir / "bad.ghi"), pathText(dir / "bad.png")}, &error), 1);
  EXPECT_EQ(error, pathText(dir / "bad.ghi") + ":1:10: error: Unknown control type 'Labl'.\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "bad.png"));
  EXPECT_EQ(run({"ghi", "render", pathText(dir / "good.ghi"), pathText(dir / "x.png"), "--hover", "Nobody"}, &error), 1);
  EXPECT_EQ(error, "--hover: the document has no control named Nobody\n");
}

}  // namespace
}  // namespace Corvanthorne::Gui
