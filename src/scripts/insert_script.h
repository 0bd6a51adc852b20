#pragma once
// INSERT scripts: one statement per row of a data set, under a table's name.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "connection/data_access.h"
#include "scripts/progress.h"

namespace makeddl::scripts {

// Where the rows of each name come from.
enum class InsertRows {
  WholeTable = 1,     // the data set is loaded with every row of the named table
  CurrentResult = 2,  // the data set's current result, scripted under the one name given
};

// A value as a T-SQL literal that the server reads back as the same value: NULL; strings
// quoted with their blanks (N'…' for national types); date-times as 'yyyy-mm-dd hh:mm:ss' with
// the milliseconds when they are not zero; bits as 1 or 0; binary values as 0x hexadecimal;
// uniqueidentifier and sql_variant values quoted; numbers as the server's text, decimals
// without trailing zeros. A timestamp column gets DEFAULT: the server stamps every row itself.
std::string valueText(const connection::ColumnInfo& column, const std::optional<std::string>& value);

// "INSERT INTO table (columns) VALUES (values)" for one row.
std::string insertStatement(std::string_view table, const std::vector<connection::ColumnInfo>& columns,
                            const std::vector<std::optional<std::string>>& row);

// The block of a table: an empty line, "----  " and the name, an empty line, then one
// statement per row. Nothing at all when there are no rows.
std::vector<std::string> insertBlock(std::string_view table, const connection::DataSet& rows);

// The statements for the names, in order, with the rows taken from `query` as the mode says;
// reports the names finished after each. `query` stays open. Any failure ends the whole run.
std::vector<std::string> Mark_InsertSQL(connection::DataSet& query, const std::vector<std::string>& names,
                                        InsertRows mode, const Progress& progress);

// Receives the lines of a script one at a time, as they are made.
using LineSink = std::function<void(const std::string& line)>;

// The lines Mark_InsertSQL makes for whole tables, each handed to `sink` as soon as it is made,
// without keeping any table's rows: tables of any size pass in little memory. `query` is left
// closed. Any failure ends the run; lines already handed over stay with the sink.
void streamInsertSQL(connection::DataSet& query, const std::vector<std::string>& names,
                     const Progress& progress, const LineSink& sink);

}  // namespace makeddl::scripts
