#include "render/gpu_commands.h"

#include <algorithm>
#include <bit>

namespace Corvanthorne::Gui {

float drawnCornerRadius(const RectF& rect, float cornerRadius) {
  const float shorter = std::min(rect.right - rect.left, rect.bottom - rect.top);
  return std::min(cornerRadius, std::max(0.0f, shorter / 2));
}

bool fillsWholeTarget(const DrawCommand& command, float width, float height) {
  const RectF& r = command.rect;
  return command.kind == DrawKind::FillRect && command.opacity >= 1.0f && drawnCornerRadius(r, command.cornerRadius) <= 0 &&
         r.left <= 0 && r.top <= 0 && r.right >= width && r.bottom >= height;
}

namespace {

uint32_t weightOf(const DrawCommand& command) {
  switch (command.weight) {
    case weightAutomatic:
      if (!command.bold) return 400;
      return command.fontFamily == familyPalatino ? 700 : 600;
    case weightSemibold:
      return 600;
    case weightBold:
      return 700;
    default:
      return 400;
  }
}

}  // namespace

std::span<const wchar_t* const> fontFamilyCandidates(uint32_t family) {
  static constexpr const wchar_t* serif[] = {L"Palatino Linotype", L"Book Antiqua", L"P052", L"Times New Roman",
                                             L"DejaVu Serif"};
  static constexpr const wchar_t* script[] = {L"Segoe Script", L"Z003", L"Palatino Linotype", L"P052"};
  static constexpr const wchar_t* sans[] = {L"Segoe UI", L"Tahoma", L"Arial", L"DejaVu Sans", L"Liberation Sans"};
  if (family == familyScript) return script;
  if (family == familyPalatino) return serif;
  return sans;
}

TextFormatSpec textFormatSpec(const DrawCommand& command) {
  TextFormatSpec spec;
  spec.size = std::max(1.0f, command.fontSize);
  spec.weight = weightOf(command);
  spec.family =
      command.fontFamily == familyPalatino || command.fontFamily == familyScript ? command.fontFamily : familySegoeUi;
  spec.alignment =
      command.alignment == alignCentre || command.alignment == alignTrailing ? command.alignment : alignLeading;
  spec.wrap = command.wrap;
  return spec;
}

// Size bits, weight (3 values), family (3), alignment (3), wrap: all fit below bit 42.
uint64_t textFormatKey(const TextFormatSpec& spec) {
  return static_cast<uint64_t>(std::bit_cast<uint32_t>(spec.size)) | static_cast<uint64_t>(spec.weight / 100) << 32 |
         static_cast<uint64_t>(spec.family) << 36 | static_cast<uint64_t>(spec.alignment) << 38 |
         static_cast<uint64_t>(spec.wrap) << 40;
}

}  // namespace Corvanthorne::Gui
