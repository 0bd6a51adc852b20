#include "connection/data_access.h"

#include <sql.h>
#include <sqlext.h>

#include <QString>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <mutex>
#include <cstdio>
#include <cstring>

#include "common/strings.h"

namespace makeddl::connection {

namespace {

// The process-wide ODBC environment, made on first use.
SQLHENV environment() {
  static SQLHENV env = [] {
    SQLHENV handle = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle)))
      throw DatabaseError("无法初始化 ODBC 环境");
    SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    return handle;
  }();
  return env;
}

struct DiagnosticRecord {
  std::string state;
  SQLINTEGER nativeError = 0;
  std::string text;
};

// Text goes to and comes from the driver through its wide entries: once connected through
// the wide entry, the driver manager widens narrow text byte by byte, which garbles anything
// beyond ASCII.
std::u16string wideText(std::string_view utf8) {
  static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU16String();
}

std::string utf8Text(const SQLWCHAR* text, SQLSMALLINT length) {
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length).toStdString();
}

std::vector<DiagnosticRecord> diagnosticRecords(SQLSMALLINT handleType, SQLHANDLE handle) {
  std::vector<DiagnosticRecord> records;
  SQLWCHAR state[6];
  SQLWCHAR message[2048];
  SQLINTEGER nativeError = 0;
  SQLSMALLINT length = 0;
  for (SQLSMALLINT record = 1; SQL_SUCCEEDED(SQLGetDiagRecW(handleType, handle, record, state, &nativeError, message,
                                                            std::size(message), &length));
       ++record)
    records.push_back({utf8Text(state, 5), nativeError,
                       utf8Text(message, std::min<SQLSMALLINT>(length, std::size(message) - 1))});
  return records;
}

// A message without the driver's bracketed prefixes ("[FreeTDS][SQL Server]").
std::string withoutPrefixes(std::string text) {
  while (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos) break;
    text.erase(0, close + 1);
  }
  return text;
}

// The messages for the user, one a line: the server's number with the server's messages, the
// SQLSTATE with the driver's own.
std::string reasonText(const std::vector<DiagnosticRecord>& records) {
  std::vector<std::string> lines;
  for (const DiagnosticRecord& record : records) {
    const std::string label = record.nativeError != 0 ? "消息 " + std::to_string(record.nativeError) : record.state;
    const std::string line = label + "：" + withoutPrefixes(record.text);
    if (std::find(lines.begin(), lines.end(), line) == lines.end()) lines.push_back(line);
  }
  if (lines.empty()) return "ODBC 调用失败";
  std::string text = lines.front();
  for (std::size_t i = 1; i < lines.size(); ++i) text += "\n" + lines[i];
  return text;
}

std::string diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
  return reasonText(diagnosticRecords(handleType, handle));
}

bool hasState(const std::vector<DiagnosticRecord>& records, std::string_view state) {
  return std::any_of(records.begin(), records.end(),
                     [state](const DiagnosticRecord& record) { return record.state == state; });
}

// Throws for a failed call: Cancelled when the statement was cancelled at the user's request
// (SQLSTATE HY008; a query timeout cancels too, but is a failure, HYT00), DatabaseError with
// the messages otherwise.
void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
  const std::vector<DiagnosticRecord> records = diagnosticRecords(handleType, handle);
  if (hasState(records, "HY008") && !hasState(records, "HYT00")) throw Cancelled();
  throw DatabaseError(reasonText(records));
}

FieldKind kindOf(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR:
    case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR:
      return FieldKind::Text;
    case SQL_BIT:
      return FieldKind::Boolean;
    case SQL_TYPE_DATE: case SQL_TYPE_TIMESTAMP: case SQL_DATETIME: case SQL_TYPE_TIME:
      return FieldKind::DateTime;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY:
      return FieldKind::Binary;
    default:
      return FieldKind::Other;
  }
}

}  // namespace

// The connection handle, and what a cancel from another thread needs to know: which statement
// is inside a driver call, since when, and whether it was cancelled already. The driver must
// only be asked to cancel a statement that is inside a call: on an idle one, this version of
// FreeTDS can release a lock it does not hold.
struct Connection::Handles {
  SQLHDBC dbc = SQL_NULL_HDBC;
  std::mutex callMutex;
  SQLHSTMT callStatement = SQL_NULL_HSTMT;
  std::chrono::steady_clock::time_point callStarted;
  std::uint64_t callNumber = 0;
  std::uint64_t cancelledCall = 0;
  std::atomic<bool> cancelRequested{false};
};

