#include "engine/executor.hpp"

#include "engine/collations.hpp"
#include "engine/constraint_names.hpp"
#include "engine/convert.hpp"
#include "engine/error.hpp"

#include <algorithm>

namespace sandbox {

using namespace sql;

namespace {

bool isTemporary(const ObjectName& name) { return !name.name.empty() && name.name[0] == '#'; }

}  // namespace

// The types SQL Server 2005 and later added; SQL Server 2000 knows none of them.
std::optional<SqlType> Executor::newerType(const TypeSpec& spec) {
    if (!engine_.version().since2005()) {
        if (spec.max) throw SqlError(170, 15, 1, "Line 1: Incorrect syntax near 'max'.");
        return std::nullopt;
    }
    if (spec.max) {
        auto id = typeIdFromName(spec.name);
        std::optional<NewerType> kind = id ? maxTypeOf(*id) : std::nullopt;
        if (!kind) throw SqlError(170, 15, 1, "Line 1: Incorrect syntax near 'max'.");
        return SqlType::newerType(*kind);
    }
    std::optional<NewerType> kind = newerTypeFromName(spec.name);
    if (!kind) return std::nullopt;
    const bool fractional = *kind == NewerType::Time || *kind == NewerType::DateTime2 || *kind == NewerType::DateTimeOffset;
    if (spec.arguments.size() > (fractional ? 1u : 0u))
        throw SqlError(2716, 16, 1, "Column, parameter, or variable #1: Cannot specify a column width on data type " +
                                        std::string(newerTypeName(*kind)) + ".");
    const int digits = spec.arguments.empty() ? 7 : spec.arguments[0];
    if (digits < 0 || digits > 7)
        throw SqlError(1002, 16, 1, "Line 1: Specified scale " + std::to_string(digits) + " is invalid.");
    return SqlType::newerType(*kind, digits);
}

SqlType Executor::resolveType(const TypeSpec& spec, const std::string& columnName) {
    if (equalsIgnoreCase(spec.name, "sysname")) return SqlType::sysname();
    if (std::optional<SqlType> newer = newerType(spec)) return *newer;
    auto id = typeIdFromName(spec.name);
    if (!id) throw errors::unknownType(spec.name);
    const auto& args = spec.arguments;
    int maxLength = isUnicode(*id) ? 4000 : 8000;
    switch (*id) {
        case TypeId::Char: case TypeId::VarChar: case TypeId::NChar: case TypeId::NVarChar:
        case TypeId::Binary: case TypeId::VarBinary: {
            int length = args.empty() ? 1 : args[0];
            if (length > maxLength)
                throw SqlError(131, 15, 2, "The size (" + std::to_string(length) + ") given to the " +
                                               (columnName.empty() ? "type '" + spec.name + "'" : "column '" + columnName + "'") +
                                               " exceeds the maximum allowed for any data type (" + std::to_string(maxLength) + ").");
            if (length < 1) throw SqlError(1001, 15, 1, "Line 1: Length or precision 0 is invalid.");
            return SqlType::chars(*id, length);
        }
        case TypeId::Decimal: case TypeId::Numeric: {
            int precision = args.empty() ? 18 : args[0];
            int scale = args.size() > 1 ? args[1] : 0;
            if (precision < 1 || precision > 38 || scale > precision)
                throw SqlError(2750, 16, 1, "Column or parameter #1: Specified column precision " + std::to_string(precision) +
                                                " is greater than the maximum precision of 38.");
            return SqlType::decimal(precision, scale, *id);
        }
        case TypeId::Float:
            if (!args.empty() && args[0] <= 24) return SqlType::of(TypeId::Real);
            return SqlType::of(TypeId::Float);
        default: return SqlType::of(*id);
    }
}

Column Executor::columnFromSpec(const ColumnSpec& spec) {
    if (spec.computed) throw errors::notSupported("as");
    Column c;
    c.name = spec.name;
    c.type = resolveType(spec.type, spec.name);
    c.nullable = spec.nullable.value_or(!spec.identity && c.type.id != TypeId::Timestamp);
    c.identity = spec.identity;
    c.seed = spec.seed;
    c.step = spec.step;
    c.defaultExpr = spec.defaultExpr;
    if (!spec.collation.empty()) {  // kept for the catalogue; text still compares as the server's
        if (!isCharacter(c.type.id))
            throw SqlError(447, 16, 1, "Expression type " + std::string(typeName(c.type.id)) + " is invalid for COLLATE clause.");
        std::optional<Collation> collation = findCollation(spec.collation);
        if (!collation) throw SqlError(448, 16, 1, "Invalid collation '" + spec.collation + "'.");
        c.collation = collation->name;
    }
    if (c.identity && !(isIntegral(c.type.id) && c.type.id != TypeId::Bit) &&
        !((c.type.id == TypeId::Decimal || c.type.id == TypeId::Numeric) && c.type.scale == 0))
        throw SqlError(2749, 16, 2, "Identity column '" + c.name + "' must be of data type int, bigint, smallint, tinyint, or decimal or numeric with a scale of 0, and constrained to be nonnullable.");
    return c;
}

std::shared_ptr<Table> Executor::createTable(const ObjectName& name, std::vector<Column> columns) {
    auto db = databaseFor(name);
    if (!db) throw SqlError(2702, 16, 2, "Database '" + name.database + "' does not exist.");
    const int schema = isTemporary(name) ? kDboSchemaId : schemaToCreateIn(name, *db);
    if (findTable(name) || (!isTemporary(name) && db->object(name.name, schema)))
        throw errors::objectExists(name.name);
    if (columns.empty()) throw errors::notSupported(")");
    for (size_t i = 0; i < columns.size(); ++i)
        for (size_t k = 0; k < i; ++k)
            if (compareCollated(columns[i].name, columns[k].name) == 0)
                throw SqlError(2705, 16, 3, "Column names in each table must be unique. Column name '" + columns[i].name +
                                                "' in table '" + name.name + "' is specified more than once.");
    if (std::count_if(columns.begin(), columns.end(), [](const Column& c) { return c.identity; }) > 1)
        throw SqlError(2744, 16, 2, "Multiple identity columns specified for table '" + name.name +
                                        "'. Only one identity column per table is allowed.");
    changes_.schemaChanging(db);
    auto table = std::make_shared<Table>();
    table->id = engine_.newObjectId();
    table->name = name.name;
    table->schemaId = schema;
    table->created = currentDateTime();
    table->columns = std::move(columns);
    if (const Column* identity = identityColumn(*table)) table->identityNext = identity->seed;
    SchemaObject object;
    object.id = table->id;
    object.name = table->name;
    object.schemaId = schema;
    object.xtype = "U";
    object.created = table->created;
    db->addObject(object);
    if (isTemporary(name)) session_.tempTables_[toLower(name.name)] = table;
    else db->addTable(table);
    for (size_t i = 0; i < table->columns.size(); ++i) {
        Column& c = table->columns[i];
        if (!c.defaultExpr) continue;
        SchemaObject def;
        def.id = engine_.newObjectId();
        def.name = generatedConstraintName("DF", table->name, c.name, def.id);
        def.xtype = "D";
        def.parentId = table->id;
        def.schemaId = table->schemaId;
        def.info = static_cast<int>(i) + 1;
        def.created = table->created;
        def.text = storedConstraintText(c.defaultExpr->text);
        c.defaultId = def.id;
        db->addObject(def);
    }
    return table;
}

const Index& Executor::addKey(Database& db, Table& table, const KeySpec& key) {
    bool primary = key.kind == KeyKind::PrimaryKey;
    if (primary && std::any_of(table.indexes.begin(), table.indexes.end(),
                               [](const Index& i) { return i.status & kIndexPrimaryKey; }))
        throw errors::constraintNotCreated(SqlError(1779, 16, 1, "Table '" + table.name + "' already has a primary key defined on it.", false));
    auto clusteredIndex = std::find_if(table.indexes.begin(), table.indexes.end(), [](const Index& i) { return i.indid == 1; });
    bool clusteredTaken = clusteredIndex != table.indexes.end();
    bool clustered = key.clustered.value_or(primary && !clusteredTaken);
    if (clustered && clusteredTaken)
        throw errors::constraintNotCreated(SqlError(1902, 16, 3, "Cannot create more than one clustered index on table '" + table.name +
                                                                      "'. Drop the existing clustered index '" + clusteredIndex->name +
                                                                      "' before creating another.", false));
    Index index;
    for (const auto& [columnName, descending] : key.columns) {
        auto position = table.columnIndex(columnName);
        if (!position)
            throw SqlError(1911, 16, 1, "Column name '" + columnName + "' does not exist in the target table.");
        if (primary) table.columns[*position].nullable = false;  // key columns become NOT NULL
        index.keys.emplace_back(*position, descending);
    }
    SchemaObject constraint;
    constraint.id = engine_.newObjectId();
    constraint.name = key.name.empty() ? generatedConstraintName(primary ? "PK" : "UQ", table.name, "", constraint.id) : key.name;
    if (db.object(constraint.name, table.schemaId)) throw errors::objectExists(constraint.name);
    constraint.xtype = primary ? "PK" : "UQ";
    constraint.parentId = table.id;
    constraint.schemaId = table.schemaId;
    constraint.created = currentDateTime();
    db.addObject(constraint);
    index.name = constraint.name;
    index.indid = clustered ? 1 : std::max(2, static_cast<int>(table.indexes.size()) + 2);
    for (const Index& other : table.indexes) index.indid = clustered ? 1 : std::max(index.indid, other.indid + 1);
    index.status = kIndexUnique | (clustered ? kIndexClustered : 0) | (primary ? kIndexPrimaryKey : kIndexUniqueKey);
    table.indexes.push_back(index);
    std::sort(table.indexes.begin(), table.indexes.end(), [](const Index& a, const Index& b) { return a.indid < b.indid; });
    db.noteSchemaChange();
    return *std::find_if(table.indexes.begin(), table.indexes.end(), [&](const Index& i) { return i.indid == index.indid; });
}

void Executor::addCheck(Database& db, Table& table, const CheckSpec& check) {
    CheckConstraint constraint;
    constraint.id = engine_.newObjectId();
    if (!check.column.empty()) {
        constraint.column = table.columnIndex(check.column);
        if (!constraint.column) throw errors::invalidColumn(check.column);
    }
    constraint.name = !check.name.empty() ? check.name : generatedConstraintName("CK", table.name, check.column, constraint.id);
    if (db.object(constraint.name, table.schemaId)) throw errors::objectExists(constraint.name);
    constraint.condition = check.condition;
    // The condition must make sense for the table's columns: evaluate it once on a row of NULLs.
    Scope scope;
    scope.id = newScopeId();
    scope.entries.push_back({table.name, table.name, columnsOf(table), 0, nullptr});
    scope.width = table.columns.size();
    Row nulls(table.columns.size());
    eval(*constraint.condition, Frame{&scope, nulls.data(), nullptr, nullptr});
    SchemaObject object;
    object.id = constraint.id;
    object.name = constraint.name;
    object.xtype = "C";
    object.parentId = table.id;
    object.schemaId = table.schemaId;
    object.info = constraint.column ? static_cast<int>(*constraint.column) + 1 : 0;
    object.created = currentDateTime();
    object.text = storedCheckText(*check.condition, table);
    table.checks.push_back(std::move(constraint));
    db.addObject(object);
}

void Executor::runCreateTable(const CreateTableStatement& s) {
    std::vector<Column> columns;
    for (const auto& spec : s.columns) columns.push_back(columnFromSpec(spec));
    auto table = createTable(s.table, std::move(columns));
    auto db = databaseFor(s.table);
    try {
        for (const auto& key : s.keys) addKey(*db, *table, key);
        for (const auto& check : s.checks) addCheck(*db, *table, check);
        for (const auto& key : s.foreignKeys) addForeignKey(*db, *table, key, nullptr);
    } catch (...) {
        discardNewTable(s.table, *table);
        throw;
    }
    done(StatementKind::Other, false, 0);
}

void Executor::discardNewTable(const ObjectName& name, const Table& table) {
    databaseFor(name)->dropObject(table.id);
    session_.tempTables_.erase(toLower(table.name));
}

void Executor::runCreateIndex(const CreateIndexStatement& s) {
    auto table = requireTable(s.table);
    for (const Index& index : table->indexes)
        if (compareCollated(index.name, s.name) == 0)
            throw SqlError(1913, 16, 1, "There is already an index on table '" + table->name + "' named '" + s.name + "'.");
    if (s.clustered && std::any_of(table->indexes.begin(), table->indexes.end(), [](const Index& i) { return i.indid == 1; }))
        throw SqlError(1902, 16, 3, "Cannot create more than one clustered index on table '" + table->name +
                                        "'. Drop the existing clustered index '" + table->indexes.front().name + "' before creating another.");
    Index index;
    index.name = s.name;
    for (const auto& [columnName, descending] : s.columns) {
        auto position = table->columnIndex(columnName);
        if (!position) throw errors::invalidColumn(columnName);
        index.keys.emplace_back(*position, descending);
    }
    index.indid = s.clustered ? 1 : 2;
    for (const Index& other : table->indexes) if (!s.clustered) index.indid = std::max(index.indid, other.indid + 1);
    index.status = (s.unique ? kIndexUnique : 0) | (s.clustered ? kIndexClustered : 0);
    changes_.schemaChanging(databaseFor(s.table));
    table->indexes.push_back(index);
    if (s.unique) {
        if (const Row* duplicate = firstDuplicate(*table, index)) {
            table->indexes.pop_back();
            throw duplicateIndexKey(index, *duplicate);
        }
    }
    std::sort(table->indexes.begin(), table->indexes.end(), [](const Index& a, const Index& b) { return a.indid < b.indid; });
    databaseFor(s.table)->noteSchemaChange();
    done(StatementKind::Other, false, 0);
}

void Executor::runCreateModule(const CreateModuleStatement& s) {
    auto db = databaseFor(s.name);
    if (!db) throw SqlError(2702, 16, 2, "Database '" + s.name.database + "' does not exist.");
    std::shared_ptr<Table> table = s.module == ModuleKind::Trigger ? requireTable(s.triggerTable) : nullptr;
    // A trigger lives in the schema of its table.
    const int schema = table ? table->schemaId : schemaToCreateIn(s.name, *db);
    if (db->object(s.name.name, schema)) throw errors::objectExists(s.name.name);
    SchemaObject object;
    object.id = engine_.newObjectId();
    object.name = s.name.name;
    object.schemaId = schema;
    object.xtype = s.xtype;
    object.created = currentDateTime();
    object.text = s.sourceText;
    object.module = std::make_shared<CreateModuleStatement>(s);
    if (table) object.parentId = table->id;
    if (s.module == ModuleKind::View || s.xtype == "IF") {
        // Views resolve their names now, in their own schema first; their result columns go to syscolumns.
        InSchema inModule(moduleSchema_, schema);
        Relation shape = s.module == ModuleKind::View ? queryToRelation(*s.viewSelect, nullptr)
                                                      : callTableFunction(object, std::vector<Value>(s.parameters.size()));
        for (size_t i = 0; i < shape.columns.size(); ++i) {
            Column c;
            c.name = i < s.returnColumns.size() ? s.returnColumns[i].name : shape.columns[i].name;
            c.type = shape.columns[i].type;
            c.nullable = shape.columns[i].nullable;
            object.columns.push_back(c);
        }
    }
    changes_.schemaChanging(db);
    recordDependencies(*db, object);
    db->addObject(object);
    done(StatementKind::Other, false, 0);
}

void Executor::runDrop(const DropStatement& s) {
    for (const auto& name : s.names) {
        if (s.what == "index") {
            // DROP INDEX [schema.]table.index
            ObjectName tableName;
            tableName.name = name.owner;
            tableName.owner = name.database;
            auto table = name.owner.empty() ? nullptr : findTable(tableName);
            bool removed = false;
            if (table) {
                changes_.schemaChanging(databaseFor(tableName));
                removed = std::erase_if(table->indexes, [&](const Index& i) {
                              return compareCollated(i.name, name.name) == 0 && !(i.status & (kIndexPrimaryKey | kIndexUniqueKey));
                          }) > 0;
            }
            if (!removed)
                throw SqlError(3703, 11, 7, "Cannot drop the index '" + name.owner + "." + name.name +
                                                "', because it does not exist in the system catalog.", false);
            databaseFor(tableName)->noteSchemaChange();
            continue;
        }
        auto db = databaseFor(name);
        std::string noun = s.what;
        if (s.what == "table") {
            auto table = findTable(name);
            if (!table)
                throw SqlError(3701, 11, 5, "Cannot drop the table '" + name.name + "', because it does not exist in the system catalog.", false);
            for (const auto& [child, key] : db->referencesTo(table->id))
                if (child != table)
                    throw SqlError(3726, 16, 1, "Could not drop object '" + table->name + "' because it is referenced by a FOREIGN KEY constraint.", false);
            changes_.schemaChanging(db);
            db->dropObject(table->id);
            session_.tempTables_.erase(toLower(name.name));
            continue;
        }
        static const std::pair<const char*, std::vector<std::string>> kinds[] = {
            {"view", {"V"}}, {"procedure", {"P"}}, {"function", {"FN", "IF", "TF"}}, {"trigger", {"TR"}}};
        if (s.what == "schema") {
            dropSchema(name.name);
            continue;
        }
        SchemaObject* object = findObject(name);
        bool matches = false;
        for (const auto& [kind, xtypes] : kinds)
            if (kind == s.what && object) matches = std::find(xtypes.begin(), xtypes.end(), object->xtype) != xtypes.end();
        if (!matches)
            throw SqlError(3701, 11, 5, "Cannot drop the " + noun + " '" + name.name + "', because it does not exist in the system catalog.", false);
        changes_.schemaChanging(db);
        db->dropObject(object->id);
    }
    done(StatementKind::Other, false, 0);
}

void Executor::runCreateDatabase(const DatabaseStatement& s) {
    if (engine_.database(s.name))
        throw SqlError(1801, 16, 3, "Database '" + s.name + "' already exists.", false);
    changes_.databasesChanging();
    engine_.createDatabase(s.name);
    sink_.message({0, 1, 0, "The CREATE DATABASE process is allocating 0.63 MB on disk '" + s.name + "'.", "", s.line});
    sink_.message({0, 1, 0, "The CREATE DATABASE process is allocating 0.49 MB on disk '" + s.name + "_log'.", "", s.line});
    done(StatementKind::Other, false, 0);
}

void Executor::runDropDatabase(const DatabaseStatement& s) {
    auto db = engine_.database(s.name);
    if (!db)
        throw SqlError(3701, 11, 1, "Cannot drop the database '" + s.name + "', because it does not exist in the system catalog.", false);
    if (db->dbid() <= 4) throw SqlError(3708, 16, 4, "Cannot drop the database '" + s.name + "' because it is a system database.", false);
    for (const SessionInfo& other : engine_.liveSessions())
        if (compareCollated(other.database, db->name()) == 0)
            throw SqlError(3702, 16, 4, "Cannot drop the database '" + s.name + "' because it is currently in use.", false);
    changes_.databasesChanging();
    engine_.removeDatabase(db->name());
    sink_.message({0, 1, 0, "Deleting database file '" + s.name + ".mdf'.", "", s.line});
    done(StatementKind::Other, false, 0);
}

}  // namespace sandbox
