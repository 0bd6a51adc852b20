#include "scripts/create_script.h"

#include <algorithm>
#include <stdexcept>

#include "common/object_name.h"
#include "common/strings.h"
#include "scripts/column_batches.h"
#include "scripts/script_batch.h"
#include "scripts/script_text.h"

namespace makeddl::scripts {

namespace {

const std::string kColumnIndent = "     ";
const std::string kTableNotFound = "-- 没有找到这个表（或读不到它的字段），未生成它的脚本";

std::string textOf(const connection::Field& field) { return field.isNull() ? std::string() : field.asText(); }

ColumnScriptRow currentRow(const connection::DataSet& batch) {
  ColumnScriptRow row;
  row.name = textOf(batch.fieldByName("ColumnName"));
  row.typePiece = textOf(batch.fieldByName("MakeDDL"));
  row.hasRemark = textOf(batch.fieldByName("aa")) == "--";
  row.remark = textOf(batch.fieldByName("FieldRemark"));
  row.isKey = !textOf(batch.fieldByName("KEYField")).empty();
  return row;
}

// The widest of the texts, as the server's len() measures it.
std::size_t widest(const std::vector<std::string>& texts) {
  std::size_t width = 0;
  for (const std::string& text : texts) width = std::max(width, sqlLength(text));
  return width;
}

std::string keyColumns(const std::vector<KeyColumn>& columns) {
  std::string list;
  for (const KeyColumn& column : columns)
    list += (list.empty() ? "" : ",") + quotedIdentifier(column.name) + (column.descending ? " DESC" : "");
  return "(" + list + ")";
}

// "CONSTRAINT name " for a name a user gave; nothing for one the server made up.
std::string constraintName(const std::string& name) {
  return name.empty() || isGeneratedConstraintName(name) ? std::string() : "CONSTRAINT " + quotedIdentifier(name) + " ";
}

// The table-level constraints of the CREATE TABLE statement: the primary key, the unique
// constraints and the CHECK constraints, each with its name when a user gave it.
std::vector<std::string> constraintClauses(const TableModel& table) {
  std::vector<std::string> clauses;
  for (const IndexModel& index : table.indexes) {
    if (index.role == IndexRole::PrimaryKey)
      clauses.insert(clauses.begin(), constraintName(index.name) + "PRIMARY KEY " +
                                          (index.clustered ? "" : "NONCLUSTERED ") + keyColumns(index.columns));
    else if (index.role == IndexRole::UniqueConstraint)
      clauses.push_back(constraintName(index.name) + "UNIQUE " + (index.clustered ? "CLUSTERED " : "") +
                        keyColumns(index.columns));
  }
  for (const CheckModel& check : table.checks) clauses.push_back(constraintName(check.name) + "CHECK " + check.text);
  return clauses;
}

// CREATE INDEX for every index that is no constraint's.
std::vector<std::string> indexStatements(const TableModel& table) {
  std::vector<std::string> statements;
  for (const IndexModel& index : table.indexes)
    if (index.role == IndexRole::Index)
      statements.push_back(std::string("CREATE ") + (index.unique ? "UNIQUE " : "") +
                           (index.clustered ? "CLUSTERED " : "") + "INDEX " + quotedIdentifier(index.name) + " ON " +
                           sqlName(table.name) + " " + keyColumns(index.columns));
  return statements;
}

// "IF EXISTS (...) DROP kind name": an object of dbo is looked for by its name, as scripts always
// did, unless another schema has that name too; then, as any object of another schema, by the
// id of its schema's object: a guard by name alone would drop what the script does not make.
std::string guardedDrop(const ObjectName& object, bool nameInOtherSchemas, const std::string& type,
                        const std::string& kind) {
  const std::string found = object.inDbo() && !nameInOtherSchemas
                                ? "name=" + textLiteral(object.name)
                                : "id=object_id(" + qualifiedNameArgument(object) + ")";
  return "IF EXISTS (select name from sysobjects where " + found + " and type=" + quoted(type) + ") DROP " + kind +
         " " + sqlName(object);
}

// A schema name goes into sp_addextendedproperty and CREATE SCHEMA as a plain literal, which a
// name holding line-breaking characters cannot be.
void requirePlainSchemaName(const std::string& schema) {
  if (holdsLineBreakingCharacter(schema))
    throw UnscriptableName("架构名“" + schema + "”含有控制字符，不能生成脚本");
}

// The block of a table: its comment, the guarded DROP, CREATE TABLE with the column lines and
// the constraint clauses, then what follows the statement. A table without columns was not
// found: a DROP without a CREATE would destroy what the script cannot make again.
std::vector<std::string> tableBlock(const ObjectName& table, bool nameInOtherSchemas,
                                    const std::vector<ColumnScriptRow>& rows,
                                    const std::vector<std::string>& constraints,
                                    const std::vector<std::string>& following) {
  requireScriptableName(shownName(table));
  std::vector<std::string> lines{""};
  appendLines(lines, commentLines("----   ", shownName(table)));
  if (rows.empty()) {
    lines.push_back(kTableNotFound);
    return lines;
  }
  const std::string name = sqlName(table);
  appendLines(lines, {guardedDrop(table, nameInOtherSchemas, "U", "TABLE"), "", "CREATE TABLE " + name, "("});
  for (const std::string& line : columnLines(rows)) lines.push_back(kColumnIndent + line);
  lines.emplace_back();
  for (std::size_t i = 0; i < constraints.size(); ++i)
    lines.push_back(kColumnIndent + constraints[i] + (i + 1 < constraints.size() ? "," : ""));
  lines.emplace_back(")");
  appendLines(lines, following);
  return lines;
}

// The sp_addextendedproperty calls that restore remarks. Arguments of EXEC cannot be
// expressions, so a text that needs character codes goes through variables, declared once.
class RemarkCalls {
 public:
  std::vector<std::string> of(const TableModel& table) {
    std::vector<std::string> lines;
    if (table.remark) add(lines, "MS_Description", *table.remark, table.name, std::nullopt);
    for (const ColumnModel& column : table.columns)
      if (column.remark) add(lines, column.remarkName, *column.remark, table.name, column.name);
    return lines;
  }

