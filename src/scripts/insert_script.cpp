#include "scripts/insert_script.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>

#include "catalog/object_directory.h"
#include "catalog/object_queries.h"
#include "common/strings.h"
#include "scripts/long_text.h"
#include "scripts/schema_reader.h"
#include "scripts/script_text.h"

namespace makeddl::scripts {

namespace {

// ODBC types of SQL Server's own that the standard headers do not name.
constexpr int kSqlVariant = -150;

bool isNationalText(int sqlType) {
  return sqlType == SQL_WCHAR || sqlType == SQL_WVARCHAR || sqlType == SQL_WLONGVARCHAR;
}

bool isText(const connection::ColumnInfo& column) { return column.kind == connection::FieldKind::Text; }

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
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return withoutTrailingZeros(text);
    default:
      return text;
  }
}

bool isVariant(const connection::ColumnInfo& column) { return column.sqlType == kSqlVariant; }

// The base type of a sql_variant value, as the whole-table query asks the server for it:
// "BaseType,Precision,Scale,MaxLength".
std::string variantTypeExpression(const std::string& column) {
  std::string expression;
  for (const char* property : {"BaseType", "Precision", "Scale", "MaxLength"})
    expression += std::string(expression.empty() ? "" : "+','+") + "cast(sql_variant_property(" + column + ",'" +
                  property + "') as varchar(20))";
  return expression;
}

// The value in its base type: CAST(literal AS type). The literal is the driver's text of the
// value (hexadecimal digits for binary values).
std::string variantLiteral(std::string_view typeText, const std::string& text) {
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    const std::size_t comma = typeText.find(',', start);
    parts.emplace_back(typeText.substr(start, comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (parts.size() != 4) throw std::runtime_error("无法读取 sql_variant 值的基础类型：" + std::string(typeText));
  const std::string& base = parts[0];
  const int maxLength = std::stoi(parts[3]);
  std::string literal = text, type = base;
  if (base == "char" || base == "varchar") {
    literal = textLiteral(text, false);
    type += "(" + std::to_string(std::max(1, maxLength)) + ")";
  } else if (base == "nchar" || base == "nvarchar") {
    literal = textLiteral(text, true);
    type += "(" + std::to_string(std::max(1, maxLength / 2)) + ")";
  } else if (base == "binary" || base == "varbinary") {
    literal = "0x" + text;
    type += "(" + std::to_string(std::max(1, maxLength)) + ")";
  } else if (base == "decimal" || base == "numeric") {
    type += "(" + parts[1] + "," + parts[2] + ")";
  } else if (base == "datetime" || base == "smalldatetime" || base == "uniqueidentifier") {
    literal = quoted(text);
  }
  return "CAST(" + literal + " AS " + type + ")";
}

// The server stamps a timestamp column by itself and refuses an explicit value (error 273).
bool isTimestamp(const connection::ColumnInfo& column) {
  return equalsIgnoringCase(column.typeName, "timestamp");
}

// The column list of a statement: every column, or those that take a value from a SELECT.
std::string columnList(const std::vector<connection::ColumnInfo>& columns, bool withTimestamps) {
  std::string list;
  for (const connection::ColumnInfo& column : columns)
    if (withTimestamps || !isTimestamp(column)) list += (list.empty() ? "" : ",") + quotedIdentifier(column.name);
  return list;
}

// A result column that names no column cannot be inserted into.
void requireColumnNames(const std::vector<connection::ColumnInfo>& columns) {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].name.empty())
      throw std::runtime_error("结果的第 " + std::to_string(i + 1) + " 列没有列名，无法生成INSERT语句");
    requireScriptableName(columns[i].name);
  }
}

