#pragma once
// Every object of the database with its id, owner, type and parent, read in one query: the
// command line finds the objects a user names in it, and the script reader the objects it
// scripts.

#include <string>
#include <string_view>
#include <vector>

#include "catalog/server_version.h"
#include "common/object_name.h"
#include "connection/data_access.h"

namespace makeddl::catalog {

struct CatalogObject {
  int id = 0;
  ObjectName name;
  std::string type;  // sysobjects.xtype: U, V, P, FN, IF, TF, TR, PK, C, ...
  int parent = 0;    // a trigger's or constraint's table
};

// Every object of the database by name; `query` is left open on them.
std::vector<CatalogObject> readObjectDirectory(connection::DataSet& query, const ServerVersion& server);

// The object of that name: exactly as named first, then as the server's case-insensitive
// collation would find it; a bare name dbo lacks, in whatever schema has it.
const CatalogObject* findObject(const std::vector<CatalogObject>& objects, const ObjectName& name);

// The object a user means by the text: as the lists show it ("t", "sales.t",
// "[my schema].[a.b]"), then read as a name of one or two parts ("dbo.t", "[a.b]", "sales.[t]").
const CatalogObject* findNamedObject(const std::vector<CatalogObject>& objects, std::string_view text);

}  // namespace makeddl::catalog