 private:
  // The owner level of the call: dbo's objects as scripts always named them, others by schema.
  static std::string ownerLevel(const ObjectName& table) {
    if (table.inDbo()) return "N'user', N'dbo'";
    requirePlainSchemaName(table.schema);
    return "N'schema', " + textLiteral(table.schema, true);
  }

  void add(std::vector<std::string>& lines, const std::string& property, const std::string& value,
           const ObjectName& object, const std::optional<std::string>& column) {
    const std::string& table = object.name;
    const bool plain = !holdsLineBreakingCharacter(value) && !holdsLineBreakingCharacter(table) &&
                       !(column && holdsLineBreakingCharacter(*column));
    std::string call = "EXEC sp_addextendedproperty " + textLiteral(property, true) + ", ";
    if (plain) {
      call += textLiteral(value, true) + ", " + ownerLevel(object) + ", N'table', " + textLiteral(table, true);
      if (column) call += ", N'column', " + textLiteral(*column, true);
      lines.push_back(call);
      return;
    }
    if (!declared_)
      lines.push_back("DECLARE @makeddl_value nvarchar(4000),@makeddl_table sysname,@makeddl_column sysname");
    declared_ = true;
    lines.push_back("SET @makeddl_value=" + textLiteral(value, true));
    lines.push_back("SET @makeddl_table=" + textLiteral(table, true));
    call += "@makeddl_value, " + ownerLevel(object) + ", N'table', @makeddl_table";
    if (column) {
      lines.push_back("SET @makeddl_column=" + textLiteral(*column, true));
      call += ", N'column', @makeddl_column";
    }
    lines.push_back(call);
  }

