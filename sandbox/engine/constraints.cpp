// Constraints after CREATE TABLE: ALTER TABLE ... ADD / DROP CONSTRAINT, foreign keys and what
// they do to INSERT, UPDATE, DELETE, TRUNCATE and DROP TABLE.

#include "engine/constraint_names.hpp"
#include "engine/convert.hpp"
#include "engine/executor.hpp"
#include "engine/references.hpp"

#include <algorithm>

namespace sandbox {

using namespace sql;

namespace {

SqlError notCreated(int number, std::string text) {
    return errors::constraintNotCreated(SqlError(number, 16, 1, std::move(text), false));
}

SqlError notDropped(int number, std::string text) {
    return errors::constraintNotDropped(SqlError(number, 16, 1, std::move(text), false));
}

bool isConstraint(const std::string& xtype) {
    return xtype == "PK" || xtype == "UQ" || xtype == "F" || xtype == "C" || xtype == "D";
}

std::string effectiveCollation(const Column& column) {
    return column.collation.empty() ? std::string(kDatabaseCollation) : column.collation;
}

// A column of a foreign key must have its referenced column's type: the same base type, the
// same length for fixed-length types, the same precision and scale, the same collation.
void checkKeyTypes(const Table& table, size_t column, const Table& referenced, size_t referencedColumn, const std::string& keyName) {
    const Column& mine = table.columns[column];
    const Column& theirs = referenced.columns[referencedColumn];
    std::string pair = "Column '" + referenced.name + "." + theirs.name + "' is not the same ";
    std::string against = " as referencing column '" + table.name + "." + mine.name + "' in foreign key '" + keyName + "'.";
    if (mine.type.id != theirs.type.id) throw notCreated(1778, pair + "data type" + against);
    bool fixedLength = mine.type.id == TypeId::Char || mine.type.id == TypeId::NChar || mine.type.id == TypeId::Binary;
    bool exact = mine.type.id == TypeId::Decimal || mine.type.id == TypeId::Numeric;
    if ((fixedLength && mine.type.length != theirs.type.length) ||
        (exact && (mine.type.precision != theirs.type.precision || mine.type.scale != theirs.type.scale)))
        throw notCreated(1753, pair + "length" + against);
    if (isCharacter(mine.type.id) && compareCollated(effectiveCollation(mine), effectiveCollation(theirs)) != 0)
        throw notCreated(1757, "Column '" + referenced.name + "." + theirs.name + "' is not of same collation" + against);
}

const Index* primaryKey(const Table& table) {
    for (const Index& index : table.indexes)
        if (index.status & kIndexPrimaryKey) return &index;
    return nullptr;
}

// Puts a table's constraints back as they were unless the statement that adds them completes.
class ConstraintsUndo {
public:
    ConstraintsUndo(Database& db, Table& table)
        : db_(db), table_(table), columns_(table.columns), indexes_(table.indexes), checks_(table.checks),
          foreignKeys_(table.foreignKeys), objects_(db.objects().size()) {}
    ~ConstraintsUndo() {
        if (kept_) return;
        table_.columns = std::move(columns_);
        table_.indexes = std::move(indexes_);
        table_.checks = std::move(checks_);
        table_.foreignKeys = std::move(foreignKeys_);
        db_.keepFirstObjects(objects_);  // constraints are added at the end
    }
    ConstraintsUndo(const ConstraintsUndo&) = delete;
    ConstraintsUndo& operator=(const ConstraintsUndo&) = delete;
    void keep() { kept_ = true; }

private:
    Database& db_;
    Table& table_;
    std::vector<Column> columns_;
    std::vector<Index> indexes_;
    std::vector<CheckConstraint> checks_;
    std::vector<ForeignKey> foreignKeys_;
    size_t objects_;
    bool kept_ = false;
};

}  // namespace

SqlError duplicateIndexKey(const Index& index, const Row& row) {
    const Value& first = row[index.keys.front().first];
    std::string key = std::holds_alternative<std::string>(first.storage()) ? first.asText()
                                                                           : "type " + std::to_string(xtypeOf(first.type().id));
    return SqlError(1505, 16, 1, "CREATE UNIQUE INDEX terminated because a duplicate key was found for index ID " +
                                     std::to_string(index.indid) + ". Most significant primary key is '" + key + "'.", false);
}

// ---- ALTER TABLE ----

void Executor::runAlterTable(const AlterTableStatement& s) {
    auto table = findTable(s.table);
    auto db = databaseFor(s.table);
    if (!table || !db)
        throw SqlError(4902, 16, 1, "Cannot alter table '" + s.table.name + "' because this table does not exist in database '" +
                                        (db ? db->name() : s.table.database) + "'.", false);
    changes_.schemaChanging(db);
    if (s.constraintsOn) {
        switchConstraints(*db, *table, s);
    } else if (s.triggersOn) {
        switchTriggers(*db, *table, s.switched);
    } else if (!s.droppedConstraints.empty()) {
        dropConstraints(*db, *table, s.droppedConstraints);
    } else {
        ConstraintsUndo undo(*db, *table);
        addConstraints(*db, *table, s.added, s.checkExisting ? "ALTER TABLE" : nullptr);
        undo.keep();
    }
    done(StatementKind::Other, false, 0);
}

void Executor::addConstraints(Database& db, Table& table, const ConstraintSpecs& specs, const char* checkingVerb) {
    for (const KeySpec& key : specs.keys) {
        if (checkingVerb) {  // a key added to a table that may hold rows
            for (const auto& [name, descending] : key.columns) {
                auto position = table.columnIndex(name);
                if (key.kind == KeyKind::PrimaryKey && position && table.columns[*position].nullable)
                    throw notCreated(8111, "Cannot define PRIMARY KEY constraint on nullable column in table '" + table.name + "'.");
            }
        }
        const Index& index = addKey(db, table, key);
        if (checkingVerb) refuseDuplicateKeys(table, index);
    }
    for (const CheckSpec& check : specs.checks) {
        addCheck(db, table, check);
        if (!checkingVerb) continue;
        const CheckConstraint& added = table.checks.back();
        for (const Row& row : table.rows)
            if (!satisfies(table, added, row)) throw checkConflict(table, added, checkingVerb);
    }
    for (const DefaultSpec& spec : specs.defaults) addDefault(db, table, spec);
    for (const ForeignKeySpec& spec : specs.foreignKeys) addForeignKey(db, table, spec, checkingVerb);
}

const Row* firstDuplicate(const Table& table, const Index& index) {
    std::unordered_set<std::string> keys;
    keys.reserve(table.rows.size());
    for (const Row& row : table.rows)
        if (!keys.insert(indexKeyText(index, row)).second) return &row;
    return nullptr;
}

void Executor::refuseDuplicateKeys(const Table& table, const Index& index) {
    if (const Row* duplicate = firstDuplicate(table, index)) throw errors::constraintNotCreated(duplicateIndexKey(index, *duplicate));
}

void Executor::addDefault(Database& db, Table& table, const DefaultSpec& spec) {
    auto position = table.columnIndex(spec.column);
    if (!position)
        throw notCreated(1752, "Could not create DEFAULT for column '" + spec.column +
                                   "' as it is not a valid column in the table '" + table.name + "'.");
    Column& column = table.columns[*position];
    if (column.identity)
        throw notCreated(1754, "Defaults cannot be created on columns with an IDENTITY attribute. Table '" + table.name +
                                   "', column '" + column.name + "'.");
    if (column.type.id == TypeId::Timestamp)
        throw notCreated(1755, "Defaults cannot be created on columns of data type timestamp. Table '" + table.name +
                                   "', column '" + column.name + "'.");
    if (column.defaultExpr) throw notCreated(1781, "Column already has a DEFAULT bound to it.");
    SchemaObject object;
    object.id = engine_.newObjectId();
    object.name = spec.name.empty() ? generatedConstraintName("DF", table.name, column.name, object.id) : spec.name;
    if (db.object(object.name, table.schemaId)) throw errors::constraintNotCreated(errors::objectExists(object.name));
    object.xtype = "D";
    object.parentId = table.id;
    object.schemaId = table.schemaId;
    object.info = static_cast<int>(*position) + 1;
    object.created = currentDateTime();
    object.text = storedConstraintText(spec.value->text);
    column.defaultExpr = spec.value;
    column.defaultId = object.id;
    db.addObject(object);
}

void Executor::dropConstraints(Database& db, Table& table, const std::vector<std::string>& names) {
    std::vector<int> doomed;
    for (const std::string& name : names) {  // every name is checked before anything goes
        const SchemaObject* object = db.object(name, table.schemaId);
        if (!object || !isConstraint(object->xtype)) throw notDropped(3728, "'" + name + "' is not a constraint.");
        if (object->parentId != table.id)
            throw notDropped(3733, "Constraint '" + name + "' does not belong to table '" + table.name + "'.");
        if (object->xtype == "PK" || object->xtype == "UQ") {
            for (const auto& [child, key] : db.referencesTo(table.id)) {
                const Index* used = candidateKey(table, key->referencedColumns);
                if (used && compareCollated(used->name, object->name) == 0)
                    throw notDropped(3725, "The constraint '" + object->name + "' is being referenced by table '" + child->name +
                                               "', foreign key constraint '" + key->name + "'.");
            }
        }
        doomed.push_back(object->id);
    }
    for (int id : doomed) {
        const SchemaObject& object = *db.objectById(id);
        std::erase_if(table.indexes, [&](const Index& i) { return compareCollated(i.name, object.name) == 0; });
        std::erase_if(table.checks, [&](const CheckConstraint& c) { return c.id == id; });
        std::erase_if(table.foreignKeys, [&](const ForeignKey& k) { return k.id == id; });
        for (Column& column : table.columns)
            if (column.defaultId == id) {
                column.defaultId = 0;
                column.defaultExpr = nullptr;
            }
        db.dropObject(id);
    }
}

// ---- foreign keys ----

void Executor::addForeignKey(Database& db, Table& table, const ForeignKeySpec& spec, const char* checkingVerb) {
    ForeignKey key;
    key.id = engine_.newObjectId();
    key.name = spec.name.empty() ? generatedConstraintName("FK", table.name, spec.columns.front(), key.id) : spec.name;
    if (table.name[0] == '#') {  // temporary tables keep no foreign keys
        sink_.message({1756, 1, 10, "Skipping FOREIGN KEY constraint '" + key.name + "' definition for temporary table.", "", statementLine_});
        return;
    }
    if (db.object(key.name, table.schemaId)) throw errors::constraintNotCreated(errors::objectExists(key.name));
    const ObjectName& target = spec.referenced;
    if (!target.name.empty() && target.name[0] == '#')
        throw notCreated(1766, "Foreign key references to temporary tables are not supported. Foreign key '" + key.name + "'.");
    if (!target.database.empty() && compareCollated(target.database, db.name()) != 0)
        throw notCreated(1763, "Cross-database foreign key references are not supported. Foreign key '" + key.name + "'.");
    std::optional<int> targetSchema = schemaFor(target, db);
    std::shared_ptr<Table> referenced = targetSchema ? db.table(target.name, *targetSchema) : nullptr;
    if (!referenced) throw notCreated(1767, "Foreign key '" + key.name + "' references invalid table '" + target.name + "'.");
    for (const std::string& name : spec.columns) {
        auto position = table.columnIndex(name);
        if (!position)
            throw notCreated(1769, "Foreign key '" + key.name + "' references invalid column '" + name +
                                       "' in referencing table '" + table.name + "'.");
        key.columns.push_back(*position);
    }
    if (spec.referencedColumns.empty()) {
        const Index* primary = primaryKey(*referenced);
        if (!primary)
            throw notCreated(1773, "Foreign key '" + key.name + "' has implicit reference to object '" + referenced->name +
                                       "' which does not have a primary key defined on it.");
        for (const auto& column : primary->keys) key.referencedColumns.push_back(column.first);
        if (key.referencedColumns.size() != key.columns.size())
            throw notCreated(1774, "The number of columns in the referencing column list for foreign key '" + key.name +
                                       "' does not match those of the primary key in the referenced table '" + referenced->name + "'.");
    } else {
        for (const std::string& name : spec.referencedColumns) {
            auto position = referenced->columnIndex(name);
            if (!position)
                throw notCreated(1770, "Foreign key '" + key.name + "' references invalid column '" + name +
                                           "' in referenced table '" + referenced->name + "'.");
            key.referencedColumns.push_back(*position);
        }
        if (key.referencedColumns.size() != key.columns.size())
            throw notCreated(8139, "Number of referencing columns in foreign key differs from number of referenced columns, table '" +
                                       table.name + "'.");
    }
    for (size_t k = 0; k < key.columns.size(); ++k) checkKeyTypes(table, key.columns[k], *referenced, key.referencedColumns[k], key.name);
    if (!candidateKey(*referenced, key.referencedColumns))
        throw notCreated(1776, "There are no primary or candidate keys in the referenced table '" + referenced->name +
                                   "' that match the referencing column list in the foreign key '" + key.name + "'.");
    key.referencedTableId = referenced->id;
    key.deleteCascade = spec.onDelete == ReferentialAction::Cascade;
    key.updateCascade = spec.onUpdate == ReferentialAction::Cascade;
    if (key.updateCascade)
        for (size_t position : key.columns)
            if (table.columns[position].identity)
                throw notCreated(1788, "Cascading foreign key '" + key.name + "' cannot be created where the referencing column '" +
                                           table.name + "." + table.columns[position].name + "' is an identity column.");
    try {
        refuseCascadeCycles(db, table, key);
    } catch (const SqlError& cycle) {
        throw errors::constraintNotCreated(cycle);
    }
    if (checkingVerb) {  // the rows already there must all find their referenced rows
        InsertReferences rows(db, table, {&key}, db.name(), checkingVerb);
        for (const Row& row : table.rows) rows.check(row);
    }
    SchemaObject object;
    object.id = key.id;
    object.name = key.name;
    object.xtype = "F";
    object.parentId = table.id;
    object.schemaId = table.schemaId;
    object.info = spec.columnLevel ? static_cast<int>(key.columns.front()) + 1 : 0;
    object.created = currentDateTime();
    table.foreignKeys.push_back(std::move(key));
    db.addObject(object);
}

std::optional<ReferentialPlan> Executor::referentialPlan(const Table& table, const ObjectName& name, const char* verb) {
    auto db = databaseFor(name);
    if (!db || (table.foreignKeys.empty() && db->referencesTo(table.id).empty())) return std::nullopt;
    return std::optional<ReferentialPlan>(std::in_place, *db, db->name(), verb);
}

void Executor::applyCascades(const ReferentialPlan& plan) {
    for (const TableChange* change : plan.cascaded()) {
        if (!change->updated.empty()) changes_.replaceRows(*change->table, {change->updated.begin(), change->updated.end()});
        if (!change->deleted.empty()) changes_.eraseRows(*change->table, change->deleted);
    }
}

void Executor::checkCascadedRows(const ReferentialPlan& plan) {
    for (const TableChange* change : plan.cascaded()) {
        if (change->updated.empty()) continue;
        const Table& table = *change->table;
        for (const auto& [position, row] : change->updated) checkConstraints(table, row, true);
        for (const Index& index : table.indexes) {
            if (!(index.status & kIndexUnique)) continue;
            std::unordered_set<std::string> keys;
            for (size_t position = 0; position < table.rows.size(); ++position) {
                if (std::binary_search(change->deleted.begin(), change->deleted.end(), position)) continue;
                auto updated = change->updated.find(position);
                const Row& row = updated == change->updated.end() ? table.rows[position] : updated->second;
                if (!keys.insert(indexKeyText(index, row)).second) throw duplicateKey(table, index);
            }
        }
    }
}

void Executor::runTruncate(const TruncateStatement& s) {
    auto table = requireTable(s.table);
    auto db = databaseFor(s.table);
    if (db && !db->referencesTo(table->id).empty())
        throw SqlError(4712, 16, 1, "Cannot truncate table '" + table->name + "' because it is being referenced by a FOREIGN KEY constraint.", false);
    changes_.clearRows(*table);
    restartIdentity(*table);  // from its seed again, as on a new table
    done(StatementKind::Other, false, 0);
}

}  // namespace sandbox

