#pragma once
// GUI documents: a forest of named controls with raw text properties, plus the diagnostics
// found while reading them. Meaning and validation of types and properties live in
// controls.h; the runtime that holds a document is Screen (screen.h).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Corvanthorne::Gui {

// 64-bit FNV-1a over UTF-16 code units taken as little-endian bytes; every name-keyed map
// of the GUI system hashes with it.
constexpr uint64_t fnv1a(std::wstring_view name) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const wchar_t unit : name) {
    const auto code = static_cast<uint32_t>(unit) & 0xFFFFu;
    hash = (hash ^ (code & 0xFFu)) * 0x100000001b3ull;
    hash = (hash ^ (code >> 8)) * 0x100000001b3ull;
  }
  return hash;
}

// A property name with its hash. Names written in the code are hashed while compiling, since
// layout reads a dozen properties of every control for every frame.
struct PropertyName {
  template <size_t N>
  consteval PropertyName(const wchar_t (&literal)[N]) : text(literal, N - 1), hash(fnv1a(text)) {}
  explicit PropertyName(std::wstring_view name) : text(name), hash(fnv1a(name)) {}

  std::wstring_view text;
  uint64_t hash;
};
inline bool operator==(const std::wstring& a, const PropertyName& b) { return a == b.text; }
inline bool operator==(const PropertyName& a, const std::wstring& b) { return a.text == b; }

struct NameHash {
  using is_transparent = void;
  size_t operator()(std::wstring_view name) const { return static_cast<size_t>(fnv1a(name)); }
  size_t operator()(const PropertyName& name) const { return static_cast<size_t>(name.hash); }
};
template <class Value>
using NameMap = std::unordered_map<std::wstring, Value, NameHash, std::equal_to<>>;
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

 private:
  void advance();
  void skipTrivia(bool valuePosition);
  void skipToLineEnd();
  Token readString();
  Token readWord();

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

struct Node {
  std::wstring type;
  std::wstring name;
  std::wstring source;
  uint64_t line = 1;
  uint64_t column = 1;
  Node* parent = nullptr;
  NameMap<std::wstring> properties;
  // One bit per property name hash (low six bits): most layout reads ask for properties a
  // control does not have, and a clear bit answers them without a table lookup.
  uint64_t propertyBits = 0;
  std::vector<std::unique_ptr<Node>> children;

  // The raw value of a property, empty when absent.
  std::wstring_view raw(PropertyName key) const;
  bool has(PropertyName key) const { return mayHave(key) && properties.find(key) != properties.end(); }
  bool mayHave(PropertyName key) const { return (propertyBits >> (key.hash & 63)) & 1; }
  void addProperty(std::wstring key, std::wstring value);  // a name the node does not have yet
};

struct Document {
  std::wstring source;
  std::vector<std::unique_ptr<Node>> controls;
  std::vector<Diagnostic> diagnostics;

  bool hasErrors() const;
};

// Parses and validates a document text; never throws for malformed input.
Document parseDocument(std::wstring_view text, std::wstring_view sourceName);

// Reads a strict UTF-8 document file and parses it; a file that cannot be opened gives a
// document with the single error "Could not open GUI document.".
Document loadDocumentFile(const std::filesystem::path& path);

// Depth-first, pre-order visit of every node of a forest, each node before its children.
template <class Visit>
void forEachNode(const std::vector<std::unique_ptr<Node>>& nodes, Visit&& visit) {
  for (const auto& node : nodes) {
    visit(*node);
    forEachNode(node->children, visit);
  }
}

}  // namespace Corvanthorne::Gui
