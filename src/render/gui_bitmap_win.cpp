#include "render/gui_bitmap_win.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "common/com_win.h"
#include "common/text.h"

namespace Corvanthorne::Gui {
namespace {

using Microsoft::WRL::ComPtr;

ComPtr<IWICImagingFactory> imagingFactory() {
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)))) return {};
  return factory;
}

// The bitmap's pixels must fit what a DIB section and 32-bit sizes can hold.
bool fitsDib(UINT width, UINT height) {
  return width > 0 && height > 0 && width < (1u << 31) && height < (1u << 31) &&
         static_cast<uint64_t>(width) * height * 4 <= UINT32_MAX;
}

GuiBitmap dibSection(int32_t width, int32_t height, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
  if (!bitmap) return {};
  return GuiBitmap(bitmap, [](HBITMAP owned) { DeleteObject(owned); });
}

[[noreturn]] void failWrite(const std::filesystem::path& path, const char* step) {
  throw std::runtime_error("Write PNG " + pathText(path) + ": " + step);
}

}  // namespace

GuiBitmap loadGuiBitmap(const std::filesystem::path& path) {
  const ComScope com;
  const ComPtr<IWICImagingFactory> factory = imagingFactory();
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  if (!factory ||
      FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnLoad, &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return {};
  UINT width = 0, height = 0;
  if (FAILED(converter->GetSize(&width, &height)) || !fitsDib(width, height)) return {};
  void* bits = nullptr;
  GuiBitmap bitmap = dibSection(static_cast<int32_t>(width), static_cast<int32_t>(height), &bits);
  if (!bitmap || FAILED(converter->CopyPixels(nullptr, width * 4, width * height * 4, static_cast<BYTE*>(bits)))) return {};
  return bitmap;
}

void writePng(const std::filesystem::path& path, int32_t width, int32_t height, std::span<const uint8_t> pixels) {
  const ComScope com;
  const ComPtr<IWICImagingFactory> factory = imagingFactory();
  if (!factory) failWrite(path, "no imaging component");
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  if (FAILED(factory->CreateStream(&stream)) || FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)))
    failWrite(path, "cannot create the file");
  if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
      FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) || FAILED(encoder->CreateNewFrame(&frame, nullptr)) ||
      FAILED(frame->Initialize(nullptr)) || FAILED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))))
    failWrite(path, "cannot start the image");
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
  if (FAILED(frame->SetPixelFormat(&format))) failWrite(path, "pixel format refused");
  // The encoder may ask for another layout than ours: convert through a bitmap of our pixels.
  ComPtr<IWICBitmap> source;
  ComPtr<IWICFormatConverter> converter;
  const auto stride = static_cast<UINT>(width) * 4;
  if (FAILED(factory->CreateBitmapFromMemory(static_cast<UINT>(width), static_cast<UINT>(height), GUID_WICPixelFormat32bppBGR,
                                             stride, static_cast<UINT>(pixels.size()), const_cast<BYTE*>(pixels.data()), &source)) ||
      FAILED(factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(source.Get(), format, WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom)) ||
      FAILED(frame->WriteSource(converter.Get(), nullptr)) || FAILED(frame->Commit()) || FAILED(encoder->Commit()))
    failWrite(path, "cannot encode the pixels");
}

}  // namespace Corvanthorne::Gui
