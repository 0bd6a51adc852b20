#pragma once
// What a database holds: tables with their rows, and the catalogue entries of every object.

#include "sql/ast.hpp"
#include "types/value.hpp"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace sandbox {

using Row = std::vector<Value>;

// The collation of every database, and of every column that declares none.
inline constexpr std::string_view kDatabaseCollation = "Chinese_PRC_CI_AS";

// The schema dbo, to which every object of a SQL Server 2000 database belongs.
inline constexpr int kDboSchemaId = 1;

struct Column {
    std::string name;
    SqlType type;
    bool nullable = true;
    bool identity = false;
    int64_t seed = 1, step = 1;
    int defaultId = 0;           // sysobjects id of the DEFAULT constraint, 0 if none
    sql::ExprPtr defaultExpr;
    std::string collation;       // COLLATE name as declared; empty for the database's collation
};

// Index status bits as sysindexes.status has them.
enum IndexStatus : int {
    kIndexUnique = 0x2,
    kIndexClustered = 0x10,
    kIndexPrimaryKey = 0x800,
    kIndexUniqueKey = 0x1000,
};

struct Index {
    std::string name;
    int indid = 0;
    int status = 0;
    std::vector<std::pair<size_t, bool>> keys;  // column position, descending
};

struct CheckConstraint {
    int id = 0;
    std::string name;
    std::optional<size_t> column;  // a column-level check names its column in errors
    sql::ExprPtr condition;         // its text is kept in condition->text
    bool enabled = true;            // ALTER TABLE ... NOCHECK CONSTRAINT turns it off
};

// FOREIGN KEY (columns) REFERENCES table (referencedColumns), kept by the referencing table.
struct ForeignKey {
    int id = 0;
    std::string name;
    int referencedTableId = 0;
    std::vector<size_t> columns;            // positions in the referencing table
    std::vector<size_t> referencedColumns;  // positions in the referenced table, pair by pair
    bool deleteCascade = false;
    bool updateCascade = false;
    bool enabled = true;  // ALTER TABLE ... NOCHECK CONSTRAINT turns it off, cascades included
};

// The key texts of a table's unique indexes as of one version of its rows, kept between INSERT
// statements so that a loop of single-row INSERTs checks each row in constant time instead of
// reading the whole table again for every statement.
struct UniqueKeys {
    struct Set {
        Index index;
        std::unordered_set<std::string> keys;
    };
    uint64_t rowsVersion = 0;
    std::vector<Set> sets;
};

struct Table : std::enable_shared_from_this<Table> {
    int id = 0;
    std::string name;
    int schemaId = kDboSchemaId;  // as its sysobjects row has it
    DateTime created;
    std::vector<Column> columns;
    std::vector<Row> rows;  // changed only through a batch's ChangeLog, which can take changes back
    // Counts the changes of `rows`, so that what is kept about them knows when it is stale.
    uint64_t rowsVersion = 0;
    UniqueKeys uniqueKeys;  // kept by INSERT
    std::vector<Index> indexes;
    std::vector<CheckConstraint> checks;
    std::vector<ForeignKey> foreignKeys;
    // The value the next generated identity receives, and whether a row has been inserted
    // since the table was created or truncated (until then the next row takes identityNext
    // itself, after that identityNext is the last value plus the increment).
    int64_t identityNext = 1;
    bool identityStarted = false;

    std::optional<size_t> columnIndex(std::string_view columnName) const;
};

// The identity column of a table, or nullptr.
const Column* identityColumn(const Table& table);

// A schema made by CREATE SCHEMA (SQL Server 2005 on). Those every database has (dbo, sys, ...)
// are not kept: see builtInSchemas().
struct DatabaseSchema {
    int id = 0;
    std::string name;
};

// The schemas every database of SQL Server 2005 and later has, with their ids (the principal of
// each has the same id).
const std::vector<DatabaseSchema>& builtInSchemas();

// One sysobjects row (user tables, constraints, views, procedures, functions, triggers).
struct SchemaObject {
    int id = 0;
    std::string name;
    int schemaId = kDboSchemaId;  // sysobjects.uid
    std::string xtype;  // "U", "PK", "UQ", "D", "V", "P", "FN", "IF", "TF", "TR"
    int parentId = 0;
    int info = 0;       // column id of a column-level constraint
    DateTime created;
    std::string text;   // syscomments text: the module's source or a default's "(expr)"
    std::shared_ptr<sql::CreateModuleStatement> module;
    std::vector<Column> columns;  // result columns of a view or table function, for syscolumns
};

