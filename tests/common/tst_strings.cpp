#include "common/strings.h"

#include <gtest/gtest.h>

using makeddl::quoted;
using makeddl::SplitBySemicolon;
using makeddl::trimmed;
using Pieces = std::vector<std::string>;

TEST(Quoted, WrapsAndDoublesEveryQuote) {
  EXPECT_EQ(quoted(""), "''");
  EXPECT_EQ(quoted("t_dept"), "'t_dept'");
  EXPECT_EQ(quoted("O'Brien"), "'O''Brien'");
  EXPECT_EQ(quoted("''"), "''''''");
  EXPECT_EQ(quoted("部门'表"), "'部门''表'");
}

TEST(Trimmed, RemovesControlBytesAndBlanksAtBothEndsOnly) {
  EXPECT_EQ(trimmed("  a b  "), "a b");
  EXPECT_EQ(trimmed(std::string("\0\t\r\n x \x1f ", 9)), "x");
  EXPECT_EQ(trimmed(" \t "), "");
  EXPECT_EQ(trimmed(""), "");
  // Bytes above 32 stay, including the bytes of a GBK ideographic space (A1 A1).
  EXPECT_EQ(trimmed("\xA1\xA1x\xA1\xA1"), "\xA1\xA1x\xA1\xA1");
  EXPECT_EQ(trimmed("!x!"), "!x!");
}

TEST(SplitBySemicolon, GivesOneMorePieceThanSeparatorsEmptyOnesIncluded) {
  EXPECT_EQ(SplitBySemicolon("a;;b"), (Pieces{"a", "", "b"}));
  EXPECT_EQ(SplitBySemicolon("a;b;"), (Pieces{"a", "b", ""}));
  EXPECT_EQ(SplitBySemicolon(";"), (Pieces{"", ""}));
  EXPECT_EQ(SplitBySemicolon("abc"), (Pieces{"abc"}));
  EXPECT_EQ(SplitBySemicolon(""), (Pieces{""}));
  EXPECT_EQ(SplitBySemicolon("pubs;(local);1;sa;pw;"), (Pieces{"pubs", "(local)", "1", "sa", "pw", ""}));
}

TEST(QuotedIdentifier, RegularNamesStayBareOthersAreBracketed) {
  using makeddl::quotedIdentifier;
  EXPECT_EQ(quotedIdentifier("t_dept"), "t_dept");
  EXPECT_EQ(quotedIdentifier("部门表"), "部门表");
  EXPECT_EQ(quotedIdentifier("#T1"), "#T1");
  EXPECT_EQ(quotedIdentifier("a1$@#_"), "a1$@#_");
  EXPECT_EQ(quotedIdentifier("order"), "[order]");
  EXPECT_EQ(quotedIdentifier("Order"), "[Order]");
  EXPECT_EQ(quotedIdentifier("my table"), "[my table]");
  EXPECT_EQ(quotedIdentifier("a]b"), "[a]]b]");
  EXPECT_EQ(quotedIdentifier("1st"), "[1st]");
  EXPECT_EQ(quotedIdentifier("@x"), "[@x]");
  EXPECT_EQ(quotedIdentifier("名　称"), "[名　称]");  // ideographic space
  EXPECT_EQ(quotedIdentifier("x;drop table t"), "[x;drop table t]");
  EXPECT_EQ(quotedIdentifier(""), "[]");
}
TEST(EqualsIgnoringCase, ComparesAsciiLettersWithoutCase) {
  EXPECT_TRUE(makeddl::equalsIgnoringCase("crDate", "CRDATE"));
  EXPECT_TRUE(makeddl::equalsIgnoringCase("", ""));
  EXPECT_FALSE(makeddl::equalsIgnoringCase("name", "names"));
  EXPECT_FALSE(makeddl::equalsIgnoringCase("a_b", "a-b"));
}