  bool declared_ = false;
};

struct ModuleKind {
  const char* type;
  const char* dropped;
};

constexpr ModuleKind kModuleKinds[] = {{"V", "VIEW"},      {"P", "PROCEDURE"},  {"FN", "FUNCTION"},
                                       {"IF", "FUNCTION"}, {"TF", "FUNCTION"},  {"TR", "TRIGGER"}};

const char* droppedKind(const std::string& type) {
  for (const ModuleKind& kind : kModuleKinds)
    if (type == kind.type) return kind.dropped;
  throw std::runtime_error("不能为类型为 " + type + " 的对象生成脚本");
}

// A module's text as script lines: cut at its line ends, which the script writes as CR LF.
std::vector<std::string> textLines(const ModuleModel& module) {
  std::vector<std::string> lines(1);
  for (std::size_t at = 0; at < module.text.size(); ++at) {
    if (module.text.compare(at, 2, "\r\n") == 0) continue;  // its LF ends the line
    if (module.text[at] == '\n') lines.emplace_back();
    else lines.back() += module.text[at];
  }
  if (lines.back().empty()) lines.pop_back();
  for (const std::string& line : lines)
    if (readsAsBatchSeparator(line))
      throw std::runtime_error("“" + shownName(module.name) + "”的文本中有一行是 GO，脚本执行时会在那里被分成两批，不能生成脚本");
  return lines;
}

}  // namespace

std::string typePiece(const ColumnModel& column, bool comma) {
  static const std::vector<std::string> lengthTypes{"varbinary", "varchar", "nchar", "nvarchar", "char", "binary"};
  // The times of SQL Server 2008 and later keep as many fraction digits as their scale says.
  static const std::vector<std::string> fractionTypes{"time", "datetime2", "datetimeoffset"};
  const auto listed = [&column](const std::vector<std::string>& types) {
    return std::find(types.begin(), types.end(), column.type) != types.end();
  };
  std::string piece = column.type;
  if (column.type == "decimal" || column.type == "numeric") {
    piece += " (" + std::to_string(column.precision) + "," + std::to_string(column.scale) + ") ";
  } else if (listed(lengthTypes) && column.length == -1) {  // varchar(max) and its kin
    piece += " (max) ";
  } else if (listed(lengthTypes)) {
    const bool national = column.type == "nchar" || column.type == "nvarchar";
    piece += " (" + std::to_string(national ? column.length / 2 : column.length) + ") ";
  } else if (listed(fractionTypes)) {
    piece += " (" + std::to_string(column.scale) + ") ";
  } else {
    piece += " ";
  }
  if (column.identity) piece += "IDENTITY(" + column.identity->seed + "," + column.identity->increment + ")";
  if (!column.collation.empty()) piece += "COLLATE " + column.collation + " ";
  if (column.defaultText) piece += constraintName(column.defaultName) + "DEFAULT" + *column.defaultText;
  if (!column.nullable) piece += " NOT NULL ";
  if (comma) piece += ",";
  return piece;
}

ColumnScriptRow columnScriptRow(const ColumnModel& column, bool comma) {
  return {column.name, typePiece(column, comma), column.remark.has_value(), column.remark.value_or(""), false};
}

void loadScriptBatch(connection::DataSet& batch, const catalog::ServerVersion& server) {
  batch.close();
  batch.clearSql();
  for (std::string& line : scriptBatchLines(server)) batch.addLine(std::move(line));
}

std::vector<ColumnScriptRow> runScriptBatch(connection::DataSet& batch, const ObjectName& table) {
  batch.close();
  batch.replaceLine(kTableNameLine, tableNameLine(table));
  batch.open();
  std::vector<ColumnScriptRow> rows;
  batch.first();
  for (int i = 0, count = batch.recordCount(); i < count; ++i) {
    rows.push_back(currentRow(batch));
    batch.next();
  }
  return rows;
}

std::vector<std::string> columnLines(const std::vector<ColumnScriptRow>& rows) {
  std::vector<std::string> names, typePieces;
  for (const ColumnScriptRow& row : rows) {
    requireScriptableName(row.name);
    names.push_back(quotedIdentifier(row.name));
    typePieces.push_back(row.typePiece);
  }
  const std::size_t nameWidth = widest(names) + 2;
  const std::size_t typeWidth = widest(typePieces) + 2;
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::string line = names[i] + blanks(nameWidth - sqlLength(names[i])) + typePieces[i];
    if (!rows[i].hasRemark) {
      lines.push_back(std::move(line));
      continue;
    }
    // Every line of a remark is a comment of its own, the later ones under the first.
    const std::vector<std::string> remark = commentLines("--", rows[i].remark);
    lines.push_back(line + blanks(typeWidth - sqlLength(typePieces[i])) + remark.front());
    for (std::size_t k = 1; k < remark.size(); ++k) lines.push_back(blanks(nameWidth + typeWidth) + remark[k]);
  }
  return lines;
}