struct Dependency {
    int id = 0, depid = 0, depnumber = 0;
    bool selall = false, resultobj = false, readobj = false;
};

struct ExtendedProperty {
    int id = 0;
    int smallid = 0;
    int type = 3;  // 3 object, 4 column
    std::string name;
    Value value;
};

// Everything of a database but its rows, kept so that a batch's changes to it can be taken
// back (the rows are taken back change by change, see ChangeLog).
struct SchemaImage {
    struct TableShape {
        std::shared_ptr<Table> table;
        std::vector<Column> columns;
        std::vector<Index> indexes;
        std::vector<CheckConstraint> checks;
        std::vector<ForeignKey> foreignKeys;
        int64_t identityNext = 1;
        bool identityStarted = false;
    };
    std::map<std::string, std::shared_ptr<Table>> tables;
    std::vector<TableShape> shapes;
    std::vector<SchemaObject> objects;
    std::vector<Dependency> depends;
    std::vector<ExtendedProperty> properties;
    std::vector<DatabaseSchema> schemas;
};

// What the catalogue keeps of a database between queries (catalog.cpp).
class CatalogCache;
std::shared_ptr<CatalogCache> makeCatalogCache();

class Database {
public:
    Database(int dbid, std::string name, DateTime created);
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    int dbid() const { return dbid_; }
    const std::string& name() const { return name_; }
    DateTime created() const { return created_; }

    // Tables and other objects are found by name within their schema (dbo unless named).
    std::shared_ptr<Table> table(std::string_view name, int schemaId = kDboSchemaId) const;
    std::shared_ptr<Table> tableById(int id) const;
    // Every foreign key of the database that references the table `id` (its own included),
    // with the table that holds it.
    std::vector<std::pair<std::shared_ptr<Table>, const ForeignKey*>> referencesTo(int id) const;
    SchemaObject* object(std::string_view name, int schemaId = kDboSchemaId);
    SchemaObject* objectById(int id);
    const SchemaObject* objectById(int id) const;
    const std::vector<SchemaObject>& objects() const { return objects_; }
    const std::map<std::string, std::shared_ptr<Table>>& tables() const { return tables_; }

    void addTable(std::shared_ptr<Table> table);
    void addObject(SchemaObject object);
    // Removes the objects added after the first `count`, taking back a statement that failed.
    void keepFirstObjects(size_t count);
    // Removes an object with everything that belongs to it (constraints, triggers, rows of
    // sysdepends and sysproperties that describe it).
    void dropObject(int id);

    SchemaImage schemaImage() const;
    void restoreSchema(SchemaImage image);

    // The schema (objects, columns, keys, indexes, checks, dependencies, extended properties)
    // changes only through the methods above or is followed by noteSchemaChange(): the
    // catalogue's cache holds while schemaStamp() stays the same. Stamps never repeat, not even
    // across databases.
    uint64_t schemaStamp() const { return schemaStamp_; }
    void noteSchemaChange();
    CatalogCache& catalogCache() const { return *catalogCache_; }

    // The id of the schema of that name, built in or made by CREATE SCHEMA.
    std::optional<int> schemaId(std::string_view name) const;
    // The name of the schema, empty for an id that names none.
    std::string schemaName(int id) const;
    // The schema of the object; dbo for an id that names no object.
    int schemaOf(int objectId) const;
    // The id CREATE SCHEMA gives the next schema: one past the highest made, 5 for the first.
    int nextSchemaId() const;

    std::vector<Dependency> depends;
    std::vector<ExtendedProperty> properties;
    std::vector<DatabaseSchema> schemas;  // made by CREATE SCHEMA, in the order made

private:
    int dbid_;
    std::string name_;
    DateTime created_;
    uint64_t schemaStamp_ = 0;
    std::shared_ptr<CatalogCache> catalogCache_;
    std::map<std::string, std::shared_ptr<Table>> tables_;  // by lower-case name
    std::vector<SchemaObject> objects_;
    std::unordered_map<int, size_t> positionById_;  // of objects_, by object id
    void indexObjects();
};

}  // namespace sandbox
