#include "catalog/dependency_batches.h"

#include "common/object_name.h"
#include "common/strings.h"

namespace makeddl::catalog {

namespace {

// The blanks between a code and "then" line the type names up under each other for the
// one- and two-letter codes.
std::string thenPiece(std::string_view code) { return code.size() == 1 ? "   then " : "  then "; }

// On SQL Server 2000 every object has a user for owner, joined from sysusers, and the page
// shows bare names. From SQL Server 2005 on an object belongs to a schema that need not be a
// user: no user is joined, and a name outside dbo comes with its schema, as the lists show it.
std::string onlyBefore2005(const ServerVersion& server, const std::string& text) {
  return server.hasCatalogViews() ? std::string() : text;
}

std::string shownNameOf(const ServerVersion& server, const std::string& o, const std::string& bare) {
  if (!server.hasCatalogViews()) return bare;
  return "(case when " + o + ".uid = 1 then " + o + ".name else schema_name(" + o + ".uid) + '.' + " + o +
         ".name end)";
}

// The distinct referencing objects, numbered through a second temporary table.
std::string dependentsBatch(const ObjectName& object, const ServerVersion& server) {
  return " select   distinct name = " + shownNameOf(server, "o", "(o.name)") +
         ",type =  case rtrim(left(v.name,2)) " + typeNameCases() + " else  rtrim(left(v.name,2)) end," +
         " updated = " + quoted(" ") + "," + " selected = " + quoted(" ") + "," + quoted("column") + " = " +
         quoted(" ") + "  into #T1 " + "  from sysobjects o, master.dbo.spt_values v, sysdepends d" +
         onlyBefore2005(server, ",\tsysusers s") + " where o.id = d.id " +
         "       and o.xtype = substring(v.name,1,2) collate database_default  and v.type = " +
         quoted("O9T") + "       and d.depid = object_id(" + nameArgument(object) + ")" +
         onlyBefore2005(server, "       and o.uid = s.uid ") + "       and deptype < 2 " +
         // DISTINCT orders only by what it selects: the name with its schema, from 2005 on.
         (server.hasCatalogViews() ? " order by name " : " order by o.name ") +
         " select *, IDENTITY(int, 1,1) AS IndexNum INTO #T2  from #T1  select * from #T2 " +
         "Drop table #T1 Drop table #T2 ";
}

// One row per dependency row, with the update and read flags spelt out through spt_values.
std::string dependenciesBatch(const ObjectName& object, const ServerVersion& server) {
  return "\tselect  IDENTITY(int, 1,1) AS IndexNum, " + quoted("name") + " = " +
         shownNameOf(server, "o1", "( o1.name)") + ", type = case rtrim(left(v2.name,2)) " + typeNameCases() +
         "  else  rtrim(left(v2.name,2)) end," + "\t updated = case substring(u4.name, 1, 7)  when " +
         quoted("no") + " then " + quoted("") + " else " + quoted("YES") + " end," +
         "\t selected = case substring(w5.name, 1, 7) when " + quoted("no") + " then " + quoted("") +
         " else " + quoted("YES") + " end," + quoted("column") + " = col_name(d3.depid, d3.depnumber) " +
         " into #T1 " + "\tfrom\t sysobjects\t\t          o1 ,master.dbo.spt_values\tv2  ,sysdepends\t\td3," +
         "    \t\t master.dbo.spt_values\tu4 ,master.dbo.spt_values\tw5" +
         onlyBefore2005(server, " \t,sysusers\t  \ts6 ") + " where\t o1.id = d3.depid " +
         "        \tand\t o1.xtype = substring(v2.name,1,2) collate database_default and v2.type = " +
         quoted("O9T") + "\t      \tand\t u4.type = " + quoted("B") + " and u4.number = d3.resultobj " +
         "        \tand\t w5.type = " + quoted("B") + " and w5.number = d3.readobj|d3.selall " +
         "     \t\tand\t d3.id =  object_id(" + nameArgument(object) + ")" +
         onlyBefore2005(server, "     \t\tand\t o1.uid = s6.uid ") + "       \tand deptype < 2 " +
         " order by o1.name " + " select * from #T1 " + "Drop table #T1 ";
}

}  // namespace

const std::vector<ObjectTypeName>& objectTypeNames() {
  static const std::vector<ObjectTypeName> names{
      {"FN", "自定义函数"}, {"U", "用户表"},       {"S", "系统表"},  {"V", "视图"},
      {"P", "存储过程"},    {"X", "扩展存存过程"}, {"TR", "触发器"}, {"TF", "系统函数"},
  };
  return names;
}

std::string typeNameCases() {
  std::string cases;
  for (const ObjectTypeName& type : objectTypeNames())
    cases += "   when  " + quoted(type.code) + thenPiece(type.code) + quoted(type.name);
  return cases;
}

std::string dependencyBatch(const ObjectName& object, DependencyDirection direction,
                            const ServerVersion& server) {
  return direction == DependencyDirection::Dependents ? dependentsBatch(object, server)
                                                      : dependenciesBatch(object, server);
}

}  // namespace makeddl::catalog
