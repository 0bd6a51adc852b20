#pragma once
// Every change a batch makes to stored data, kept so that it can be taken back: a statement
// that fails part-way undoes what it changed, and a batch whose changes cannot be made durable
// undoes all of them. With a data folder it also gathers what the journal needs to redo the
// batch's changes to kept databases. Each row change checks the new values against their
// columns first, so that no stored row ever holds a value its column cannot describe (the
// rule files are read by).

#include "engine/codec.hpp"
#include "engine/journal.hpp"
#include "engine/storage.hpp"

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace sandbox {

class Engine;

class ChangeLog {
public:
    explicit ChangeLog(Engine& engine);

    // ---- rows: every change to a stored table's rows goes through these ----
    // Each throws SqlError (515, 8115, 8152) and changes nothing when a value does not fit.
    void appendRow(Table& table, Row row);
    void appendRows(Table& table, std::vector<Row> rows);
    // Replaces rows at the given positions, all or none.
    void replaceRows(Table& table, std::vector<std::pair<size_t, Row>> rows);
    void eraseRows(Table& table, const std::vector<size_t>& ascendingPositions);
    void clearRows(Table& table);

    // ---- the rest: called before the change ----
    // Tables, objects, indexes, constraints, dependencies or properties of `database`.
    void schemaChanging(const std::shared_ptr<Database>& database);
    // The list of databases (CREATE, DROP and RESTORE DATABASE).
    void databasesChanging();

    // A point to return to: rollbackTo takes back every row change made after it, newest first
    // (but none that were saved since: those stay).
    struct Mark {
        size_t changes = 0;
        size_t lastAppended = 0;         // rows appended by the last change, which later appends extend
        std::vector<size_t> redoSizes;  // how far each database's journal changes reached
        uint64_t epoch = 0;             // which stretch between saves the mark belongs to
    };
    Mark mark() const;
    void rollbackTo(const Mark& mark);
    // Takes back every change since the last save: rows, schemas and the list of databases.
    void rollbackAll();
    // The changes so far are saved: others may build on them, so they are no longer taken back.
    void forget();

    // What the journal needs to make the kept databases what they are now (empty when none of
    // them changed). Hands the gathered changes over; the undo information stays.
    std::vector<JournalEntry> takeJournalEntries();

private:
    struct Undo {
        enum class Kind { Appended, Replaced, Erased, Cleared } kind;
        std::shared_ptr<Table> table;
        size_t appended = 0;                       // Appended: how many rows
        std::vector<std::pair<size_t, Row>> rows;  // Replaced, Erased: positions and former rows
        std::vector<Row> all;                      // Cleared: every former row
    };
    // The journal's row changes of one kept database, and the tables they touched.
    struct Redo {
        std::string database;  // lower-case
        RecordWriter changes;
        std::vector<std::shared_ptr<Table>> tables;
    };
    struct DatabaseList {
        std::map<std::string, std::shared_ptr<Database>> databases;
        int nextDbid = 0;
    };

    void noteAppended(Table& table, size_t count);
    // Where the journal's changes to `table` go; nullptr when it is not in a kept database.
    RecordWriter* redoFor(Table& table);
    std::vector<std::string> replacedDatabases() const;
    static void undo(Undo& change);

    Engine& engine_;
    std::vector<Undo> undo_;
    std::vector<Redo> redo_;
    std::unordered_map<const Table*, std::string> keptIn_;  // database of each table met, "" for none
    std::vector<std::pair<std::shared_ptr<Database>, SchemaImage>> schemas_;
    std::optional<DatabaseList> databases_;
    uint64_t epoch_ = 0;
};

}  // namespace sandbox
