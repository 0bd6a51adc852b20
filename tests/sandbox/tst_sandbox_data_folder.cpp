// The data folder: every kind of change comes back after a restart, through the journal and
// through the data files it is folded into; a damaged file stops the start and stays as it is,
// while an incomplete last journal record (a write a crash cut short) is dropped; a batch that
// cannot be made durable is taken back whole.

#include "engine/backup.hpp"
#include "engine/durable_file.hpp"
#include "engine/engine.hpp"

#include <gtest/gtest.h>

#include "batch_outcome.hpp"
#include "scratch_folder.hpp"

#include <csignal>
#include <filesystem>
#include <map>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace sandbox;
using sandbox::testing::BatchOutcome;
using sandbox::testing::fileBytes;
using sandbox::testing::ScratchFolder;
using sandbox::testing::writeBytes;
namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::vector<std::string>>;

// An engine on a data folder, as the server runs one, with one session.
struct Kept {
    explicit Kept(const std::string& folder, DataFolderOptions options = {}) {
        engine.useDataFolder(folder, options);
        session = engine.openSession({"sa", "host", "test", "master", 1});
    }
    BatchOutcome run(const std::string& sql) { return sandbox::testing::runBatch(engine, *session, sql); }
    // Every user database, as its data file would hold it.
    std::map<std::string, Bytes> state() {
        std::map<std::string, Bytes> all;
        for (const auto& db : engine.databasesById())
            if (db->dbid() > 4) all[db->name()] = serializeDatabase(*db);
        return all;
    }
    Engine engine;
    std::unique_ptr<Session> session;
};

std::string replaced(std::string text, const std::string& mark, const std::string& by) {
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + by.size()))
        text.replace(at, mark.size(), by);
    return text;
}

// A file size limit for this process while it lives: writes beyond it fail with EFBIG, as
// they fail with ENOSPC on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

struct Step {
    const char* sql;
    int error;  // the one error the batch gives, 0 for none
};

// Batches that make every kind of change a data folder keeps. BACKUPS stands for a folder.
const Step kEveryKindOfChange[] = {
    {"create database shop", 0},
    {"use shop create table item (id int identity(10, 5) primary key, name varchar(20) not null default ('?'), "
     "price money check (price >= 0))", 0},
    {"insert item (name, price) values ('tea', 2.5) insert item (name, price) values ('rice', 1) "
     "insert item (name, price) values ('salt', 0.5)", 0},
    {"update item set price = price * 2 where name = 'rice' delete item where name = 'salt'", 0},
    {"insert item (name, price) values ('coal', -1)", 547},
    {"create table log (n int, at datetime) insert log values (1, '2004-01-01') truncate table log "
     "insert log values (2, '2004-01-02')", 0},
    {"select id, name into item_copy from item", 0},
    {"create unique index ix_name on item (name) create index ix_at on log (at) drop index log.ix_at", 0},
    {"insert item (name) values ('tea')", 2601},
    {"create view v_item as select name from item", 0},
    {"create table supplier (id int primary key, name varchar(20) collate Latin1_General_CS_AS) "
     "create table delivery (id int, supplier int references supplier on delete cascade) insert supplier values (1, 'a')", 0},
    {"alter table delivery add constraint ck_id check (id > 0), default 1 for supplier", 0},
    {"insert delivery (id) values (7) alter table delivery add constraint pk_delivery primary key nonclustered (id)", 8111},
    {"create table counter (n int identity) dbcc checkident ('counter', reseed, 7)", 0},
    {"create procedure p_item as select count(*) from item", 0},
    {"create procedure p_gone as select 1", 0},
    {"drop procedure p_gone", 0},
    {"exec sp_addextendedproperty 'MS_Description', N'商品', 'user', 'dbo', 'table', 'item'", 0},
    {"create table gone (n int) insert gone values (1) drop table gone", 0},
    {"create table notes_long (k int, body text) insert notes_long values (1, 'ab') "
     "declare @p varbinary(16), @piece varchar(10) select @p = textptr(body) from notes_long set @piece = 'cd' "
     "updatetext notes_long.body @p null 0 @piece", 0},
    {"create table #scratch (n int) insert #scratch values (1)", 0},
    {"backup database shop to disk = 'BACKUPS/shop.bak'", 0},
    {"insert item (name) values ('after the backup')", 0},
    {"use master create table notes (n int) insert notes values (1)", 0},
    {"create database brief drop database brief", 0},
    {"create database copy restore database copy from disk = 'BACKUPS/shop.bak' with replace", 0},
    {"use shop insert item (name, price) values ('last', 1)", 0},
};

}  // namespace

