#include "scripts/insert_script.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdio>

#include "catalog/object_queries.h"
#include "common/strings.h"
#include "scripts/script_text.h"

namespace makeddl::scripts {

namespace {

// ODBC types of SQL Server's own that the standard headers do not name.
constexpr int kSqlVariant = -150;

bool isNationalText(int sqlType) {
  return sqlType == SQL_WCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_WLONGVARCHAR;
}

std::string textLiteral(const connection::ColumnInfo& column, const std::string& text) {
  return (isNationalText(column.sqlType) ? "N" : "") + quoted(text);
}

std::string dateTimeLiteral(const connection::DateTime& t) {
  char text[40];
  int length = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                             t.hour, t.minute, t.second);
  if (t.millisecond != 0)
    length += std::snprintf(text + length, sizeof text - length, ".%03d", t.millisecond);
  return quoted(std::string(text, length));
}

// The server's own text "yyyy-mm-dd hh:mm:ss.mmm" is already the literal's form, but for the
// milliseconds when they are zero; reading it into a DateTime and printing it again is the
// slow way, kept for every other form.
bool isFullDateTimeText(std::string_view text) {
  constexpr std::string_view shape = "dddd-dd-dd dd:dd:dd.ddd";
  if (text.size() != shape.size()) return false;
  for (std::size_t i = 0; i < shape.size(); ++i)
    if (shape[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != shape[i]) return false;
  return true;
}

std::string dateTimeLiteral(const connection::Field& field) {
  const std::string& text = field.asText();
  if (!isFullDateTimeText(text)) return dateTimeLiteral(field.asDateTime());
  const bool noMilliseconds = text.ends_with(".000");
  return "'" + text.substr(0, noMilliseconds ? text.size() - 4 : text.size()) + "'";
}

std::string hexLiteral(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string literal = "0x";
  for (unsigned char byte : bytes) {
    literal += digits[byte >> 4];
    literal += digits[byte & 0x0F];
  }
  return literal;
}

// "1500.5000" as 1500.5 and "2000.0000" as 2000: the same number, written as users write it.
std::string withoutTrailingZeros(std::string number) {
  if (number.find('.') == std::string::npos) return number;
  number.erase(number.find_last_not_of('0') + 1);
  if (number.back() == '.') number.pop_back();
  return number;
}

std::string otherLiteral(const connection::ColumnInfo& column, const std::string& text) {
  switch (column.sqlType) {
    case SQL_GUID:
      return quoted(text);
    case kSqlVariant:
      return "N" + quoted(text);
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return withoutTrailingZeros(text);
    default:
      return text;
  }
}

// The server stamps a timestamp column by itself and refuses an explicit value (error 273).
bool isTimestamp(const connection::ColumnInfo& column) {
  return equalsIgnoringCase(column.typeName, "timestamp");
}

// The statements of one table's rows: what comes before the values is made once.
class StatementMaker {
 public:
  StatementMaker(std::string_view table, const std::vector<connection::ColumnInfo>& columns)
      : columns_(columns) {
    head_ = "INSERT INTO " + quotedIdentifier(table) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i)
      head_ += (i == 0 ? "" : ",") + quotedIdentifier(columns[i].name);
    head_ += ") VALUES (";
  }

  std::string statement(const std::vector<std::optional<std::string>>& row) const {
    std::string line = head_;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (i != 0) line += ',';
      line += valueText(columns_[i], row.at(i));
    }
    line += ')';
    return line;
  }

 private:
  const std::vector<connection::ColumnInfo>& columns_;
  std::string head_;
};

// What comes before a table's statements: an empty line, the comment, an empty line.
std::vector<std::string> blockHead(std::string_view table) { return {"", "----  " + std::string(table), ""}; }

}  // namespace

std::string valueText(const connection::ColumnInfo& column, const std::optional<std::string>& value) {
  if (isTimestamp(column)) return "DEFAULT";
  if (!value) return "NULL";
  const connection::Field field(column, value);
  switch (column.kind) {
    case connection::FieldKind::Text:
      return textLiteral(column, *value);
    case connection::FieldKind::DateTime:
      return dateTimeLiteral(field);
    case connection::FieldKind::Boolean:
      return field.asBoolean() ? "1" : "0";
    case connection::FieldKind::Binary:
      return hexLiteral(*value);
    case connection::FieldKind::Other:
      break;
  }
  return otherLiteral(column, *value);
}

std::string insertStatement(std::string_view table, const std::vector<connection::ColumnInfo>& columns,
                            const std::vector<std::optional<std::string>>& row) {
  return StatementMaker(table, columns).statement(row);
}

std::vector<std::string> insertBlock(std::string_view table, const connection::DataSet& rows) {
  if (rows.recordCount() == 0) return {};
  std::vector<std::string> lines = blockHead(table);
  const StatementMaker maker(table, rows.columns());
  for (const auto& row : rows.rows()) lines.push_back(maker.statement(row));
  return lines;
}

std::vector<std::string> Mark_InsertSQL(connection::DataSet& query, const std::vector<std::string>& names,
                                        InsertRows mode, const Progress& progress) {
  std::vector<std::string> script;
  const int total = static_cast<int>(names.size());
  if (progress) progress(0, total);
  for (int k = 0; k < total; ++k) {
    if (mode == InsertRows::WholeTable) query.query(catalog::selectAllQuery(names[k]));
    appendLines(script, insertBlock(names[k], query));
    if (progress) progress(k + 1, total);
  }
  return script;
}

void streamInsertSQL(connection::DataSet& query, const std::vector<std::string>& names,
                     const Progress& progress, const LineSink& sink) {
  const int total = static_cast<int>(names.size());
  if (progress) progress(0, total);
  for (int k = 0; k < total; ++k) {
    std::optional<StatementMaker> maker;
    query.clearSql();
    query.addLine(catalog::selectAllQuery(names[k]));
    query.openEachRow([&](const std::vector<connection::ColumnInfo>& columns,
                          const std::vector<std::optional<std::string>>& row) {
      if (!maker) {
        for (const std::string& line : blockHead(names[k])) sink(line);
        maker.emplace(names[k], columns);
      }
      sink(maker->statement(row));
    });
    if (progress) progress(k + 1, total);
  }
}

}  // namespace makeddl::scripts
