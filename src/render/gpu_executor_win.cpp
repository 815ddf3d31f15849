#include "render/gpu_executor_win.h"

#include <wincodec.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <stdexcept>

#include "common/text.h"
#include "launcher/game_folder.h"
#include "render/gpu_commands.h"
#include "render/gpu_step_win.h"

namespace Corvanthorne::Gui {
namespace {

using Microsoft::WRL::ComPtr;

D2D1_COLOR_F colourF(Colour colour, float alpha) {
  return D2D1::ColorF(static_cast<float>(redOf(colour)) / 255, static_cast<float>(greenOf(colour)) / 255,
                      static_cast<float>(blueOf(colour)) / 255, alpha);
}

D2D1_RECT_F rectF(const RectF& r) { return D2D1::RectF(r.left, r.top, r.right, r.bottom); }

D2D1_ELLIPSE ellipseIn(const RectF& r) {
  return D2D1::Ellipse(D2D1::Point2F((r.left + r.right) / 2, (r.top + r.bottom) / 2), (r.right - r.left) / 2,
                       (r.bottom - r.top) / 2);
}

// The theme's prepared glow colours (numbers 35, 34 and 33 of the default theme).
constexpr std::array<Colour, 3> kPreparedGlow = {rgb(66, 60, 47), rgb(55, 52, 43), rgb(38, 39, 38)};

}  // namespace

GpuCommandExecutor::GpuCommandExecutor(ID3D11Device& device) {
  // The debug level needs the Direct2D debug layer, which players rarely have: without it,
  // as with the Direct3D debug layer, the factory is made plain.
  for (const D2D1_DEBUG_LEVEL level : {D2D1_DEBUG_LEVEL_INFORMATION, D2D1_DEBUG_LEVEL_NONE}) {
    const D2D1_FACTORY_OPTIONS options{level};
    if (SUCCEEDED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, __uuidof(ID2D1Factory1), &options,
                                    reinterpret_cast<void**>(factory_.ReleaseAndGetAddressOf()))))
      break;
  }
  if (!factory_) throw std::runtime_error("Create D2D GUI factory");
  ComPtr<IDXGIDevice> dxgiDevice;
  checkStep(device.QueryInterface(IID_PPV_ARGS(&dxgiDevice)), "Query GUI DXGI device");
  checkStep(factory_->CreateDevice(dxgiDevice.Get(), &device_), "Create D2D GUI device");
  checkStep(device_->CreateDeviceContext(D2D1_DEVICE_CONTEXT_OPTIONS_NONE, &context_), "Create D2D GUI context");
  checkStep(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                reinterpret_cast<IUnknown**>(writeFactory_.GetAddressOf())),
            "Create DirectWrite GUI factory");
  checkStep(context_->CreateSolidColorBrush(D2D1::ColorF(1, 1, 1, 1), &brush_), "Create GUI brush");
  glowBrush(1, kPreparedGlow);
  createTriangle();
}

void GpuCommandExecutor::createTriangle() {
  checkStep(factory_->CreatePathGeometry(&triangle_), "Create cached GUI triangle geometry");
  ComPtr<ID2D1GeometrySink> sink;
  checkStep(triangle_->Open(&sink), "Open GUI triangle geometry");
  sink->BeginFigure(D2D1::Point2F(0, 0), D2D1_FIGURE_BEGIN_FILLED);
  sink->AddLine(D2D1::Point2F(1, 0));
  sink->AddLine(D2D1::Point2F(0, 1));
  sink->EndFigure(D2D1_FIGURE_END_CLOSED);
  checkStep(sink->Close(), "Close GUI triangle geometry");
}

ID2D1RadialGradientBrush& GpuCommandExecutor::glowBrush(uint8_t slot, const std::array<Colour, 3>& colours) {
  GlowSlot& cached = glowSlots_[std::min<uint8_t>(slot, 1)];
  if (cached.brush && cached.colours == colours) return *cached.brush.Get();
  const D2D1_GRADIENT_STOP stops[] = {
      {0.0f, colourF(colours[0], 1)}, {0.38f, colourF(colours[1], 1)}, {1.0f, colourF(colours[2], 1)}};
  GlowSlot fresh{nullptr, nullptr, colours};
  checkStep(context_->CreateGradientStopCollection(stops, 3, D2D1_GAMMA_2_2, D2D1_EXTEND_MODE_CLAMP, &fresh.stops),
            "Create GUI button glow stops");
  checkStep(context_->CreateRadialGradientBrush(
                D2D1::RadialGradientBrushProperties(D2D1::Point2F(0, 0), D2D1::Point2F(0, 0), 1, 1), fresh.stops.Get(),
                &fresh.brush),
            "Create GUI button glow brush");
  cached = std::move(fresh);
  return *cached.brush.Get();
}

