#include "scripts/create_script.h"

#include <algorithm>

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

std::string primaryKeyLine(const std::vector<ColumnScriptRow>& rows) {
  std::string keys;
  for (const ColumnScriptRow& row : rows)
    if (row.isKey) keys += (keys.empty() ? "" : ",") + quotedIdentifier(row.name);
  return keys.empty() ? std::string() : kColumnIndent + "PRIMARY KEY (" + keys + ")";
}

}  // namespace

void loadScriptBatch(connection::DataSet& batch) {
  batch.close();
  batch.clearSql();
  for (std::string& line : scriptBatchLines()) batch.addLine(std::move(line));
}

std::vector<ColumnScriptRow> runScriptBatch(connection::DataSet& batch, std::string_view table) {
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

std::vector<std::string> createTableBlock(std::string_view table, const std::vector<ColumnScriptRow>& rows) {
  requireScriptableName(table);
  std::vector<std::string> lines{""};
  appendLines(lines, commentLines("----   ", table));
  // Without columns the table was not found: a DROP would destroy what the script cannot make.
  if (rows.empty()) {
    lines.push_back(kTableNotFound);
    return lines;
  }
  const std::string name = quotedIdentifier(table);
  appendLines(lines, {
                         "IF EXISTS (select name from sysobjects where name=" + textLiteral(table) +
                             " and type=" + quoted("U") + ") DROP TABLE " + name,
                         "",
                         "CREATE TABLE " + name,
                         "(",
                     });
  for (const std::string& line : columnLines(rows)) lines.push_back(kColumnIndent + line);
  lines.emplace_back();
  if (std::string keyLine = primaryKeyLine(rows); !keyLine.empty()) lines.push_back(std::move(keyLine));
  lines.emplace_back(")");
  return lines;
}

std::vector<std::string> MakeDDL(connection::DataSet& batch, const std::vector<std::string>& tables,
                                 const Progress& progress) {
  std::vector<std::string> script;
  const int total = static_cast<int>(tables.size());
  for (int i = 0; i < total; ++i) {
    if (progress) progress(i, total);
    appendLines(script, createTableBlock(tables[i], runScriptBatch(batch, tables[i])));
  }
  return script;
}

}  // namespace makeddl::scripts
