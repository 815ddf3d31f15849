// cvtool ghi: checks GUI documents, shows their control tree, what a screen reader perceives of
// them, and how they paint (the draw list as text everywhere, a PNG on Windows), for document
// authors.
#include "tools/cvtool/ghi.h"

#include <cstdio>
#include <ostream>
#include <stdexcept>
#include <string>

#include "common/dpi.h"
#include "common/text.h"
#include "gui/accessible.h"
#include "gui/values.h"
#include "render/screen_painter.h"

namespace Corvanthorne::Tools {
namespace {

constexpr std::string_view usage =
    "ghi check|tree FILE | ghi drawlist|accessible FILE [OPTIONS] | ghi render FILE OUT.png [OPTIONS]\n"
    "  OPTIONS: --size WxH --scale S --dpi N --hover NAME --press NAME --focus NAME --open NAME";

std::string utf8(std::wstring_view text) { return wideToUtf8(text); }

// Loads the document the way the launcher does, includes followed.
Gui::Screen loadScreen(const std::string& file) {
  Gui::Screen screen;
  screen.load(pathFromUtf8(file));
  return screen;
}

int check(Gui::Screen& screen, std::ostream& out) {
  for (const Gui::Diagnostic& diagnostic : screen.document().diagnostics)
    out << Gui::formatDiagnostic(diagnostic) << '\n';
  if (screen.document().hasErrors()) return 1;
  for (const Gui::Diagnostic& warning : Gui::unnamedControlWarnings(screen)) out << Gui::formatDiagnostic(warning) << '\n';
  return 0;
}

void printNode(const Gui::Node& node, int depth, std::ostream& out) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  out << indent << utf8(node.type) << ' ' << utf8(node.name) << "  (" << utf8(node.source) << ':' << node.line
      << ':' << node.column << ")\n";
  for (const Gui::Property property : node.properties)
    out << indent << "  " << utf8(property.key) << " = " << utf8(property.value) << '\n';
  for (const auto& child : node.children) printNode(*child, depth + 1, out);
}

int tree(Gui::Screen& screen, std::ostream& out) {
  for (const auto& control : screen.document().controls) printNode(*control, 0, out);
  return check(screen, out);
}

// Up to two decimals, without trailing zeros.
std::string number(float value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", static_cast<double>(value));
  std::string text = buffer;
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

std::string colour(Gui::Colour c) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", Gui::redOf(c), Gui::greenOf(c), Gui::blueOf(c));
  return buffer;
}

std::string quotedText(std::wstring_view text) {
  std::string out = "\"";
  for (const char c : utf8(text)) out += c == '\n' ? std::string("\\n") : c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
  return out + "\"";
}

void printCommand(const Gui::DrawCommand& c, std::ostream& out) {
  static constexpr const char* kinds[] = {"fill", "outline", "line", "ellipse", "glow", "ellipse-outline",
                                          "triangle", "text", "image", "push-clip", "pop-clip"};
  const auto kind = static_cast<size_t>(c.kind);
  out << (kind < std::size(kinds) ? kinds[kind] : "unknown") << ' ' << number(c.rect.left) << ',' << number(c.rect.top)
      << ',' << number(c.rect.right) << ',' << number(c.rect.bottom) << ' ' << colour(c.colour) << ' ' << number(c.opacity);
  const auto point = [&c](size_t i) { return number(c.points[2 * i]) + "," + number(c.points[2 * i + 1]); };
  switch (c.kind) {
    case Gui::DrawKind::FillRect: if (c.cornerRadius > 0) out << " radius " << number(c.cornerRadius); break;
    case Gui::DrawKind::OutlineRect:
      out << " width " << number(c.strokeWidth);
      if (c.cornerRadius > 0) out << " radius " << number(c.cornerRadius);
      break;
    case Gui::DrawKind::OutlineEllipse: out << " width " << number(c.strokeWidth); break;
    case Gui::DrawKind::Line: out << " from " << point(0) << " to " << point(1) << " width " << number(c.strokeWidth); break;
    case Gui::DrawKind::FillTriangle: out << " points " << point(0) << ' ' << point(1) << ' ' << point(2); break;
    case Gui::DrawKind::Glow:
      out << " colours " << colour(c.glowColours[0]) << ' ' << colour(c.glowColours[1]) << ' ' << colour(c.glowColours[2])
          << " slot " << int{c.glowSlot};
      break;
    case Gui::DrawKind::Text:
      out << " size " << number(c.fontSize) << " align " << c.alignment << " family " << c.fontFamily << " weight "
          << c.weight << (c.bold ? " bold" : "") << (c.wrap ? " wrap" : "") << ' ' << quotedText(c.text);
      break;
    case Gui::DrawKind::Image: out << ' ' << quotedText(c.imagePath); break;
    default: break;
  }
  out << '\n';
}

int drawList(const GhiView& view, std::ostream& out) {
  Gui::Screen screen;
  loadGhiView(screen, view);
  Gui::DrawList list;
  Gui::buildDrawList(screen, Gui::defaultGuiTheme(), list);
  for (const Gui::DrawCommand& command : list.commands()) printCommand(command, out);
  return 0;
}

// One object a line: role "name" [value="..."] [states=a,b] rect=L,T,R,B, two spaces per level.
int accessible(const GhiView& view, std::ostream& out) {
  Gui::Screen screen;
  loadGhiView(screen, view);
  for (const Gui::AccessibleObject& object : Gui::accessibleTree(screen)) {
    out << std::string(static_cast<size_t>(object.depth) * 2, ' ') << utf8(Gui::roleName(object.role)) << ' '
        << quotedText(object.name);
    if (!object.value.empty()) out << " value=" << quotedText(object.value);
    if (object.states) out << " states=" << utf8(Gui::stateNames(object.states));
    const Gui::PixelRect& r = object.rect;
    out << " rect=" << r.left << ',' << r.top << ',' << r.right << ',' << r.bottom << '\n';
  }
  return 0;
}

const Gui::Node& namedControl(const Gui::Screen& screen, const std::string& option, const std::string& name) {
  const Gui::Node* node = screen.findNode(utf8ToWide(name));
  if (!node) throw std::invalid_argument(option + ": the document has no control named " + name);
  return *node;
}

// The centre of a placed control, where the pointer goes to hover or press it.
std::pair<int32_t, int32_t> centreOf(const Gui::Screen& screen, const Gui::Node& node) {
  const Gui::LayoutEntry* entry = screen.entryFor(&node);
  if (!entry) return {-1, -1};
  return {entry->rect.left + entry->rect.width() / 2, entry->rect.top + entry->rect.height() / 2};
}

}  // namespace

