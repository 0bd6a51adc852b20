#pragma once
// Data access: the window's single connection and its named data sets, on ODBC.
// A data set keeps its SQL as lines, sends them joined with CR LF, and reads the whole
// result on open, so its record count is exact at once. A batch of several statements opens
// like one query: results that are only row counts are passed over, the rows of the first
// row-returning statement are kept, and the statements after it still run.
//
// A connection is used by one thread at a time; only cancel() may be called from another,
// while a statement runs: it stops that statement at the server and the connection stays
// usable.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "connection/row_table.h"

namespace makeddl::connection {

// A failure reported by the driver or the server; the text is the server's own message, one
// line per message: "消息 208：…" with the server's message number, or the driver's SQLSTATE
// when the message is the driver's own ("08001：…").
class DatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A statement stopped at the user's request; the connection stays usable. Kept apart from
// DatabaseError so that no handler mistakes a cancel for a failure.
class Cancelled : public std::runtime_error {
 public:
  Cancelled() : std::runtime_error("操作已取消") {}
};

// A date and time as the server sends it, to the millisecond.
struct DateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  bool operator==(const DateTime&) const = default;
};

// The kinds of value the tool tells apart.
enum class FieldKind { Text, Boolean, DateTime, Binary, Other };

struct ColumnInfo {
  std::string name;
  FieldKind kind = FieldKind::Other;
  int sqlType = 0;       // the ODBC SQL type the driver reports
  std::string typeName;  // the server's name for the type ("timestamp" travels as binary)
  int decimalDigits = 0;  // as the driver describes the column: a date-time's digits of the second
};

// A result's columns and rows.
struct RowSet {
  std::vector<ColumnInfo> columns;
  RowTable rows;
};

// One value of the current row, as read from the server.
class Field {
 public:
  Field(const ColumnInfo& column, std::optional<std::string> value) : column_(column), value_(std::move(value)) {}
  const std::string& name() const { return column_.name; }
  FieldKind kind() const { return column_.kind; }
  int sqlType() const { return column_.sqlType; }
  bool isNull() const { return !value_.has_value(); }
  // The value as the server's text (binary values as raw bytes). Throws for NULL.
  const std::string& asText() const;
  bool asBoolean() const;
  long long asInteger() const;
  // Reads "YYYY-MM-DD[ hh:mm:ss[.fff]]", as the server sends date-time values.
  DateTime asDateTime() const;

 private:
  const ColumnInfo& column_;
  std::optional<std::string> value_;
};

// Receives the rows of a result one at a time; the row is valid only during the call.
using RowVisitor =
    std::function<void(const std::vector<ColumnInfo>& columns, const std::vector<std::optional<std::string>>& row)>;

// Receives the rows of a result in pieces as they arrive: the first piece soon, the rest a
// few times a second, so that a reader shows the first rows long before the last arrive.
using RowPieceSink = std::function<void(const std::vector<ColumnInfo>& columns, RowTable&& piece)>;

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void setConnectionString(std::string odbcConnectionString) { connectionString_ = std::move(odbcConnectionString); }
  const std::string& connectionString() const { return connectionString_; }
  void setLoginTimeout(int seconds) { loginTimeoutSeconds_ = seconds; }
  // The limit for each statement; 0, the default, lets a statement run as long as it needs.
  void setQueryTimeout(int seconds) { queryTimeoutSeconds_ = seconds; }
  int queryTimeout() const { return queryTimeoutSeconds_; }
  // Connects with the connection string; throws DatabaseError with the driver's message.
  // The string goes through the driver's wide entry, so that text beyond Latin-1 (the
  // program's name) reaches the server as written.
  void open();
  void close();
  bool isOpen() const;

  // From any thread: stops the statement running on the connection (an attention to the
  // server) and makes the next call on it fail with Cancelled, until clearCancel(). Returns
  // false when the attention could not be sent yet because the driver call has only just
  // begun; calling again a moment later sends it.
  bool cancel();
  void clearCancel();
  bool cancelRequested() const;

  struct Handles;
  Handles& handles() const { return *handles_; }

 private:
  std::string connectionString_;
  int loginTimeoutSeconds_ = 5;
  int queryTimeoutSeconds_ = 0;
  std::unique_ptr<Handles> handles_;
};