namespace {

// A driver call that may wait for the server, made known for the time it lasts so that a
// cancel from another thread can reach it. A cancel requested before the call begins fails it
// at once: the driver would not see an attention that arrives between two calls.
class DriverCall {
 public:
  DriverCall(Connection::Handles& handles, SQLHSTMT statement) : handles_(handles) {
    const std::lock_guard lock(handles_.callMutex);
    if (handles_.cancelRequested) throw Cancelled();
    handles_.callStatement = statement;
    handles_.callStarted = std::chrono::steady_clock::now();
    ++handles_.callNumber;
  }
  ~DriverCall() {
    const std::lock_guard lock(handles_.callMutex);
    handles_.callStatement = SQL_NULL_HSTMT;
  }
  DriverCall(const DriverCall&) = delete;
  DriverCall& operator=(const DriverCall&) = delete;

 private:
  Connection::Handles& handles_;
};

// A statement handle that is freed when it goes.
class Statement {
 public:
  explicit Statement(Connection& connection) : handles_(connection.handles()) {
    check(SQLAllocHandle(SQL_HANDLE_STMT, handles_.dbc, &handle_), SQL_HANDLE_DBC, handles_.dbc);
    if (connection.queryTimeout() > 0)
      SQLSetStmtAttr(handle_, SQL_ATTR_QUERY_TIMEOUT,
                     reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(connection.queryTimeout())), 0);
  }
  ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, handle_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  SQLHSTMT handle() const { return handle_; }
  void check(SQLRETURN rc) const { connection::check(rc, SQL_HANDLE_STMT, handle_); }

  void run(const std::string& text) {
    std::u16string wide = wideText(text);
    const DriverCall call(handles_, handle_);
    check(SQLExecDirectW(handle_, reinterpret_cast<SQLWCHAR*>(wide.data()), static_cast<SQLINTEGER>(wide.size())));
  }
  // Moves to the next row; false after the last.
  bool fetch() const {
    const DriverCall call(handles_, handle_);
    const SQLRETURN rc = SQLFetch(handle_);
    check(rc);
    return rc != SQL_NO_DATA;
  }
  int resultColumns() const {
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(handle_, &count));
    return count;
  }
  long long rowCount() const {
    SQLLEN count = -1;
    check(SQLRowCount(handle_, &count));
    return count;
  }
  bool moreResults() const {
    const DriverCall call(handles_, handle_);
    const SQLRETURN rc = SQLMoreResults(handle_);
    check(rc);
    return rc != SQL_NO_DATA;
  }

 private:
  static void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle) { connection::check(rc, type, handle); }
  Connection::Handles& handles_;
  SQLHSTMT handle_ = SQL_NULL_HSTMT;
};

std::string typeName(const Statement& statement, SQLUSMALLINT column) {
  SQLWCHAR name[128];
  SQLSMALLINT bytes = 0;
  statement.check(
      SQLColAttributeW(statement.handle(), column, SQL_DESC_TYPE_NAME, name, sizeof name, &bytes, nullptr));
  return utf8Text(name, std::min<SQLSMALLINT>(bytes / sizeof(SQLWCHAR), std::size(name) - 1));
}

std::vector<ColumnInfo> describeColumns(const Statement& statement, int count) {
  std::vector<ColumnInfo> columns;
  for (SQLUSMALLINT i = 1; i <= count; ++i) {
    SQLWCHAR name[512];
    SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    statement.check(SQLDescribeColW(statement.handle(), i, name, std::size(name), &nameLength, &sqlType, &size,
                                    &digits, &nullable));
    columns.push_back({utf8Text(name, std::min<SQLSMALLINT>(nameLength, std::size(name) - 1)), kindOf(sqlType),
                       sqlType, typeName(statement, i), digits});
  }
  return columns;
}

// Reads a character or binary value in pieces of any length.
std::optional<std::string> readLongValue(const Statement& statement, SQLUSMALLINT column, SQLSMALLINT cType) {
  std::string value;
  char buffer[8192];
  const std::size_t terminator = cType == SQL_C_CHAR ? 1 : 0;
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(statement.handle(), column, cType, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) break;
    statement.check(rc);
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    const bool truncated = indicator == SQL_NO_TOTAL || indicator > static_cast<SQLLEN>(sizeof buffer - terminator);
    value.append(buffer, truncated ? sizeof buffer - terminator : static_cast<std::size_t>(indicator));
    if (!truncated) break;
  }
  return value;
}

