#pragma once
// The draw list: a flat list of drawing commands built from a laid-out screen, executed by the
// GPU presenter (and, for a few painters, by GDI). Commands are plain values; their texts and
// image paths are views into the list's own text store. Clearing keeps the storage of both, so
// that a list rebuilt every frame allocates only for more text than it ever held before.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "gui/screen.h"  // PixelRect
#include "render/theme.h"

namespace Corvanthorne::Gui {

enum class DrawKind : uint32_t {
  FillRect = 0,
  OutlineRect = 1,
  Line = 2,
  FillEllipse = 3,
  Glow = 4,
  OutlineEllipse = 5,
  FillTriangle = 6,
  Text = 7,
  Image = 8,
  PushClip = 9,
  PopClip = 10,
};

struct RectF {
  float left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const RectF&) const = default;
};
inline RectF toRectF(const PixelRect& r) {
  return RectF{static_cast<float>(r.left), static_cast<float>(r.top), static_cast<float>(r.right), static_cast<float>(r.bottom)};
}

struct PointF {
  float x = 0, y = 0;
  bool operator==(const PointF&) const = default;
};

// Text alignment and font fields of text commands.
enum TextAlignment : uint32_t { alignLeading = 0, alignCentre = 1, alignTrailing = 2 };
enum FontFamily : uint32_t { familySegoeUi = 0, familyPalatino = 1, familyScript = 2 };
enum FontWeight : uint32_t { weightAutomatic = 0, weightNormal = 1, weightSemibold = 2, weightBold = 3 };

struct DrawCommand {
  DrawKind kind = DrawKind::FillRect;
  RectF rect;
  std::array<float, 6> points{};  // x1, y1, x2, y2, x3, y3
  std::array<Colour, 3> glowColours{};  // inner, middle, outer
  Colour colour = 0;
  uint8_t glowSlot = 0;
  float opacity = 1.0f;
  float strokeWidth = 1.0f;
  float cornerRadius = 0.0f;
  float fontSize = 16.0f;
  uint32_t alignment = alignLeading;
  uint32_t fontFamily = familyPalatino;
  uint32_t weight = weightAutomatic;
  bool bold = false;
  bool wrap = false;
  // Views into the owning list's text store, valid until the list is cleared.
  std::wstring_view text;
  std::wstring_view imagePath;
};

// The font and layout fields of a text command.
struct TextStyle {
  Colour colour = 0;
  float size = 16.0f;
  uint32_t alignment = alignLeading;
  bool bold = false;
  bool wrap = false;
  float opacity = 1.0f;
  uint32_t family = familyPalatino;
  uint32_t weight = weightAutomatic;
};

// Text kept in chunks that never move, so that views of earlier texts stay valid while more
// are stored; clearing keeps the chunks for the next build.
class TextStore {
 public:
  // A painter draws a label several times (halo, shadow): the same text as the last one
  // stored is shared rather than copied.
  std::wstring_view store(std::wstring_view text);
  void clear();

 private:
  struct Chunk {
    std::unique_ptr<wchar_t[]> characters;
    size_t capacity = 0;
  };
  std::vector<Chunk> chunks_;
  size_t current_ = 0;  // the chunk being filled
  size_t used_ = 0;     // characters used in it
  std::wstring_view last_;
};

class DrawList {
 public:
  void fillRect(const PixelRect& rect, Colour colour, float opacity = 1.0f, float cornerRadius = 0.0f);
  void outlineRect(const RectF& rect, Colour colour, float width, float opacity = 1.0f, float cornerRadius = 0.0f);
  void line(float x1, float y1, float x2, float y2, Colour colour, float width, float opacity = 1.0f);
  void fillTriangle(PointF a, PointF b, PointF c, Colour colour, float opacity = 1.0f);
  // As two triangles, a-b-c and a-c-d.
  void fillQuad(PointF a, PointF b, PointF c, PointF d, Colour colour, float opacity = 1.0f);
  void fillEllipse(const RectF& rect, Colour colour, float opacity = 1.0f);
  void outlineEllipse(const RectF& rect, Colour colour, float width, float opacity = 1.0f);
  void glow(const RectF& rect, const std::array<Colour, 3>& colours, uint8_t slot, float opacity = 1.0f);
  void text(const RectF& rect, std::wstring_view text, const TextStyle& style);
  // Nothing is appended for an empty path.
  void image(const RectF& rect, std::wstring_view path, float opacity = 1.0f);
  void pushClip(const RectF& rect);
  void popClip();

  // A copy of a command of any list, its text stored here; returned for the caller to adjust
  // (the loading screen moves a panel's commands).
  DrawCommand& append(const DrawCommand& command);
  void clear();
  std::span<const DrawCommand> commands() const { return commands_; }
  // Statistics: characters of all text commands, and line commands.
  uint32_t textCharacters() const { return textCharacters_; }
  uint32_t lineCommands() const { return lineCommands_; }

 private:
  DrawCommand& add(DrawKind kind, const RectF& rect, Colour colour, float opacity) {
    static constexpr DrawCommand defaults{};  // copied, which is cheaper than zeroing and filling
    DrawCommand& command = commands_.emplace_back(defaults);
    command.kind = kind;
    command.rect = rect;
    command.colour = colour;
    command.opacity = opacity;
    return command;
  }

  std::vector<DrawCommand> commands_;
  TextStore texts_;
  uint32_t textCharacters_ = 0;
  uint32_t lineCommands_ = 0;
};

}  // namespace Corvanthorne::Gui
