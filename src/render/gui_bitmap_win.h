#pragma once
// Pictures for the GDI painter, decoded with the Windows Imaging Component, and PNG files
// written the same way (cvtool's previews, tests).
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <type_traits>

namespace Corvanthorne::Gui {

// A GDI bitmap shared by its users; the last one deletes it.
using GuiBitmap = std::shared_ptr<std::remove_pointer_t<HBITMAP>>;

// The first frame of an image file as a top-down 32-bit DIB section with premultiplied alpha
// (BGRA). Any failure gives an empty handle.
GuiBitmap loadGuiBitmap(const std::filesystem::path& path);

// Writes top-down 32-bit BGRX pixels (alpha ignored) as an opaque PNG; throws
// std::runtime_error("Write PNG " + path + ": " + step) on failure.
void writePng(const std::filesystem::path& path, int32_t width, int32_t height, std::span<const uint8_t> pixels);

}  // namespace Corvanthorne::Gui