// The rows of a whole table, and how many of the result's columns are the table's: a table
// with sql_variant columns is read with the base type of each value beside it.
std::pair<std::string, std::size_t> wholeTableQuery(connection::DataSet& query, const ObjectName& table) {
  query.query(catalog::columnHeadingsQuery(table));
  std::string extra;
  for (const connection::ColumnInfo& column : query.columns())
    if (isVariant(column)) extra += "," + variantTypeExpression(quotedIdentifier(column.name));
  const std::string select = extra.empty() ? catalog::selectAllQuery(table)
                                           : "select *" + extra + " from " + sqlName(table);
  return {select, query.columns().size()};
}

// Of the named tables, those with foreign keys and those with triggers.
void guardTables(connection::Connection& connection, const std::vector<ObjectName>& names,
                 InsertScriptWriter& writer) {
  if (names.empty()) return;
  connection::DataSet catalog(connection, "GuardQuery");
  const std::vector<catalog::CatalogObject> objects = catalog::readObjectDirectory(catalog, readServerVersion(catalog));
  const auto hasChild = [&objects](int table, const char* type) {
    return std::any_of(objects.begin(), objects.end(),
                       [&](const catalog::CatalogObject& o) { return o.parent == table && o.type == type; });
  };
  std::vector<const catalog::CatalogObject*> tables;
  for (const ObjectName& name : names)
    if (const catalog::CatalogObject* table = catalog::findObject(objects, name); table && table->type == "U")
      tables.push_back(table);
  std::sort(tables.begin(), tables.end(), [](const auto* a, const auto* b) { return shownName(a->name) < shownName(b->name); });
  tables.erase(std::unique(tables.begin(), tables.end()), tables.end());
  std::vector<ObjectName> withForeignKeys, withTriggers;
  for (const catalog::CatalogObject* table : tables) {
    if (hasChild(table->id, "F")) withForeignKeys.push_back(table->name);
    if (hasChild(table->id, "TR")) withTriggers.push_back(table->name);
  }
  writer.guardTables(std::move(withForeignKeys), std::move(withTriggers));
}

// The table's identity column and its current value, when it has one.
std::optional<IdentityColumn> identityColumn(connection::Connection& connection, const ObjectName& table) {
  connection::DataSet identity(connection, "IdentityQuery");
  const std::string name = nameArgument(table);
  identity.query("select c.name, ident_current(" + name + ") from syscolumns c where c.id = object_id(" + name +
                 ") and columnproperty(c.id, c.name, 'IsIdentity') = 1");
  if (identity.recordCount() == 0) return std::nullopt;
  return IdentityColumn{identity.rows().front().at(0).value_or(""), identity.rows().front().at(1)};
}

}  // namespace

