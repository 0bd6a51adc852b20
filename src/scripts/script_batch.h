#pragma once
// The script batch: the column facts shared with the field-list batch, followed by the steps
// that turn each column into the pieces of its CREATE TABLE line.

#include <string>
#include <vector>

#include "catalog/server_version.h"

namespace makeddl::scripts {

// The batch as the script data set holds it. One row per column, in column order, with:
//   aa          "--" when the column has an extended property, else empty
//   FieldRemark the property's value, else empty
//   Names       the column line as the server aligns it: the padded name, the type piece and,
//               for a column with a property, the blanks before its comment
//   KEYField    the bare column name when it belongs to the primary key, else empty
//   ColumnName  the bare column name
//   MakeDDL     the type piece: type, length, default, NOT NULL and the comma
// Its table-name line (kTableNameLine) holds a placeholder table.
std::vector<std::string> scriptBatchLines(const catalog::ServerVersion& server = {});

}  // namespace makeddl::scripts