// Every character a script line cannot carry is written as its code, so that a value comes
// back byte for byte whatever pane, file or batch splitter the script passes through.
TEST(TextLiteral, LineBreaksAndControlCharactersBecomeCharacterCodes) {
  using makeddl::textLiteral;
  EXPECT_EQ(textLiteral("O'Neil"), "'O''Neil'");
  EXPECT_EQ(textLiteral(""), "''");
  EXPECT_EQ(textLiteral("部门", true), "N'部门'");
  EXPECT_EQ(textLiteral("a\tb"), "'a\tb'");  // a tab stays as it is
  EXPECT_EQ(textLiteral("a\r\nb"), "'a'+char(13)+char(10)+'b'");
  EXPECT_EQ(textLiteral("a\nb"), "'a'+char(10)+'b'");
  EXPECT_EQ(textLiteral("a\rb"), "'a'+char(13)+'b'");
  EXPECT_EQ(textLiteral(std::string("x\0y", 3)), "'x'+char(0)+'y'");
  EXPECT_EQ(textLiteral("\x1f\x7f"), "char(31)+char(127)");
  EXPECT_EQ(textLiteral("\n", true), "nchar(10)");
  EXPECT_EQ(textLiteral("it's\n", true), "N'it''s'+nchar(10)");
  EXPECT_EQ(textLiteral(std::string(5, '\0') + "z"), "replicate(char(0),5)+'z'");
  EXPECT_EQ(textLiteral("a\xE2\x80\xA8" "b", true), "N'a'+nchar(8232)+N'b'");  // U+2028
  EXPECT_EQ(textLiteral("\xC2\x85"), "nchar(133)");
}

TEST(VisibleLines, CutAtEveryLineBreakAndBlankOtherControls) {
  using makeddl::visibleLines;
  EXPECT_EQ(visibleLines("one line"), (Pieces{"one line"}));
  EXPECT_EQ(visibleLines(""), (Pieces{""}));
  EXPECT_EQ(visibleLines("a\r\nb\nc\rd"), (Pieces{"a", "b", "c", "d"}));
  EXPECT_EQ(visibleLines("a\r\n\r\nb\n"), (Pieces{"a", "", "b", ""}));
  EXPECT_EQ(visibleLines(std::string("a\0b\x0c" "c", 5)), (Pieces{"a b", "c"}));
  EXPECT_EQ(visibleLines("x\xE2\x80\xA9y"), (Pieces{"x", "y"}));
}

// SQL Server's rule: letters are the Unicode letter category, not every character beyond ASCII.
TEST(QuotedIdentifier, LettersAreTheUnicodeLetterCategory) {
  using makeddl::isRegularIdentifier;
  using makeddl::quotedIdentifier;
  EXPECT_EQ(quotedIdentifier("金额（元）"), "[金额（元）]");  // full-width brackets are punctuation
  EXPECT_EQ(quotedIdentifier("金额_元1"), "金额_元1");
  EXPECT_EQ(quotedIdentifier("Straße"), "Straße");
  EXPECT_EQ(quotedIdentifier("a\xE2\x80\x94" "b"), "[a\xE2\x80\x94" "b]");  // an em dash
  EXPECT_EQ(quotedIdentifier("1a"), "[1a]");
  EXPECT_EQ(quotedIdentifier("a１"), "a１");  // a full-width digit is a decimal digit
  EXPECT_TRUE(isRegularIdentifier("@x"));       // regular, yet bare it would be a variable
  EXPECT_EQ(quotedIdentifier("@x"), "[@x]");
  EXPECT_EQ(quotedIdentifier("a\r\nb"), "[a\r\nb]");
}

// object_id() and friends read their argument as a multi-part name.
TEST(ObjectNameArgument, NamesThatWouldReadAsSeveralPartsAreBracketed) {
  using makeddl::objectNameArgument;
  EXPECT_EQ(objectNameArgument("t_dept"), "'t_dept'");
  EXPECT_EQ(objectNameArgument("O'Hara"), "'O''Hara'");
  EXPECT_EQ(objectNameArgument("my table"), "'my table'");
  EXPECT_EQ(objectNameArgument("a.b"), "'[a.b]'");
  EXPECT_EQ(objectNameArgument("x]y"), "'[x]]y]'");
  EXPECT_EQ(objectNameArgument(" lead"), "'[ lead]'");
  EXPECT_EQ(objectNameArgument("a\r\nb"), "'a'+char(13)+char(10)+'b'");
}
