#include "catalog/table_summary.h"

#include "common/strings.h"

namespace makeddl::catalog {

std::string countQuery(std::string_view table) {
  return "SELECT count(*) as RecCount,(select count(*)  from  syscolumns where id= object_id(" +
         quoted(table) + "))as ColCount from " + quotedIdentifier(table);
}

std::string indexQuery(std::string_view table) { return "sp_helpindex " + quotedIdentifier(table); }

std::string nonNullColumnsQuery(std::string_view table) {
  return "select name  from  syscolumns where id= object_id(" + quoted(table) + ") and isnullable=0";
}

bool isPrimaryKeyIndex(const IndexRow& row) {
  const std::string_view description = row.description;
  const std::string_view properties = description.substr(0, description.find(" located on "));
  return properties.find(", primary key") != std::string_view::npos;
}

std::string primaryKeyColumns(const std::vector<IndexRow>& rows) {
  for (const IndexRow& row : rows)
    if (isPrimaryKeyIndex(row)) return row.keys;
  return {};
}

}  // namespace makeddl::catalog