std::string valueText(const connection::ColumnInfo& column, const std::optional<std::string>& value) {
  if (isTimestamp(column)) return "DEFAULT";
  if (!value) return "NULL";
  const connection::Field field(column, value);
  switch (column.kind) {
    case connection::FieldKind::Text:
      return textLiteral(*value, isNationalText(column.sqlType));
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

std::string insertStatement(const ObjectName& table, const std::vector<connection::ColumnInfo>& columns,
                            const std::vector<std::optional<std::string>>& row) {
  std::vector<std::string> lines;
  InsertScriptWriter writer([&lines](const std::string& line) { lines.push_back(line); });
  writer.beginTable(table, columns);
  writer.addRow(row);
  return lines.back();
}

void InsertScriptWriter::beginTable(const ObjectName& table, const std::vector<connection::ColumnInfo>& columns,
                                    std::size_t scriptedColumns, std::optional<IdentityColumn> identity) {
  columns_.assign(columns.begin(), columns.begin() + std::min(scriptedColumns, columns.size()));
  requireScriptableName(shownName(table));
  requireColumnNames(columns_);
  table_ = table;
  variantTypeAt_.assign(columns_.size(), std::nullopt);
  for (std::size_t i = 0, next = columns_.size(); i < columns_.size(); ++i)
    if (isVariant(columns_[i]) && next < columns.size()) variantTypeAt_[i] = next++;
  head_ = "INSERT INTO " + sqlName(table) + " (" + columnList(columns_, true) + ") VALUES (";
  headWritten_ = false;
  identity_.reset();
  for (const connection::ColumnInfo& column : columns_)
    if (identity && equalsIgnoringCase(column.name, identity->name)) identity_ = identity;
}

void InsertScriptWriter::endTable() {
  if (!headWritten_ || !identity_) return;
  sink_("SET IDENTITY_INSERT " + sqlName(table_) + " OFF");
  // DBCC takes no expressions: a name that needs character codes keeps the identity as the rows left it.
  if (identity_->reseedTo && !holdsLineBreakingCharacter(shownName(table_)))
    sink_("DBCC CHECKIDENT (" + nameArgument(table_) + ", RESEED, " + *identity_->reseedTo + ")");
}

std::string InsertScriptWriter::literal(const std::vector<std::optional<std::string>>& row, std::size_t i) const {
  if (!isVariant(columns_[i]) || !row[i]) return valueText(columns_[i], row[i]);
  if (!variantTypeAt_[i] || !row.at(*variantTypeAt_[i]))
    throw std::runtime_error("结果的第 " + std::to_string(i + 1) + " 列（" + columns_[i].name +
                             "）是 sql_variant，查询结果不带它的值的基础类型：请对整个表产生Insert，"
                             "或在查询中把它转换为确定的类型");
  return variantLiteral(*row[*variantTypeAt_[i]], *row[i]);
}

void InsertScriptWriter::guardTables(std::vector<ObjectName> withForeignKeys,
                                     std::vector<ObjectName> withTriggers) {
  withForeignKeys_ = std::move(withForeignKeys);
  withTriggers_ = std::move(withTriggers);
}

void InsertScriptWriter::writeHead() {
  if (!guarded_) {
    for (const ObjectName& table : withForeignKeys_) sink_("ALTER TABLE " + sqlName(table) + " NOCHECK CONSTRAINT ALL");
    for (const ObjectName& table : withTriggers_) sink_("ALTER TABLE " + sqlName(table) + " DISABLE TRIGGER ALL");
    guarded_ = true;
  }
  sink_("");
  for (const std::string& line : commentLines("----  ", shownName(table_))) sink_(line);
  sink_("");
  if (identity_) sink_("SET IDENTITY_INSERT " + sqlName(table_) + " ON");
  headWritten_ = true;
}

void InsertScriptWriter::addRow(const std::vector<std::optional<std::string>>& row) {
  if (!headWritten_) writeHead();
  std::vector<bool> longValues(columns_.size(), false);
  bool anyLong = false;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const std::optional<std::string>& value = row.at(i);
    longValues[i] = isText(columns_[i]) && value && needsLongTextForm(*value, isNationalText(columns_[i].sqlType));
    anyLong = anyLong || longValues[i];
  }
  if (anyLong) return writeLongRow(row, longValues);
  std::string line = head_;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (i != 0) line += ',';
    line += literal(row, i);
  }
  line += ')';
  sink_(line);
}

// The long values are built in the temporary table first; the row is then inserted by a SELECT
// that reads them back beside the other values' literals.
void InsertScriptWriter::writeLongRow(const std::vector<std::optional<std::string>>& row,
                                      const std::vector<bool>& longValues) {
  if (!longTextDeclared_)
    for (const std::string& line : longTextPreamble()) sink_(line);
  longTextDeclared_ = true;
  sink_(longTextRowStart());
  std::string items, sources, conditions;
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (isTimestamp(columns_[i])) continue;
    const int id = static_cast<int>(i) + 1;
    const bool national = isNationalText(columns_[i].sqlType);
    if (!items.empty()) items += ',';
    if (!longValues[i]) {
      items += literal(row, i);
      continue;
    }
    for (const std::string& line : longTextBuild(id, *row[i], national)) sink_(line);
    items += longTextColumn(id, national);
    sources += (sources.empty() ? "" : ",") + longTextSource(id);
    conditions += (conditions.empty() ? "" : " AND ") + longTextCondition(id);
  }
  sink_("INSERT INTO " + sqlName(table_) + " (" + columnList(columns_, false) + ") SELECT " + items +
        " FROM " + sources + " WHERE " + conditions);
}

