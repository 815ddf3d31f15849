#pragma once
// Windows are designed at 96 DPI and scaled to the DPI of their monitor, so that they keep
// their physical size on high-DPI screens instead of shrinking.

namespace Corvanthorne {

inline constexpr unsigned kDesignDpi = 96;

// A design length in pixels at dpi, rounded half away from zero as MulDiv rounds; exact at 96.
constexpr int scaleForDpi(int designPixels, unsigned dpi) {
  const long long scaled = static_cast<long long>(designPixels) * dpi;
  const long long half = kDesignDpi / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / kDesignDpi : -((-scaled + half) / kDesignDpi));
}

}  // namespace Corvanthorne
