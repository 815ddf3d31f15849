#include "gui/controls.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace Corvanthorne::Gui {
namespace {

std::vector<std::wstring> messages(const Document& document) {
  std::vector<std::wstring> found;
  for (const Diagnostic& d : document.diagnostics) found.push_back(d.message);
  std::sort(found.begin(), found.end());  // property order follows the hash map
  return found;
}

TEST(Validation, TypesAndNamesAreErrorsAtTheTypeWord) {
  const Document document = parseDocument(L"Root R {\n  Labl L { }\n  Panel OK { Button OK { } }\n}", L"d.ghi");
  ASSERT_EQ(document.diagnostics.size(), 2u);
  const Diagnostic& unknown = document.diagnostics[0];
  EXPECT_EQ(unknown.message, L"Unknown control type 'Labl'.");
  EXPECT_EQ(unknown.severity, DiagnosticSeverity::Error);
  EXPECT_EQ(unknown.source, L"d.ghi");
  EXPECT_EQ(std::make_pair(unknown.line, unknown.column), std::make_pair(uint64_t{2}, uint64_t{3}));
  EXPECT_EQ(document.diagnostics[1].message, L"Duplicate control name 'OK'.");
  EXPECT_EQ(document.diagnostics[1].column, 14u);
  EXPECT_TRUE(document.hasErrors());
}

TEST(Validation, PropertyValuesAreWarnings) {
  const Document document = parseDocument(
      L"Root R { Button B { colour = red; text = $; onClick = \"\"; width = 12px; height = -3.5e2; "
      L"visible = yes; hidden = 0; x = Centre; y = \" center \"; value = center; min = $low; } }",
      L"");
  EXPECT_FALSE(document.hasErrors());
  EXPECT_EQ(messages(document), (std::vector<std::wstring>{
                                    L"Action property 'onClick' has no action name.",
                                    L"Binding for property 'text' has no name.",
                                    L"Property 'value' should be numeric or a binding.",
                                    L"Property 'visible' should be true, false, or a binding.",
                                    L"Property 'width' should be numeric or a binding.",
                                    L"Unknown property 'colour' on B.",
                                }));
  for (const Diagnostic& d : document.diagnostics) EXPECT_EQ(d.severity, DiagnosticSeverity::Warning);
}

TEST(Validation, TabIndexIsAnIntegerUniqueInTheDocument) {
  const Document document = parseDocument(
      L"Root R { Button A { tabIndex = 3; } Button B { tabIndex = 2.5; } Button C { tabIndex = \" +3x\"; }"
      L" Button D { tabIndex = $x; } Button E { tabIndex = 99999999999; } Button F { tabIndex = 2; } }",
      L"");
  std::vector<std::wstring> found;
  for (const Diagnostic& d : document.diagnostics) found.push_back(d.message);
  EXPECT_EQ(found, (std::vector<std::wstring>{
                       L"Property 'tabIndex' should be numeric or a binding.",  // " +3x" is not a number
                       L"Duplicate tabIndex 3.",                                // but reads as 3
                       L"tabIndex should be an integer.",                       // $x
                       L"tabIndex should be an integer.",                       // too large
                       L"Duplicate tabIndex 2.",                                // 2.5 read as 2
                   }));
}

}  // namespace
}  // namespace Corvanthorne::Gui