// Floating-point values as the shortest text that reads back to the same number.
template <typename Number>
std::optional<std::string> readFloatingValue(const Statement& statement, SQLUSMALLINT column, SQLSMALLINT cType) {
  Number number{};
  SQLLEN indicator = 0;
  statement.check(SQLGetData(statement.handle(), column, cType, &number, sizeof number, &indicator));
  if (indicator == SQL_NULL_DATA) return std::nullopt;
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, number);
  return std::string(text, result.ptr);
}

// Whole numbers read as numbers and written here: the same text as the driver's, without its
// formatting through printf for every value of a long result.
std::optional<std::string> readIntegerValue(const Statement& statement, SQLUSMALLINT column) {
  SQLBIGINT number = 0;
  SQLLEN indicator = 0;
  statement.check(SQLGetData(statement.handle(), column, SQL_C_SBIGINT, &number, sizeof number, &indicator));
  if (indicator == SQL_NULL_DATA) return std::nullopt;
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, static_cast<long long>(number));
  return std::string(text, result.ptr);
}

// Appends `value` in exactly `width` digits.
void appendDigits(std::string& text, unsigned value, int width) {
  char digits[10];
  for (int i = width - 1; i >= 0; --i, value /= 10) digits[i] = static_cast<char>('0' + value % 10);
  text.append(digits, static_cast<std::size_t>(width));
}

// datetime and smalldatetime read as their parts and written as the driver writes them,
// "yyyy-mm-dd hh:mm:ss.mmm" (smalldatetime, with no digits of the second, without the
// milliseconds), without its formatting through strftime and printf for every value.
std::optional<std::string> readDateTimeValue(const Statement& statement, SQLUSMALLINT column, bool milliseconds) {
  SQL_TIMESTAMP_STRUCT t{};
  SQLLEN indicator = 0;
  statement.check(SQLGetData(statement.handle(), column, SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &indicator));
  if (indicator == SQL_NULL_DATA) return std::nullopt;
  std::string text;
  text.reserve(23);
  appendDigits(text, static_cast<unsigned>(t.year), 4);
  text += '-';
  appendDigits(text, t.month, 2);
  text += '-';
  appendDigits(text, t.day, 2);
  text += ' ';
  appendDigits(text, t.hour, 2);
  text += ':';
  appendDigits(text, t.minute, 2);
  text += ':';
  appendDigits(text, t.second, 2);
  if (milliseconds) {
    text += '.';
    appendDigits(text, static_cast<unsigned>(t.fraction / 1000000), 3);
  }
  return text;
}

std::optional<std::string> readValue(const Statement& statement, SQLUSMALLINT column, const ColumnInfo& info) {
  switch (info.sqlType) {
    case SQL_FLOAT: case SQL_DOUBLE:
      return readFloatingValue<double>(statement, column, SQL_C_DOUBLE);
    case SQL_REAL:
      return readFloatingValue<float>(statement, column, SQL_C_FLOAT);
    case SQL_TINYINT: case SQL_SMALLINT: case SQL_INTEGER: case SQL_BIGINT:
      return readIntegerValue(statement, column);
    case SQL_TYPE_TIMESTAMP:
      // The later date and time types keep the driver's own text, with their own precision.
      if (info.typeName == "datetime" && (info.decimalDigits == 0 || info.decimalDigits == 3))
        return readDateTimeValue(statement, column, info.decimalDigits == 3);
      break;
    default:
      break;
  }
  return readLongValue(statement, column, info.kind == FieldKind::Binary ? SQL_C_BINARY : SQL_C_CHAR);
}

// Reads the rows one by one, handing each to `take`, which may keep it by moving it away.
template <typename TakeRow>
void fetchEachRow(const Statement& statement, const std::vector<ColumnInfo>& columns, TakeRow take) {
  Row row;
  while (statement.fetch()) {
    row.resize(columns.size());
    for (SQLUSMALLINT i = 0; i < columns.size(); ++i) row[i] = readValue(statement, i + 1, columns[i]);
    take(row);
  }
}

RowTable fetchRows(const Statement& statement, const std::vector<ColumnInfo>& columns) {
  RowTable rows;
  fetchEachRow(statement, columns, [&rows](const Row& row) { rows.append(row); });
  return rows;
}