namespace sandbox {

// ---- ALTER TABLE ... CHECK | NOCHECK CONSTRAINT, ENABLE | DISABLE TRIGGER ----

void Executor::switchConstraints(Database& db, Table& table, const sql::AlterTableStatement& s) {
    const bool all = s.switched.empty();
    auto named = [&](const std::string& name) {
        return all || std::any_of(s.switched.begin(), s.switched.end(),
                                  [&](const std::string& wanted) { return compareCollated(wanted, name) == 0; });
    };
    for (const std::string& wanted : s.switched) {
        const bool known =
            std::any_of(table.checks.begin(), table.checks.end(), [&](const auto& c) { return compareCollated(c.name, wanted) == 0; }) ||
            std::any_of(table.foreignKeys.begin(), table.foreignKeys.end(),
                        [&](const auto& k) { return compareCollated(k.name, wanted) == 0; });
        if (!known) throw SqlError(4917, 16, 1, "Constraint '" + wanted + "' does not exist.", false);
    }
    const bool on = *s.constraintsOn;
    if (on && s.validate) {  // every row is checked before anything is switched
        std::vector<const ForeignKey*> keys;
        for (const ForeignKey& key : table.foreignKeys)
            if (named(key.name)) keys.push_back(&key);
        InsertReferences references(db, table, keys, db.name(), "ALTER TABLE");
        for (const Row& row : table.rows) {
            for (const CheckConstraint& check : table.checks)
                if (named(check.name) && !satisfies(table, check, row)) throw checkConflict(table, check, "ALTER TABLE");
            references.check(row);
        }
    }
    for (CheckConstraint& check : table.checks)
        if (named(check.name)) check.enabled = on;
    for (ForeignKey& key : table.foreignKeys)
        if (named(key.name)) key.enabled = on;
}

void Executor::switchTriggers(Database& db, Table& table, const std::vector<std::string>& names) {
    for (const std::string& wanted : names) {
        const SchemaObject* trigger = db.object(wanted, table.schemaId);
        if (!trigger || trigger->xtype != "TR" || trigger->parentId != table.id)
            throw SqlError(4920, 16, 1, "Cannot find trigger '" + wanted + "' on table '" + table.name + "'.", false);
    }
}

}  // namespace sandbox