GhiView parseGhiView(std::string file, Arguments options, std::string_view usageText) {
  GhiView view;
  view.file = std::move(file);
  for (size_t i = 0; i < options.size(); i += 2) {
    if (i + 1 >= options.size()) throwUsage(usageText);
    const std::string& option = options[i];
    const std::string& value = options[i + 1];
    if (option == "--size") {
      if (std::sscanf(value.c_str(), "%dx%d", &view.width, &view.height) != 2 || view.width < 1 || view.height < 1 ||
          view.width > 16384 || view.height > 16384)
        throw std::invalid_argument("--size: expected WIDTHxHEIGHT between 1 and 16384, got " + value);
    } else if (option == "--scale") {
      const auto scale = Gui::leadingNumber(utf8ToWide(value));
      if (!scale || !(*scale >= 0.25 && *scale <= 8)) throw std::invalid_argument("--scale: expected a number from 0.25 to 8, got " + value);
      view.scale = *scale;
    } else if (option == "--dpi") {
      // As a monitor of that DPI shows the launcher window: the 96-DPI design scaled by dpi / 96.
      const std::optional<int32_t> dpi = wholeNumber(value);
      if (!dpi || *dpi < 24 || *dpi > 768) throw std::invalid_argument("--dpi: expected a whole number from 24 to 768, got " + value);
      view.scale = *dpi / static_cast<double>(kDesignDpi);
    } else if (option == "--hover" || option == "--press" || option == "--focus" || option == "--open") {
      (option == "--hover" ? view.hover : option == "--press" ? view.press : option == "--focus" ? view.focus : view.open) = value;
    } else {
      throwUsage(usageText);
    }
  }
  return view;
}

void loadGhiView(Gui::Screen& screen, const GhiView& view) {
  const bool loaded = screen.load(pathFromUtf8(view.file));
  if (!loaded) {
    std::string diagnostics;
    for (const Gui::Diagnostic& diagnostic : screen.document().diagnostics) {
      if (!diagnostics.empty()) diagnostics += '\n';
      diagnostics += Gui::formatDiagnostic(diagnostic);
    }
    throw std::runtime_error(diagnostics);
  }
  bool sized = false;
  for (const Gui::Node* control : screen.document().controls) sized = sized || control->type == L"Root";
  sized = sized || screen.findNode(L"Application");
  const double width = view.width ? view.width : sized ? screen.designWidth() : 760;
  const double height = view.height ? view.height : sized ? screen.designHeight() : 480;
  screen.setClientSize(std::max(1, Gui::roundToInt(width * view.scale)), std::max(1, Gui::roundToInt(height * view.scale)));
  screen.layout();
  // A press focuses and a pop-up focuses its drop-down, so the states are set in this order.
  for (const auto& [option, name] : {std::pair<std::string, const std::string&>{"--press", view.press}, {"--hover", view.hover}}) {
    if (name.empty()) continue;
    const auto [x, y] = centreOf(screen, namedControl(screen, option, name));
    screen.mouseMove(x, y);
    if (option == "--press") screen.mouseDown(x, y);
  }
  if (!view.focus.empty()) screen.setFocus(&namedControl(screen, "--focus", view.focus));
  if (!view.open.empty()) screen.openPopup(namedControl(screen, "--open", view.open));
}

int runGhi(Arguments arguments, std::ostream& out) {
  if (arguments.size() == 2 && (arguments[0] == "check" || arguments[0] == "tree")) {
    Gui::Screen screen = loadScreen(arguments[1]);
    return arguments[0] == "check" ? check(screen, out) : tree(screen, out);
  }
  if (arguments.size() >= 2 && arguments[0] == "drawlist")
    return drawList(parseGhiView(arguments[1], arguments.subspan(2), usage), out);
  if (arguments.size() >= 2 && arguments[0] == "accessible")
    return accessible(parseGhiView(arguments[1], arguments.subspan(2), usage), out);
#ifdef _WIN32
  if (arguments.size() >= 3 && arguments[0] == "render") {
    Gui::Screen screen;
    loadGhiView(screen, parseGhiView(arguments[1], arguments.subspan(3), usage));
    renderGhiView(screen, arguments[2]);
    return 0;
  }
#endif
  throwUsage(usage);
}

}  // namespace Corvanthorne::Tools
