#include "render/renderer_win.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/handle_win.h"
#include "common/text.h"
#include "render/gui_bitmap_win.h"
#include "support/message_of.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Gui {
namespace {

// One presenter through its life: images decoded once and cached, frames drawn, repeated,
// resized (a zero size is ignored), and a missing image reported with its path.
TEST(Renderer, PresentsRepeatsResizesAndCachesImages) {
  const Testing::TempDir folder;
  const std::vector<uint8_t> pixels(24 * 12 * 4, 0x80);
  writePng(folder / "image.png", 24, 12, pixels);
  const ScopedWindow window(CreateWindowExW(0, L"STATIC", L"renderer test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320,
                                            200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
  ASSERT_TRUE(window);
  Renderer renderer;
  renderer.initializeGui(window.get(), 300, 160);

  const std::wstring image = (folder / "image.png").wstring();
  ID2D1Bitmap& bitmap = renderer.loadBitmap(image);
  EXPECT_EQ(bitmap.GetPixelSize().width, 24u);
  EXPECT_EQ(&renderer.loadBitmap(image), &bitmap);
  EXPECT_EQ(Testing::messageOf([&] { renderer.loadBitmap((folder / "none.png").wstring()); }),
            "Decode GUI image: " + pathText(folder / "none.png"));

  DrawList list;
  list.fillRect(PixelRect{0, 0, 300, 160}, rgb(5, 7, 10));
  list.image(RectF{10, 10, 58, 34}, image);
  list.fillRect(PixelRect{20, 20, 30, 24}, rgb(200, 0, 0), 0.5f, 6);
  list.pushClip(RectF{0, 0, 100, 100});
  list.text(RectF{10, 40, 290, 80}, L"LOADING", TextStyle{rgb(220, 199, 151), 0.5f});
  list.fillTriangle(PointF{0, 0}, PointF{10, 0}, PointF{0, 10}, rgb(1, 2, 3));
  list.glow(RectF{50, 50, 90, 70}, {rgb(66, 60, 47), rgb(55, 52, 43), rgb(38, 39, 38)}, 7);
  list.popClip();
  list.popClip();  // one too many: ignored
  EXPECT_EQ(Testing::messageOf([&] {
              renderer.presentGui(list, 1);
              renderer.presentGui(list, 1);  // shown again without drawing
              renderer.resize(0, 100);
              renderer.resize(200, 120);
              renderer.presentGui(list, 2);
            }),
            "no error");
}

}  // namespace
}  // namespace Corvanthorne::Gui
