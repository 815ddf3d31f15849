// Screen: loading documents with their includes and creating the state of every control.
#include <algorithm>
#include <cmath>

#include "common/text.h"
#include "gui/screen.h"
#include "gui/values.h"

namespace Corvanthorne::Gui {
namespace {

std::vector<std::wstring> includeNames(const Document& document) {
  std::vector<std::wstring> names;
  for (const auto& control : document.controls)
    for (std::wstring& name : splitTrimmed(control->raw(L"includes"), L',')) names.push_back(std::move(name));
  return names;
}

void mergeInto(Document& main, Document included) {
  std::move(included.diagnostics.begin(), included.diagnostics.end(), std::back_inserter(main.diagnostics));
  std::move(included.controls.begin(), included.controls.end(), std::back_inserter(main.controls));
  main.nodes.adopt(std::move(included.nodes));
}

int32_t clampRow(int32_t row, size_t count) {
  return std::clamp(row, -1, static_cast<int32_t>(count) - 1);
}

}  // namespace

bool Screen::load(const std::filesystem::path& path) {
  ++documentsLoaded_;
  Document document = loadDocumentFile(path);
  if (!document.hasErrors()) {
    // Includes are read from the main document's folder and are not followed further.
    for (const std::wstring& name : includeNames(document))
      mergeInto(document, loadDocumentFile(path.parent_path() / pathFromUtf8(wideToUtf8(name))));
  }
  return setDocument(std::move(document));
}

bool Screen::setDocument(Document document) {
  document_ = std::move(document);
  states_.clear();
  nodesByName_.clear();
  largestZOrder_ = 0;
  forEachNode(document_.controls, [this](Node& node) { nodesByName_.try_emplace(node.name, &node); });
  indexDocument();
  createStates();
  statesByIndex_.clear();
  layoutRaw_.clear();
  for (const Node* node : preorder_) {
    statesByIndex_.push_back(state(node->name));
    layoutRaw_.push_back({node->raw(L"x"), node->raw(L"y"), node->raw(L"width"), node->raw(L"height"),
                          node->raw(L"anchor"), node->raw(L"layer"), node->raw(L"enabled"), node->raw(L"clip"),
                          node->raw(L"hidden"), node->raw(L"visible"), node->raw(L"modal"),
                          node->raw(L"systemDialog")});
  }
  takeDesignSize();
  interaction_ = Interaction{};
  markChanged();
  return !document_.hasErrors();
}

Node* Screen::findNode(std::wstring_view name) const {
  const auto found = nodesByName_.find(name);
  return found == nodesByName_.end() ? nullptr : found->second;
}

NodeState* Screen::state(std::wstring_view name) {
  const auto found = states_.find(name);
  return found == states_.end() ? nullptr : &found->second;
}

void Screen::createStates() {
  forEachNode(document_.controls, [this](const Node& node) {
    NodeState fresh;
    fresh.x = fresh.initialX = number(node, L"x", 0);
    fresh.y = fresh.initialY = number(node, L"y", 0);
    fresh.width = fresh.initialWidth = number(node, L"width", 0);
    fresh.height = fresh.initialHeight = number(node, L"height", 0);
    fresh.value = number(node, L"value", 0);
    fresh.checked = flag(node, L"checked", false);
    fresh.rows = parseItems(node);
    fresh.selectedRow = clampRow(roundToInt(number(node, L"selectedIndex", -1)), fresh.rows.size());
    fresh.highlightedRow = fresh.selectedRow;
    const double zOrder = number(node, L"zOrder", 0);
    fresh.zOrder = fresh.workingZOrder = zOrder > 0 ? static_cast<uint64_t>(std::min(zOrder, 1.8e19)) : 0;
    largestZOrder_ = std::max(largestZOrder_, fresh.zOrder);
    states_.insert_or_assign(node.name, std::move(fresh));
  });
}

void Screen::takeDesignSize() {
  const Node* sizer = findNode(L"Application");
  for (auto it = document_.controls.begin(); !sizer && it != document_.controls.end(); ++it)
    if ((*it)->type == L"Root") sizer = *it;
  if (!sizer) return;
  designWidth_ = number(*sizer, L"width", 1280);
  designHeight_ = number(*sizer, L"height", 720);
}

std::vector<ListItem> Screen::parseItems(const Node& node) {
  const std::wstring items = resolveValue(node.raw(L"items"));
  const wchar_t separator = items.find(L'|') != std::wstring::npos ? L'|' : L',';
  std::vector<ListItem> rows;
  for (std::wstring& piece : splitTrimmed(items, separator)) {
    ListItem row;
    row.value = piece;
    row.text = std::move(piece);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace Corvanthorne::Gui