class DataSet {
 public:
  DataSet(Connection& connection, std::string name) : connection_(connection), name_(std::move(name)) {}

  const std::string& name() const { return name_; }
  Connection& connection() const { return connection_; }
  // Called after every open and close, so that a grid showing the data set follows it.
  void setChangeListener(std::function<void()> listener) { changed_ = std::move(listener); }
  void close();
  void clearSql() { sqlLines_.clear(); }
  void addLine(std::string line) { sqlLines_.push_back(std::move(line)); }
  void replaceLine(std::size_t index, std::string line);
  const std::vector<std::string>& sqlLines() const { return sqlLines_; }
  // The text sent: every line followed by CR LF.
  std::string sqlText() const;

  // Runs the text and keeps the rows of its row-returning statement. Throws DatabaseError
  // when the server refuses it, or after running it when it yields no row set at all.
  void open();
  // Runs the text once, for a caller that does not know whether it returns rows: opens as
  // open() does when it yields a row set and returns nothing; otherwise leaves the data set
  // closed and returns the rows affected (the last count reported, -1 when none was).
  std::optional<long long> openOrExecute();
  // Runs a text that returns no rows; returns the rows affected (the last count reported).
  long long execute();
  // Runs the text as open() does, but hands each row of its row set to `visit` as it is read
  // instead of keeping it, so that a result of any size passes in little memory. The data set
  // is left closed. Throws as open() does.
  void openEachRow(const RowVisitor& visit);

  // With a sink, open() and openOrExecute() hand the rows of the row set over in pieces as
  // they arrive instead of keeping them: the data set ends open with the columns and no rows.
  void setPieceSink(RowPieceSink sink) { pieceSink_ = std::move(sink); }
  // Whether open() keeps the row sets of a batch after its first (for the query runner).
  void setKeepEveryRowSet(bool keep) { keepEveryRowSet_ = keep; }
  // The row sets after the first, when kept; takeMoreRowSets() moves them out.
  const std::vector<RowSet>& moreRowSets() const { return moreRowSets_; }
  std::vector<RowSet> takeMoreRowSets() { return std::exchange(moreRowSets_, {}); }

  // Moving rows between data sets (from one that read them on another thread to the one a grid
  // shows): takeRows() leaves this one closed; showRows() opens this one on the rows.
  RowSet takeRows();
  void showRows(RowSet rows);
  // The same in pieces: beginRows() closes the data set and gives it the columns, appendRows()
  // adds rows, endRows() opens it. Nothing is announced to the change listener but the close.
  void beginRows(std::vector<ColumnInfo> columns);
  void appendRows(RowTable&& piece) { rows_.append(std::move(piece)); }
  void endRows() { open_ = true; }

  // Convenience: close, clear, add the text, open.
  void query(std::string text);

  bool isOpen() const { return open_; }
  int recordCount() const;
  int fieldCount() const;
  void first() { position_ = 0; }
  // Moves to the next row; stays on the last one at the end.
  void next();
  int position() const { return position_; }
  Field field(int index) const;
  Field fieldByName(const std::string& name) const;
  const std::vector<ColumnInfo>& columns() const { return columns_; }
  // The rows read, each a value per column (no value for NULL).
  const RowTable& rows() const { return rows_; }

 private:
  // Runs the text; keeps the rows of its row set, or hands them to `visit` when given.
  // Returns the rows affected when there was no row set.
  std::optional<long long> runText(const RowVisitor* visit);
  void requireOpen() const;
  void notifyChange() const {
    if (changed_) changed_();
  }

  Connection& connection_;
  std::string name_;
  std::vector<std::string> sqlLines_;
  bool open_ = false;
  std::vector<ColumnInfo> columns_;
  RowTable rows_;
  std::vector<RowSet> moreRowSets_;
  int position_ = 0;
  std::function<void()> changed_;
  RowPieceSink pieceSink_;
  bool keepEveryRowSet_ = false;
};

// The first field of every row as text, in row order, from the first row on. A NULL has no
// text form and throws DatabaseError.
std::vector<std::string> firstColumnTexts(DataSet& rows);

}  // namespace makeddl::connection
