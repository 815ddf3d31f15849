#pragma once
// GUI documents: a forest of named controls with raw text properties, plus the diagnostics
// found while reading them. Meaning and validation of types and properties live in
// controls.h; the runtime that holds a document is Screen (screen.h).
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "gui/property_map.h"

namespace Corvanthorne::Gui {

struct NameHash {
  using is_transparent = void;
  size_t operator()(std::wstring_view name) const { return static_cast<size_t>(fnv1a(name)); }
};
template <class Value>
using NameMap = std::unordered_map<std::wstring, Value, NameHash, std::equal_to<>>;
// Keyed by views of names that outlive the map, such as the names of a document's nodes.
template <class Value>
using NameViewMap = std::unordered_map<std::wstring_view, Value, NameHash>;
using NameSet = std::unordered_set<std::wstring, NameHash, std::equal_to<>>;

enum class TokenKind { Word = 0, String = 1, OpenBrace = 2, CloseBrace = 3, Equals = 4, Semicolon = 5, End = 6 };

struct Token {
  TokenKind kind = TokenKind::End;
  std::wstring text;  // the word, the unescaped string, or the punctuation character
  uint64_t line = 1;
  uint64_t column = 1;
};

// Splits a document text into tokens; lines and columns count UTF-16 code units from 1.
class Lexer {
 public:
  explicit Lexer(std::wstring_view text) : text_(text) {}
  // `valuePosition` is set right after "=": there a "#" starts a word (colour values such
  // as #ff0000) instead of a comment.
  Token next(bool valuePosition = false);
  // The same, refilling `token` so that its text buffer is reused.
  void next(Token& token, bool valuePosition = false);

 private:
  void advance();
  void skipTrivia(bool valuePosition);
  void skipToLineEnd();
  void readString(Token& token);
  void readWord(Token& token);

  std::wstring_view text_;
  size_t index_ = 0;
  uint64_t line_ = 1;
  uint64_t column_ = 1;
};

enum class DiagnosticSeverity : int32_t { Warning = 0, Error = 1 };

struct Diagnostic {
  DiagnosticSeverity severity = DiagnosticSeverity::Error;
  std::wstring source;
  uint64_t line = 1;
  uint64_t column = 1;
  std::wstring message;
};

// "<source>:<line>:<column>: <error|warning>: <message>" in UTF-8, as tools print it.
std::string formatDiagnostic(const Diagnostic& diagnostic);

// A parsed control. Nodes, their text and their child lists live in the arena of the document
// that parsed them, so every view here stays valid as long as that document (or the Screen
// holding it) does.
struct Node {
  std::wstring_view type;
  std::wstring_view name;
  std::wstring_view source;
  uint64_t line = 1;
  uint64_t column = 1;
  Node* parent = nullptr;
  PropertyMap properties;
  std::span<Node* const> children;

  // The raw value of a property, empty when absent.
  std::wstring_view raw(PropertyName key) const {
    return properties.mayHave(key) ? properties.find(key).value_or(std::wstring_view()) : std::wstring_view();
  }
  bool has(PropertyName key) const { return properties.mayHave(key) && properties.find(key).has_value(); }
};

struct Document {
  std::wstring source;
  std::vector<Node*> controls;  // kept in `nodes`
  std::vector<Diagnostic> diagnostics;
  Arena nodes;  // the controls of this document and of the documents merged into it

  bool hasErrors() const;
};

// How deep controls may nest (top-level controls are level 1). Real documents use a handful
// of levels; the limit keeps every pass over the tree within a small, fixed stack.
inline constexpr size_t maxNestingDepth = 100;

// Parses and validates a document text; never throws for malformed input.
Document parseDocument(std::wstring_view text, std::wstring_view sourceName);

// Reads a strict UTF-8 document file and parses it; a file that cannot be opened, or holds
// more than 16 MiB, gives a document with the single error "Could not open GUI document.".
Document loadDocumentFile(const std::filesystem::path& path);

// Depth-first, pre-order visit of every node of a forest, each node before its children.
template <class Visit>
void forEachNode(std::span<Node* const> nodes, Visit&& visit) {
  for (Node* node : nodes) {
    visit(*node);
    forEachNode(node->children, visit);
  }
}

}  // namespace Corvanthorne::Gui