// Hands the rows over in pieces: the first after a hundred rows or a tenth of a second, so
// that a grid fills at once, then about five a second, so that the reader is not flooded.
void fetchInPieces(const Statement& statement, const std::vector<ColumnInfo>& columns, const RowPieceSink& sink) {
  using Clock = std::chrono::steady_clock;
  RowTable piece;
  bool first = true;
  Clock::time_point pieceStarted = Clock::now();
  auto handOver = [&] {
    sink(columns, std::move(piece));
    piece = RowTable();
    first = false;
    pieceStarted = Clock::now();
  };
  fetchEachRow(statement, columns, [&](const Row& row) {
    piece.append(row);
    const auto waited = Clock::now() - pieceStarted;
    if (first ? piece.size() >= 100 || waited >= std::chrono::milliseconds(100)
              : waited >= std::chrono::milliseconds(200))
      handOver();
  });
  if (!piece.empty() || first) handOver();
}

}  // namespace

Connection::Connection() : handles_(std::make_unique<Handles>()) {}

Connection::~Connection() { close(); }

void Connection::open() {
  close();
  SQLHDBC dbc = SQL_NULL_HDBC;
  check(SQLAllocHandle(SQL_HANDLE_DBC, environment(), &dbc), SQL_HANDLE_ENV, environment());
  SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds_)),
                    0);
  std::u16string wide = wideText(connectionString_);
  const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, reinterpret_cast<SQLWCHAR*>(wide.data()),
                                         static_cast<SQLSMALLINT>(wide.size()), nullptr, 0, nullptr,
                                         SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    const std::string message = diagnostics(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    throw DatabaseError(message);
  }
  handles_->dbc = dbc;
}

void Connection::close() {
  if (handles_->dbc == SQL_NULL_HDBC) return;
  SQLDisconnect(handles_->dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, handles_->dbc);
  handles_->dbc = SQL_NULL_HDBC;
}

bool Connection::isOpen() const { return handles_->dbc != SQL_NULL_HDBC; }

bool Connection::cancel() {
  // A call younger than this may not yet have reached the driver's own lock.
  constexpr auto kSettled = std::chrono::milliseconds(20);
  Handles& handles = *handles_;
  handles.cancelRequested = true;
  const std::lock_guard lock(handles.callMutex);
  if (handles.callStatement == SQL_NULL_HSTMT || handles.cancelledCall == handles.callNumber) return true;
  if (std::chrono::steady_clock::now() - handles.callStarted < kSettled) return false;
  SQLCancel(handles.callStatement);
  handles.cancelledCall = handles.callNumber;
  return true;
}

void Connection::clearCancel() { handles_->cancelRequested = false; }

bool Connection::cancelRequested() const { return handles_->cancelRequested; }

const std::string& Field::asText() const {
  if (!value_) throw DatabaseError("字段“" + column_.name + "”的值为 NULL，无法转换为文本");
  return *value_;
}

bool Field::asBoolean() const {
  const std::string& text = asText();
  return !(text.empty() || text == "0" || text == "false" || text == "False");
}

long long Field::asInteger() const {
  const std::string& text = asText();
  long long number = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), number);
  if (result.ec != std::errc() || result.ptr == text.data())
    throw DatabaseError("字段“" + column_.name + "”的值“" + text + "”不是整数");
  return number;
}

DateTime Field::asDateTime() const {
  const std::string& text = asText();
  DateTime time;
  char fraction[8] = "";
  const int read = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%7[0-9]", &time.year, &time.month, &time.day,
                               &time.hour, &time.minute, &time.second, fraction);
  if (read != 3 && read < 6) throw DatabaseError("字段“" + column_.name + "”的值“" + text + "”不是日期");
  // ".5" is 500 ms, ".123" 123 ms; digits beyond milliseconds are dropped.
  for (int digit = 0, scale = 100; digit < 3 && fraction[digit] != '\0'; ++digit, scale /= 10)
    time.millisecond += (fraction[digit] - '0') * scale;
  return time;
}

void DataSet::close() {
  const bool hadContent = open_ || !columns_.empty();
  open_ = false;
  columns_.clear();
  rows_.clear();
  moreRowSets_.clear();
  position_ = 0;
  if (hadContent) notifyChange();
}

void DataSet::replaceLine(std::size_t index, std::string line) {
  if (index >= sqlLines_.size()) throw DatabaseError("SQL 行号越界");
  sqlLines_[index] = std::move(line);
}

