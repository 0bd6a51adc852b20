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
