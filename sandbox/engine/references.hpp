#pragma once
// Foreign keys at work: the keys a referencing row needs, and what a DELETE or UPDATE of
// referenced rows does to the rows that reference them (refused, or cascaded).

#include "engine/storage.hpp"

#include <map>
#include <optional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace sandbox {

// The text of a key under the server collation: equal keys give equal texts.
void appendKeyPart(std::string& text, const Value& value);
// A row's key in a unique index, NULL counting as a value (a unique index holds one NULL).
std::string indexKeyText(const Index& index, const Row& row);
// The key a row holds in `positions`; nullopt when one of them is NULL (such a key references
// nothing and is never checked).
std::optional<std::string> keyText(const Row& row, const std::vector<size_t>& positions);

// The PRIMARY KEY, UNIQUE constraint or unique index whose columns are exactly `columns`: the
// key a foreign key over them relies on.
const Index* candidateKey(const Table& table, const std::vector<size_t>& columns);

// The text of error 547: a COLUMN constraint names its column, a TABLE constraint none.
std::string conflictText(const std::string& verb, const std::string& kind, const std::string& constraint,
                         const std::string& database, const std::string& table, const std::optional<std::string>& column);

// Looks keys up in the referenced columns of one foreign key's table: the first few by scanning
// its rows, then through a hash of all of them, so that single-row statements stay cheap.
class ReferencedKeys {
public:
    ReferencedKeys(const Table& table, std::vector<size_t> positions) : table_(table), positions_(std::move(positions)) {}
    bool contains(const std::string& key);
    // A row the statement adds to the referenced table.
    void add(const Row& row);

private:
    const Table& table_;
    std::vector<size_t> positions_;
    std::unordered_set<std::string> keys_;
    std::vector<std::string> added_;
    int lookups_ = 0;
    bool hashed_ = false;
};

// Raises 547 for a row of `table` when one of `keys` finds no referenced row: rows an INSERT
// adds (rows of the statement itself count for a table that references itself), or rows already
// there when ALTER TABLE adds a foreign key.
class InsertReferences {
public:
    InsertReferences(const Database& database, const Table& table, const std::vector<const ForeignKey*>& keys,
                     std::string databaseName, std::string verb);
    // Every foreign key of `table`, for an INSERT.
    InsertReferences(const Database& database, const Table& table, std::string databaseName);
    void check(const Row& row);
    void added(const Row& row);

private:
    struct Check {
        const ForeignKey* key;
        std::shared_ptr<Table> referenced;
        ReferencedKeys keys;
    };
    const Table& table_;
    std::string databaseName_;
    std::string verb_;
    std::vector<Check> checks_;
};

// The rows one statement changes in one table: replaced rows and deleted rows, by position.
struct TableChange {
    std::shared_ptr<Table> table;
    std::map<size_t, Row> updated;
    std::vector<size_t> deleted;  // ascending and distinct once the plan is resolved
};

// What a DELETE or an UPDATE does through the foreign keys of its database: resolve() follows
// ON DELETE / ON UPDATE CASCADE into the referencing tables and then checks every foreign key
// the changes touch against the tables as they will be, raising 547 before anything changed.
class ReferentialPlan {
public:
    ReferentialPlan(const Database& database, std::string databaseName, std::string verb)
        : database_(database), databaseName_(std::move(databaseName)), verb_(std::move(verb)) {}

    void deleting(const std::shared_ptr<Table>& table, const std::vector<size_t>& positions);
    void updating(const std::shared_ptr<Table>& table, const std::vector<std::pair<size_t, Row>>& rows);
    void resolve();
    // The changes cascades make to other tables, in the order they were found.
    std::vector<const TableChange*> cascaded() const;

private:
    TableChange& changeOf(const std::shared_ptr<Table>& table);
    // The keys in `positions` that the change takes away: old key text to the row that replaces
    // it (nothing for deleted rows).
    std::unordered_map<std::string, std::optional<Row>> changedKeys(const TableChange& change,
                                                                     const std::vector<size_t>& positions) const;
    // Deletes or updates the rows of `child` that `key` makes follow `parent`'s change.
    void cascade(const TableChange& parent, const std::shared_ptr<Table>& child, const ForeignKey& key);
    void check(const std::shared_ptr<Table>& child, const ForeignKey& key);
    // A row as the statement leaves it; nullptr when it deletes the row.
    const Row* rowAfter(const Table& table, const TableChange* change, size_t position) const;

    const Database& database_;
    std::string databaseName_;
    std::string verb_;
    std::vector<std::unique_ptr<TableChange>> changes_;  // the statement's own table first
};

// Error 1785 when adding `key` to `table` would give a cascading action two paths to a table or
// a cycle.
void refuseCascadeCycles(const Database& database, const Table& table, const ForeignKey& key);

}  // namespace sandbox
