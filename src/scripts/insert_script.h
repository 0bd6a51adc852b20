#pragma once
// INSERT scripts: one statement per row of a data set, under a table's name.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/object_name.h"
#include "connection/data_access.h"
#include "scripts/progress.h"

namespace makeddl::scripts {

// Where the rows of each name come from.
enum class InsertRows {
  WholeTable = 1,     // the data set is loaded with every row of the named table
  CurrentResult = 2,  // the data set's current result, scripted under the one name given
};

// A value as a T-SQL literal that the server reads back as the same value: NULL; strings
// quoted with their blanks (N'…' for national types), with line breaks and other control
// characters written as char(n) pieces; date-times as 'yyyy-mm-dd hh:mm:ss' with the
// milliseconds when they are not zero; bits as 1 or 0; binary values as 0x hexadecimal;
// uniqueidentifier values quoted; numbers as the server's text, decimals without trailing zeros. A timestamp column gets
// DEFAULT: the server stamps every row itself. Long text with control characters cannot be
// one literal, nor can a sql_variant be written without its base type: see InsertScriptWriter.
std::string valueText(const connection::ColumnInfo& column, const std::optional<std::string>& value);

// "INSERT INTO table (columns) VALUES (values)" for one row.
std::string insertStatement(const ObjectName& table, const std::vector<connection::ColumnInfo>& columns,
                            const std::vector<std::optional<std::string>>& row);

// Receives the lines of a script one at a time, as they are made.
using LineSink = std::function<void(const std::string& line)>;

// Writes the INSERT script of one table after another to a sink. A table's block is an empty
// line, "----  " and the name, an empty line, then one statement per row; nothing at all when
// the table has no rows. A row with a long text value that holds control characters takes
// several statements; the script then declares what they need once and drops it at the end.
// A table's identity column: its rows are inserted with SET IDENTITY_INSERT ON, and a whole
// table's script sets the identity's current value back to the original's afterwards.
struct IdentityColumn {
  std::string name;
  std::optional<std::string> reseedTo;
};

class InsertScriptWriter {
 public:
  explicit InsertScriptWriter(LineSink sink) : sink_(std::move(sink)) {}

  // Starts the block of a table whose rows have these columns. The first `scriptedColumns` of
  // them are the table's; each further column holds the base type of a sql_variant column's
  // values, in the order of those columns. Throws for a column without a name, or a name that
  // no script can carry, before writing anything.
  void beginTable(const ObjectName& table, const std::vector<connection::ColumnInfo>& columns,
                  std::size_t scriptedColumns = std::string::npos,
                  std::optional<IdentityColumn> identity = std::nullopt);
  void addRow(const std::vector<std::optional<std::string>>& row);
  // Ends the table's block after its last row.
  void endTable();
  // Tables whose constraints and triggers must rest while the script inserts: foreign keys
  // would refuse a child row inserted before its parent, and triggers would act on rows that
  // are only being copied. The script turns them off before its first row and on again at
  // its end, checking every row then. Given before the first table.
  void guardTables(std::vector<ObjectName> withForeignKeys, std::vector<ObjectName> withTriggers);
  // Ends the script.
  void finish();

 private:
  void writeHead();
  // The literal of the row's value in column i.
  std::string literal(const std::vector<std::optional<std::string>>& row, std::size_t i) const;
  void writeLongRow(const std::vector<std::optional<std::string>>& row, const std::vector<bool>& longValues);

  LineSink sink_;
  ObjectName table_;
  std::vector<connection::ColumnInfo> columns_;
  std::vector<std::optional<std::size_t>> variantTypeAt_;  // where a variant column's base types are
  std::string head_;  // "INSERT INTO table (columns) VALUES (", made once per table
  bool headWritten_ = false;
  std::optional<IdentityColumn> identity_;  // when the rows give the identity column a value
  bool longTextDeclared_ = false;
  std::vector<ObjectName> withForeignKeys_, withTriggers_;
  bool guarded_ = false;  // the guards' first half is written
};

// The statements for the names, in order, with the rows taken from `query` as the mode says;
// reports the names finished after each. `query` stays open. Any failure ends the whole run.
std::vector<std::string> Mark_InsertSQL(connection::DataSet& query, const std::vector<ObjectName>& names,
                                        InsertRows mode, const Progress& progress);

// The lines Mark_InsertSQL makes for whole tables, each handed to `sink` as soon as it is made,
// without keeping any table's rows: tables of any size pass in little memory. `query` is left
// closed. Any failure ends the run; lines already handed over stay with the sink.
void streamInsertSQL(connection::DataSet& query, const std::vector<ObjectName>& names,
                     const Progress& progress, const LineSink& sink);

// The lines Mark_InsertSQL makes for the current result of `statement` under the one table
// name, streamed as streamInsertSQL streams whole tables. Throws when the statement returns
// no rows to script.
void streamQueryInsertSQL(connection::DataSet& query, const std::string& statement, const ObjectName& table,
                          const Progress& progress, const LineSink& sink);

}  // namespace makeddl::scripts