TEST(SandboxDataFolder, EveryKindOfChangeComesBackAfterARestart) {
    // With the journal alone, and with the journal folded into the data files after every batch.
    for (uint64_t journalLimit : {DataFolderOptions{}.journalLimit, uint64_t{1}}) {
        ScratchFolder data, backups;
        std::map<std::string, Bytes> expected;
        {
            Kept first(data.path(), {journalLimit});
            for (const Step& step : kEveryKindOfChange) {
                auto errors = first.run(replaced(step.sql, "BACKUPS", backups.path())).errorNumbers();
                EXPECT_EQ(errors.empty() ? 0 : errors.front(), step.error) << step.sql;
            }
            EXPECT_EQ(first.run("select count(*) from shop..item").rows, (Rows{{"4"}}));
            EXPECT_EQ(first.run("select count(*) from copy..item").rows, (Rows{{"2"}}));
            expected = first.state();
        }
        Kept second(data.path());
        EXPECT_EQ(second.state(), expected) << "journal limit " << journalLimit;
        EXPECT_EQ(second.run("select n from master..notes").rows, (Rows{{"1"}}));
        EXPECT_EQ(second.run("insert shop..item (name) values ('next')").errorNumbers(), std::vector<int>{});
        EXPECT_EQ(second.run("select max(id) from shop..item").rows, (Rows{{"45"}}));  // the identity counter came back
        expected = second.state();
        Kept third(data.path());  // from the data files the second start folded the journal into
        EXPECT_EQ(third.state(), expected) << "journal limit " << journalLimit;
        EXPECT_LT(fs::file_size(data.path() + "/sandbox.journal"), 1024u);
    }
}

TEST(SandboxDataFolder, AnIncompleteLastJournalRecordIsDroppedAndDamageStopsTheStart) {
    ScratchFolder data;
    const std::string journal = data.path() + "/sandbox.journal";
    std::vector<uintmax_t> ends;  // where each batch's record ends
    {
        Kept first(data.path());
        first.run("create database j use j create table t (n int)");
        for (int n = 1; n <= 3; ++n) {
            first.run("insert j..t values (" + std::to_string(n) + ")");
            ends.push_back(fs::file_size(journal));
        }
    }
    const Bytes whole = fileBytes(journal);
    // Starts on the first run's journal as changed here; the rows of j..t, or nullopt when the
    // start is refused.
    auto startWith = [&](const Bytes& changed) -> std::optional<Rows> {
        for (const auto& entry : fs::directory_iterator(data.path())) fs::remove(entry.path());
        writeBytes(journal, changed);
        try {
            Kept kept(data.path());
            return kept.run("select n from j..t").rows;
        } catch (const DataFolderError& e) {
            EXPECT_NE(std::string(e.what()).find(journal), std::string::npos) << e.what();
            EXPECT_EQ(fileBytes(journal), changed);
            return std::nullopt;
        }
    };
    auto flipped = [&](size_t at) {
        Bytes bytes = whole;
        bytes[at] ^= 0x04;
        return bytes;
    };
    Bytes zeros = whole;
    zeros.resize(whole.size() + 4096, 0);
    Bytes noise = whole;
    noise.insert(noise.end(), {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD});

    EXPECT_EQ(startWith(whole), (Rows{{"1"}, {"2"}, {"3"}}));
    EXPECT_EQ(startWith(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(ends[1] + 20))), (Rows{{"1"}, {"2"}}));
    EXPECT_EQ(startWith(flipped(whole.size() - 3)), (Rows{{"1"}, {"2"}}));  // a torn write looks the same
    EXPECT_EQ(startWith(zeros), (Rows{{"1"}, {"2"}, {"3"}}));              // space the file system gave, never written
    EXPECT_EQ(startWith(flipped(ends[0] + 20)), std::nullopt);             // the record of row 2, with one after it
    EXPECT_EQ(startWith(flipped(ends[0] + 1)), std::nullopt);              // its length
    EXPECT_EQ(startWith(noise), std::nullopt);
    EXPECT_EQ(startWith(Bytes(whole.begin() + 1, whole.end())), std::nullopt);
}

