#pragma once
// The schema model between the catalogue and the scripts: what a database's tables, keys,
// indexes, constraints and other objects are, read by schema_reader and written by the
// CREATE script makers. Names are as the catalogue holds them (bare, unquoted), each object's with its schema.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/object_name.h"

namespace makeddl::scripts {

struct IdentitySpec {
  std::string seed = "1";
  std::string increment = "1";
  bool operator==(const IdentitySpec&) const = default;
};

struct ColumnModel {
  std::string name;
  std::string type;  // the base type's name, as type_name() gives it
  int length = 0;    // in bytes, as syscolumns holds it
  int precision = 0;
  int scale = 0;
  bool nullable = true;
  std::optional<std::string> defaultText;  // as syscomments holds it, brackets included: (0)
  std::string defaultName;                 // the DEFAULT constraint's name
  std::optional<IdentitySpec> identity;
  std::string collation;  // only when it differs from the database's
  std::optional<std::string> remark;  // the MS_Description property, else the first by name
  std::string remarkName;             // which property the remark is
  bool operator==(const ColumnModel&) const = default;
};

struct KeyColumn {
  std::string name;
  bool descending = false;
  bool operator==(const KeyColumn&) const = default;
};

enum class IndexRole { PrimaryKey, UniqueConstraint, Index };

struct IndexModel {
  std::string name;
  IndexRole role = IndexRole::Index;
  bool unique = false;
  bool clustered = false;
  std::vector<KeyColumn> columns;  // in key order
  bool operator==(const IndexModel&) const = default;
};

struct CheckModel {
  std::string name;
  std::string text;  // as syscomments holds it: ([qty] > 0)
  bool operator==(const CheckModel&) const = default;
};

struct ForeignKeyModel {
  std::string name;
  ObjectName table;
  std::vector<std::string> columns;
  ObjectName referencedTable;
  std::vector<std::string> referencedColumns;
  bool deleteCascade = false;
  bool updateCascade = false;
  bool operator==(const ForeignKeyModel&) const = default;
};

struct TableModel {
  int id = 0;
  ObjectName name;
  std::vector<ColumnModel> columns;
  std::vector<IndexModel> indexes;  // the primary key, unique constraints and other indexes
  std::vector<CheckModel> checks;
  std::optional<std::string> remark;
  bool nameInOtherSchemas = false;  // another schema has an object of the same name
  bool operator==(const TableModel&) const = default;
};

// A view, procedure, function or trigger, with the text it was created from.
struct ModuleModel {
  int id = 0;
  ObjectName name;   // a trigger is in its table's schema
  std::string type;  // sysobjects type: V, P, FN, IF, TF, TR
  std::string text;
  ObjectName parentTable;    // a trigger's table
  std::vector<int> uses;     // ids of the objects it depends on
  bool nameInOtherSchemas = false;  // another schema has an object of the same name
  bool operator==(const ModuleModel&) const = default;
};

struct SchemaModel {
  std::vector<std::string> schemas;   // besides dbo, those the objects need (SQL Server 2005 on)
  std::vector<TableModel> tables;     // in the order asked for
  std::vector<ModuleModel> modules;   // in dependency order
  std::vector<ForeignKeyModel> foreignKeys;
};

// True for a name that SQL Server 2000 made up for a constraint declared without one
// (PK__t_dept__0EA330E9, DF__jobs__job_desc__1BFD2C07): such names are left out of scripts so
// that the server makes a new one.
bool isGeneratedConstraintName(const std::string& name);

}  // namespace makeddl::scripts