IDWriteTextFormat& GpuCommandExecutor::textFormat(const DrawCommand& command) {
  const TextFormatSpec spec = textFormatSpec(command);
  ComPtr<IDWriteTextFormat>& format = textFormats_[textFormatKey(spec)];
  if (format) return *format.Get();
  ComPtr<IDWriteTextFormat> made;
  checkStep(writeFactory_->CreateTextFormat(availableFamily(spec.family), nullptr,
                                            static_cast<DWRITE_FONT_WEIGHT>(spec.weight), DWRITE_FONT_STYLE_NORMAL,
                                            DWRITE_FONT_STRETCH_NORMAL, spec.size, L"en-us", &made),
            "Create cached GUI text format");
  made->SetTextAlignment(spec.alignment == alignCentre     ? DWRITE_TEXT_ALIGNMENT_CENTER
                         : spec.alignment == alignTrailing ? DWRITE_TEXT_ALIGNMENT_TRAILING
                                                           : DWRITE_TEXT_ALIGNMENT_LEADING);
  made->SetParagraphAlignment(DWRITE_PARAGRAPH_ALIGNMENT_CENTER);
  made->SetWordWrapping(spec.wrap ? DWRITE_WORD_WRAPPING_WRAP : DWRITE_WORD_WRAPPING_NO_WRAP);
  format = std::move(made);
  return *format.Get();
}

// The first candidate the system has; without any, the requested name (drawing nothing).
const wchar_t* GpuCommandExecutor::availableFamily(uint32_t family) {
  const std::span<const wchar_t* const> candidates = fontFamilyCandidates(family);
  if (!systemFonts_ && FAILED(writeFactory_->GetSystemFontCollection(&systemFonts_, FALSE))) return candidates.front();
  for (const wchar_t* name : candidates) {
    UINT32 index = 0;
    BOOL exists = FALSE;
    if (SUCCEEDED(systemFonts_->FindFamilyName(name, &index, &exists)) && exists) return name;
  }
  return candidates.front();
}

ID2D1Bitmap& GpuCommandExecutor::loadBitmap(std::wstring_view path) {
  if (const auto found = bitmaps_.find(path); found != bitmaps_.end()) return *found->second.Get();
  const std::filesystem::path given(path);
  const std::filesystem::path file = std::filesystem::exists(given) ? given : gamePath(given);
  ComPtr<IWICImagingFactory> imaging;
  checkStep(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&imaging)),
            "Create GUI image factory");
  ComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(imaging->CreateDecoderFromFilename(file.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnLoad,
                                                &decoder)))
    throw std::runtime_error("Decode GUI image: " + pathText(file));
  ComPtr<IWICBitmapFrameDecode> frame;
  checkStep(decoder->GetFrame(0, &frame), "Read GUI image frame");
  ComPtr<IWICFormatConverter> converter;
  checkStep(imaging->CreateFormatConverter(&converter), "Create GUI image converter");
  checkStep(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                  WICBitmapPaletteTypeCustom),
            "Convert GUI image");
  ComPtr<ID2D1Bitmap> bitmap;
  checkStep(context_->CreateBitmapFromWicBitmap(converter.Get(), nullptr, &bitmap), "Create cached GUI bitmap");
  return *bitmaps_.emplace(path, std::move(bitmap)).first->second.Get();
}

void GpuCommandExecutor::loadImages(const DrawList& list) {
  for (const DrawCommand& command : list.commands())
    if (command.kind == DrawKind::Image && !bitmaps_.contains(command.imagePath)) loadBitmap(command.imagePath);
}

void GpuCommandExecutor::execute(const DrawList& list) {
  context_->BeginDraw();
  try {
    drawCommands(list);
  } catch (...) {
    endDraw();  // a command that could not be made leaves the context ready for the next frame
    throw;
  }
  checkStep(endDraw(), "Draw shared GPU GUI overlay");
}

// A list that pushed more clips than it popped must not leave Direct2D unbalanced.
HRESULT GpuCommandExecutor::endDraw() {
  for (; clipDepth_ > 0; --clipDepth_) context_->PopAxisAlignedClip();
  return context_->EndDraw();
}

