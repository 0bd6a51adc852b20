#include "engine/change_log.hpp"

#include "engine/backup.hpp"
#include "engine/engine.hpp"
#include "engine/error.hpp"
#include "types/value_check.hpp"

#include <algorithm>
#include <set>
#include <stdexcept>

namespace sandbox {
namespace {

// The error SQL Server gives when a value cannot go into a column.
SqlError doesNotFit(const Table& table, const Column& column, const Value& value) {
    if (value.isNull())
        return SqlError(515, 16, 2, "Cannot insert the value NULL into column '" + column.name + "', table '" + table.name +
                                        "'; column does not allow nulls. INSERT fails.", false);
    if (isCharacter(column.type.id) || isBinary(column.type.id))
        return SqlError(8152, 16, 9, "String or binary data would be truncated.", false);
    return errors::overflow(std::string(typeName(column.type.id)));
}

void checkRow(const Table& table, const Row& row) {
    if (row.size() != table.columns.size()) throw std::logic_error("a row of the wrong width for table " + table.name);
    for (size_t i = 0; i < row.size(); ++i) {
        const Column& column = table.columns[i];
        if (!storageProblem(row[i], column.type, column.nullable).empty()) throw doesNotFit(table, column, row[i]);
    }
}

}  // namespace

ChangeLog::ChangeLog(Engine& engine) : engine_(engine) {}

// ---- rows ----

void ChangeLog::appendRow(Table& table, Row row) {
    checkRow(table, row);
    if (RecordWriter* redo = redoFor(table)) row_changes::appended(*redo, table, row);
    table.rows.push_back(std::move(row));
    ++table.rowsVersion;
    noteAppended(table, 1);
}

void ChangeLog::appendRows(Table& table, std::vector<Row> rows) {
    for (const Row& row : rows) checkRow(table, row);
    if (RecordWriter* redo = redoFor(table))
        for (const Row& row : rows) row_changes::appended(*redo, table, row);
    table.rows.insert(table.rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    ++table.rowsVersion;
    noteAppended(table, rows.size());
}

// A run of appends to one table is one change, so that a loop of single-row INSERTs keeps
// one entry rather than one per row.
void ChangeLog::noteAppended(Table& table, size_t count) {
    if (!undo_.empty() && undo_.back().kind == Undo::Kind::Appended && undo_.back().table.get() == &table)
        undo_.back().appended += count;
    else
        undo_.push_back({Undo::Kind::Appended, table.shared_from_this(), count, {}, {}});
}

void ChangeLog::replaceRows(Table& table, std::vector<std::pair<size_t, Row>> rows) {
    for (const auto& [position, row] : rows) checkRow(table, row);
    RecordWriter* redo = redoFor(table);
    for (auto& [position, row] : rows) {
        if (redo) row_changes::replaced(*redo, table, position, row);
        std::swap(table.rows.at(position), row);  // `rows` now holds the former rows
    }
    ++table.rowsVersion;
    undo_.push_back({Undo::Kind::Replaced, table.shared_from_this(), 0, std::move(rows), {}});
}

void ChangeLog::eraseRows(Table& table, const std::vector<size_t>& ascendingPositions) {
    if (RecordWriter* redo = redoFor(table)) row_changes::erased(*redo, table, ascendingPositions);
    Undo change{Undo::Kind::Erased, table.shared_from_this(), 0, {}, {}};
    std::vector<Row> kept;
    kept.reserve(table.rows.size() - ascendingPositions.size());
    size_t next = 0;
    for (size_t r = 0; r < table.rows.size(); ++r) {
        if (next < ascendingPositions.size() && ascendingPositions[next] == r) {
            change.rows.emplace_back(r, std::move(table.rows[r]));
            ++next;
        } else {
            kept.push_back(std::move(table.rows[r]));
        }
    }
    table.rows = std::move(kept);
    ++table.rowsVersion;
    undo_.push_back(std::move(change));
}

void ChangeLog::clearRows(Table& table) {
    if (RecordWriter* redo = redoFor(table)) row_changes::cleared(*redo, table);
    Undo change{Undo::Kind::Cleared, table.shared_from_this(), 0, {}, std::move(table.rows)};
    table.rows.clear();
    ++table.rowsVersion;
    undo_.push_back(std::move(change));
}

RecordWriter* ChangeLog::redoFor(Table& table) {
    if (!engine_.keepsData()) return nullptr;
    auto known = keptIn_.find(&table);
    if (known == keptIn_.end()) known = keptIn_.emplace(&table, engine_.keptDatabaseOf(table)).first;
    if (known->second.empty()) return nullptr;
    auto redo = std::find_if(redo_.begin(), redo_.end(), [&](const Redo& r) { return r.database == known->second; });
    if (redo == redo_.end()) redo = redo_.insert(redo_.end(), Redo{known->second, {}, {}});
    if (std::find_if(redo->tables.begin(), redo->tables.end(), [&](const auto& t) { return t.get() == &table; }) ==
        redo->tables.end())
        redo->tables.push_back(table.shared_from_this());
    return &redo->changes;
}

// ---- the rest ----

void ChangeLog::schemaChanging(const std::shared_ptr<Database>& database) {
    if (!database || database == engine_.tempdb_) return;  // temporary tables are never kept
    for (const auto& [db, image] : schemas_)
        if (db == database) return;
    schemas_.emplace_back(database, database->schemaImage());
}

void ChangeLog::databasesChanging() {
    if (!databases_) databases_ = DatabaseList{engine_.databases_, engine_.nextDbid_};
}

// ---- taking changes back ----

ChangeLog::Mark ChangeLog::mark() const {
    Mark mark{undo_.size(), 0, {}, epoch_};
    if (!undo_.empty() && undo_.back().kind == Undo::Kind::Appended) mark.lastAppended = undo_.back().appended;
    for (const Redo& redo : redo_) mark.redoSizes.push_back(redo.changes.size());
    return mark;
}

void ChangeLog::rollbackTo(const Mark& mark) {
    if (mark.epoch != epoch_) return rollbackTo(Mark{0, 0, {}, epoch_});
    while (undo_.size() > mark.changes) {
        undo(undo_.back());
        undo_.pop_back();
    }
    if (!undo_.empty() && undo_.back().kind == Undo::Kind::Appended && undo_.back().appended > mark.lastAppended) {
        Undo& appends = undo_.back();
        appends.table->rows.resize(appends.table->rows.size() - (appends.appended - mark.lastAppended));
        ++appends.table->rowsVersion;
        appends.appended = mark.lastAppended;
    }
    redo_.resize(std::min(redo_.size(), mark.redoSizes.size()));
    for (size_t i = 0; i < redo_.size(); ++i) redo_[i].changes.truncate(mark.redoSizes[i]);
}

void ChangeLog::rollbackAll() {
    rollbackTo(Mark{0, 0, {}, epoch_});
    for (auto it = schemas_.rbegin(); it != schemas_.rend(); ++it) it->first->restoreSchema(std::move(it->second));
    schemas_.clear();
    if (databases_) {
        for (const std::string& key : replacedDatabases()) {
            auto before = databases_->databases.find(key);
            if (before == databases_->databases.end()) engine_.removeDatabase(key);
            else engine_.putDatabase(before->second);
        }
        engine_.nextDbid_ = databases_->nextDbid;
        databases_.reset();
    }
}

void ChangeLog::forget() {
    undo_.clear();
    redo_.clear();
    keptIn_.clear();
    schemas_.clear();
    databases_.reset();
    ++epoch_;
}

void ChangeLog::undo(Undo& change) {
    auto& rows = change.table->rows;
    ++change.table->rowsVersion;
    switch (change.kind) {
        case Undo::Kind::Appended:
            rows.resize(rows.size() - change.appended);
            break;
        case Undo::Kind::Replaced:
            for (auto& [position, row] : change.rows) rows[position] = std::move(row);
            break;
        case Undo::Kind::Erased: {
            // Merges the erased rows back between the kept ones, at their former positions.
            std::vector<Row> merged;
            merged.reserve(rows.size() + change.rows.size());
            size_t kept = 0;
            for (auto& [position, row] : change.rows) {
                while (merged.size() < position) merged.push_back(std::move(rows[kept++]));
                merged.push_back(std::move(row));
            }
            while (kept < rows.size()) merged.push_back(std::move(rows[kept++]));
            rows = std::move(merged);
            break;
        }
        case Undo::Kind::Cleared:
            rows = std::move(change.all);
            break;
    }
}

// ---- the journal ----

// Kept databases that the batch created, dropped or restored: the journal takes them whole.
std::vector<std::string> ChangeLog::replacedDatabases() const {
    std::vector<std::string> replaced;
    if (!databases_) return replaced;
    std::set<std::string> names;
    for (const auto& [key, db] : databases_->databases) names.insert(key);
    for (const auto& [key, db] : engine_.databases_) names.insert(key);
    for (const std::string& key : names) {
        auto before = databases_->databases.find(key);
        auto now = engine_.databases_.find(key);
        auto was = before == databases_->databases.end() ? nullptr : before->second;
        auto is = now == engine_.databases_.end() ? nullptr : now->second;
        if (was != is && key != "tempdb") replaced.push_back(key);
    }
    return replaced;
}

std::vector<JournalEntry> ChangeLog::takeJournalEntries() {
    std::vector<JournalEntry> entries;
    if (!engine_.keepsData()) return entries;
    std::vector<std::string> replaced = replacedDatabases();
    auto isReplaced = [&replaced](const std::string& key) {
        return std::find(replaced.begin(), replaced.end(), key) != replaced.end();
    };
    for (const std::string& key : replaced) {
        auto db = engine_.database(key);
        if (db) entries.push_back({JournalEntry::Kind::Database, db->name(), serializeDatabase(*db)});
        else entries.push_back({JournalEntry::Kind::Dropped, key, {}});
    }
    for (const auto& [db, image] : schemas_) {
        std::string key = toLower(db->name());
        if (!isReplaced(key) && engine_.database(key) == db)
            entries.push_back({JournalEntry::Kind::Schema, db->name(), serializeDatabase(*db, false)});
    }
    for (Redo& redo : redo_) {
        if (redo.changes.size() == 0 || isReplaced(redo.database) || !engine_.database(redo.database)) continue;
        for (const auto& table : redo.tables) row_changes::counters(redo.changes, *table);
        entries.push_back({JournalEntry::Kind::Rows, redo.database, std::move(redo.changes.result())});
    }
    redo_.clear();
    return entries;
}

}  // namespace sandbox
