#pragma once
// CREATE scripts: per table a comment, a guarded DROP TABLE and a CREATE TABLE with its
// columns, keys and constraints, then its other indexes; views, procedures, functions and
// triggers from their stored text, each behind a guarded DROP of its kind in a batch of its
// own; foreign keys last, so that the script runs whatever the order of its tables.

#include <string>
#include <string_view>
#include <vector>

#include "connection/data_access.h"
#include "scripts/progress.h"
#include "scripts/schema.h"
#include "scripts/schema_reader.h"

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

struct ScriptOptions {
  // Also write the sp_addextendedproperty calls that restore table and column remarks.
  bool remarks = false;
};

// Fills the data set with the script batch for the server's version; done before its first run.
void loadScriptBatch(connection::DataSet& batch, const catalog::ServerVersion& server = {});

// Runs the batch for the table and reads its rows, from the first, in column order.
std::vector<ColumnScriptRow> runScriptBatch(connection::DataSet& batch, const ObjectName& table);

// The type piece of a column, as the script batch makes it: the type, its length (national
// types in characters) or precision and scale, the default, NOT NULL and the comma; with an
// IDENTITY(seed,increment), a COLLATE clause and a DEFAULT constraint's name where the column
// has them.
std::string typePiece(const ColumnModel& column, bool comma);

// The row the script batch gives a column of the model.
ColumnScriptRow columnScriptRow(const ColumnModel& column, bool comma);

// The column lines of a table, aligned: every type piece starts two characters after the
// longest name, every "--" comment two characters after the longest type piece. Widths count
// characters and ignore trailing blanks, as the server's len() does; names that need it are
// in brackets.
std::vector<std::string> columnLines(const std::vector<ColumnScriptRow>& rows);

// The script block of one table from the script batch's rows: the primary key of the rows
// marked as key, in column order.
std::vector<std::string> createTableBlock(const ObjectName& table, const std::vector<ColumnScriptRow>& rows);

// The script block of one table of the model, with its keys, constraints and indexes. A table
// without columns (one that was not found) gets a comment instead of a DROP.
std::vector<std::string> createTableBlock(const TableModel& table);

// The script of a view, procedure, function or trigger: a guarded DROP of its kind, then its
// text in a batch of its own.
std::vector<std::string> moduleBlock(const ModuleModel& module);

// ALTER TABLE ... ADD CONSTRAINT ... FOREIGN KEY ... REFERENCES ...
std::string foreignKeyStatement(const ForeignKeyModel& key);

// The statements that make a schema unless it exists (SQL Server 2005 and later).
std::vector<std::string> schemaStatements(const std::vector<std::string>& schemas);

// The script of a model: the schemas it needs, tables (with their remarks when asked for),
// then the other objects in dependency order, then the foreign keys.
std::vector<std::string> schemaScript(const SchemaModel& model, const ScriptOptions& options,
                                      const Progress& progress);

// The script of the selected objects, read with a fixed number of queries on `query`;
// reports the tables finished. Any failure ends the whole run.
std::vector<std::string> MakeDDL(connection::DataSet& query, const SchemaSelection& selection,
                                 const ScriptOptions& options, const Progress& progress);

}  // namespace makeddl::scripts
