#pragma once
// The closed vocabulary of GUI documents: sixteen control types and 70 properties, some of
// which carry a value class that validation checks.
#include <string_view>

#include "gui/document.h"

namespace Corvanthorne::Gui {

bool isControlType(std::wstring_view type);

// The types that take input by themselves (a "List" only when it is not a log).
bool isInteractiveType(const Node& node);

// A "List" styled "textlog" (style words are read raw and compared case-insensitively).
bool isTextLog(const Node& node);

// Appends the validation diagnostics of a parsed document (types, names, property values,
// tab indices) after its parse diagnostics.
void validateDocument(Document& document);

}  // namespace Corvanthorne::Gui
