#pragma once
// The SQL Server 2000 system tables, built from the engine's state whenever a query reads them,
// so they always agree with the tables and modules that exist.

#include "engine/relation.hpp"

#include <optional>
#include <string_view>
#include <utility>

namespace sandbox {

class Engine;
class Session;

class Catalog {
public:
    // The named system table of `database`, or nullopt if there is none of that name.
    static std::optional<Relation> systemTable(Engine& engine, Database& database, std::string_view name);
    static bool isSystemTable(std::string_view name);
    // The named catalogue view (sys.extended_properties, sys.schemas) of a server imitating
    // SQL Server 2005 or later, or nullopt: SQL Server 2000 has none.
    static std::optional<Relation> catalogView(Engine& engine, Database& database, std::string_view name);
    // SQL Server's type-info values (systypes row) for a column type.
    static int xusertypeOf(const SqlType& type);
    // syscolumns.prec and syscolumns.scale of a column type (NULL where the catalogue has none).
    static std::pair<Value, Value> precisionAndScale(const SqlType& type);
};

}  // namespace sandbox
