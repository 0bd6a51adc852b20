// The dependency page's two batches, byte for byte: every blank and tab counts, since the
// texts are compared against what the server has always been sent.

#include <gtest/gtest.h>

#include "catalog/dependency_batches.h"

using namespace makeddl::catalog;

namespace {

const std::string kTypeNameCases =
    "   when  'FN'  then '自定义函数'   when  'U'   then '用户表'   when  'S'   then '系统表'"
    "   when  'V'   then '视图'   when  'P'   then '存储过程'   when  'X'   then '扩展存存过程'"
    "   when  'TR'  then '触发器'   when  'TF'  then '系统函数'";

const std::string kDependentsOfOHara =
    " select   distinct name = (o.name),type =  case rtrim(left(v.name,2)) " + kTypeNameCases +
    " else  rtrim(left(v.name,2)) end, updated = ' ', selected = ' ','column' = ' '  "
    "into #T1   from sysobjects o, master.dbo.spt_values v, sysdepends d,\tsysusers s "
    "where o.id = d.id        and o.xtype = substring(v.name,1,2) collate database_de"
    "fault  and v.type = 'O9T'       and d.depid = object_id('O''Hara')       and o.u"
    "id = s.uid        and deptype < 2  order by o.name  select *, IDENTITY(int, 1,1)"
    " AS IndexNum INTO #T2  from #T1  select * from #T2 Drop table #T1 Drop table #T2"
    " ";

const std::string kDependenciesOfOHara =
    "\tselect  IDENTITY(int, 1,1) AS IndexNum, 'name' = ( o1.name), type = case rtrim("
    "left(v2.name,2)) " +
    kTypeNameCases +
    "  else  rtrim(left(v2.name,2)) end,\t updated = case substring(u4.name, 1, 7)  wh"
    "en 'no' then '' else 'YES' end,\t selected = case substring(w5.name, 1, 7) when '"
    "no' then '' else 'YES' end,'column' = col_name(d3.depid, d3.depnumber)  into #T1"
    " \tfrom\t sysobjects\t\t          o1 ,master.dbo.spt_values\tv2  ,sysdepends\t\td3,    "
    "\t\t master.dbo.spt_values\tu4 ,master.dbo.spt_values\tw5 \t,sysusers\t  \ts6  where\t o"
    "1.id = d3.depid         \tand\t o1.xtype = substring(v2.name,1,2) collate database"
    "_default and v2.type = 'O9T'\t      \tand\t u4.type = 'B' and u4.number = d3.result"
    "obj         \tand\t w5.type = 'B' and w5.number = d3.readobj|d3.selall      \t\tand\t"
    " d3.id =  object_id('O''Hara')     \t\tand\t o1.uid = s6.uid        \tand deptype < "
    "2  order by o1.name  select * from #T1 Drop table #T1 ";

TEST(DependencyBatches, TypeNameArmsAlignOneAndTwoLetterCodes) {
  EXPECT_EQ(typeNameCases(), kTypeNameCases);
  ASSERT_EQ(objectTypeNames().size(), 8u);
  EXPECT_EQ(objectTypeNames().front().code, "FN");
  EXPECT_EQ(objectTypeNames().back().name, "系统函数");
}

// The name goes in only as a string literal, so a quote in it is doubled and nothing else
// changes: the same text for a name that would need brackets elsewhere.
TEST(DependencyBatches, BothDirectionsAsSentWithTheNameQuoted) {
  EXPECT_EQ(dependencyBatch("O'Hara", DependencyDirection::Dependents), kDependentsOfOHara);
  EXPECT_EQ(dependencyBatch("O'Hara", DependencyDirection::Dependencies), kDependenciesOfOHara);
  const std::string forOrder = dependencyBatch("order", DependencyDirection::Dependents);
  EXPECT_NE(forOrder.find("object_id('order')"), std::string::npos);
  EXPECT_EQ(forOrder.find('['), std::string::npos);
}

}  // namespace
