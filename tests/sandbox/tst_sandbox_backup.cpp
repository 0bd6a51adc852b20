// Backup files: a database survives the round trip, sets append, damaged files are refused.

#include "engine/backup.hpp"
#include "engine/convert.hpp"
#include "engine/engine.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

using namespace sandbox;

namespace {

struct NullSink : ResultSink {
    std::vector<ServerMessage> messages;
    std::vector<std::vector<std::string>> rows;
    void beginResult(const std::vector<ColumnInfo>&) override {}
    bool row(const Value* v) override {
        rows.push_back({v[0].isNull() ? "NULL" : formatValue(v[0], 121)});
        return true;
    }
    void message(const ServerMessage& m) override { messages.push_back(m); }
    void databaseChanged(const std::string&, const std::string&) override {}
    void returnStatus(int32_t) override {}
    void statementDone(StatementKind, bool, uint64_t, bool) override {}
    bool cancelled() const override { return false; }
};

class SandboxBackup : public ::testing::Test {
protected:
    SandboxBackup() : session_(engine_.openSession({"sa", "host", "test", "master", 1})) {
        char folder[] = "/tmp/sandbox-backup-unit-XXXXXX";
        folder_ = mkdtemp(folder);
    }
    ~SandboxBackup() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }

    NullSink run(const std::string& sql) {
        NullSink sink;
        engine_.execute(*session_, sql, sink);
        return sink;
    }
    int errorOf(const std::string& sql) {
        NullSink sink = run(sql);
        for (const auto& m : sink.messages)
            if (m.isError()) return m.number;
        return 0;
    }

    Engine engine_;
    std::unique_ptr<Session> session_;
    std::string folder_;
};

}  // namespace

TEST_F(SandboxBackup, EveryKindOfValueAndObjectSurvivesTheRoundTrip) {
    run("create database rt use rt");
    run("create table t (i int identity(5, 5) primary key, b bigint check (b < 0), d decimal(30,10), m money, f float, "
        "s varchar(10) default ('z'), n nvarchar(10), dt datetime, g uniqueidentifier, v varbinary(4), x sql_variant)");
    run("insert t (b, d, m, f, s, n, dt, g, v, x) values (-9000000000, -12345678901234567890.0123456789, 1.5, 0.25, "
        "'abc', N'中文', '2024-01-15 13:45:30.500', '6F9619FF-8B86-D011-B42D-00C04FC964FF', 0xCAFE, 42)");
    run("insert t (b) values (null)");
    run("create view v_t as select i, n from t");
    run("exec sp_addextendedproperty 'MS_Description', N'说明', 'user', 'dbo', 'table', 't', 'column', 'n'");
    run("use master");
    auto original = engine_.database("rt");
    Bytes content = serializeDatabase(*original);
    auto copy = deserializeDatabase(content, "rt", original->dbid());
    EXPECT_EQ(serializeDatabase(*copy), content);  // nothing lost or changed
    ASSERT_TRUE(copy->table("t"));
    EXPECT_EQ(formatValue(copy->table("t")->rows[0][2]), "-12345678901234567890.0123456789");
    EXPECT_TRUE(copy->object("v_t")->module);
    ASSERT_EQ(copy->table("t")->checks.size(), 1u);
    EXPECT_EQ(copy->table("t")->checks[0].condition->text, "b < 0");
    EXPECT_THROW(deserializeDatabase(Bytes(content.begin(), content.begin() + content.size() / 2), "rt", 9),
                 std::runtime_error);
}

TEST_F(SandboxBackup, FilesAppendSetsAndDamagedFilesAreRefused) {
    run("create database app use app create table t (x int) insert t values (1) use master");
    std::string file = folder_ + "/sets.dat";
    run("backup database app to disk = '" + file + "'");
    run("use app insert t values (2) use master");
    run("backup database app to disk = '" + file + "'");
    auto sets = readBackupFile(file);
    ASSERT_TRUE(sets);
    EXPECT_EQ(sets->size(), 2u);
    run("backup database app to disk = '" + file + "' with init");
    EXPECT_EQ(readBackupFile(file)->size(), 1u);

    std::string damaged = folder_ + "/damaged.dat";
    std::ofstream(damaged) << "MKDDLBK1 this is not a backup";
    EXPECT_FALSE(readBackupFile(damaged));
    EXPECT_EQ(errorOf("restore database app from disk = '" + damaged + "'"), 3201);
    EXPECT_EQ(errorOf("backup database app to disk = '" + damaged + "'"), 3241);  // will not append to it
    EXPECT_EQ(errorOf("restore database app from disk = '" + file + "' with file = 3"), 3246);
    EXPECT_EQ(errorOf("backup database nosuch to disk = '" + file + "'"), 911);
    EXPECT_EQ(hostPath("c:\\bak\\x.dat"), "/bak/x.dat");
    EXPECT_EQ(hostPath("/tmp/bak\\x.dat"), "/tmp/bak/x.dat");
}

TEST_F(SandboxBackup, HeaderOnlyListsTheSetsAndFileChoosesOne) {
    run("create database hdr use hdr create table t (x int) insert t values (1) use master");
    std::string file = folder_ + "/two.dat";
    run("backup database hdr to disk = '" + file + "'");
    run("use hdr insert t values (2) use master");
    run("backup database hdr to disk = '" + file + "'");
    // One row per set; the first column is BackupName (NULL when the backup named none).
    EXPECT_EQ(run("restore headeronly from disk = '" + file + "'").rows.size(), 2u);
    EXPECT_EQ(errorOf("restore headeronly from disk = '" + folder_ + "/missing.dat'"), 3201);

    run("restore database hdr from disk = '" + file + "'");  // the first set
    EXPECT_EQ(run("select count(*) from hdr..t").rows, (std::vector<std::vector<std::string>>{{"1"}}));
    run("restore database hdr from disk = '" + file + "' with file = 2");
    EXPECT_EQ(run("select count(*) from hdr..t").rows, (std::vector<std::vector<std::string>>{{"2"}}));
}

TEST_F(SandboxBackup, ADataFolderKeepsDatabasesAcrossRestarts) {
    {
        Engine first;
        first.useDataFolder(folder_);
        auto session = first.openSession({"sa", "host", "test", "master", 1});
        NullSink sink;
        first.execute(*session, "create database kept use kept create table t (n nvarchar(5)) insert t values (N'中')", sink);
        first.execute(*session, "create database dropped", sink);
        first.execute(*session, "use master drop database dropped", sink);
    }
    Engine second;
    second.useDataFolder(folder_);
    auto session = second.openSession({"sa", "host", "test", "master", 1});
    NullSink sink;
    second.execute(*session, "select n from kept..t", sink);
    EXPECT_EQ(sink.rows, (std::vector<std::vector<std::string>>{{"中"}}));
    EXPECT_FALSE(second.hasDatabase("dropped"));
    EXPECT_FALSE(std::ifstream(folder_ + "/dropped.sandboxdb").good());
}
