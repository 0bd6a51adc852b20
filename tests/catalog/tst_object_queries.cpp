// The queries behind picking an object, and the SELECT template for the query editor.

#include <gtest/gtest.h>

#include "catalog/object_queries.h"

using namespace makeddl::catalog;

namespace {

TEST(ObjectQueries, WorkedExamplesAsSent) {
  EXPECT_EQ(selectAllQuery("dept"), "select * from dept");
  EXPECT_EQ(columnHeadingsQuery("dept"), "select * from dept where 1<>1 ");
  EXPECT_EQ(sourceTextQuery("v_dept"), "sp_helptext 'v_dept'");
  EXPECT_EQ(sameNameQuery("dept_id"),
            "select name from  sysobjects where id in(  select id  from  syscolumns where name='dept_id')");
}

TEST(ObjectQueries, NamesAreBracketedOrQuotedAsTheyGoIn) {
  EXPECT_EQ(selectAllQuery("order"), "select * from [order]");
  EXPECT_EQ(columnHeadingsQuery("my table"), "select * from [my table] where 1<>1 ");
  EXPECT_EQ(selectAllQuery("a]b"), "select * from [a]]b]");
  EXPECT_EQ(sourceTextQuery("O'Hara"), "sp_helptext 'O''Hara'");
  EXPECT_EQ(sameNameQuery("it's"),
            "select name from  sysobjects where id in(  select id  from  syscolumns where name='it''s')");
}

TEST(SelectTemplate, ThreeLinesWithTheirBlanks) {
  const std::vector<std::string> expected{"SELECT    id , name ", "", "FROM      dept        "};
  EXPECT_EQ(selectTemplateLines({"id", "name"}, "dept"), expected);
  const std::vector<std::string> single{"SELECT    id ", "", "FROM      t        "};
  EXPECT_EQ(selectTemplateLines({"id"}, "t"), single);
}

TEST(SelectTemplate, ColumnAndTableNamesThatNeedBracketsAreBracketed) {
  const std::vector<std::string> expected{"SELECT    [my col] , [select] , a ", "",
                                          "FROM      [order]        "};
  EXPECT_EQ(selectTemplateLines({"my col", "select", "a"}, "order"), expected);
}

TEST(SelectTemplate, NoColumnsNoTemplate) { EXPECT_TRUE(selectTemplateLines({}, "dept").empty()); }

TEST(SourceTextLine, DropsOnlyTheRowsOwnLineBreak) {
  EXPECT_EQ(sourceTextLine("create view v as\r\n"), "create view v as");
  EXPECT_EQ(sourceTextLine("  select a  \r\n"), "  select a  ");
  EXPECT_EQ(sourceTextLine("from t"), "from t");
  EXPECT_EQ(sourceTextLine("\r\n"), "");
}

}  // namespace
