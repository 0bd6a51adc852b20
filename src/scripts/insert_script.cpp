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

std::string joined(const std::vector<std::string>& pieces) {
  std::string text;
  for (const std::string& piece : pieces) text += (text.empty() ? "" : ",") + piece;
  return text;
}

}  // namespace

std::string valueText(const connection::ColumnInfo& column, const std::optional<std::string>& value) {
  if (isTimestamp(column)) return "DEFAULT";
  if (!value) return "NULL";
  const connection::Field field(column, value);
  switch (column.kind) {
    case connection::FieldKind::Text:
      return textLiteral(column, *value);
    case connection::FieldKind::DateTime:
      return dateTimeLiteral(field.asDateTime());
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
  std::vector<std::string> names, values;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    names.push_back(quotedIdentifier(columns[i].name));
    values.push_back(valueText(columns[i], row.at(i)));
  }
  return "INSERT INTO " + quotedIdentifier(table) + " (" + joined(names) + ") VALUES (" + joined(values) +
         ")";
}

std::vector<std::string> insertBlock(std::string_view table, const connection::DataSet& rows) {
  if (rows.recordCount() == 0) return {};
  std::vector<std::string> lines{"", "----  " + std::string(table), ""};
  for (const auto& row : rows.rows()) lines.push_back(insertStatement(table, rows.columns(), row));
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

}  // namespace makeddl::scripts
