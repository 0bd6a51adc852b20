#pragma once
// The table summary: its three queries (counts, indexes, NOT NULL columns) and the pick of the
// primary-key columns from the index list.

#include <string>
#include <string_view>
#include <vector>

#include "common/object_name.h"

namespace makeddl::catalog {

// RecCount (the table's rows) and ColCount (its columns) in one row.
std::string countQuery(const ObjectName& table);

// The table's indexes as sp_helpindex lists them: name, description and key columns.
std::string indexQuery(const ObjectName& table);

// The names of the table's columns that do not allow NULL.
std::string nonNullColumnsQuery(const ObjectName& table);

// One row of sp_helpindex.
struct IndexRow {
  std::string name;
  std::string description;
  std::string keys;
};

// True for the row of the primary-key index: its description names "primary key" among its
// properties (before " located on " and the filegroup, which may be named anything).
bool isPrimaryKeyIndex(const IndexRow& row);

// The key columns of the primary-key index as the server lists them ("a, b"), or empty text
// when no row is the primary-key index.
std::string primaryKeyColumns(const std::vector<IndexRow>& rows);

}  // namespace makeddl::catalog
