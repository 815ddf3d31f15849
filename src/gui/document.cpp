// GUI document language.
//
// A document is a sequence of controls:
//   control  = TypeWord NameWord "{" member* "}"
//   member   = KeyWord "=" value+ ";"            (a property; value parts are words or strings)
//            | TypeWord NameWord "{" member* "}"  (a child control)
// Tokens: "{", "}", "=", ";", strings in double quotes (escapes \n, \t, and a backslash before
// any other unit gives that unit; a final backslash stays literal; an unterminated string ends
// at the end of the text), and words: the longest run of units that are not whitespace and
// not one of { } " ; =. Where a token could start, "#" and "//" begin a comment up to the end
// of the line, except that a "#" right after "=" begins a word (#ff0000). Several value parts
// are joined with single spaces. Errors become diagnostics and the parser recovers by skipping
// to the end of the statement or block; nesting is not counted while skipping. Controls may
// nest `maxNestingDepth` levels deep: a deeper control is reported and skipped whole (its
// braces counted), so that no later pass recurses without bound.
#include "gui/document.h"

#include <optional>

#include "common/files.h"
#include "common/text.h"
#include "gui/controls.h"
#include "gui/values.h"

namespace Corvanthorne::Gui {

std::string formatDiagnostic(const Diagnostic& diagnostic) {
  const char* severity = diagnostic.severity == DiagnosticSeverity::Error ? "error" : "warning";
  return wideToUtf8(diagnostic.source) + ':' + std::to_string(diagnostic.line) + ':' +
         std::to_string(diagnostic.column) + ": " + severity + ": " + wideToUtf8(diagnostic.message);
}

bool Document::hasErrors() const {
  for (const Diagnostic& diagnostic : diagnostics)
    if (diagnostic.severity == DiagnosticSeverity::Error) return true;
  return false;
}

// ---- Lexer ----

void Lexer::advance() {
  if (text_[index_++] == L'\n') {
    ++line_;
    column_ = 1;
  } else {
    ++column_;
  }
}

void Lexer::skipToLineEnd() {
  while (index_ < text_.size() && text_[index_] != L'\n') advance();
}

void Lexer::skipTrivia(bool valuePosition) {
  for (;;) {
    while (index_ < text_.size() && isWhitespace(text_[index_])) advance();
    if (index_ >= text_.size()) return;
    const bool hashComment = text_[index_] == L'#' && !valuePosition;
    const bool slashComment = text_.substr(index_, 2) == L"//";
    if (!hashComment && !slashComment) return;
    skipToLineEnd();
  }
}

void Lexer::readString(Token& token) {
  token.kind = TokenKind::String;
  advance();  // the opening quote
  while (index_ < text_.size()) {
    const wchar_t unit = text_[index_];
    advance();
    if (unit == L'"') return;
    if (unit == L'\\' && index_ < text_.size()) {
      const wchar_t escaped = text_[index_];
      advance();
      token.text.push_back(escaped == L'n' ? L'\n' : escaped == L't' ? L'\t' : escaped);
    } else {
      token.text.push_back(unit);
    }
  }
}

void Lexer::readWord(Token& token) {
  token.kind = TokenKind::Word;
  const size_t start = index_;
  while (index_ < text_.size()) {
    const wchar_t unit = text_[index_];
    if (isWhitespace(unit) || unit == L'{' || unit == L'}' || unit == L'"' || unit == L';' || unit == L'=') break;
    advance();
  }
  token.text.assign(text_.substr(start, index_ - start));
}

Token Lexer::next(bool valuePosition) {
  Token token;
  next(token, valuePosition);
  return token;
}

void Lexer::next(Token& token, bool valuePosition) {
  skipTrivia(valuePosition);
  token.text.clear();
  token.line = line_;
  token.column = column_;
  if (index_ >= text_.size()) {
    token.kind = TokenKind::End;
    return;
  }
  const wchar_t unit = text_[index_];
  switch (unit) {
    case L'{': token.kind = TokenKind::OpenBrace; break;
    case L'}': token.kind = TokenKind::CloseBrace; break;
    case L'=': token.kind = TokenKind::Equals; break;
    case L';': token.kind = TokenKind::Semicolon; break;
    case L'"': return readString(token);
    default: return readWord(token);
  }
  token.text.push_back(unit);
  advance();
}

// ---- Parser ----

namespace {

class Parser {
 public:
  Parser(std::wstring_view text, std::wstring_view source) : lexer_(text), source_(source) {}

  Document parse() {
    Document document;
    document.source = source_;
    arena_ = &document.nodes;
    storedSource_ = arena_->copy(source_);
    advance();
    while (current_.kind != TokenKind::End) {
      if (current_.kind != TokenKind::Word) {
        error(L"Expected a control type.");
        skipBlock();
        continue;
      }
      if (Node* node = parseControl()) document.controls.push_back(node);
    }
    document.diagnostics = std::move(diagnostics_);
    return document;
  }

 private:
  // What a body being parsed has collected so far. One is kept per nesting depth and reused
  // from control to control, so its buffers are allocated once per document.
  struct Body {
    PropertyMapBuilder properties;
    std::vector<Node*> children;
  };

  void advance() { lexer_.next(current_, current_.kind == TokenKind::Equals); }
  bool at(TokenKind kind) const { return current_.kind == kind; }
  bool atValue() const { return at(TokenKind::Word) || at(TokenKind::String); }

  void report(DiagnosticSeverity severity, uint64_t line, uint64_t column, std::wstring message) {
    diagnostics_.push_back(Diagnostic{severity, source_, line, column, std::move(message)});
  }
  void error(std::wstring message) {
    report(DiagnosticSeverity::Error, current_.line, current_.column, std::move(message));
  }

