// Identity columns: the values INSERT gives them, SET IDENTITY_INSERT, DBCC CHECKIDENT, and the
// table's current identity value as SQL Server 2000 keeps it.

#include "engine/convert.hpp"
#include "engine/executor.hpp"

#include <algorithm>

namespace sandbox {

using namespace sql;

std::optional<int64_t> currentIdentity(const Table& table) {
    const Column* column = identityColumn(table);
    if (!column) return std::nullopt;
    if (table.identityStarted) return table.identityNext - column->step;
    // Before its first row a table reports its seed, or the value DBCC CHECKIDENT gave it.
    return table.identityNext;
}

int64_t takeIdentity(Table& table, const Column& column) {
    int64_t value = table.identityNext;
    table.identityNext += column.step;
    table.identityStarted = true;
    return value;
}

void noteExplicitIdentity(Table& table, const Column& column, int64_t value) {
    int64_t current = table.identityNext - column.step;
    bool beyond = column.step > 0 ? value > current : value < current;
    if (!table.identityStarted || beyond) table.identityNext = value + column.step;
    table.identityStarted = true;
}

void restartIdentity(Table& table) {
    const Column* column = identityColumn(table);
    if (!column) return;
    std::optional<int64_t> last;
    for (const Row& row : table.rows) {
        const Value& value = row[static_cast<size_t>(column - table.columns.data())];
        if (value.isNull()) continue;
        int64_t v = toInteger(value);
        if (!last || (column->step > 0 ? v > *last : v < *last)) last = v;
    }
    table.identityStarted = last.has_value();
    table.identityNext = last ? *last + column->step : column->seed;
}

namespace {

// database.schema.table, as SQL Server names the table in 8107.
std::string qualifiedName(Engine& engine, const std::string& database, const Table& table) {
    if (table.name[0] == '#') return "tempdb.dbo." + table.name;
    auto db = engine.database(database);
    return database + "." + (db ? db->schemaName(table.schemaId) : std::string("dbo")) + "." + table.name;
}

}  // namespace

bool Executor::identityInsertOn(const Table& table, const std::string& database) const {
    return !session_.identityInsertTable_.empty() &&
           compareCollated(session_.identityInsertTable_, qualifiedName(engine_, database, table)) == 0;
}

void Executor::checkIdentityTargets(const Table& table, const std::string& database, bool columnList, bool identityNamed,
                                    size_t values) {
    if (!identityColumn(table)) return;
    bool on = identityInsertOn(table, database);
    size_t generated = static_cast<size_t>(std::count_if(table.columns.begin(), table.columns.end(), [](const Column& c) {
        return !c.identity && c.type.id != TypeId::Timestamp;
    }));
    if (!columnList && (on || values == generated + 1))
        throw SqlError(8101, 16, 1, "An explicit value for the identity column in table '" + table.name +
                                        "' can only be specified when a column list is used and IDENTITY_INSERT is ON.", false);
    if (columnList && identityNamed && !on)
        throw SqlError(544, 16, 1, "Cannot insert explicit value for identity column in table '" + table.name +
                                       "' when IDENTITY_INSERT is set to OFF.", false);
    if (columnList && !identityNamed && on)
        throw SqlError(545, 16, 1, "Explicit value must be specified for identity column in table '" + table.name +
                                       "' when IDENTITY_INSERT is set to ON.", false);
}

void Executor::setIdentityInsert(const ObjectName& name, bool on) {
    auto table = requireTable(name);
    if (!identityColumn(*table))
        throw SqlError(8106, 16, 1, "Table '" + table->name + "' does not have the identity property. Cannot perform SET operation.");
    std::string qualified = qualifiedName(engine_, databaseFor(name)->name(), *table);
    bool current = compareCollated(session_.identityInsertTable_, qualified) == 0;
    if (on && !current && !session_.identityInsertTable_.empty())
        throw SqlError(8107, 16, 1, "IDENTITY_INSERT is already ON for table '" + session_.identityInsertTable_ +
                                        "'. Cannot perform SET operation for table '" + table->name + "'.");
    if (on) session_.identityInsertTable_ = qualified;
    else if (current) session_.identityInsertTable_.clear();
}

std::optional<ObjectName> Executor::nameIn(const std::string& text) {
    std::optional<std::vector<std::string>> parts = splitQualifiedName(text);
    if (!parts || parts->empty() || parts->size() > 3) return std::nullopt;
    ObjectName name;
    name.name = std::string(trimRightBlanks(parts->back()));
    if (parts->size() >= 2) name.owner = (*parts)[parts->size() - 2];
    if (parts->size() == 3) name.database = parts->front();
    if (name.name.empty()) return std::nullopt;
    return name;
}

std::shared_ptr<Table> Executor::tableNamed(const std::string& text) {
    std::optional<ObjectName> name = nameIn(text);
    return name ? findTable(*name) : nullptr;
}

// DBCC CHECKIDENT: reports the current identity value and the highest in the column, raises the
// current value to the highest (RESEED without a value, or no option), or sets it (RESEED, n).
void Executor::runDbcc(const DbccStatement& s) {
    std::string text = s.table.database.empty() && s.table.owner.empty() ? s.table.name
                                                                         : s.table.database + "." + s.table.owner + "." + s.table.name;
    std::optional<ObjectName> name = nameIn(text);
    auto table = name ? findTable(*name) : nullptr;
    if (!table)
        throw SqlError(2501, 16, 1, "Could not find a table or object named '" + s.table.name + "'. Check sysobjects.", false);
    const Column* column = identityColumn(*table);
    if (!column) throw SqlError(7997, 16, 1, "'" + table->name + "' does not contain an identity column.", false);
    auto shown = [](std::optional<int64_t> v) { return v ? std::to_string(*v) : std::string("NULL"); };
    std::optional<int64_t> current;
    if (table->identityStarted || table->identityNext != column->seed) current = currentIdentity(*table);
    std::optional<int64_t> highest;
    size_t position = static_cast<size_t>(column - table->columns.data());
    for (const Row& row : table->rows) {
        if (row[position].isNull()) continue;
        int64_t v = toInteger(row[position]);
        if (!highest || (column->step > 0 ? v > *highest : v < *highest)) highest = v;
    }
    std::optional<int64_t> reported = highest;
    changes_.schemaChanging(databaseFor(*name));  // the current value is kept with the table's shape
    if (s.mode == "reseed" && s.value) {
        Value value = eval(*s.value, Frame{});
        if (value.isNull()) throw SqlError(2560, 16, 1, "Parameter 3 is incorrect for this DBCC statement.", false);
        int64_t reseed = toInteger(value);
        reported = reseed;
        // Before the first row the next row takes the new value itself; after it, the value plus the increment.
        table->identityNext = table->identityStarted ? reseed + column->step : reseed;
    } else if (s.mode != "noreseed" && highest && current && (column->step > 0 ? *current < *highest : *current > *highest)) {
        table->identityNext = *highest + column->step;
        table->identityStarted = true;
    }
    if (!s.noInfoMessages) {
        sink_.message({7998, 1, 10, "Checking identity information: current identity value '" + shown(current) +
                                        "', current column value '" + shown(reported) + "'.", "", s.line});
        sink_.message({2528, 1, 10, "DBCC execution completed. If DBCC printed error messages, contact your system administrator.",
                       "", s.line});
    }
    done(StatementKind::Other, false, 0);
}

}  // namespace sandbox
