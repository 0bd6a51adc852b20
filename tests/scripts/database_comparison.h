#pragma once
// Comparing a database with its copy made by running generated scripts: the same user
// tables, each with the same columns and the same rows, value for value.

#include <algorithm>
#include <regex>
#include <optional>
#include <string>
#include <vector>

#include "catalog/object_queries.h"
#include "common/object_name.h"
#include "common/strings.h"
#include "sandbox_session.h"

namespace makeddl::testing {

using Row = std::vector<std::optional<std::string>>;

inline std::vector<Row> rowsOf(const sandbox::testing::SandboxProcess& server, const std::string& database,
                               const std::string& query) {
  connection::Connection connection;
  connectAsSa(connection, server, database);
  connection::DataSet rows(connection, "rows");
  rows.query(query);
  return rows.rows();
}

// The user tables as the window lists them: with their schemas on a newer server.
inline std::vector<ObjectName> userTableObjects(const sandbox::testing::SandboxProcess& server,
                                                const std::string& database) {
  connection::Connection connection;
  connectAsSa(connection, server, database);
  connection::DataSet query(connection, "tables");
  query.query(catalog::serverVersionQuery());
  const std::optional<std::string> version = query.rows().empty() ? std::nullopt : query.rows().front().at(0);
  query.query(catalog::objectListQueries(catalog::parseProductVersion(version.value_or(""))).front());
  return catalog::listedObjects(query);
}

inline std::vector<std::string> userTables(const sandbox::testing::SandboxProcess& server,
                                           const std::string& database) {
  std::vector<std::string> names;
  for (const ObjectName& table : userTableObjects(server, database)) names.push_back(shownName(table));
  return names;
}

// What a table's columns are, one row per column in column order: name, type, length,
// precision, scale, nullability, default text and primary-key membership.
inline std::string columnFactsQuery(const ObjectName& table) {
  return "select c.name, type_name(c.xtype), c.length, isnull(c.prec, 0), isnull(c.scale, 0), c.isnullable, "
         "m.text, case when exists (select * from sysindexes i, sysindexkeys k where i.id = c.id "
         "and (i.status & 0x800) = 0x800 and k.id = i.id and k.indid = i.indid and k.colid = c.colid) "
         "then 'key' end "
         "from syscolumns c left join syscomments m on m.id = c.cdefault "
         "where c.id = object_id(" +
         nameArgument(table) + ") order by c.colid";
}

// A table's rows in a fixed order; a timestamp column only says whether it has a value,
// since the server stamps every inserted row anew.
inline std::vector<Row> comparableRows(const sandbox::testing::SandboxProcess& server, const std::string& database,
                                       const ObjectName& table, const std::vector<Row>& columnFacts) {
  std::vector<Row> rows = rowsOf(server, database, "select * from " + sqlName(table));
  for (Row& row : rows)
    for (std::size_t i = 0; i < columnFacts.size(); ++i)
      if (columnFacts[i].at(1) == "timestamp" && row.at(i)) row[i] = "(stamped)";
  std::sort(rows.begin(), rows.end());
  return rows;
}

// A row as text for a message: NULL, or the value with control characters as \xNN.
inline std::string printable(const Row& row) {
  std::string text;
  for (const std::optional<std::string>& value : row) {
    text += text.empty() ? "(" : ", ";
    if (!value) {
      text += "NULL";
      continue;
    }
    for (unsigned char c : value->substr(0, 200))
      text += c < 0x20 ? "\\x" + std::string(1, "0123456789ABCDEF"[c >> 4]) + "0123456789ABCDEF"[c & 15]
                       : std::string(1, static_cast<char>(c));
    if (value->size() > 200) text += "...(" + std::to_string(value->size()) + " bytes)";
  }
  return text + ")";
}

// What differs between two row lists: empty when they are the same.
inline std::string rowDifference(const std::string& what, const std::vector<Row>& original,
                                 const std::vector<Row>& copy) {
  if (original == copy) return {};
  if (original.size() != copy.size())
    return what + ": " + std::to_string(original.size()) + " rows, the copy " + std::to_string(copy.size()) + "\n";
  for (std::size_t i = 0; i < original.size(); ++i)
    if (original[i] != copy[i]) return what + ": " + printable(original[i]) + " became " + printable(copy[i]) + "\n";
  return {};
}

// What differs between a database and its copy, table by table: the user tables, and each
// table's columns and rows. Empty when they are the same; `rowsCompared` counts the rows.
inline std::string tableDifferences(const sandbox::testing::SandboxProcess& server, const std::string& original,
                                    const std::string& copy, std::size_t* rowsCompared = nullptr) {
  const std::vector<ObjectName> tables = userTableObjects(server, original);
  if (userTableObjects(server, copy) != tables) return "the copy has other tables\n";
  std::string differences;
  for (const ObjectName& table : tables) {
    const std::vector<Row> columns = rowsOf(server, original, columnFactsQuery(table));
    differences += rowDifference(shownName(table) + " columns", columns, rowsOf(server, copy, columnFactsQuery(table)));
    const std::vector<Row> rows = comparableRows(server, original, table, columns);
    differences += rowDifference(shownName(table) + " rows", rows, comparableRows(server, copy, table, columns));
    if (rowsCompared) *rowsCompared += rows.size();
  }
  return differences;
}

// The catalogue's account of what a schema is, query by query: identity columns with their seed,
// increment and current value; keys and indexes with their names, kinds and key columns in
// order with direction; constraints with their text; foreign keys with their actions; the
// texts of views, procedures, functions and triggers; column collations; remarks. Object ids
// and the names the server makes up for unnamed constraints differ between two databases and
// are left out. Remarks are read from sysproperties, or from sys.extended_properties on a server
// newer than SQL Server 2000 (`newerServer`).
inline std::vector<std::string> schemaFactQueries(bool newerServer) {
  static const std::vector<std::string> queries{
      "select o.name, c.name, ident_seed(quotename(o.name)), ident_incr(quotename(o.name)), "
      "ident_current(quotename(o.name)) from sysobjects o join syscolumns c on c.id = o.id "
      "where o.xtype = 'U' and columnproperty(c.id, c.name, 'IsIdentity') = 1",
      "select o.name, i.name, i.status & 6162, case when i.indid = 1 then 'clustered' end, k.keyno, c.name, "
      "indexkey_property(i.id, i.indid, k.keyno, 'IsDescending') from sysindexes i "
      "join sysindexkeys k on (k.id = i.id and k.indid = i.indid) join syscolumns c on (c.id = k.id and c.colid = "
      "k.colid) join sysobjects o on o.id = i.id where o.xtype = 'U' and i.indid > 0 and i.indid < 255 "
      "and (i.status & 64) = 0",
      "select object_name(o.parent_obj), o.xtype, o.name, m.text from sysobjects o "
      "left join syscomments m on m.id = o.id where o.xtype in ('C', 'D', 'F', 'PK', 'UQ')",
      "select object_name(f.constid), object_name(f.fkeyid), col_name(f.fkeyid, f.fkey), object_name(f.rkeyid), "
      "col_name(f.rkeyid, f.rkey), f.keyno, objectproperty(f.constid, 'CnstIsDeleteCascade'), "
      "objectproperty(f.constid, 'CnstIsUpdateCascade') from sysforeignkeys f",
      "select o.name, o.xtype, m.colid, m.text from sysobjects o join syscomments m on m.id = o.id "
      "where o.xtype in ('V', 'P', 'FN', 'IF', 'TF', 'TR')",
      "select o.name, c.name, c.collation from sysobjects o join syscolumns c on c.id = o.id where o.xtype = 'U'",
  };
  std::vector<std::string> all = queries;
  if (!newerServer) {
    all.push_back("select object_name(p.id), p.smallid, p.type, p.name, p.value from sysproperties p");
    return all;
  }
  // Every object in its schema, and the schemas the database's users made.
  all.push_back("select schema_name(o.uid), o.name, o.xtype from sysobjects o "
                "where o.xtype in ('U', 'V', 'P', 'FN', 'IF', 'TF', 'TR', 'C', 'D', 'F', 'PK', 'UQ')");
  all.push_back("select name from sys.schemas where schema_id > 4 and schema_id < 16384");
  all.push_back("select schema_name(o.uid), o.name, p.minor_id, p.class, p.name, p.value "
                "from sys.extended_properties p join sysobjects o on o.id = p.major_id");
  return all;
}

// The rows of a query with made-up constraint names replaced and in a fixed order. Line breaks
// that end a text are left out: a script runner sends a batch with or without the line break
// before its GO, so the texts of views and procedures may differ there and nowhere else.
inline std::vector<Row> comparableFacts(const sandbox::testing::SandboxProcess& server, const std::string& database,
                                        const std::string& query) {
  static const std::regex generated("^(PK|UQ|DF|CK|FK)__.+__[0-9A-F]{8}([0-9A-F]{8})?$");
  std::vector<Row> rows = rowsOf(server, database, query);
  for (Row& row : rows)
    for (std::optional<std::string>& value : row) {
      if (value && std::regex_match(*value, generated)) value = "(made up)";
      while (value && (value->ends_with('\n') || value->ends_with('\r'))) value->pop_back();
    }
  std::sort(rows.begin(), rows.end());
  return rows;
}

// What differs between the schema facts of a database and its copy; empty when nothing does.
inline std::string schemaDifferences(const sandbox::testing::SandboxProcess& server, const std::string& original,
                                     const std::string& copy, bool newerServer = false) {
  std::string differences;
  for (const std::string& query : schemaFactQueries(newerServer))
    differences += rowDifference(query.substr(0, 60), comparableFacts(server, original, query),
                                 comparableFacts(server, copy, query));
  return differences;
}

}  // namespace makeddl::testing
