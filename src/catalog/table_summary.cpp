#include "catalog/table_summary.h"

#include "common/object_name.h"
#include "common/strings.h"

namespace makeddl::catalog {

std::string countQuery(const ObjectName& table) {
  return "SELECT count(*) as RecCount,(select count(*)  from  syscolumns where id= object_id(" +
         nameArgument(table) + "))as ColCount from " + sqlName(table);
}

// The procedure reads its argument as a multi-part name, as object_id() does: a name that would
// read as several parts goes in as a string of its bracketed form.
std::string indexQuery(const ObjectName& table) {
  const std::string argument = nameArgument(table);
  return "sp_helpindex " + (argument.starts_with("'[") ? argument : sqlName(table));
}

std::string nonNullColumnsQuery(const ObjectName& table) {
  return "select name  from  syscolumns where id= object_id(" + nameArgument(table) + ") and isnullable=0";
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
