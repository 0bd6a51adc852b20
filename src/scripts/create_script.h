#pragma once
// CREATE TABLE scripts: per table a comment, a guarded DROP TABLE and a CREATE TABLE whose
// column lines come from the script batch, with a PRIMARY KEY clause for a keyed table.

#include <string>
#include <string_view>
#include <vector>

#include "connection/data_access.h"
#include "scripts/progress.h"

namespace makeddl::scripts {

// One row of the script batch: what a column contributes to its table's script.
struct ColumnScriptRow {
  std::string name;        // the bare column name
  std::string typePiece;   // type, length, default, NOT NULL and the comma
  bool hasRemark = false;  // the column has an extended property
  std::string remark;      // its value
  bool isKey = false;      // the column belongs to the primary key

  bool operator==(const ColumnScriptRow&) const = default;
};

// Fills the data set with the script batch; done once, before its first run.
void loadScriptBatch(connection::DataSet& batch);

// Runs the batch for the table and reads its rows, from the first, in column order.
std::vector<ColumnScriptRow> runScriptBatch(connection::DataSet& batch, std::string_view table);

// The column lines of a table, aligned: every type piece starts two characters after the
// longest name, every "--" comment two characters after the longest type piece. Widths count
// characters and ignore trailing blanks, as the server's len() does; names that need it are
// in brackets.
std::vector<std::string> columnLines(const std::vector<ColumnScriptRow>& rows);

// The script block of one table.
std::vector<std::string> createTableBlock(std::string_view table, const std::vector<ColumnScriptRow>& rows);

// The script for the tables, in the order given: one batch run per table on `batch` (already
// loaded), reporting the tables finished before each one. Any failure ends the whole run.
std::vector<std::string> MakeDDL(connection::DataSet& batch, const std::vector<std::string>& tables,
                                 const Progress& progress);

}  // namespace makeddl::scripts