void GpuCommandExecutor::drawCommands(const DrawList& list) {
  context_->SetTransform(D2D1::Matrix3x2F::Identity());
  std::span<const DrawCommand> commands = list.commands();
  const D2D1_SIZE_F size = context_->GetSize();
  if (!commands.empty() && fillsWholeTarget(commands.front(), size.width, size.height)) {
    context_->Clear(colourF(commands.front().colour, 1));
    commands = commands.subspan(1);
  } else {
    context_->Clear(D2D1::ColorF(0, 0, 0, 0));
  }
  for (const DrawCommand& command : commands) {
    brush_->SetColor(colourF(command.colour, command.opacity));
    executeCommand(command);
  }
}

void GpuCommandExecutor::executeCommand(const DrawCommand& command) {
  switch (command.kind) {
    case DrawKind::FillRect:
      return fillOrOutlineRect(command, true);
    case DrawKind::OutlineRect:
      return fillOrOutlineRect(command, false);
    case DrawKind::Line:
      return context_->DrawLine(D2D1::Point2F(command.points[0], command.points[1]),
                                D2D1::Point2F(command.points[2], command.points[3]), brush_.Get(), command.strokeWidth);
    case DrawKind::FillEllipse:
      return context_->FillEllipse(ellipseIn(command.rect), brush_.Get());
    case DrawKind::Glow:
      return drawGlow(command);
    case DrawKind::OutlineEllipse:
      return context_->DrawEllipse(ellipseIn(command.rect), brush_.Get(), command.strokeWidth);
    case DrawKind::FillTriangle:
      return fillTriangle(command);
    case DrawKind::Text:
      return context_->DrawText(command.text.data(), static_cast<UINT32>(command.text.size()), &textFormat(command),
                                rectF(command.rect), brush_.Get(), D2D1_DRAW_TEXT_OPTIONS_CLIP,
                                DWRITE_MEASURING_MODE_NATURAL);
    case DrawKind::Image:
      if (const auto found = bitmaps_.find(command.imagePath); found != bitmaps_.end())
        context_->DrawBitmap(found->second.Get(), rectF(command.rect), command.opacity,
                             D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
      return;
    case DrawKind::PushClip:
      context_->PushAxisAlignedClip(rectF(command.rect), D2D1_ANTIALIAS_MODE_PER_PRIMITIVE);
      ++clipDepth_;
      return;
    case DrawKind::PopClip:
      if (clipDepth_ == 0) return;
      context_->PopAxisAlignedClip();
      --clipDepth_;
      return;
  }
}

void GpuCommandExecutor::fillOrOutlineRect(const DrawCommand& command, bool fill) {
  const float radius = drawnCornerRadius(command.rect, command.cornerRadius);
  if (radius <= 0) {
    if (fill) return context_->FillRectangle(rectF(command.rect), brush_.Get());
    return context_->DrawRectangle(rectF(command.rect), brush_.Get(), command.strokeWidth);
  }
  const D2D1_ROUNDED_RECT rounded = D2D1::RoundedRect(rectF(command.rect), radius, radius);
  if (fill) return context_->FillRoundedRectangle(rounded, brush_.Get());
  context_->DrawRoundedRectangle(rounded, brush_.Get(), command.strokeWidth);
}

void GpuCommandExecutor::drawGlow(const DrawCommand& command) {
  ID2D1RadialGradientBrush& brush = glowBrush(command.glowSlot, command.glowColours);
  const RectF& r = command.rect;
  brush.SetCenter(D2D1::Point2F((r.left + r.right) / 2, (r.top + r.bottom) / 2));
  brush.SetGradientOriginOffset(D2D1::Point2F(0, 0));
  brush.SetRadiusX(std::max(0.5f, (r.right - r.left) / 2));
  brush.SetRadiusY(std::max(0.5f, (r.bottom - r.top) / 2));
  brush.SetOpacity(command.opacity);
  context_->FillRectangle(rectF(r), &brush);
}

// The unit triangle mapped onto the command's three points.
void GpuCommandExecutor::fillTriangle(const DrawCommand& command) {
  const auto& p = command.points;
  context_->SetTransform(D2D1::Matrix3x2F(p[2] - p[0], p[3] - p[1], p[4] - p[0], p[5] - p[1], p[0], p[1]));
  context_->FillGeometry(triangle_.Get(), brush_.Get());
  context_->SetTransform(D2D1::Matrix3x2F::Identity());
}

}  // namespace Corvanthorne::Gui
