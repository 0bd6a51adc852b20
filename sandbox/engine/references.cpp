#include "engine/references.hpp"

#include "engine/convert.hpp"
#include "engine/error.hpp"

#include <algorithm>

namespace sandbox {

void appendKeyPart(std::string& text, const Value& value) {
    if (value.isNull()) text += "\x01";
    else if (std::holds_alternative<std::string>(value.storage())) text += toLower(trimRightBlanks(value.asText()));
    else if (std::holds_alternative<double>(value.storage())) text += std::to_string(value.asDouble());
    else text += formatValue(value, 121);
    text += '\x1F';
}

std::string indexKeyText(const Index& index, const Row& row) {
    std::string text;
    for (const auto& key : index.keys) appendKeyPart(text, row[key.first]);
    return text;
}

std::optional<std::string> keyText(const Row& row, const std::vector<size_t>& positions) {
    std::string text;
    for (size_t position : positions) {
        if (row[position].isNull()) return std::nullopt;
        appendKeyPart(text, row[position]);
    }
    return text;
}

std::string conflictText(const std::string& verb, const std::string& kind, const std::string& constraint,
                         const std::string& database, const std::string& table, const std::optional<std::string>& column) {
    return verb + " statement conflicted with " + (column ? "COLUMN " : "TABLE ") + kind + " constraint '" + constraint +
           "'. The conflict occurred in database '" + database + "', table '" + table + "'" +
           (column ? ", column '" + *column + "'" : "") + ".";
}

namespace {

// A foreign key of one column is a COLUMN constraint in messages, one of several a TABLE constraint.
SqlError referenceConflict(const std::string& verb, const std::string& kind, const ForeignKey& key,
                           const std::string& database, const Table& table, const std::vector<size_t>& positions) {
    std::optional<std::string> column;
    if (positions.size() == 1) column = table.columns[positions[0]].name;
    return SqlError(547, 16, 1, conflictText(verb, kind, key.name, database, table.name, column), false);
}

}  // namespace

const Index* candidateKey(const Table& table, const std::vector<size_t>& columns) {
    std::vector<size_t> wanted = columns;
    std::sort(wanted.begin(), wanted.end());
    for (const Index& index : table.indexes) {
        if (!(index.status & kIndexUnique)) continue;
        std::vector<size_t> keys;
        for (const auto& key : index.keys) keys.push_back(key.first);
        std::sort(keys.begin(), keys.end());
        if (keys == wanted) return &index;
    }
    return nullptr;
}

// ---- ReferencedKeys ----

bool ReferencedKeys::contains(const std::string& key) {
    constexpr int kScansBeforeHashing = 4;
    if (!hashed_ && ++lookups_ <= kScansBeforeHashing) {
        return std::any_of(table_.rows.begin(), table_.rows.end(), [&](const Row& row) {
            auto text = keyText(row, positions_);
            return text && *text == key;
        });
    }
    if (!hashed_) {
        keys_.reserve(table_.rows.size());
        for (const Row& row : table_.rows)
            if (auto text = keyText(row, positions_)) keys_.insert(std::move(*text));
        hashed_ = true;
    }
    return keys_.count(key) > 0;
}

void ReferencedKeys::add(const Row& row) {
    if (!hashed_) return;  // scans see the table's rows as they are
    if (auto text = keyText(row, positions_)) keys_.insert(std::move(*text));
}

// ---- InsertReferences ----

InsertReferences::InsertReferences(const Database& database, const Table& table, const std::vector<const ForeignKey*>& keys,
                                   std::string databaseName, std::string verb)
    : table_(table), databaseName_(std::move(databaseName)), verb_(std::move(verb)) {
    for (const ForeignKey* key : keys) {
        auto referenced = database.tableById(key->referencedTableId);
        if (referenced) checks_.push_back({key, referenced, ReferencedKeys(*referenced, key->referencedColumns)});
    }
}

namespace {

std::vector<const ForeignKey*> keysOf(const Table& table) {
    std::vector<const ForeignKey*> keys;
    for (const ForeignKey& key : table.foreignKeys)
        if (key.enabled) keys.push_back(&key);
    return keys;
}

}  // namespace

InsertReferences::InsertReferences(const Database& database, const Table& table, std::string databaseName)
    : InsertReferences(database, table, keysOf(table), std::move(databaseName), "INSERT") {}

void InsertReferences::check(const Row& row) {
    for (Check& check : checks_) {
        auto key = keyText(row, check.key->columns);
        if (!key) continue;
        if (check.referenced.get() == &table_) {  // a row may reference itself
            auto own = keyText(row, check.key->referencedColumns);
            if (own && *own == *key) continue;
        }
        if (!check.keys.contains(*key))
            throw referenceConflict(verb_, "FOREIGN KEY", *check.key, databaseName_, *check.referenced,
                                    check.key->referencedColumns);
    }
}

void InsertReferences::added(const Row& row) {
    for (Check& check : checks_)
        if (check.referenced.get() == &table_) check.keys.add(row);
}

// ---- ReferentialPlan ----

TableChange& ReferentialPlan::changeOf(const std::shared_ptr<Table>& table) {
    for (auto& change : changes_)
        if (change->table == table) return *change;
    changes_.push_back(std::make_unique<TableChange>());
    changes_.back()->table = table;
    return *changes_.back();
}

void ReferentialPlan::deleting(const std::shared_ptr<Table>& table, const std::vector<size_t>& positions) {
    TableChange& change = changeOf(table);
    change.deleted.insert(change.deleted.end(), positions.begin(), positions.end());
}

void ReferentialPlan::updating(const std::shared_ptr<Table>& table, const std::vector<std::pair<size_t, Row>>& rows) {
    TableChange& change = changeOf(table);
    for (const auto& [position, row] : rows) change.updated[position] = row;
}

std::unordered_map<std::string, std::optional<Row>> ReferentialPlan::changedKeys(const TableChange& change,
                                                                                 const std::vector<size_t>& positions) const {
    std::unordered_map<std::string, std::optional<Row>> keys;
    for (size_t position : change.deleted)
        if (auto old = keyText(change.table->rows[position], positions)) keys[*old] = std::nullopt;
    for (const auto& [position, row] : change.updated) {
        auto old = keyText(change.table->rows[position], positions);
        if (old && old != keyText(row, positions)) keys[*old] = row;
    }
    return keys;
}

const Row* ReferentialPlan::rowAfter(const Table& table, const TableChange* change, size_t position) const {
    if (!change) return &table.rows[position];
    if (std::binary_search(change->deleted.begin(), change->deleted.end(), position)) return nullptr;
    auto updated = change->updated.find(position);
    return updated == change->updated.end() ? &table.rows[position] : &updated->second;
}

void ReferentialPlan::cascade(const TableChange& parent, const std::shared_ptr<Table>& child, const ForeignKey& key) {
    if (!key.deleteCascade && !key.updateCascade) return;
    auto keys = changedKeys(parent, key.referencedColumns);
    for (size_t position = 0; position < child->rows.size(); ++position) {
        const Row& row = child->rows[position];
        auto text = keyText(row, key.columns);
        if (!text) continue;
        auto found = keys.find(*text);
        if (found == keys.end()) continue;
        bool deleted = !found->second;
        if (deleted ? !key.deleteCascade : !key.updateCascade) continue;  // checked later, as NO ACTION
        TableChange& change = changeOf(child);
        if (deleted) {
            change.deleted.push_back(position);
        } else {
            Row replaced = change.updated.count(position) ? change.updated[position] : row;
            for (size_t k = 0; k < key.columns.size(); ++k)
                replaced[key.columns[k]] = assignValue((*found->second)[key.referencedColumns[k]],
                                                       child->columns[key.columns[k]].type);
            change.updated[position] = std::move(replaced);
        }
    }
}

void ReferentialPlan::resolve() {
    // Cascades first: each changed table may change the tables that reference it. Foreign keys
    // never cascade in a cycle (1785), so this ends.
    for (size_t i = 0; i < changes_.size(); ++i) {
        std::shared_ptr<Table> parent = changes_[i]->table;
        for (const auto& [child, key] : database_.referencesTo(parent->id))
            if (key->enabled) cascade(*changes_[i], child, *key);
    }
    for (auto& change : changes_) {
        std::sort(change->deleted.begin(), change->deleted.end());
        change->deleted.erase(std::unique(change->deleted.begin(), change->deleted.end()), change->deleted.end());
    }
    // Then every foreign key on either side of a change must hold in the tables as they will be.
    std::vector<int> checked;
    auto checkOnce = [&](const std::shared_ptr<Table>& child, const ForeignKey& key) {
        if (!key.enabled || std::find(checked.begin(), checked.end(), key.id) != checked.end()) return;
        checked.push_back(key.id);
        check(child, key);
    };
    for (size_t i = 0; i < changes_.size(); ++i) {
        std::shared_ptr<Table> table = changes_[i]->table;
        for (const ForeignKey& key : table->foreignKeys) checkOnce(table, key);
        for (const auto& [child, key] : database_.referencesTo(table->id)) checkOnce(child, *key);
    }
}

void ReferentialPlan::check(const std::shared_ptr<Table>& child, const ForeignKey& key) {
    auto parent = database_.tableById(key.referencedTableId);
    if (!parent) return;
    auto findChange = [&](const Table& table) -> const TableChange* {
        for (const auto& change : changes_)
            if (change->table.get() == &table) return change.get();
        return nullptr;
    };
    const TableChange* parentChange = findChange(*parent);
    const TableChange* childChange = findChange(*child);
    bool parentKeysGo = parentChange && !changedKeys(*parentChange, key.referencedColumns).empty();
    auto ownKeyChanged = [&](size_t position, const Row& row) {
        return childChange && childChange->updated.count(position) &&
               keyText(child->rows[position], key.columns) != keyText(row, key.columns);
    };
    bool childKeysChange = childChange && std::any_of(childChange->updated.begin(), childChange->updated.end(),
                                                      [&](const auto& entry) { return ownKeyChanged(entry.first, entry.second); });
    if (!parentKeysGo && !childKeysChange) return;

    std::unordered_set<std::string> parentKeys;
    for (size_t position = 0; position < parent->rows.size(); ++position) {
        const Row* row = rowAfter(*parent, parentChange, position);
        if (!row) continue;
        if (auto text = keyText(*row, key.referencedColumns)) parentKeys.insert(std::move(*text));
    }
    for (size_t position = 0; position < child->rows.size(); ++position) {
        const Row* after = rowAfter(*child, childChange, position);
        if (!after) continue;
        const Row& row = *after;
        bool own = ownKeyChanged(position, row);
        if (!parentKeysGo && !own) continue;
        auto text = keyText(row, key.columns);
        if (!text || parentKeys.count(*text)) continue;
        if (own) throw referenceConflict(verb_, "FOREIGN KEY", key, databaseName_, *parent, key.referencedColumns);
        throw referenceConflict(verb_, "REFERENCE", key, databaseName_, *child, key.columns);
    }
}

std::vector<const TableChange*> ReferentialPlan::cascaded() const {
    std::vector<const TableChange*> result;
    for (size_t i = 1; i < changes_.size(); ++i) result.push_back(changes_[i].get());
    return result;
}

// ---- cascade paths ----

namespace {

// The tables reachable from `start` along `edges` (referenced table to referencing table), the
// start tables included.
std::unordered_set<int> reachable(const std::unordered_multimap<int, int>& edges, std::vector<int> start) {
    std::unordered_set<int> seen(start.begin(), start.end());
    while (!start.empty()) {
        int node = start.back();
        start.pop_back();
        auto [begin, end] = edges.equal_range(node);
        for (auto edge = begin; edge != end; ++edge)
            if (seen.insert(edge->second).second) start.push_back(edge->second);
    }
    return seen;
}

}  // namespace

void refuseCascadeCycles(const Database& database, const Table& table, const ForeignKey& key) {
    for (bool onDelete : {true, false}) {
        if (!(onDelete ? key.deleteCascade : key.updateCascade)) continue;
        std::unordered_multimap<int, int> forward, backward;
        for (const auto& entry : database.tables())
            for (const ForeignKey& existing : entry.second->foreignKeys)
                if (onDelete ? existing.deleteCascade : existing.updateCascade) {
                    forward.emplace(existing.referencedTableId, entry.second->id);
                    backward.emplace(entry.second->id, existing.referencedTableId);
                }
        // The new path runs from every table that cascades into the referenced one, through it, to
        // every table the referencing one cascades into. It is a cycle when it comes back to where
        // it began, and a second path when one of those tables already reached one of these.
        std::unordered_set<int> before = reachable(backward, {key.referencedTableId});
        std::unordered_set<int> after = reachable(forward, {table.id});
        bool cycle = before.count(table.id) > 0;
        std::vector<int> next;
        for (int origin : before) {
            auto [begin, end] = forward.equal_range(origin);
            for (auto edge = begin; edge != end; ++edge) next.push_back(edge->second);
        }
        std::unordered_set<int> reached = reachable(forward, next);
        bool twoPaths = std::any_of(after.begin(), after.end(), [&](int target) { return reached.count(target) > 0; });
        if (cycle || twoPaths)
            throw SqlError(1785, 16, 1, "Introducing FOREIGN KEY constraint '" + key.name + "' on table '" + table.name +
                                            "' may cause cycles or multiple cascade paths. Specify ON DELETE NO ACTION or "
                                            "ON UPDATE NO ACTION, or modify other FOREIGN KEY constraints.", false);
    }
}

}  // namespace sandbox
