// The field-list batch: its lines as sent for a table, the table-name line that each run
// replaces, and the joins that keep one row per column.

#include <gtest/gtest.h>

#include <algorithm>

#include "scripts/column_batches.h"

using namespace makeddl::scripts;

namespace {

std::string sentText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// The batch as sent for the table O'Hara. The joins on systypes and sysproperties pick one row
// per column; every other line is kept as stored, tabs, comment and trailing blanks included.
const std::string kFieldListBatchForOHara =
    " Declare @Table_Name sysname\r\n"
    "set @Table_Name='O''Hara'\r\n"
    " select a.colid AS IndexNum,\r\n"
    "       a.name,type_name(a.xtype) as   type,a.length,isnull(a.prec,0) as prec ,ISNULL(a.scale,0) as "
    "scale,\r\n"
    "       ifnull=case when a.isnullable=0 then 'YES'  end ,\r\n"
    "       b.text as DefaultValue ,c.prec as nPrec ,c.scale as nCscall,a.xtype,\r\n"
    "       FieldRemark=d.value\r\n"
    " into #T1 \r\n"
    " from  syscolumns a left join  syscomments b on (a.cdefault=b.id) \r\n"
    "                    left join  master.dbo.systypes c on (a.xtype=c.xusertype)  \r\n"
    "                    left join  sysproperties as d on (a.id=d.id and a.colid=d.smallid and d.type=4\r\n"
    "                         and d.name=(select top 1 p.name from sysproperties p\r\n"
    "                                     where p.id=a.id and p.smallid=a.colid and p.type=4\r\n"
    "                                     order by case when p.name='MS_Description' then 0 else 1 end, "
    "p.name))\r\n"
    " where a. id=object_id(@table_name) order by a.colid \r\n"
    "          \r\n"
    "\r\n"
    " select  Key_COLNAME =convert(sysname,c.name) \r\n"
    " into #T2  \r\n"
    " from sysindexes i, syscolumns c, sysobjects o \r\n"
    " where\t\to.id = Object_id(@table_name) \r\n"
    "      and o.id = c.id\tand o.id = i.id\tand (i.status & 0x800) = 0x800 \r\n"
    "     \tand (c.name = index_col (@Table_Name, i.indid,  1) or \r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  2) or \r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  3) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  4) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  5) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  6) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  7) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  8) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  9) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  10) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  11) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  12) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  13) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  14) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  15) or\r\n"
    "     \t  c.name = index_col (@Table_Name, i.indid,  16)        ) \r\n"
    "\r\n"
    "select IndexNum,name,type,length,prec,scale,ifnull,defaultValue,FieldRemark, \r\n"
    "        ISKEY=case when key_COLName IS NOT NULL then 'YES'  END,\r\n"
    "--是否需要数据长度，0表示不用，1表示只有一个长度，2表示有小数字\r\n"
    "case  when  type  in ('decimal','numeric') then 2\r\n"
    "        when  type  in ('varbinary','varchar','nchar','nvarchar','char','binary') then 1\r\n"
    "         else 0 \r\n"
    "end as precS\r\n"
    "\r\n"
    "\r\n"
    "into #T3\r\n"
    "from #T1 a  left join  #T2 b on (a.name=b.key_COLName) \r\n"
    "\r\n"
    "drop table #T1 \r\n"
    "drop table #T2 \r\n"
    "\r\n"
    "select * from #T3\r\n"
    "drop table #T3 \r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "\r\n"
    "\r\n";

TEST(FieldListBatch, SentTextForATableWithAQuoteInItsName) {
  std::vector<std::string> lines = fieldListBatchLines();
  lines[kTableNameLine] = tableNameLine("O'Hara");
  EXPECT_EQ(sentText(lines), kFieldListBatchForOHara);
}

TEST(FieldListBatch, StoredTableNameLineIsAPlaceholderReplacedWhole) {
  const std::vector<std::string> lines = fieldListBatchLines();
  EXPECT_EQ(lines.at(kTableNameLine), " set @Table_Name='d_empworkd'");
  EXPECT_EQ(tableNameLine("B"), "set @Table_Name='B'");
  // object_id() and index_col() read the name as a multi-part name: one that would read as
  // several parts goes in brackets, one with a line break as char() pieces.
  EXPECT_EQ(tableNameLine("a b"), "set @Table_Name='a b'");
  EXPECT_EQ(tableNameLine("a b]c"), "set @Table_Name='[a b]]c]'");
  EXPECT_EQ(tableNameLine("a.b"), "set @Table_Name='[a.b]'");
  EXPECT_EQ(tableNameLine("x[y"), "set @Table_Name='[x[y]'");
  EXPECT_EQ(tableNameLine("\"q\""), "set @Table_Name='[\"q\"]'");
  EXPECT_EQ(tableNameLine("line\r\nx"), "set @Table_Name='line'+char(13)+char(10)+'x'");
}

TEST(FieldListBatch, StartsWithTheSharedColumnFacts) {
  const std::vector<std::string> facts = columnFactsLines();
  const std::vector<std::string> lines = fieldListBatchLines();
  ASSERT_GT(lines.size(), facts.size());
  EXPECT_TRUE(std::equal(facts.begin(), facts.end(), lines.begin()));
  EXPECT_EQ(facts.back(), "     \t  c.name = index_col (@Table_Name, i.indid,  16)        ) ");
}

}  // namespace
