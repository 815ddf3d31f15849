#include "gui/document.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "gui/screen.h"
#include "support/temp_dir.h"

namespace Corvanthorne::Gui {
namespace {

std::vector<Token> lex(std::wstring_view text) {
  Lexer lexer(text);
  std::vector<Token> tokens{lexer.next()};
  while (tokens.back().kind != TokenKind::End) tokens.push_back(lexer.next(tokens.back().kind == TokenKind::Equals));
  return tokens;
}

// "key=value" for every property of a control, in the order the names were first written.
std::wstring propertiesOf(const Node& node) {
  std::wstring text;
  for (const Property property : node.properties) text.append(property.key).append(L"=").append(property.value).append(L";");
  return text;
}

std::vector<std::string> diagnostics(const Document& document) {
  std::vector<std::string> found;
  for (const Diagnostic& d : document.diagnostics) found.push_back(formatDiagnostic(d));
  return found;
}

TEST(Lexer, WordsStringsCommentsAndPositions) {
  auto tokens = lex(L"x = 0% -12.5 $a.b a//b a#b; # note\n\ty = #ff0000; // more\nz \"say \\\"hi\\\"\\n\" \"a\\\\b\\t\"");
  std::vector<std::wstring> texts;
  for (const Token& token : tokens) texts.push_back(token.text);
  EXPECT_EQ(texts, (std::vector<std::wstring>{L"x", L"=", L"0%", L"-12.5", L"$a.b", L"a//b", L"a#b", L";", L"y", L"=",
                                              L"#ff0000", L";", L"z", L"say \"hi\"\n", L"a\\b\t", L""}));
  // A tab is one column; lines follow line feeds; a string sits at its opening quote.
  EXPECT_EQ(std::make_pair(tokens[8].line, tokens[8].column), std::make_pair(uint64_t{2}, uint64_t{2}));
  EXPECT_EQ(tokens[13].kind, TokenKind::String);
  EXPECT_EQ(tokens[14].column, 18u);
  EXPECT_EQ(tokens[15].column, 26u);  // End sits just after the last character
  // A final backslash stays literal, an unterminated string simply ends, line feeds count.
  tokens = lex(L"\"a\nb\\");
  EXPECT_EQ(tokens[0].text, L"a\nb\\");
  EXPECT_EQ(std::make_pair(tokens[1].line, tokens[1].column), std::make_pair(uint64_t{2}, uint64_t{3}));
  EXPECT_EQ(lex(utf8ToWide("\xF0\x9F\x98\x80 w"))[1].column, 4u);  // UTF-16 units
}

TEST(Parser, BuildsTreeWithJoinedValues) {
  const Document document = parseDocument(
      L"// header\nRoot R { title = Welcome   back; text = a b   \"c d\"; x = 4; # margin\n"
      L"  Panel P { text = \"\" x; Text T { } } }\nWindow W { text = \"\" x; }",
      L"doc.ghi");
  EXPECT_TRUE(document.diagnostics.empty());
  ASSERT_EQ(document.controls.size(), 2u);
  const Node& root = *document.controls[0];
  const Node& panel = *root.children[0];
  // An empty first part joins differently in child and top-level bodies.
  EXPECT_EQ(propertiesOf(root) + L"|" + propertiesOf(panel) + L"|" + propertiesOf(*document.controls[1]),
            L"title=Welcome back;text=a b c d;x=4;|text= x;|text=x;");
  EXPECT_EQ(panel.parent, &root);
  EXPECT_EQ(panel.source, L"doc.ghi");
  EXPECT_EQ(std::make_pair(panel.line, panel.column), std::make_pair(uint64_t{3}, uint64_t{3}));
  EXPECT_EQ(panel.children[0]->name, L"T");
}

TEST(Parser, DiagnosticsAndRecovery) {
  const struct {
    const wchar_t* text;
    std::vector<std::string> diagnostics;
    const wchar_t* kept;  // the names of the top-level controls that survive
  } cases[] = {
      {L"", {}, L""},
      {L"  \r\n\t# a\n// b\n", {}, L""},
      {L"Root R {\n  Panel P {\n    x = 1;", {":3:11: error: Unclosed control block.", ":3:11: error: Unclosed control block."}, L"R"},
      {L"Root R { Button B { width = ; } }", {":1:29: error: Expected a property value."}, L"R"},
      {L"Root R { Panel P width = 4; } Text T { }", {":1:18: error: Expected '{' after child control name."}, L"RT"},
      // A missing ";" skips the statement in a top-level body, not in a child body.
      {L"Root R { x = 1 = 2; y = 3; }", {":1:16: error: Expected ';' after property value."}, L"R"},
      {L"Root R { Panel P { x = 1 = 2; } }",
       {":1:26: error: Expected ';' after property value.", ":1:26: error: Expected a property or child control."}, L"R"},
      // Block skips do not count nesting.
      {L"; } Root { } Panel P ; } Text T { x { } }",
       {":1:1: error: Expected a control type.", ":1:10: error: Expected a control name after type 'Root'.",
        ":1:22: error: Expected '{' after control name.", ":1:37: error: Expected '=' or a child control name.",
        ":1:41: error: Expected a control type."}, L"T"},
      {L"Root R { x = 1; x = 2; }", {":1:17: warning: Duplicate property 'x'; last value wins."}, L"R"},
      // Validation: types and names are errors, property values warnings, at the type word.
      {L"Root R {\n  Labl L { }\n  Panel OK { Button OK { } }\n}",
       {":2:3: error: Unknown control type 'Labl'.", ":3:14: error: Duplicate control name 'OK'."}, L"R"},
      {L"Button B { colour = red; text = $; onClick = \"\"; width = 12px; height = -3.5e2; visible = yes; hidden = 0;"
       L" x = Centre; y = \" center \"; value = center; min = $low; }",
       {":1:1: warning: Unknown property 'colour' on B.", ":1:1: warning: Binding for property 'text' has no name.",
        ":1:1: warning: Action property 'onClick' has no action name.", ":1:1: warning: Property 'width' should be numeric or a binding.",
        ":1:1: warning: Property 'visible' should be true, false, or a binding.",
        ":1:1: warning: Property 'value' should be numeric or a binding."}, L"B"},
      // tabIndex: " +3x" is no number but reads as 3, $x and 99999999999 are no integers, 2.5 reads as 2.
      {L"Root R { Button A { tabIndex = 3; } Button B { tabIndex = 2.5; } Button C { tabIndex = \" +3x\"; }"
       L" Button D { tabIndex = $x; } Button E { tabIndex = 99999999999; } Button F { tabIndex = 2; } }",
       {":1:66: warning: Property 'tabIndex' should be numeric or a binding.", ":1:66: warning: Duplicate tabIndex 3.",
        ":1:98: warning: tabIndex should be an integer.", ":1:126: warning: tabIndex should be an integer.",
        ":1:163: warning: Duplicate tabIndex 2."}, L"R"},
  };
  for (const auto& c : cases) {
    const Document document = parseDocument(c.text, L"");
    EXPECT_EQ(diagnostics(document), c.diagnostics) << c.text;
    std::wstring kept;
    for (const Node* node : document.controls) kept += node->name;
    EXPECT_EQ(kept, c.kept) << c.text;
  }
  // What recovery keeps: properties before and after each error, the last of repeated ones.
  const Document recovered =
      parseDocument(L"Root R { x = 1 = 2; y = 3; Panel P { width = ; height = 2; z = 1 = 2; w = 5; } x = 4; }", L"");
  const Node& root = *recovered.controls[0];
  EXPECT_EQ(propertiesOf(root) + L"|" + propertiesOf(*root.children[0]), L"x=4;y=3;|height=2;z=1;w=5;");
}

// Controls with thousands of properties go through the property index, and values larger than
// a storage block get blocks of their own.
TEST(Parser, KeepsEveryPropertyOfLargeControls) {
  std::wstring text = L"Panel P {";
  for (int i = 0; i < 3000; ++i) text += L" p" + std::to_wstring(i) + L" = v" + std::to_wstring(i) + L";";
  const std::wstring big(100000, L'b');
  text += L" p7 = again; p2999 = last; long = \"" + big + L"\"; }";
  const Document document = parseDocument(text, L"big.ghi");
  const Node& panel = *document.controls[0];
  EXPECT_EQ(panel.properties.size(), 3001u);
  EXPECT_EQ(panel.raw(L"p1234"), L"v1234");
  EXPECT_EQ(panel.raw(L"p7"), L"again");
  EXPECT_EQ(panel.raw(L"long"), big);
  EXPECT_FALSE(panel.has(L"p3000"));
  // Properties are visited in the order their names were first written.
  std::vector<std::wstring> keys;
  for (const Property property : panel.properties) keys.emplace_back(property.key);
  EXPECT_EQ(keys[7], L"p7");
  EXPECT_EQ(keys.back(), L"long");
}

TEST(DocumentFile, ReadsStrictUtf8) {
  Testing::TempDir dir;
  Testing::writeFile(dir / "good.ghi", "Root R { text = \"Gr\xC3\xBC\xC3\x9F\"; }");
  Testing::writeFile(dir / "bad.ghi", "Root R { text = \"\xC3\"; }");
  const Document good = loadDocumentFile(dir / "good.ghi");
  EXPECT_EQ(good.controls[0]->raw(L"text"), utf8ToWide("Gr\xC3\xBC\xC3\x9F"));
  EXPECT_EQ(good.source, utf8ToWide(pathText(dir / "good.ghi")));
  const Document bad = loadDocumentFile(dir / "bad.ghi");
  EXPECT_TRUE(bad.controls.empty());
  EXPECT_TRUE(bad.diagnostics.empty());
  EXPECT_EQ(diagnostics(loadDocumentFile(dir / "missing.ghi")),
            std::vector<std::string>{pathText(dir / "missing.ghi") + ":1:1: error: Could not open GUI document."});
  // A folder opens on some systems but never reads as a document.
  EXPECT_EQ(diagnostics(loadDocumentFile(dir.path())),
            std::vector<std::string>{pathText(dir.path()) + ":1:1: error: Could not open GUI document."});
}

// Inputs kept from fuzzing the parser (seeds and any crash found) must parse and become a
// screen's document without failing.
TEST(FuzzRegression, KeptInputsParse) {
  const std::vector<std::string> inputs = Testing::keptFuzzInputs("fuzz_gui_document");
  EXPECT_GE(inputs.size(), 2u);
  for (const std::string& bytes : inputs) {
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
      text.push_back(static_cast<wchar_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    Screen().setDocument(parseDocument(text, L"kept.ghi"));
  }
}

}  // namespace
}  // namespace Corvanthorne::Gui
