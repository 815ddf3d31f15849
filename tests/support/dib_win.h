#pragma once
// Pictures for painting tests and the paint harness: a 32-bit top-down DIB to paint into, and
// the pixels of a loaded bitmap.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "common/handle_win.h"
#include "render/gui_bitmap_win.h"
#include "render/theme.h"

namespace Corvanthorne::Testing {

class Dib {
 public:
  Dib(int32_t width, int32_t height) : width_(width), height_(height), dc_(CreateCompatibleDC(nullptr)) {
    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    bitmap_.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0));
    previous_ = SelectObject(dc_.get(), bitmap_.get());
    fillBackground();
  }
  ~Dib() { SelectObject(dc_.get(), previous_); }
  Dib(const Dib&) = delete;
  Dib& operator=(const Dib&) = delete;

  HDC dc() const { return dc_.get(); }

  // The launcher window's background, as its paint handler lays it under the screen.
  void fillBackground() const {
    const RECT all{0, 0, width_, height_};
    SetDCBrushColor(dc_.get(), RGB(5, 7, 10));
    FillRect(dc_.get(), &all, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  }

  Gui::Colour at(int32_t x, int32_t y) const {
    GdiFlush();
    const uint32_t bgrx = bits_[y * width_ + x];
    return Gui::rgb((bgrx >> 16) & 0xFF, (bgrx >> 8) & 0xFF, bgrx & 0xFF);
  }

 private:
  int32_t width_, height_;
  ScopedMemoryDc dc_;
  ScopedGdiObject<HBITMAP> bitmap_;
  HGDIOBJ previous_ = nullptr;
  uint32_t* bits_ = nullptr;
};

// The size and the BGRA pixels (top-down rows) of a bitmap; all empty when there is none.
struct Picture {
  LONG width = 0, height = 0;
  std::vector<uint8_t> pixels;
  bool operator==(const Picture&) const = default;

  // Blue, green and red at a point; empty outside the picture.
  std::vector<int> at(POINT point) const {
    if (point.x < 0 || point.y < 0 || point.x >= width || point.y >= height) return {};
    const uint8_t* pixel = pixels.data() + (static_cast<size_t>(point.y) * width + point.x) * 4;
    return {pixel[0], pixel[1], pixel[2]};
  }
};

inline Picture pictureOf(const Gui::GuiBitmap& bitmap) {
  DIBSECTION section{};
  if (!bitmap || !GetObjectW(bitmap.get(), sizeof section, &section)) return {};
  const auto* bits = static_cast<const uint8_t*>(section.dsBm.bmBits);
  return {section.dsBm.bmWidth, section.dsBm.bmHeight,
          {bits, bits + static_cast<size_t>(section.dsBm.bmWidthBytes) * section.dsBm.bmHeight}};
}

}  // namespace Corvanthorne::Testing