std::vector<std::string> createTableBlock(const ObjectName& table, const std::vector<ColumnScriptRow>& rows) {
  std::vector<KeyColumn> keys;
  for (const ColumnScriptRow& row : rows)
    if (row.isKey) keys.push_back({row.name, false});
  return tableBlock(table, false, rows, keys.empty() ? std::vector<std::string>{} : std::vector{"PRIMARY KEY " + keyColumns(keys)},
                    {});
}

std::vector<std::string> createTableBlock(const TableModel& table) {
  const std::vector<std::string> constraints = constraintClauses(table);
  std::vector<ColumnScriptRow> rows;
  for (std::size_t i = 0; i < table.columns.size(); ++i)
    rows.push_back(columnScriptRow(table.columns[i], i + 1 < table.columns.size() || !constraints.empty()));
  return tableBlock(table.name, table.nameInOtherSchemas, rows, constraints, indexStatements(table));
}

std::vector<std::string> moduleBlock(const ModuleModel& module) {
  requireScriptableName(shownName(module.name));
  std::vector<std::string> lines{""};
  appendLines(lines, commentLines("----   ", shownName(module.name)));
  lines.push_back(guardedDrop(module.name, module.nameInOtherSchemas, module.type, droppedKind(module.type)));
  lines.push_back("GO");
  appendLines(lines, textLines(module));
  lines.push_back("GO");
  return lines;
}

std::string foreignKeyStatement(const ForeignKeyModel& key) {
  std::string columns, referenced;
  for (const std::string& column : key.columns) columns += (columns.empty() ? "" : ",") + quotedIdentifier(column);
  for (const std::string& column : key.referencedColumns)
    referenced += (referenced.empty() ? "" : ",") + quotedIdentifier(column);
  return "ALTER TABLE " + sqlName(key.table) + " ADD " + constraintName(key.name) + "FOREIGN KEY (" +
         columns + ") REFERENCES " + sqlName(key.referencedTable) + " (" + referenced + ")" +
         (key.deleteCascade ? " ON DELETE CASCADE" : "") + (key.updateCascade ? " ON UPDATE CASCADE" : "");
}

std::vector<std::string> schemaStatements(const std::vector<std::string>& schemas) {
  std::vector<std::string> lines;
  for (const std::string& schema : schemas) {
    requirePlainSchemaName(schema);
    // CREATE SCHEMA must start a batch of its own: EXEC gives it one.
    lines.push_back("IF SCHEMA_ID(" + textLiteral(schema, true) + ") IS NULL EXEC(" +
                    textLiteral("CREATE SCHEMA " + quotedIdentifier(schema), true) + ")");
  }
  if (!lines.empty()) lines.push_back("GO");
  return lines;
}

std::vector<std::string> schemaScript(const SchemaModel& model, const ScriptOptions& options,
                                      const Progress& progress) {
  std::vector<std::string> script = schemaStatements(model.schemas);
  RemarkCalls remarks;
  const int total = static_cast<int>(model.tables.size());
  for (int i = 0; i < total; ++i) {
    if (progress) progress(i, total);
    appendLines(script, createTableBlock(model.tables[i]));
    if (options.remarks) appendLines(script, remarks.of(model.tables[i]));
  }
  for (const ModuleModel& module : model.modules) appendLines(script, moduleBlock(module));
  if (!model.foreignKeys.empty()) script.emplace_back();
  for (const ForeignKeyModel& key : model.foreignKeys) script.push_back(foreignKeyStatement(key));
  return script;
}

std::vector<std::string> MakeDDL(connection::DataSet& query, const SchemaSelection& selection,
                                 const ScriptOptions& options, const Progress& progress) {
  return schemaScript(readSchema(query, selection), options, progress);
}

}  // namespace makeddl::scripts