  void skipStatement() {
    while (!at(TokenKind::Semicolon) && !at(TokenKind::CloseBrace) && !at(TokenKind::End)) advance();
    if (at(TokenKind::Semicolon)) advance();
  }
  void skipBlock() {
    while (!at(TokenKind::CloseBrace) && !at(TokenKind::End)) advance();
    if (at(TokenKind::CloseBrace)) advance();
  }

  // `word_` holds the type word, found at `line` and `column`; the current token is the name.
  Node* newNode(uint64_t line, uint64_t column, Node* parent) {
    Node* node = arena_->create<Node>();
    node->type = arena_->copy(word_);
    node->name = arena_->copy(current_.text);
    node->source = storedSource_;
    node->line = line;
    node->column = column;
    node->parent = parent;
    return node;
  }

  Node* parseControl() {
    word_ = current_.text;
    const uint64_t line = current_.line, column = current_.column;
    advance();
    if (!at(TokenKind::Word)) {
      error(L"Expected a control name after type '" + word_ + L"'.");
      skipBlock();
      return nullptr;
    }
    Node* node = newNode(line, column, nullptr);
    advance();
    if (!at(TokenKind::OpenBrace)) {
      error(L"Expected '{' after control name.");
      skipBlock();
      return nullptr;
    }
    advance();
    parseBody(*node, 0);
    return node;
  }

  void parseBody(Node& node, size_t depth) {
    if (bodies_.size() <= depth) bodies_.resize(depth + 1);
    bodies_[depth].properties.clear();
    bodies_[depth].children.clear();
    while (!at(TokenKind::CloseBrace) && !at(TokenKind::End)) {
      if (!at(TokenKind::Word)) {
        error(L"Expected a property or child control.");
        skipStatement();
        continue;
      }
      word_ = current_.text;
      const uint64_t line = current_.line, column = current_.column;
      advance();
      if (at(TokenKind::Equals)) {
        advance();
        parseProperty(bodies_[depth].properties, line, column, depth == 0);
      } else if (at(TokenKind::Word)) {
        parseChild(node, line, column, depth);
      } else {
        error(L"Expected '=' or a child control name.");
        skipStatement();
      }
    }
    if (at(TokenKind::CloseBrace)) {
      advance();
    } else {
      error(L"Unclosed control block.");
    }
    node.properties = bodies_[depth].properties.build(*arena_);
    node.children = arena_->copy(std::span<Node* const>(bodies_[depth].children));
  }

  // `word_` holds the key.
  void parseProperty(PropertyMapBuilder& properties, uint64_t line, uint64_t column, bool topLevel) {
    if (!atValue()) {
      error(L"Expected a property value.");
      skipStatement();
      return;
    }
    value_ = current_.text;
    advance();
    while (atValue()) {
      // Top-level bodies join without a leading space after an empty first part.
      if (!topLevel || !value_.empty()) value_.push_back(L' ');
      value_ += current_.text;
      advance();
    }
    if (at(TokenKind::Semicolon)) {
      advance();
    } else {
      error(L"Expected ';' after property value.");
      if (topLevel) skipStatement();
    }
    if (!properties.set(word_, value_))
      report(DiagnosticSeverity::Warning, line, column, L"Duplicate property '" + word_ + L"'; last value wins.");
  }

  // Skips the block that starts at the current "{", nested blocks included.
  void skipNestedBlock() {
    for (size_t open = 0; !at(TokenKind::End);) {
      if (at(TokenKind::OpenBrace)) ++open;
      if (at(TokenKind::CloseBrace) && --open == 0) break;
      advance();
    }
    if (at(TokenKind::CloseBrace)) advance();
  }

  // `word_` holds the child's type; the current token is its name.
  void parseChild(Node& node, uint64_t line, uint64_t column, size_t depth) {
    if (depth + 1 >= maxNestingDepth) {
      report(DiagnosticSeverity::Error, line, column,
             L"Control nested deeper than " + std::to_wstring(maxNestingDepth) + L" levels; it is skipped.");
      advance();
      if (at(TokenKind::OpenBrace)) skipNestedBlock();
      return;
    }
    Node* child = newNode(line, column, &node);
    advance();
    if (!at(TokenKind::OpenBrace)) {
      error(L"Expected '{' after child control name.");
      skipStatement();
      return;
    }
    advance();
    parseBody(*child, depth + 1);
    bodies_[depth].children.push_back(child);
  }

  Lexer lexer_;
  std::wstring source_;
  Arena* arena_ = nullptr;
  std::wstring_view storedSource_;
  Token current_;
  std::wstring word_;   // the last key or type word
  std::wstring value_;  // the property value being joined
  std::vector<Body> bodies_;
  std::vector<Diagnostic> diagnostics_;
};

}  // namespace

Document parseDocument(std::wstring_view text, std::wstring_view sourceName) {
  Document document = Parser(text, sourceName).parse();
  validateDocument(document);
  return document;
}

// Launcher documents take kilobytes; a file far larger is refused as unopenable, not read.
constexpr std::size_t maxDocumentFileBytes = 16 * 1024 * 1024;

Document loadDocumentFile(const std::filesystem::path& path) {
  const std::wstring source = utf8ToWide(pathText(path));
  const std::optional<std::string> bytes = readFileBytes(path, maxDocumentFileBytes);
  if (!bytes) {
    Document missing;
    missing.source = source;
    missing.diagnostics.push_back(
        Diagnostic{DiagnosticSeverity::Error, source, 1, 1, L"Could not open GUI document."});
    return missing;
  }
  return parseDocument(utf8ToWide(*bytes), source);
}

}  // namespace Corvanthorne::Gui
