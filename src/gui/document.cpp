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
// to the end of the statement or block; nesting is not counted while skipping.
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

void Node::addProperty(std::wstring key, std::wstring value) {
  propertyBits |= uint64_t{1} << (fnv1a(key) & 63);
  properties.emplace(std::move(key), std::move(value));
}

std::wstring_view Node::raw(PropertyName key) const {
  if (!mayHave(key)) return {};
  const auto found = properties.find(key);
  return found == properties.end() ? std::wstring_view() : std::wstring_view(found->second);
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

Token Lexer::readString() {
  Token token{TokenKind::String, L"", line_, column_};
  advance();  // the opening quote
  while (index_ < text_.size()) {
    const wchar_t unit = text_[index_];
    advance();
    if (unit == L'"') return token;
    if (unit == L'\\' && index_ < text_.size()) {
      const wchar_t escaped = text_[index_];
      advance();
      token.text.push_back(escaped == L'n' ? L'\n' : escaped == L't' ? L'\t' : escaped);
    } else {
      token.text.push_back(unit);
    }
  }
  return token;
}

Token Lexer::readWord() {
  Token token{TokenKind::Word, L"", line_, column_};
  const size_t start = index_;
  while (index_ < text_.size()) {
    const wchar_t unit = text_[index_];
    if (isWhitespace(unit) || unit == L'{' || unit == L'}' || unit == L'"' || unit == L';' || unit == L'=') break;
    advance();
  }
  token.text.assign(text_.substr(start, index_ - start));
  return token;
}

Token Lexer::next(bool valuePosition) {
  skipTrivia(valuePosition);
  if (index_ >= text_.size()) return Token{TokenKind::End, L"", line_, column_};
  const wchar_t unit = text_[index_];
  TokenKind punctuation = TokenKind::End;
  switch (unit) {
    case L'{': punctuation = TokenKind::OpenBrace; break;
    case L'}': punctuation = TokenKind::CloseBrace; break;
    case L'=': punctuation = TokenKind::Equals; break;
    case L';': punctuation = TokenKind::Semicolon; break;
    case L'"': return readString();
    default: return readWord();
  }
  Token token{punctuation, std::wstring(1, unit), line_, column_};
  advance();
  return token;
}

// ---- Parser ----

namespace {

class Parser {
 public:
  Parser(std::wstring_view text, std::wstring_view source) : lexer_(text), source_(source) {}

  Document parse() {
    Document document;
    document.source = source_;
    advance();
    while (current_.kind != TokenKind::End) {
      if (current_.kind != TokenKind::Word) {
        error(L"Expected a control type.");
        skipBlock();
        continue;
      }
      if (auto node = parseControl()) document.controls.push_back(std::move(node));
    }
    document.diagnostics = std::move(diagnostics_);
    return document;
  }

 private:
  void advance() { current_ = lexer_.next(current_.kind == TokenKind::Equals); }
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

  std::unique_ptr<Node> newNode(const Token& typeWord, std::wstring name, Node* parent) {
    auto node = std::make_unique<Node>();
    node->type = typeWord.text;
    node->name = std::move(name);
    node->source = source_;
    node->line = typeWord.line;
    node->column = typeWord.column;
    node->parent = parent;
    return node;
  }

  std::unique_ptr<Node> parseControl() {
    const Token typeWord = std::move(current_);
    advance();
    if (!at(TokenKind::Word)) {
      error(L"Expected a control name after type '" + typeWord.text + L"'.");
      skipBlock();
      return nullptr;
    }
    std::wstring name = std::move(current_.text);
    advance();
    if (!at(TokenKind::OpenBrace)) {
      error(L"Expected '{' after control name.");
      skipBlock();
      return nullptr;
    }
    advance();
    auto node = newNode(typeWord, std::move(name), nullptr);
    parseBody(*node, true);
    return node;
  }

  void parseBody(Node& node, bool topLevel) {
    while (!at(TokenKind::CloseBrace) && !at(TokenKind::End)) {
      if (!at(TokenKind::Word)) {
        error(L"Expected a property or child control.");
        skipStatement();
        continue;
      }
      Token key = std::move(current_);
      advance();
      if (at(TokenKind::Equals)) {
        advance();
        parseProperty(node, key, topLevel);
      } else if (at(TokenKind::Word)) {
        parseChild(node, key);
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
  }

  void parseProperty(Node& node, Token& key, bool topLevel) {
    if (!atValue()) {
      error(L"Expected a property value.");
      skipStatement();
      return;
    }
    std::wstring value = std::move(current_.text);
    advance();
    while (atValue()) {
      // Top-level bodies join without a leading space after an empty first part.
      if (!topLevel || !value.empty()) value.push_back(L' ');
      value += current_.text;
      advance();
    }
    if (at(TokenKind::Semicolon)) {
      advance();
    } else {
      error(L"Expected ';' after property value.");
      if (topLevel) skipStatement();
    }
    const auto found = node.properties.find(key.text);
    if (found == node.properties.end()) {
      node.addProperty(std::move(key.text), std::move(value));
      return;
    }
    report(DiagnosticSeverity::Warning, key.line, key.column, L"Duplicate property '" + key.text + L"'; last value wins.");
    found->second = std::move(value);
  }

  void parseChild(Node& node, const Token& typeWord) {
    std::wstring name = std::move(current_.text);
    advance();
    if (!at(TokenKind::OpenBrace)) {
      error(L"Expected '{' after child control name.");
      skipStatement();
      return;
    }
    advance();
    auto child = newNode(typeWord, std::move(name), &node);
    parseBody(*child, false);
    node.children.push_back(std::move(child));
  }

  Lexer lexer_;
  std::wstring source_;
  Token current_;
  std::vector<Diagnostic> diagnostics_;
};

}  // namespace

Document parseDocument(std::wstring_view text, std::wstring_view sourceName) {
  Document document = Parser(text, sourceName).parse();
  validateDocument(document);
  return document;
}

Document loadDocumentFile(const std::filesystem::path& path) {
  const std::wstring source = utf8ToWide(pathText(path));
  const std::optional<std::string> bytes = readFileBytes(path);
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
