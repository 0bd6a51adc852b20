#pragma once
// The catalogue batches the tool sends, kept verbatim (comments, tabs, mixed-case names and
// statements run together), so that the sandbox is tested on exactly these texts.

#include <string>
#include <vector>

namespace sandbox::testing {

// The cases that turn a type code of spt_values into its Chinese name, in both dependency batches.
inline const std::string kTypeNameCases =
    "   when  'FN'  then '自定义函数'   when  'U'   then '用户表'   when  'S'   then '系统表'   when  'V'   then '视图'   when  'P'   then '存储过程'   when  'X'   then '扩展存存过程'   when  'TR'  then '触发器'   when  'TF'  then '系统函数'";

inline std::string quotedSql(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += c;
    }
    return out + "'";
}

// Lines of the batch; line 1 is replaced by the table-name line before it is sent.
// The lines both column batches begin with: the column facts in #T1, the key columns in #T2
// and the start of the select into #T3.
inline std::vector<std::string> sharedBatchLines() {
    return {
        " Declare @Table_Name sysname",
        " set @Table_Name='d_empworkd'",
        " select a.colid AS IndexNum,",
        "       a.name,type_name(a.xtype) as   type,a.length,isnull(a.prec,0) as prec ,ISNULL(a.scale,0) as scale,",
        "       ifnull=case when a.isnullable=0 then 'YES'  end ,",
        "       b.text as DefaultValue ,c.prec as nPrec ,c.scale as nCscall,a.xtype,",
        "       FieldRemark=d.value",
        " into #T1 ",
        " from  syscolumns a left join  syscomments b on (a.cdefault=b.id) ",
        "                    left join  master.dbo.systypes c on (a.xtype=c.xtype)  ",
        "                    left join  sysproperties as d on (a.id=d.id and a.colid=d.smallid)",
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
        "",
        "select IndexNum,name,type,length,prec,scale,ifnull,defaultValue,FieldRemark, ",
    };
}

inline std::vector<std::string> fieldListBatchLines() {
    std::vector<std::string> lines = sharedBatchLines();
    lines.insert(lines.end(), {
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
    });
    return lines;
}

// Lines of the batch; line 1 is replaced by the table-name line before it is sent.
inline std::vector<std::string> scriptBatchLines() {
    std::vector<std::string> lines = sharedBatchLines();
    lines.insert(lines.end(), {
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
        "select @MaxLen=max(len(name)),@RecCount=count(*),@KeyCount=(select  count (*)  from #t3  where IsKEY='YES' )  from #t3",
        "",
        "select",
        "name+space(@maxlen-nameLen+2) AS Name,FieldRemark,",
        "",
        "",
        "type+  --字段名与数据类型",
        "",
        "--是否带数据长度",
        "case precS when 0 then ' '",
        "                 when 1 then   ' ('+cast(length as varchar(3))+') '",
        "                 when 2 then   ' ('+cast(prec as varchar(3))+','+cast(scale as varchar(1))+') '",
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
        "@maxLen as LenMax",
        "into #pp from #t3",
        "drop table #T3 ",
        "",
        "",
        "select @maxLen=max(len(MakeDDL)) from #pp",
        "select *,len(MakeDDL) as TypeLen into #T4 from #pp",
        "drop table #PP",
        "SELECT case when FieldRemark is not null then '--' else '' end as aa,isnull(FieldRemark,'') as FieldRemark,",
        "Name+MakeDDL+(case when FieldRemark is not  null then (''+space(@MaxLen-TypeLen+2)) else '' end) as Names,",
        "KEYField ",
        "",
        "FROM #T4",
        "drop table #T4",
    });
    return lines;
}

// The batch text for `table`: line 1 replaced, every line ended by CR LF.
inline std::string columnBatch(std::vector<std::string> lines, const std::string& table) {
    lines[1] = "set @Table_Name=" + quotedSql(table);
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

// Objects that depend on the named object.
inline std::string dependentsBatch(const std::string& objectName) {
    std::string text;
    text += " select   distinct name = (o.name),type =  case rtrim(left(v.name,2)) ";
    text += kTypeNameCases;
    text += " else  rtrim(left(v.name,2)) end,";
    text += " updated = ";
    text += "' '";
    text += ",";
    text += " selected = ";
    text += "' '";
    text += ",";
    text += "'column'";
    text += " = ";
    text += "' '";
    text += "  into #T1 ";
    text += "  from sysobjects o, master.dbo.spt_values v, sysdepends d,\tsysusers s where o.id = d.id ";
    text += "       and o.xtype = substring(v.name,1,2) collate database_default  and v.type = ";
    text += "'O9T'";
    text += "       and d.depid = object_id(";
    text += quotedSql(objectName);
    text += ")";
    text += "       and o.uid = s.uid ";
    text += "       and deptype < 2 ";
    text += " order by o.name ";
    text += " select *, IDENTITY(int, 1,1) AS IndexNum INTO #T2  from #T1  select * from #T2 ";
    text += "Drop table #T1 Drop table #T2 ";
    return text;
}

// Objects and columns the named object depends on.
inline std::string dependenciesBatch(const std::string& objectName) {
    std::string text;
    text += "\tselect  IDENTITY(int, 1,1) AS IndexNum, ";
    text += "'name'";
    text += " = ( o1.name), type = case rtrim(left(v2.name,2)) ";
    text += kTypeNameCases;
    text += "  else  rtrim(left(v2.name,2)) end,";
    text += "\t updated = case substring(u4.name, 1, 7)  when ";
    text += "'no'";
    text += " then ";
    text += "''";
    text += " else ";
    text += "'YES'";
    text += " end,";
    text += "\t selected = case substring(w5.name, 1, 7) when ";
    text += "'no'";
    text += " then ";
    text += "''";
    text += " else ";
    text += "'YES'";
    text += " end,";
    text += "'column'";
    text += " = col_name(d3.depid, d3.depnumber) ";
    text += " into #T1 ";
    text += "\tfrom\t sysobjects\t\t          o1 ,master.dbo.spt_values\tv2  ,sysdepends\t\td3,";
    text += "    \t\t master.dbo.spt_values\tu4 ,master.dbo.spt_values\tw5 \t,sysusers\t  \ts6 ";
    text += " where\t o1.id = d3.depid ";
    text += "        \tand\t o1.xtype = substring(v2.name,1,2) collate database_default and v2.type = ";
    text += "'O9T'";
    text += "\t      \tand\t u4.type = ";
    text += "'B'";
    text += " and u4.number = d3.resultobj ";
    text += "        \tand\t w5.type = ";
    text += "'B'";
    text += " and w5.number = d3.readobj|d3.selall ";
    text += "     \t\tand\t d3.id =  object_id(";
    text += quotedSql(objectName);
    text += ")";
    text += "     \t\tand\t o1.uid = s6.uid ";
    text += "       \tand deptype < 2 ";
    text += " order by o1.name ";
    text += " select * from #T1 ";
    text += "Drop table #T1 ";
    return text;
}

}  // namespace sandbox::testing
