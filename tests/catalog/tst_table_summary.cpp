// The table summary's queries and the pick of the primary-key columns from sp_helpindex.

#include <gtest/gtest.h>

#include "catalog/table_summary.h"

using namespace makeddl::catalog;

namespace {

TEST(TableSummaryQueries, WorkedExamplesAsSent) {
  EXPECT_EQ(countQuery("dept"),
            "SELECT count(*) as RecCount,(select count(*)  from  syscolumns where id= object_id('dept'))as "
            "ColCount from dept");
  EXPECT_EQ(indexQuery("dept"), "sp_helpindex dept");
  EXPECT_EQ(nonNullColumnsQuery("dept"),
            "select name  from  syscolumns where id= object_id('dept') and isnullable=0");
}

// A name that cannot stand bare goes into the SQL in brackets; as a string it is only quoted.
TEST(TableSummaryQueries, NamesThatNeedBracketsAreBracketed) {
  EXPECT_EQ(
      countQuery("my table"),
      "SELECT count(*) as RecCount,(select count(*)  from  syscolumns where id= object_id('my table'))as "
      "ColCount from [my table]");
  EXPECT_EQ(indexQuery("order"), "sp_helpindex [order]");
  // Procedures and object_id() read their argument as a multi-part name: a name holding ".",
  // "[" or "]" goes in as the string of its bracketed form.
  EXPECT_EQ(indexQuery("a]b"), "sp_helpindex '[a]]b]'");
  EXPECT_EQ(indexQuery("a.b"), "sp_helpindex '[a.b]'");
  EXPECT_EQ(nonNullColumnsQuery("x[y"),
            "select name  from  syscolumns where id= object_id('[x[y]') and isnullable=0");
  EXPECT_EQ(nonNullColumnsQuery("O'Hara"),
            "select name  from  syscolumns where id= object_id('O''Hara') and isnullable=0");
}

TEST(PrimaryKeyColumns, TakenFromThePrimaryKeyRowWhereverItStands) {
  const std::vector<IndexRow> rows{
      {"IX_name", "nonclustered located on PRIMARY", "name"},
      {"pk_orders", "clustered, unique, primary key located on PRIMARY", "b, a"},
      {"UQ_code", "nonclustered, unique, unique key located on PRIMARY", "code"},
  };
  EXPECT_EQ(primaryKeyColumns(rows), "b, a");
}

TEST(PrimaryKeyColumns, EmptyWithoutAPrimaryKeyIndex) {
  EXPECT_EQ(primaryKeyColumns({}), "");
  // Named like a key, but an ordinary index; and a filegroup whose name reads like a key.
  EXPECT_EQ(primaryKeyColumns({{"PK_lookalike", "nonclustered, unique located on PRIMARY", "a"},
                               {"IX_b", "nonclustered located on fg, primary key", "b"}}),
            "");
}

TEST(PrimaryKeyColumns, NonclusteredPrimaryKeyCounts) {
  EXPECT_TRUE(isPrimaryKeyIndex({"PK_t", "nonclustered, unique, primary key located on PRIMARY", "id"}));
  EXPECT_FALSE(isPrimaryKeyIndex({"UQ_t", "nonclustered, unique, unique key located on PRIMARY", "id"}));
}

}  // namespace
