#include "gui/document.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Gui {
namespace {

std::vector<Token> lex(std::wstring_view text) {
  Lexer lexer(text);
  std::vector<Token> tokens;
  bool afterEquals = false;
  for (;;) {
    tokens.push_back(lexer.next(afterEquals));
    afterEquals = tokens.back().kind == TokenKind::Equals;
    if (tokens.back().kind == TokenKind::End) return tokens;
  }
}

// Parse diagnostics only: the messages and positions the parser itself produced.
std::vector<std::tuple<uint64_t, uint64_t, std::wstring>> problems(const Document& document) {
  std::vector<std::tuple<uint64_t, uint64_t, std::wstring>> found;
  for (const Diagnostic& d : document.diagnostics) found.emplace_back(d.line, d.column, d.message);
  return found;
}

using Problems = std::vector<std::tuple<uint64_t, uint64_t, std::wstring>>;

TEST(Lexer, WordsCommentsAndPositions) {
  const auto tokens = lex(L"x = 0% -12.5 $login.username a//b a#b; # note\n\ty = #ff0000; // more\nz");
  std::vector<std::wstring> texts;
  for (const Token& token : tokens) texts.push_back(token.text);
  EXPECT_EQ(texts, (std::vector<std::wstring>{L"x", L"=", L"0%", L"-12.5", L"$login.username", L"a//b", L"a#b", L";",
                                              L"y", L"=", L"#ff0000", L";", L"z", L""}));
  // A tab is one column; the line count follows line feeds only.
  EXPECT_EQ(tokens[8].line, 2u);
  EXPECT_EQ(tokens[8].column, 2u);
  EXPECT_EQ(tokens[12].line, 3u);
  EXPECT_EQ(tokens[13].column, 2u);  // End sits just after the last character
  // Columns count UTF-16 units: a character outside the BMP takes two.
  const auto wide = lex(utf8ToWide("\xF0\x9F\x98\x80 w"));
  EXPECT_EQ(wide[1].column, 4u);
}

TEST(Lexer, StringEscapes) {
  auto tokens = lex(L"\"say \\\"hi\\\"\\n\" \"a\\\\b\\t\"");
  ASSERT_EQ(tokens[0].kind, TokenKind::String);
  EXPECT_EQ(tokens[0].text, L"say \"hi\"\n");
  EXPECT_EQ(tokens[1].text, L"a\\b\t");
  EXPECT_EQ(tokens[1].column, 16u);  // the opening quote
  // A final backslash stays literal; an unterminated string simply ends.
  tokens = lex(L"\"abc\\");
  EXPECT_EQ(tokens[0].text, L"abc\\");
  EXPECT_EQ(tokens[1].kind, TokenKind::End);
  // Line feeds inside strings are counted.
  tokens = lex(L"\"a\nb\" c");
  EXPECT_EQ(tokens[1].line, 2u);
  EXPECT_EQ(tokens[1].column, 4u);
}

TEST(Parser, BuildsTreeWithJoinedValues) {
  const Document document = parseDocument(
      L"// header\nRoot R { title = Welcome   back; text = a b   \"c d\"; x = 4; # margin\n"
      L"  Panel P { text = \"\" x; Text T { } } }\nWindow W { text = \"\" x; }",
      L"doc.ghi");
  EXPECT_TRUE(document.diagnostics.empty());
  ASSERT_EQ(document.controls.size(), 2u);
  const Node& root = *document.controls[0];
  EXPECT_EQ(root.raw(L"title"), L"Welcome back");
  EXPECT_EQ(root.raw(L"text"), L"a b c d");
  EXPECT_EQ(root.raw(L"x"), L"4");
  ASSERT_EQ(root.children.size(), 1u);
  const Node& panel = *root.children[0];
  EXPECT_EQ(panel.parent, &root);
  EXPECT_EQ(panel.source, L"doc.ghi");
  EXPECT_EQ(panel.line, 3u);
  EXPECT_EQ(panel.column, 3u);
  // An empty first part joins differently in child and top-level bodies.
  EXPECT_EQ(panel.raw(L"text"), L" x");
  EXPECT_EQ(document.controls[1]->raw(L"text"), L"x");
  EXPECT_EQ(panel.children[0]->name, L"T");
}

TEST(Parser, EmptyAndCommentOnlyTextsGiveEmptyDocuments) {
  for (const wchar_t* text : {L"", L"  \r\n\t", L"# a\n// b\n"}) {
    const Document document = parseDocument(text, L"");
    EXPECT_TRUE(document.controls.empty());
    EXPECT_TRUE(document.diagnostics.empty());
  }
}

TEST(Parser, RecoversWithExactPositions) {
  Document document = parseDocument(L"Root R {\n  Panel P {\n    x = 1;", L"");
  EXPECT_EQ(problems(document), (Problems{{3, 11, L"Unclosed control block."}, {3, 11, L"Unclosed control block."}}));
  ASSERT_EQ(document.controls.size(), 1u);
  EXPECT_EQ(document.controls[0]->children[0]->raw(L"x"), L"1");

  document = parseDocument(L"Root R { Button B { width = ; height = 2; } }", L"");
  EXPECT_EQ(problems(document), (Problems{{1, 29, L"Expected a property value."}}));
  EXPECT_FALSE(document.controls[0]->children[0]->has(L"width"));
  EXPECT_EQ(document.controls[0]->children[0]->raw(L"height"), L"2");

  document = parseDocument(L"Root R { Panel P width = 4; } Text T { }", L"");
  EXPECT_EQ(problems(document), (Problems{{1, 18, L"Expected '{' after child control name."}}));
  EXPECT_TRUE(document.controls[0]->children.empty());
  EXPECT_EQ(document.controls.size(), 2u);  // "}" closed R

  // A missing ";" skips the statement in a top-level body, not in a child body.
  document = parseDocument(L"Root R { x = 1 = 2; y = 3; }", L"");
  EXPECT_EQ(problems(document), (Problems{{1, 16, L"Expected ';' after property value."}}));
  EXPECT_EQ(document.controls[0]->raw(L"x"), L"1");
  EXPECT_EQ(document.controls[0]->raw(L"y"), L"3");
  document = parseDocument(L"Root R { Panel P { x = 1 = 2; y = 3; } }", L"");
  EXPECT_EQ(problems(document), (Problems{{1, 26, L"Expected ';' after property value."},
                                          {1, 26, L"Expected a property or child control."}}));
  EXPECT_EQ(document.controls[0]->children[0]->raw(L"y"), L"3");

  // Stray tokens: block skips do not count nesting.
  document = parseDocument(L"; } Root { } Panel P ; } Text T { x { } }", L"");
  EXPECT_EQ(problems(document), (Problems{{1, 1, L"Expected a control type."},
                                          {1, 10, L"Expected a control name after type 'Root'."},
                                          {1, 22, L"Expected '{' after control name."},
                                          {1, 37, L"Expected '=' or a child control name."},
                                          {1, 41, L"Expected a control type."}}));
  ASSERT_EQ(document.controls.size(), 1u);
  EXPECT_EQ(document.controls[0]->name, L"T");

  document = parseDocument(L"Root R { x = 1; x = 2; }", L"");
  EXPECT_EQ(document.diagnostics[0].severity, DiagnosticSeverity::Warning);
  EXPECT_EQ(problems(document), (Problems{{1, 17, L"Duplicate property 'x'; last value wins."}}));
  EXPECT_EQ(document.controls[0]->raw(L"x"), L"2");
}

// Controls with thousands of properties go through the property index, and values larger than
// a storage block get blocks of their own.
TEST(Parser, KeepsEveryPropertyOfLargeControls) {
  std::wstring text = L"Panel P {";
  for (int i = 0; i < 3000; ++i) text += L" p" + std::to_wstring(i) + L" = v" + std::to_wstring(i) + L";";
  const std::wstring big(100000, L'b');
  text += L" p7 = again; p2999 = last; long = \"" + big + L"\"; }";
  const Document document = parseDocument(text, L"big.ghi");
  ASSERT_EQ(document.controls.size(), 1u);
  const Node& panel = *document.controls[0];
  EXPECT_EQ(panel.properties.size(), 3001u);
  EXPECT_EQ(panel.raw(L"p0"), L"v0");
  EXPECT_EQ(panel.raw(L"p1234"), L"v1234");
  EXPECT_EQ(panel.raw(L"p7"), L"again");
  EXPECT_EQ(panel.raw(L"p2999"), L"last");
  EXPECT_EQ(panel.raw(L"long"), big);
  EXPECT_FALSE(panel.has(L"p3000"));
  // Properties are visited in the order their names were first written, with the last value.
  std::vector<std::wstring> keys;
  for (const Property property : panel.properties) keys.emplace_back(property.key);
  EXPECT_EQ(keys[7], L"p7");
  EXPECT_EQ(keys.back(), L"long");
  size_t repeats = 0;
  for (const Diagnostic& d : document.diagnostics) repeats += d.message.starts_with(L"Duplicate property");
  EXPECT_EQ(repeats, 2u);
}

TEST(DocumentFile, ReadsStrictUtf8) {
  Testing::TempDir dir;
  Testing::writeFile(dir / "good.ghi", "Root R { text = \"Gr\xC3\xBC\xC3\x9F\"; }");
  Testing::writeFile(dir / "bad.ghi", "Root R { text = \"\xC3\"; }");
  const Document good = loadDocumentFile(dir / "good.ghi");
  ASSERT_EQ(good.controls.size(), 1u);
  EXPECT_EQ(good.controls[0]->raw(L"text"), utf8ToWide("Gr\xC3\xBC\xC3\x9F"));
  EXPECT_EQ(good.source, utf8ToWide(pathText(dir / "good.ghi")));
  const Document bad = loadDocumentFile(dir / "bad.ghi");
  EXPECT_TRUE(bad.controls.empty());
  EXPECT_TRUE(bad.diagnostics.empty());
  const Document missing = loadDocumentFile(dir / "missing.ghi");
  ASSERT_EQ(missing.diagnostics.size(), 1u);
  EXPECT_EQ(formatDiagnostic(missing.diagnostics[0]),
            pathText(dir / "missing.ghi") + ":1:1: error: Could not open GUI document.");
  // A folder opens on some systems but never reads as a document.
  const Document folder = loadDocumentFile(dir.path());
  ASSERT_EQ(folder.diagnostics.size(), 1u);
  EXPECT_EQ(folder.diagnostics[0].message, L"Could not open GUI document.");
}

TEST(NameHash, IsFnv1aOverLittleEndianUnits) {
  EXPECT_EQ(fnv1a(L""), 0xcbf29ce484222325ull);
  EXPECT_EQ(fnv1a(std::wstring{L'A', wchar_t(0x100)}), 0xabd5cd8cd5077d57ull);
}

}  // namespace
}  // namespace Corvanthorne::Gui
