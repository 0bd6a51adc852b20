// libFuzzer target: arbitrary bytes as a backup or data file and as a journal. Reading must
// end in sets, records or a stated reason, never a crash; a database that reads back is
// written in a form that reads back the same, and journal row changes apply or are refused.

#include "engine/backup.hpp"
#include "engine/engine.hpp"
#include "engine/journal.hpp"

#include <cstdlib>
#include <stdexcept>

namespace {

// A small database for journal row changes to land on: a table of several kinds of column.
const sandbox::Bytes& seedDatabase() {
    static const sandbox::Bytes content = [] {
        sandbox::Engine engine;
        auto session = engine.openSession({"sa", "fuzz", "fuzz", "master", 1});
        struct : sandbox::ResultSink {
            void beginResult(const std::vector<sandbox::ColumnInfo>&) override {}
            bool row(const sandbox::Value*) override { return true; }
            void message(const sandbox::ServerMessage&) override {}
            void databaseChanged(const std::string&, const std::string&) override {}
            void returnStatus(int32_t) override {}
            void statementDone(sandbox::StatementKind, bool, uint64_t, bool) override {}
            bool cancelled() const override { return false; }
        } sink;
        engine.execute(*session,
                       "create database f use f create table t (id int identity primary key, name nvarchar(20), "
                       "amount decimal(10,2), created datetime null, v sql_variant) "
                       "insert t (name, amount, created, v) values (N'一', 1.5, '2024-01-15', 42)",
                       sink);
        return sandbox::serializeDatabase(*engine.database("f"));
    }();
    return content;
}

// A database that reads back is written in a form that reads back the same.
void readDatabase(const sandbox::Bytes& content) {
    sandbox::Bytes written;
    try {
        written = sandbox::serializeDatabase(*sandbox::deserializeDatabase(content, "f", 5));
    } catch (const std::runtime_error&) {
        return;
    }
    if (sandbox::serializeDatabase(*sandbox::deserializeDatabase(written, "f", 5)) != written) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sandbox::Bytes bytes(data, data + size);
    for (const auto& set : sandbox::parseBackupFile(bytes).sets) readDatabase(set.content);
    readDatabase(bytes);
    for (const auto& record : sandbox::readJournal(bytes).records)
        for (const auto& entry : record.entries) {
            auto db = sandbox::deserializeDatabase(seedDatabase(), "f", 5);
            try {
                if (entry.kind == sandbox::JournalEntry::Kind::Rows) sandbox::applyRowChanges(*db, entry.content);
                else readDatabase(entry.content);
            } catch (const std::runtime_error&) {
            }
        }
    // Row changes straight onto the table, without a journal's framing.
    auto db = sandbox::deserializeDatabase(seedDatabase(), "f", 5);
    try {
        sandbox::applyRowChanges(*db, bytes);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