TEST(SandboxDataFolder, ADamagedDataFileStopsTheStartNamedAndUntouched) {
    ScratchFolder data;
    {
        Kept first(data.path());
        first.run("create database kept use kept create table t (n int) insert t values (1)");
    }
    { Kept second(data.path()); }  // folds the journal into the data files
    const std::string path = data.path() + "/kept.sandboxdb";
    const Bytes whole = fileBytes(path);
    Bytes flipped = whole;
    flipped[whole.size() / 2] ^= 0x01;
    for (const Bytes& damaged : {Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2)), flipped, Bytes{}}) {
        writeBytes(path, damaged);
        try {
            Kept third(data.path());
            ADD_FAILURE() << "a damaged data file of " << damaged.size() << " bytes was loaded";
        } catch (const DataFolderError& e) {
            EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        }
        EXPECT_EQ(fileBytes(path), damaged);
    }
}

TEST(SandboxDataFolder, AWriteThatFailsTakesTheWholeBatchBack) {
    ScratchFolder data, backups;
    const std::string backup = backups.path() + "/a.bak";
    Kept kept(data.path());
    kept.run("create database a use a create table t (n int primary key) insert t values (1) create database b "
             "backup database a to disk = '" + backup + "'");
    const auto before = kept.state();
    {
        FileSizeLimit full(fs::file_size(data.path() + "/sandbox.journal"));
        BatchOutcome outcome = kept.run(
            "insert t values (2) update t set n = 10 where n = 1 delete t where n = 2 create table u (m int) "
            "insert u values (1) create index ix on t (n) exec sp_addextendedproperty 'MS_Description', 'x', 'user', "
            "'dbo', 'table', 't' use master drop database b restore database a from disk = '" + backup +
            "' with replace create database c use c create table w (k int)");
        EXPECT_EQ(outcome.errorNumbers(), std::vector<int>{1105});
        EXPECT_EQ(kept.state(), before);
        EXPECT_EQ(kept.run("select db_name()").rows, (Rows{{"a"}}));  // c, which the batch used, is gone
        EXPECT_EQ(kept.run("insert t values (3)").errorNumbers(), std::vector<int>{1105});
    }
    EXPECT_EQ(kept.run("insert t values (3)").errorNumbers(), std::vector<int>{});  // room again
    const auto after = kept.state();
    kept.session.reset();
    Kept restarted(data.path());
    EXPECT_EQ(restarted.state(), after);
}

TEST(SandboxDataFolder, FilesAreTheOwnersAloneAndLeftoverTemporaryFilesGo) {
    ScratchFolder data;
    writeBytes(data.path() + "/kept.sandboxdb.tmp4242", Bytes{1, 2, 3});
    writeBytes(data.path() + "/notes.tmp", Bytes{1});  // not one of the server's
    {
        Kept first(data.path());
        first.run("create database kept backup database kept to disk = '" + data.path() + "/kept.bak'");
    }
    Kept second(data.path());
    EXPECT_FALSE(fs::exists(data.path() + "/kept.sandboxdb.tmp4242"));
    EXPECT_TRUE(fs::exists(data.path() + "/notes.tmp"));
    for (const char* name : {"/kept.sandboxdb", "/kept.bak", "/sandbox.journal"}) {
        struct stat status {};
        ASSERT_EQ(stat((data.path() + name).c_str(), &status), 0) << name;
        EXPECT_EQ(status.st_mode & 0777, 0600u) << name;
    }
}

// A newer type is kept with the column that declares it: after a restart the column is still a
// date or a varchar(max), not the storage it travels in.
TEST(SandboxDataFolder, NewerTypesComeBackAsDeclared) {
    ScratchFolder data;
    const std::string facts = "select type_name(xtype) + ' ' + convert(varchar(5), length) + ' ' + "
                              "isnull(convert(varchar(2), scale), '-') from shop..syscolumns "
                              "where id = object_id('shop..t_newer') order by colid";
    Rows expected;
    {
        Kept first(data.path());
        first.engine.setVersion(ServerVersion::sql2019());
        ASSERT_EQ(first.run("create database shop").errorNumbers(), std::vector<int>{});
        ASSERT_EQ(first.run("use shop create table t_newer (d date, t datetime2(3), v varchar(max)) "
                            "insert t_newer values ('2024-02-29', '2024-02-29 10:00:00.5', 'x')")
                      .errorNumbers(),
                  std::vector<int>{});
        expected = first.run(facts).rows;
        ASSERT_EQ(expected, (Rows{{"date 3 0"}, {"datetime2 7 3"}, {"varchar -1 -"}}));
    }
    Kept second(data.path());
    second.engine.setVersion(ServerVersion::sql2019());
    EXPECT_EQ(second.run(facts).rows, expected);
    EXPECT_EQ(second.run("select t from shop..t_newer").rows, (Rows{{"2024-02-29 10:00:00.500"}}));
}
