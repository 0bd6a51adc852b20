#include "scripts/column_batches.h"

#include "common/object_name.h"
#include "common/strings.h"

namespace makeddl::scripts {

namespace {

// The description rows from #T1 and #T2, with the length class precS. SQL Server 2005 and later
// give the (max) types and xml a length of -1, which the list shows as "max".
std::vector<std::string> fieldListTailLines(const catalog::ServerVersion& server) {
  const std::string length =
      server.hasCatalogViews() ? "length=case when length=-1 then 'max' else convert(varchar(11),length) end" : "length";
  return {
      "",
      "select IndexNum,name,type," + length + ",prec,scale,ifnull,defaultValue,FieldRemark, ",
      "        ISKEY=case when key_COLName IS NOT NULL then 'YES'  END,",
      "--是否需要数据长度，0表示不用，1表示只有一个长度，2表示有小数字",
      "case  when  type  in ('decimal','numeric') then 2",
      "        when  type  in ('varbinary','varchar','nchar','nvarchar','char','binary') then 1",
      "         else 0 ",
      "end as precS",
      "",
      "",
      "into #T3",
      "from #T1 a  left join  #T2 b on (a.name=b.key_COLName) ",
      "",
      "drop table #T1 ",
      "drop table #T2 ",
      "",
      "select * from #T3",
      "drop table #T3 ",
  };
}

constexpr int kFieldListTrailingEmptyLines = 6;

}  // namespace

std::string tableNameLine(const ObjectName& table) { return "set @Table_Name=" + nameArgument(table); }

std::vector<std::string> columnFactsLines(const catalog::ServerVersion& server) {
  const std::string properties = catalog::extendedPropertiesSource(server);
  return {
      " Declare @Table_Name sysname",
      " set @Table_Name='d_empworkd'",
      " select a.colid AS IndexNum,",
      "       a.name,type_name(a.xtype) as   type,a.length,isnull(a.prec,0) as prec ,ISNULL(a.scale,0) as "
      "scale,",
      "       ifnull=case when a.isnullable=0 then 'YES'  end ,",
      "       b.text as DefaultValue ,c.prec as nPrec ,c.scale as nCscall,a.xtype,",
      "       FieldRemark=d.value",
      " into #T1 ",
      " from  syscolumns a left join  syscomments b on (a.cdefault=b.id) ",
      // One systypes row per storage type: the base type, not sysname beside nvarchar.
      "                    left join  master.dbo.systypes c on (a.xtype=c.xusertype)  ",
      // One extended property per column: its MS_Description, else the one first by name.
      "                    left join  " + properties + " as d on (a.id=d.id and a.colid=d.smallid and d.type=4",
      "                         and d.name=(select top 1 p.name from " + properties + " p",
      "                                     where p.id=a.id and p.smallid=a.colid and p.type=4",
      "                                     order by case when p.name='MS_Description' then 0 else 1 end, "
      "p.name))",
      " where a. id=object_id(@table_name) order by a.colid ",
      "          ",
      "",
      " select  Key_COLNAME =convert(sysname,c.name) ",
      " into #T2  ",
      " from sysindexes i, syscolumns c, sysobjects o ",
      " where\t\to.id = Object_id(@table_name) ",
      "      and o.id = c.id\tand o.id = i.id\tand (i.status & 0x800) = 0x800 ",
      "     \tand (c.name = index_col (@Table_Name, i.indid,  1) or ",
      "     \t  c.name = index_col (@Table_Name, i.indid,  2) or ",
      "     \t  c.name = index_col (@Table_Name, i.indid,  3) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  4) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  5) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  6) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  7) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  8) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  9) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  10) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  11) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  12) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  13) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  14) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  15) or",
      "     \t  c.name = index_col (@Table_Name, i.indid,  16)        ) ",
  };
}

std::vector<std::string> fieldListBatchLines(const catalog::ServerVersion& server) {
  std::vector<std::string> lines = columnFactsLines(server);
  const std::vector<std::string> tail = fieldListTailLines(server);
  lines.insert(lines.end(), tail.begin(), tail.end());
  lines.insert(lines.end(), kFieldListTrailingEmptyLines, std::string());
  return lines;
}

}  // namespace makeddl::scripts
