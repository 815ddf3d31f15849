// cvtool ghi: checks GUI documents and shows their control tree, for document authors.
#include <ostream>
#include <stdexcept>
#include <string>

#include "common/text.h"
#include "gui/screen.h"
#include "tools/cvtool/cvtool.h"

namespace Corvanthorne::Tools {
namespace {

constexpr std::string_view usage = "ghi check|tree FILE";

std::string utf8(std::wstring_view text) { return wideToUtf8(text); }

// Loads the document the way the launcher does, includes followed.
Gui::Screen loadScreen(const std::string& file) {
  Gui::Screen screen;
  screen.load(pathFromUtf8(file));
  return screen;
}

int check(const Gui::Screen& screen, std::ostream& out) {
  for (const Gui::Diagnostic& diagnostic : screen.document().diagnostics)
    out << Gui::formatDiagnostic(diagnostic) << '\n';
  return screen.document().hasErrors() ? 1 : 0;
}

void printNode(const Gui::Node& node, int depth, std::ostream& out) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  out << indent << utf8(node.type) << ' ' << utf8(node.name) << "  (" << utf8(node.source) << ':' << node.line
      << ':' << node.column << ")\n";
  for (const Gui::Property property : node.properties)
    out << indent << "  " << utf8(property.key) << " = " << utf8(property.value) << '\n';
  for (const auto& child : node.children) printNode(*child, depth + 1, out);
}

int tree(const Gui::Screen& screen, std::ostream& out) {
  for (const auto& control : screen.document().controls) printNode(*control, 0, out);
  return check(screen, out);
}

}  // namespace

int runGhi(Arguments arguments, std::ostream& out) {
  if (arguments.size() != 2 || (arguments[0] != "check" && arguments[0] != "tree")) throwUsage(usage);
  const Gui::Screen screen = loadScreen(arguments[1]);
  return arguments[0] == "check" ? check(screen, out) : tree(screen, out);
}

}  // namespace Corvanthorne::Tools
