#pragma once
// The column-description batches: fixed T-SQL batches that take a table name on their
// table-name line and return one row per column of that table.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/server_version.h"
#include "common/object_name.h"

namespace makeddl::scripts {

// The line of every batch that names the table; it is replaced before each run.
inline constexpr std::size_t kTableNameLine = 1;

// "set @Table_Name=" and the table as object_id() reads it (a string literal; a name that would
// read as several parts, such as a.b, in brackets).
std::string tableNameLine(const ObjectName& table);

// The part both batches share: the column facts in #T1 and the primary-key columns in #T2.
// Its table-name line holds a placeholder table. The column remarks come from the version's
// extended properties; for SQL Server 2000 (the default) the lines read sysproperties.
std::vector<std::string> columnFactsLines(const catalog::ServerVersion& server = {});

// The field-list batch as the field-list data set holds it: one row per column with IndexNum,
// name, type, length, prec, scale, ifnull, defaultValue, FieldRemark, ISKEY and precS,
// followed by six empty lines.
std::vector<std::string> fieldListBatchLines(const catalog::ServerVersion& server = {});

}  // namespace makeddl::scripts
