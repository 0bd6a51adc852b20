#include "catalog/object_queries.h"

#include "common/strings.h"

namespace makeddl::catalog {

std::vector<std::string> objectListQueries() {
  return {"select name from sysobjects where type='U' order by Name",
          "select name from sysobjects where type='V' order by Name",
          "select name from sysobjects where type='P' order by Name",
          "select name from sysobjects where type in ('FN','IF','TF') order by Name"};
}

std::string selectAllQuery(std::string_view table) { return "select * from " + quotedIdentifier(table); }

std::string columnHeadingsQuery(std::string_view table) { return selectAllQuery(table) + " where 1<>1 "; }

std::vector<std::string> selectTemplateLines(const std::vector<std::string>& columns,
                                             std::string_view table) {
  std::string columnList;
  for (const std::string& column : columns) columnList += quotedIdentifier(column) + " , ";
  std::string listed = trimmed(columnList);
  if (listed.empty()) return {};
  listed.pop_back();  // the comma after the last column; the blank before it stays
  return {"SELECT    " + listed, "", "FROM      " + quotedIdentifier(table) + "        "};
}

std::string sourceTextQuery(std::string_view object) { return "sp_helptext " + objectNameArgument(object); }

std::string sourceTextLine(std::string_view row) {
  if (row.ends_with("\r\n")) row.remove_suffix(2);
  return std::string(row);
}

std::string sameNameQuery(std::string_view column) {
  return "select name from  sysobjects where id in(  select id  from  syscolumns where name=" +
         textLiteral(column) + ")";
}

std::string objectTypesQuery(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ",") + textLiteral(name);
  return "select name, type from sysobjects where name in (" + list + ")";
}

}  // namespace makeddl::catalog
