#include "gui/controls.h"

#include <string>

#include "gui/values.h"

namespace Corvanthorne::Gui {
namespace {

enum class PropertyClass { Text, Numeric, Boolean, Action };

const NameSet& controlTypes() {
  static const NameSet types = {L"Root",  L"Window", L"Panel",     L"Button",      L"Text",     L"Image",
                                L"Input", L"Dropdown", L"List",    L"ScrollBar",   L"ProgressBar",
                                L"Checkbox", L"Slider", L"Tabs",   L"Container",   L"Canvas"};
  return types;
}

const NameMap<PropertyClass>& properties() {
  static const NameMap<PropertyClass> table = [] {
    NameMap<PropertyClass> map;
    for (const wchar_t* key :
         {L"anchor", L"text", L"title", L"placeholder", L"style", L"font", L"texture", L"icon", L"align",
          L"renderer", L"fontFamily", L"visualScale", L"visualScaleX", L"visualScaleY", L"geometryScaleX",
          L"geometryScaleY", L"fontSize", L"color", L"bold", L"playerMovable", L"onDrop", L"onDropOutside",
          L"dragGroup", L"slotIndex", L"selected", L"tooltip", L"tooltipDelay", L"image", L"includes",
          L"items", L"accessibleName"})
      map.emplace(key, PropertyClass::Text);
    for (const wchar_t* key : {L"x", L"y", L"width", L"height", L"tabIndex", L"value", L"min", L"max", L"step",
                               L"maxLength", L"rowHeight", L"layer", L"zOrder", L"selectedIndex", L"popupRows",
                               L"capacity", L"visibleLines"})
      map.emplace(key, PropertyClass::Numeric);
    for (const wchar_t* key : {L"visible", L"hidden", L"enabled", L"movable", L"tabStop", L"wrap", L"shadow",
                               L"clip", L"password", L"checked", L"modal", L"systemDialog", L"fixedSize"})
      map.emplace(key, PropertyClass::Boolean);
    for (const wchar_t* key : {L"onRightClick", L"onClick", L"onChange", L"onActivate", L"onEscape", L"onFocus",
                               L"onBlur", L"onSubmit", L"onCancel"})
      map.emplace(key, PropertyClass::Action);
    return map;
  }();
  return table;
}

class Validator {
 public:
  explicit Validator(Document& document) : document_(document) {}

  void run() {
    size_t nodes = 0;
    forEachNode(document_.controls, [&nodes](const Node&) { ++nodes; });
    names_.reserve(nodes);
    forEachNode(document_.controls, [this](const Node& node) { validateNode(node); });
  }

 private:
  void add(const Node& node, DiagnosticSeverity severity, std::wstring message) {
    document_.diagnostics.push_back(Diagnostic{severity, document_.source, node.line, node.column, std::move(message)});
  }
  void warn(const Node& node, std::wstring message) { add(node, DiagnosticSeverity::Warning, std::move(message)); }

  void validateNode(const Node& node) {
    if (!isControlType(node.type))
      add(node, DiagnosticSeverity::Error, L"Unknown control type '" + std::wstring(node.type) + L"'.");
    if (!names_.insert(node.name).second)
      add(node, DiagnosticSeverity::Error, L"Duplicate control name '" + std::wstring(node.name) + L"'.");
    for (const Property property : node.properties) validateProperty(node, property.key, property.value);
    if (node.has(L"tabIndex")) validateTabIndex(node);
  }

  void validateProperty(const Node& node, std::wstring_view key, std::wstring_view value) {
    const auto known = properties().find(key);
    if (known == properties().end()) {
      warn(node, L"Unknown property '" + std::wstring(key) + L"' on " + std::wstring(node.name) + L".");
      return;
    }
    const PropertyClass kind = known->second;
    if (value == L"$") warn(node, L"Binding for property '" + std::wstring(key) + L"' has no name.");
    if (kind == PropertyClass::Action && value.empty())
      warn(node, L"Action property '" + std::wstring(key) + L"' has no action name.");
    if (isBinding(value)) return;
    if (kind == PropertyClass::Numeric && !isWholeNumber(value) &&
        !((key == L"x" || key == L"y") && isCentreKeyword(value)))
      warn(node, L"Property '" + std::wstring(key) + L"' should be numeric or a binding.");
    if (kind == PropertyClass::Boolean && value != L"true" && value != L"false" && value != L"1" && value != L"0")
      warn(node, L"Property '" + std::wstring(key) + L"' should be true, false, or a binding.");
  }

  void validateTabIndex(const Node& node) {
    const auto index = leadingInt32(node.raw(L"tabIndex"));
    if (!index) {
      warn(node, L"tabIndex should be an integer.");
    } else if (!tabIndices_.insert(*index).second) {
      warn(node, L"Duplicate tabIndex " + std::to_wstring(*index) + L".");
    }
  }

  Document& document_;
  std::unordered_set<std::wstring_view, NameHash> names_;  // views into the document's nodes
  std::unordered_set<int32_t> tabIndices_;
};

}  // namespace

bool isControlType(std::wstring_view type) { return controlTypes().find(type) != controlTypes().end(); }

bool isInteractiveType(const Node& node) {
  static const NameSet types = {L"Button", L"Input", L"Checkbox", L"Slider", L"ScrollBar", L"Dropdown"};
  if (types.find(node.type) != types.end()) return true;
  return node.type == L"List" && !isTextLog(node);
}

bool isTextLog(const Node& node) {
  return node.type == L"List" && equalsIgnoringAsciiCase(node.raw(L"style"), L"textlog");
}

void validateDocument(Document& document) { Validator(document).run(); }

}  // namespace Corvanthorne::Gui
