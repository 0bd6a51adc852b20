#pragma once
// Reads the schema model from the catalogue of SQL Server 2000 or later with a fixed number of set-based
// queries, whatever the number of tables: the objects, the columns, the index keys, the CHECK
// constraints, the foreign keys, the module texts and their dependencies, the table remarks.

#include <string>
#include <vector>

#include "catalog/object_directory.h"
#include "catalog/server_version.h"
#include "connection/data_access.h"
#include "scripts/schema.h"

namespace makeddl::scripts {

// Which objects to read: the named ones (with the triggers of named tables), or every user
// object of the database; and the version of the server whose catalogue holds them.
struct SchemaSelection {
  std::vector<ObjectName> names;
  bool all = false;
  catalog::ServerVersion server = {};
  // The database's objects when the caller has read them already; read again when empty.
  std::vector<catalog::CatalogObject> objects = {};
};

// The version of the server `query` talks to; `query` is left open on its answer.
catalog::ServerVersion readServerVersion(connection::DataSet& query);

// The model of the selected objects. Named tables come in the order named; a name that is no
// table, view, procedure, function or trigger gives a table without columns. Modules come in
// dependency order (those another one uses first; triggers after every table). `query` runs
// the queries and is left open on the last.
SchemaModel readSchema(connection::DataSet& query, const SchemaSelection& selection);

}  // namespace makeddl::scripts
