#pragma once
// How the GPU presenter reads draw commands: the rules that turn a command's fields into
// Direct2D and DirectWrite parameters, kept apart from the API so that they are testable
// everywhere.
#include <cstdint>
#include <span>

#include "render/draw_list.h"

namespace Corvanthorne::Gui {

// The corner radius drawn: at most half the smaller side, never negative.
float drawnCornerRadius(const RectF& rect, float cornerRadius);

// An opaque square-cornered fill over the whole target: drawing it is the same as clearing
// the target to its colour, which costs one pass over the pixels less.
bool fillsWholeTarget(const DrawCommand& command, float width, float height);

// The DirectWrite text format a text command asks for.
struct TextFormatSpec {
  float size = 16.0f;               // at least 1
  uint32_t weight = 400;            // 400, 600 or 700
  uint32_t family = familySegoeUi;  // one of the three families
  uint32_t alignment = alignLeading;
  bool wrap = false;
};
TextFormatSpec textFormatSpec(const DrawCommand& command);
// The family's name ("Segoe UI", "Palatino Linotype" or "Segoe Script") first, then stand-ins
// of the same kind for a system that lacks it (DirectWrite draws nothing in a missing family;
// Wine has none of the three).
std::span<const wchar_t* const> fontFamilyCandidates(uint32_t family);

// The cache key of a text format: equal keys ask for the same format.
uint64_t textFormatKey(const TextFormatSpec& spec);

}  // namespace Corvanthorne::Gui
