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
