#include "engine/journal.hpp"

#include "tds/bytes.hpp"
#include "types/value_check.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <unordered_map>
#include <zlib.h>

namespace sandbox {
namespace {

constexpr char kMagic[8] = {'M', 'K', 'D', 'D', 'L', 'J', 'R', '1'};
// Before each record: its length, the CRC-32 of its bytes, and the length's complement, so that
// a damaged length is told from a record that a crash cut short.
constexpr size_t kFrameBytes = 12;

enum class RowChange : uint8_t { Appended = 1, Replaced = 2, Erased = 3, Cleared = 4, Counters = 5 };

uint32_t checksum(const uint8_t* data, size_t size) {
    return static_cast<uint32_t>(crc32_z(crc32_z(0, nullptr, 0), data, size));
}

uint32_t u32At(const Bytes& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

JournalRecord decodeRecord(const uint8_t* data, size_t size) {
    RecordReader r(data, size);
    JournalRecord record;
    record.position = r.u64();
    for (uint64_t i = 0, n = r.count(); i < n; ++i) {
        uint8_t kind = r.u8();
        if (kind < 1 || kind > 4) throw std::runtime_error("an entry of unknown kind");
        JournalEntry entry{static_cast<JournalEntry::Kind>(kind), r.text(), r.bytes()};
        record.entries.push_back(std::move(entry));
    }
    if (r.remaining() != 0) throw std::runtime_error("a record holds more than its entries");
    return record;
}

bool onlyZerosFrom(const Bytes& bytes, size_t at) {
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end(), [](uint8_t b) { return b == 0; });
}

void start(RecordWriter& out, RowChange change, const Table& table) {
    out.u8(static_cast<uint8_t>(change));
    out.u32(static_cast<uint32_t>(table.id));
}

[[noreturn]] void damaged(const std::string& what) { throw std::runtime_error(what); }

Row checkedRow(RecordReader& r, const Table& table) {
    Row row = r.row(table.columns.size());
    for (size_t i = 0; i < row.size(); ++i) {
        const Column& c = table.columns[i];
        if (std::string problem = storageProblem(row[i], c.type, c.nullable); !problem.empty())
            damaged("a row of table '" + table.name + "' holds " + problem + " in column '" + c.name + "'");
        if (row[i].isNull()) row[i] = Value::null(c.type);
        else if (c.type.id != TypeId::SqlVariant) row[i].setType(c.type);
    }
    return row;
}

size_t checkedPosition(uint64_t position, size_t limit, const Table& table) {
    if (position >= limit) damaged("a change to row " + std::to_string(position) + " of table '" + table.name + "', which has " +
                                   std::to_string(limit) + " rows");
    return static_cast<size_t>(position);
}

void applyOne(RecordReader& r, RowChange change, Table& table) {
    auto& rows = table.rows;
    ++table.rowsVersion;
    switch (change) {
        case RowChange::Appended: rows.push_back(checkedRow(r, table)); break;
        case RowChange::Replaced: {
            size_t position = checkedPosition(r.u64(), rows.size(), table);
            rows[position] = checkedRow(r, table);
            break;
        }
        case RowChange::Erased: {
            std::vector<bool> doomed(rows.size(), false);
            for (uint64_t i = 0, n = r.count64(8); i < n; ++i) doomed[checkedPosition(r.u64(), rows.size(), table)] = true;
            size_t index = 0;
            std::erase_if(rows, [&](const Row&) { return doomed[index++]; });
            break;
        }
        case RowChange::Cleared: rows.clear(); break;
        case RowChange::Counters:
            table.identityNext = r.i64();
            table.identityStarted = r.u8() != 0;
            break;
    }
}

// Reads past a change to a table that is gone, checking only that it is well formed.
void skipOne(RecordReader& r, RowChange change) {
    auto skipRow = [&r] {
        for (uint64_t i = 0, n = r.count(); i < n; ++i) r.value();
    };
    switch (change) {
        case RowChange::Appended: skipRow(); break;
        case RowChange::Replaced: r.u64(); skipRow(); break;
        case RowChange::Erased:
            for (uint64_t i = 0, n = r.count64(8); i < n; ++i) r.u64();
            break;
        case RowChange::Cleared: break;
        case RowChange::Counters: r.i64(); r.u8(); break;
    }
}

}  // namespace

const Bytes& journalHeader() {
    static const Bytes header(kMagic, kMagic + sizeof kMagic);
    return header;
}

Bytes encodeJournalRecord(const JournalRecord& record) {
    RecordWriter body;
    body.u64(record.position);
    body.u32(static_cast<uint32_t>(record.entries.size()));
    for (const JournalEntry& entry : record.entries) {
        body.u8(static_cast<uint8_t>(entry.kind));
        body.text(entry.database);
        body.bytes(entry.content);
    }
    RecordWriter framed;
    framed.u32(static_cast<uint32_t>(body.size()));
    framed.u32(checksum(body.result().data(), body.size()));
    framed.u32(~static_cast<uint32_t>(body.size()));
    Bytes out = std::move(framed.result());
    out.insert(out.end(), body.result().begin(), body.result().end());
    return out;
}

JournalFile readJournal(const Bytes& file) {
    JournalFile journal;
    if (file.size() < sizeof kMagic || std::memcmp(file.data(), kMagic, sizeof kMagic) != 0) {
        journal.damage = "it does not begin as a journal";
        return journal;
    }
    size_t at = sizeof kMagic;
    journal.validSize = at;
    while (at < file.size()) {
        bool frameWhole = file.size() - at >= kFrameBytes;
        if (frameWhole && u32At(file, at) != ~u32At(file, at + 8) && !onlyZerosFrom(file, at)) {
            journal.damage = "the record at byte " + std::to_string(at) + " has a damaged length";
            break;
        }
        if (!frameWhole || file.size() - at - kFrameBytes < u32At(file, at)) {
            journal.incompleteEnd = true;
            break;
        }
        size_t length = u32At(file, at), end = at + kFrameBytes + length;
        const uint8_t* body = file.data() + at + kFrameBytes;
        try {
            if (checksum(body, length) != u32At(file, at + 4)) throw std::runtime_error("it fails its checksum");
            JournalRecord record = decodeRecord(body, length);
            if (!journal.records.empty() && record.position <= journal.records.back().position)
                throw std::runtime_error("its position does not follow the one before");
            journal.records.push_back(std::move(record));
        } catch (const std::exception& e) {
            // Only the last write can be torn; a bad record with more after it is damage.
            if (end == file.size() || onlyZerosFrom(file, at)) journal.incompleteEnd = true;
            else journal.damage = "the record at byte " + std::to_string(at) + " is damaged (" + e.what() + ")";
            break;
        }
        at = end;
        journal.validSize = at;
    }
    return journal;
}

namespace row_changes {

void appended(RecordWriter& out, const Table& table, const Row& row) {
    start(out, RowChange::Appended, table);
    out.row(row);
}

void replaced(RecordWriter& out, const Table& table, size_t position, const Row& row) {
    start(out, RowChange::Replaced, table);
    out.u64(position);
    out.row(row);
}

void erased(RecordWriter& out, const Table& table, const std::vector<size_t>& ascendingPositions) {
    start(out, RowChange::Erased, table);
    out.u64(ascendingPositions.size());
    for (size_t position : ascendingPositions) out.u64(position);
}

void cleared(RecordWriter& out, const Table& table) { start(out, RowChange::Cleared, table); }

void counters(RecordWriter& out, const Table& table) {
    start(out, RowChange::Counters, table);
    out.i64(table.identityNext);
    out.u8(table.identityStarted);
}

}  // namespace row_changes

void applyRowChanges(Database& database, const Bytes& changes) {
    std::unordered_map<int, Table*> byId;
    for (const auto& [key, table] : database.tables()) byId[table->id] = table.get();
    RecordReader r(changes);
    try {
        while (r.remaining() > 0) {
            uint8_t change = r.u8();
            if (change < 1 || change > 5) damaged("a row change of unknown kind");
            auto found = byId.find(static_cast<int>(r.u32()));
            if (found == byId.end()) skipOne(r, static_cast<RowChange>(change));
            else applyOne(r, static_cast<RowChange>(change), *found->second);
        }
    } catch (const tds::ProtocolError&) {
        damaged("row changes end early");
    }
}

}  // namespace sandbox