void InsertScriptWriter::finish() {
  if (longTextDeclared_) sink_(longTextEpilogue());
  longTextDeclared_ = false;
  if (!guarded_) return;
  for (const ObjectName& table : withTriggers_) sink_("ALTER TABLE " + sqlName(table) + " ENABLE TRIGGER ALL");
  for (const ObjectName& table : withForeignKeys_)
    sink_("ALTER TABLE " + sqlName(table) + " WITH CHECK CHECK CONSTRAINT ALL");
  guarded_ = false;
}

std::vector<std::string> Mark_InsertSQL(connection::DataSet& query, const std::vector<ObjectName>& names,
                                        InsertRows mode, const Progress& progress) {
  std::vector<std::string> script;
  InsertScriptWriter writer([&script](const std::string& line) { script.push_back(line); });
  guardTables(query.connection(), names, writer);
  const int total = static_cast<int>(names.size());
  if (progress) progress(0, total);
  for (int k = 0; k < total; ++k) {
    std::size_t scripted = std::string::npos;
    std::optional<IdentityColumn> identity = identityColumn(query.connection(), names[k]);
    if (mode == InsertRows::WholeTable) {
      const auto [select, tableColumns] = wholeTableQuery(query, names[k]);
      query.query(select);
      scripted = tableColumns;
    } else if (identity) {
      identity->reseedTo.reset();  // a chosen subset leaves the identity as it is
    }
    if (query.recordCount() > 0) {
      writer.beginTable(names[k], query.columns(), scripted, identity);
      for (const auto& row : query.rows()) writer.addRow(row);
      writer.endTable();
    }
    if (progress) progress(k + 1, total);
  }
  writer.finish();
  return script;
}

namespace {

// The rows of `select`, handed to `writer` as they arrive under the table's name; true when
// there was at least one.
bool streamRows(connection::DataSet& query, const std::string& select, const ObjectName& table,
                std::size_t scriptedColumns, const std::optional<IdentityColumn>& identity,
                InsertScriptWriter& writer) {
  bool begun = false;
  query.clearSql();
  query.addLine(select);
  query.openEachRow([&](const std::vector<connection::ColumnInfo>& columns,
                        const std::vector<std::optional<std::string>>& row) {
    if (!begun) writer.beginTable(table, columns, scriptedColumns, identity);
    begun = true;
    writer.addRow(row);
  });
  if (begun) writer.endTable();
  return begun;
}

}  // namespace

void streamInsertSQL(connection::DataSet& query, const std::vector<ObjectName>& names,
                     const Progress& progress, const LineSink& sink) {
  InsertScriptWriter writer(sink);
  guardTables(query.connection(), names, writer);
  const int total = static_cast<int>(names.size());
  if (progress) progress(0, total);
  for (int k = 0; k < total; ++k) {
    const std::optional<IdentityColumn> identity = identityColumn(query.connection(), names[k]);
    const auto [select, tableColumns] = wholeTableQuery(query, names[k]);
    streamRows(query, select, names[k], tableColumns, identity, writer);
    if (progress) progress(k + 1, total);
  }
  writer.finish();
}

void streamQueryInsertSQL(connection::DataSet& query, const std::string& statement, const ObjectName& table,
                          const Progress& progress, const LineSink& sink) {
  InsertScriptWriter writer(sink);
  guardTables(query.connection(), {table}, writer);
  std::optional<IdentityColumn> identity = identityColumn(query.connection(), table);
  if (identity) identity->reseedTo.reset();  // a chosen subset leaves the identity as it is
  if (progress) progress(0, 1);
  streamRows(query, statement, table, std::string::npos, identity, writer);
  if (progress) progress(1, 1);
  writer.finish();
}

}  // namespace makeddl::scripts
