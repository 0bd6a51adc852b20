#include "scripts/script_batch.h"

#include "scripts/column_batches.h"

namespace makeddl::scripts {

namespace {

// From the column facts (#T1, #T2) to one row per column with its CREATE TABLE pieces.
// Lengths and scales are cast to text wide enough for any value the catalogue holds, and
// nchar and nvarchar lengths, stored in bytes, are scripted in characters as declared.
const std::vector<std::string>& scriptTailLines() {
  static const std::vector<std::string> lines{
      "",
      "select IndexNum,name,type,length,prec,scale,ifnull,defaultValue,FieldRemark, ",
      "        ISKEY=case when key_COLName IS NOT NULL then 'YES'  END, Remark=NULL ,",
      "        isnull(nPrec,0) as nPrec,nCscall,xtype,",
      "case  when  type  in ('decimal','numeric') then 2",
      "        when  type  in ('varbinary','varchar','nchar','nvarchar','char','binary') then 1",
      "         else 0 ",
      "end as precS,",
      "len(a.name) as nameLen",
      "",
      "into #T3",
      "from #T1 a  left join  #T2 b on (a.name=b.key_COLName) ",
      "",
      "drop table #T1 ",
      "drop table #T2",
      "",
      "Declare @MaxLen int , @MaxType int ,@RecCount int ,@KeyCount int",
      "select @MaxLen=max(len(name)),@RecCount=count(*),@KeyCount=(select  count (*)  from #t3  where "
      "IsKEY='YES' "
      ")  from #t3",
      "",
      "select",
      "name+space(@maxlen-nameLen+2) AS Name,FieldRemark,",
      "",
      "",
      "type+  --字段名与数据类型",
      "",
      "--是否带数据长度",
      "case precS when 0 then ' '",
      "                 when 1 then   ' ('+cast(case when type in ('nchar','nvarchar') then length/2 else "
      "length end "
      "as varchar(10))+') '",
      "                 when 2 then   ' ('+cast(prec as varchar(10))+','+cast(scale as varchar(10))+') '",
      "end+",
      "",
      "--缺省值",
      "case  when  defaultValue IS NOT   NULL  then 'DEFAULT'+defaultValue else ''  end+",
      "",
      "--非NULL",
      "case  ifnull when  'YES'  then ' NOT NULL '  else '' end + ",
      "",
      "--有主键的在最后一行加逗号",
      "case when  @RecCount=indexNum  and @KeyCount<1  then '' else ',' end",
      "as MakeDDL,",
      "case when ISKEY='YES' then Name else '' end as KEYField,",
      "name as ColumnName,",
      "@maxLen as LenMax",
      "into #pp from #t3",
      "drop table #T3 ",
      "",
      "",
      "select @maxLen=max(len(MakeDDL)) from #pp",
      "select *,len(MakeDDL) as TypeLen into #T4 from #pp",
      "drop table #PP",
      "SELECT case when FieldRemark is not null then '--' else '' end as aa,isnull(FieldRemark,'') as "
      "FieldRemark,",
      "Name+MakeDDL+(case when FieldRemark is not  null then (''+space(@MaxLen-TypeLen+2)) else '' end) as "
      "Names,",
      "KEYField ,ColumnName,MakeDDL",
      "",
      "FROM #T4",
      "drop table #T4",
  };
  return lines;
}

constexpr int kScriptTrailingEmptyLines = 8;

}  // namespace

std::vector<std::string> scriptBatchLines(const catalog::ServerVersion& server) {
  std::vector<std::string> lines = columnFactsLines(server);
  const std::vector<std::string>& tail = scriptTailLines();
  lines.insert(lines.end(), tail.begin(), tail.end());
  lines.insert(lines.end(), kScriptTrailingEmptyLines, std::string());
  lines.emplace_back(" ");
  return lines;
}

}  // namespace makeddl::scripts
