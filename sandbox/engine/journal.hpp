#pragma once
// The data folder's journal: one record per batch that changed kept databases, appended and
// flushed before the batch is acknowledged, replayed at start over the data files, and folded
// into them now and then (a checkpoint), so that a small batch costs a small write however
// large its database is.
//
// File: the magic "MKDDLJR1", then records. A record is its length, a CRC-32 of its bytes and
// the bytes: its position (numbers grow by one per record), then its entries. An entry names
// a database and holds one of: the whole database (created or restored), its dropping, the
// rest of it but its rows (after DDL), or the changes to its rows in order.

#include "engine/codec.hpp"
#include "engine/storage.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace sandbox {

struct JournalEntry {
    enum class Kind : uint8_t { Database = 1, Dropped = 2, Schema = 3, Rows = 4 };
    Kind kind;
    std::string database;
    Bytes content;  // serialised database (with or without rows), or row changes
};

struct JournalRecord {
    uint64_t position = 0;
    std::vector<JournalEntry> entries;
};

// What reading a journal found: the records that read back whole, where they end, and why
// reading stopped before the end of the file when it did.
struct JournalFile {
    std::vector<JournalRecord> records;
    uint64_t validSize = 0;
    // The last record was cut short or fails its checksum: a write that a crash interrupted
    // before it was acknowledged. It is dropped.
    bool incompleteEnd = false;
    std::string damage;  // anything else wrong: the journal cannot be trusted
};

const Bytes& journalHeader();
Bytes encodeJournalRecord(const JournalRecord& record);
JournalFile readJournal(const Bytes& file);

// Changes to a table's rows, in the order they happened; read back by applyRowChanges.
namespace row_changes {
void appended(RecordWriter& out, const Table& table, const Row& row);
void replaced(RecordWriter& out, const Table& table, size_t position, const Row& row);
void erased(RecordWriter& out, const Table& table, const std::vector<size_t>& ascendingPositions);
void cleared(RecordWriter& out, const Table& table);
void counters(RecordWriter& out, const Table& table);  // the identity counter as it stands
}  // namespace row_changes

// Applies recorded row changes to a database's tables. Changes to tables it no longer has (a
// table dropped later in the same batch) are passed over. Every value is checked against its
// column; throws std::runtime_error when the changes are damaged.
void applyRowChanges(Database& database, const Bytes& changes);

}  // namespace sandbox