std::string DataSet::sqlText() const {
  std::string text;
  for (const std::string& line : sqlLines_) text += line + "\r\n";
  return text;
}

void DataSet::open() {
  if (openOrExecute()) throw DatabaseError("命令没有返回记录集");
}

void DataSet::openEachRow(const RowVisitor& visit) {
  const bool hadRows = !runText(&visit);
  open_ = false;
  columns_.clear();
  if (!hadRows) throw DatabaseError("命令没有返回记录集");
}

std::optional<long long> DataSet::openOrExecute() {
  if (const std::optional<long long> affected = runText(nullptr)) return affected;
  open_ = true;
  notifyChange();
  return std::nullopt;
}

std::optional<long long> DataSet::runText(const RowVisitor* visit) {
  close();
  if (!connection_.isOpen()) throw DatabaseError("连接未打开");
  Statement statement(connection_);
  statement.run(sqlText());
  bool haveRows = false;
  long long affected = -1;
  do {
    const int columnCount = statement.resultColumns();
    if (columnCount > 0 && !haveRows) {
      columns_ = describeColumns(statement, columnCount);
      if (visit)
        fetchEachRow(statement, columns_, [&](const Row& row) { (*visit)(columns_, row); });
      else if (pieceSink_)
        fetchInPieces(statement, columns_, pieceSink_);
      else
        rows_ = fetchRows(statement, columns_);
      haveRows = true;
    } else if (columnCount > 0 && keepEveryRowSet_) {
      std::vector<ColumnInfo> columns = describeColumns(statement, columnCount);
      RowTable rows = fetchRows(statement, columns);
      moreRowSets_.push_back({std::move(columns), std::move(rows)});
    } else if (columnCount == 0) {
      const long long count = statement.rowCount();
      if (count >= 0) affected = count;
    }
  } while (statement.moreResults());
  if (!haveRows) return affected;
  return std::nullopt;
}

long long DataSet::execute() {
  close();
  if (!connection_.isOpen()) throw DatabaseError("连接未打开");
  Statement statement(connection_);
  statement.run(sqlText());
  long long affected = -1;
  do {
    if (statement.resultColumns() == 0) {
      const long long count = statement.rowCount();
      if (count >= 0) affected = count;
    }
  } while (statement.moreResults());
  return affected;
}

void DataSet::query(std::string text) {
  close();
  clearSql();
  addLine(std::move(text));
  open();
}

RowSet DataSet::takeRows() {
  RowSet taken{std::move(columns_), std::move(rows_)};
  columns_.clear();
  rows_.clear();
  close();
  return taken;
}

void DataSet::showRows(RowSet rows) {
  close();
  columns_ = std::move(rows.columns);
  rows_ = std::move(rows.rows);
  open_ = true;
  notifyChange();
}

void DataSet::beginRows(std::vector<ColumnInfo> columns) {
  close();
  columns_ = std::move(columns);
}

void DataSet::requireOpen() const {
  if (!open_) throw DatabaseError("数据集“" + name_ + "”未打开");
}

int DataSet::recordCount() const {
  requireOpen();
  return static_cast<int>(rows_.size());
}

int DataSet::fieldCount() const {
  requireOpen();
  return static_cast<int>(columns_.size());
}

void DataSet::next() {
  if (position_ + 1 < static_cast<int>(rows_.size())) ++position_;
}

Field DataSet::field(int index) const {
  requireOpen();
  if (rows_.empty()) throw DatabaseError("数据集“" + name_ + "”没有记录");
  if (index < 0 || index >= static_cast<int>(columns_.size()))
    throw DatabaseError("数据集“" + name_ + "”没有第 " + std::to_string(index) + " 个字段");
  const std::optional<std::string_view> value = rows_.value(position_, index);
  return Field(columns_[index], value ? std::optional<std::string>(*value) : std::nullopt);
}

Field DataSet::fieldByName(const std::string& name) const {
  requireOpen();
  for (std::size_t i = 0; i < columns_.size(); ++i)
    if (equalsIgnoringCase(columns_[i].name, name)) return field(static_cast<int>(i));
  throw DatabaseError("数据集“" + name_ + "”没有字段“" + name + "”");
}

std::vector<std::string> firstColumnTexts(DataSet& rows) {
  std::vector<std::string> texts;
  rows.first();
  for (int i = 0, count = rows.recordCount(); i < count; ++i) {
    texts.push_back(rows.field(0).asText());
    rows.next();
  }
  return texts;
}

}  // namespace makeddl::connection
