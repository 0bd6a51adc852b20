#include "catalog/object_queries.h"

#include "common/object_name.h"
#include "common/strings.h"

namespace makeddl::catalog {

namespace {

// The schema beside each name, on the versions that have schemas.
std::string namesSelected(const ServerVersion& server) {
  return server.hasCatalogViews() ? "select name, schema_name(uid) as schema_nm" : "select name";
}

}  // namespace

std::vector<std::string> objectListQueries(const ServerVersion& server) {
  const std::string select = namesSelected(server);
  return {select + " from sysobjects where type='U' order by Name",
          select + " from sysobjects where type='V' order by Name",
          select + " from sysobjects where type='P' order by Name",
          select + " from sysobjects where type in ('FN','IF','TF') order by Name"};
}

std::vector<ObjectName> listedObjects(const connection::DataSet& query) {
  std::vector<ObjectName> objects;
  const bool withSchemas = query.columns().size() > 1;
  for (const auto& row : query.rows()) {
    const std::string name(row.at(0).value_or(""));
    objects.push_back(withSchemas ? ObjectName(row.at(1).value_or(""), name) : ObjectName(name));
  }
  return objects;
}

void readObjectLists(connection::DataSet& query, const ServerVersion& server, std::vector<std::vector<ObjectName>>& lists) {
  for (const std::string& listQuery : objectListQueries(server)) {
    query.query(listQuery);
    lists.push_back(listedObjects(query));
  }
}

std::string selectAllQuery(const ObjectName& table) { return "select * from " + sqlName(table); }

std::string columnHeadingsQuery(const ObjectName& table) { return selectAllQuery(table) + " where 1<>1 "; }

std::vector<std::string> selectTemplateLines(const std::vector<std::string>& columns,
                                             const ObjectName& table) {
  std::string columnList;
  for (const std::string& column : columns) columnList += quotedIdentifier(column) + " , ";
  std::string listed = trimmed(columnList);
  if (listed.empty()) return {};
  listed.pop_back();  // the comma after the last column; the blank before it stays
  return {"SELECT    " + listed, "", "FROM      " + sqlName(table) + "        "};
}

std::string sourceTextQuery(const ObjectName& object) { return "sp_helptext " + nameArgument(object); }

std::string sourceTextLine(std::string_view row) {
  if (row.ends_with("\r\n")) row.remove_suffix(2);
  return std::string(row);
}

std::string sameNameQuery(std::string_view column, const ServerVersion& server) {
  return namesSelected(server) + " from  sysobjects where id in(  select id  from  syscolumns where name=" +
         textLiteral(column) + ")";
}

}  // namespace makeddl::catalog
