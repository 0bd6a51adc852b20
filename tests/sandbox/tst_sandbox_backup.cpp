// Backup files: a database survives the round trip, sets append, damaged files are refused.

#include "engine/backup.hpp"
#include "engine/convert.hpp"
#include "engine/durable_file.hpp"
#include "engine/engine.hpp"

#include <gtest/gtest.h>

#include "batch_outcome.hpp"
#include "scratch_folder.hpp"

#include <fstream>
#include <random>

using namespace sandbox;
using sandbox::testing::BatchOutcome;
using sandbox::testing::writeBytes;

namespace {

using Rows = std::vector<std::vector<std::string>>;

class SandboxBackup : public ::testing::Test {
protected:
    SandboxBackup() : session_(engine_.openSession({"sa", "host", "test", "master", 1})), folder_(scratch_.path()) {}

    BatchOutcome run(const std::string& sql) { return sandbox::testing::runBatch(engine_, *session_, sql); }
    int errorOf(const std::string& sql) { return run(sql).firstError(); }

    sandbox::testing::ScratchFolder scratch_;
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

// Files written before schemas existed end after the tables' constraints: they still read, with
// every object in dbo. The schemas of a newer file come back, and a schema it does not hold is damage.
TEST_F(SandboxBackup, SchemasRoundTripAndFilesWrittenBeforeThemStillRead) {
    engine_.setVersion(ServerVersion::sql2019());
    run("create database sch use sch create table t (n int)");
    Bytes older = serializeDatabase(*engine_.database("sch"));
    older.resize(older.size() - 8);  // the two empty counts of schemas and of objects outside dbo
    auto read = deserializeDatabase(older, "sch", 9);
    ASSERT_TRUE(read->table("t"));
    EXPECT_EQ(read->object("t")->schemaId, kDboSchemaId);

    run("create schema sales");
    run("create table sales.t (n int constraint pk primary key)");
    Bytes content = serializeDatabase(*engine_.database("sch"));
    auto copy = deserializeDatabase(content, "sch", 9);
    EXPECT_EQ(serializeDatabase(*copy), content);
    ASSERT_TRUE(copy->table("t", 5));
    EXPECT_NE(copy->table("t", 5), copy->table("t"));
    EXPECT_EQ(copy->object("pk", 5)->schemaId, 5);
    EXPECT_EQ(copy->schemaName(5), "sales");
    Bytes elsewhere = content;
    elsewhere[elsewhere.size() - 4] = 99;  // the key's schema
    EXPECT_THROW(deserializeDatabase(elsewhere, "sch", 9), std::runtime_error);
}

TEST_F(SandboxBackup, FilesAppendSetsAndDamagedFilesAreRefused) {
    run("create database app use app create table t (x int) insert t values (1) use master");
    std::string file = folder_ + "/sets.dat";
    run("backup database app to disk = '" + file + "'");
    run("use app insert t values (2) use master");
    run("backup database app to disk = '" + file + "'");
    BackupFile sets = readBackupFile(file);
    ASSERT_TRUE(sets.sound());
    EXPECT_EQ(sets.sets.size(), 2u);
    run("backup database app to disk = '" + file + "' with init");
    EXPECT_EQ(readBackupFile(file).sets.size(), 1u);

    std::string damaged = folder_ + "/damaged.dat";
    std::ofstream(damaged) << "MKDDLBK1 this is not a backup";
    EXPECT_FALSE(readBackupFile(damaged).sound());
    EXPECT_EQ(errorOf("restore database app from disk = '" + damaged + "'"), 3241);  // there, but no backup
    EXPECT_EQ(errorOf("restore database app from disk = '" + folder_ + "/missing.dat'"), 3201);
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

TEST_F(SandboxBackup, EveryDamageToABackupSetIsRefusedAndRestoresNothing) {
    run("create database dmg use dmg create table t (n int, s varchar(20)) insert t values (7, 'seven') use master");
    std::string good = folder_ + "/good.dat", bad = folder_ + "/bad.dat";
    run("backup database dmg to disk = '" + good + "'");
    run("insert dmg..t values (8, 'eight')");  // what a restore would take away
    const Bytes original = readWholeFile(good);
    auto expectRefused = [&](const Bytes& bytes, const std::string& what) {
        writeBytes(bad, bytes);
        EXPECT_EQ(run("restore database dmg from disk = '" + bad + "' with replace").errorNumbers(), (std::vector<int>{3241, 3013}))
            << what;
        EXPECT_EQ(run("select count(*) from dmg..t").rows, (Rows{{"2"}})) << what;
    };
    for (size_t at = 0; at < original.size(); ++at) {
        Bytes flipped = original;
        flipped[at] ^= 0x10;
        expectRefused(flipped, "byte " + std::to_string(at) + " flipped");
    }
    for (size_t length : {size_t{0}, size_t{5}, size_t{12}, original.size() / 2, original.size() - 1})
        expectRefused(Bytes(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(length)),
                      "cut to " + std::to_string(length) + " bytes");
    std::mt19937 random(42);
    Bytes noise(4096);
    for (auto& b : noise) b = static_cast<uint8_t>(random());
    expectRefused(noise, "random bytes");

    // Sets before a damaged one still restore; the damaged one does not.
    run("backup database dmg to disk = '" + good + "'");
    Bytes twoSets = readWholeFile(good);
    twoSets[twoSets.size() - 10] ^= 0x01;
    writeBytes(bad, twoSets);
    EXPECT_EQ(run("restore database dmg from disk = '" + bad + "' with file = 2").errorNumbers(), (std::vector<int>{3241, 3013}));
    EXPECT_EQ(run("restore headeronly from disk = '" + bad + "'").errorNumbers(), (std::vector<int>{3241, 3013}));
    EXPECT_TRUE(run("restore database dmg from disk = '" + bad + "' with file = 1").errorNumbers().empty());
    EXPECT_EQ(run("select count(*) from dmg..t").rows, (Rows{{"1"}}));
}

TEST_F(SandboxBackup, ValuesThatDoNotFitTheirColumnsAreRefusedOnRestore) {
    run("create database vals use vals create table t (i int not null, d datetime, s varchar(10), v sql_variant) "
        "insert t values (1, '2004-01-01', 'ok', 42) use master");
    const std::string file = folder_ + "/tampered.dat";
    struct Tampering {
        size_t column;
        Value value;
        const char* what;
    };
    const Tampering cases[] = {
        {0, Value::text("abc", SqlType::of(TypeId::Int)), "text in an int column"},
        {0, Value::integer(5000000000, TypeId::BigInt), "a number beyond int"},
        {0, Value::null(SqlType::of(TypeId::Int)), "NULL in a NOT NULL column"},
        {1, Value::dateTime(DateTime{99999999, 0}), "an absurd datetime"},
        {1, Value::dateTime(DateTime{0, 99999999}), "a time past midnight"},
        {2, Value::text(std::string(1 << 20, 'x'), SqlType::chars(TypeId::VarChar, 10)), "1 MB in varchar(10)"},
        {3, Value::text("x", SqlType::of(TypeId::Text)), "text inside a sql_variant"},
    };
    for (const auto& tampering : cases) {
        // A well-formed file, checksum and all, made from a copy of the database with one bad value.
        auto original = engine_.database("vals");
        auto copy = deserializeDatabase(serializeDatabase(*original), "vals", original->dbid());
        copy->table("t")->rows[0][tampering.column] = tampering.value;
        writeBackupFile(file, {BackupSet{"vals", currentDateTime(), 0, serializeDatabase(*copy)}});
        EXPECT_EQ(run("restore database vals from disk = '" + file + "'").errorNumbers(), (std::vector<int>{3241, 3013}))
            << tampering.what;
        EXPECT_EQ(run("select i from vals..t").rows, (Rows{{"1"}})) << tampering.what;
        try {
            deserializeDatabase(serializeDatabase(*copy), "vals", 9);
            ADD_FAILURE() << tampering.what << " was read";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("table 't', row 1, column '" + copy->table("t")->columns[tampering.column].name + "'"),
                      std::string::npos) << e.what();
        }
    }
}

TEST_F(SandboxBackup, NoStatementStoresAValueItsFileCouldNotHold) {
    run("create database fit use fit create table t (d datetime null, s smalldatetime null, f float null, m money null, "
        "n int not null)");
    for (const char* insert : {"insert t (d, n) values (cast(3000000 as datetime), 1)",
                               "insert t (s, n) values ('2100-01-01', 1)", "insert t (f, n) values (1e308 * 10, 1)",
                               "insert t (m, n) values (9999999999999999.0, 1)"})
        EXPECT_EQ(errorOf(insert), 8115) << insert;
    run("insert t (n) values (1)");
    EXPECT_EQ(errorOf("update t set d = cast(3000000 as datetime)"), 8115);
    EXPECT_EQ(errorOf("select cast(3000000 as datetime) as d into t2"), 8115);
    EXPECT_EQ(errorOf("select * from t2"), 208);  // no half-made table stays behind
    EXPECT_EQ(run("select count(*) from t where d is null").rows, (Rows{{"1"}}));
    auto db = engine_.database("fit");
    EXPECT_NO_THROW(deserializeDatabase(serializeDatabase(*db), "fit", 9));
}

// An earlier sandbox kept modules whose calls of built-in functions it never checked: they
// still restore, and their calls are refused when they run, as a batch's calls are when parsed.
TEST_F(SandboxBackup, ModulesOfEarlierVersionsRestoreAndRefuseBadCallsWhenRun) {
    Database old(7, "old", DateTime{});
    const std::pair<const char*, const char*> procedures[] = {
        {"p_unknown", "select round(1.5, 0)"}, {"p_count", "select abs()"}, {"p_part", "select datepart(@p, getdate())"}};
    int id = 1000;
    for (const auto& [name, body] : procedures) {
        SchemaObject procedure;
        procedure.id = ++id;
        procedure.name = name;
        procedure.xtype = "P";
        procedure.text = std::string("create procedure ") + name + " @p int = 1 as " + body;
        old.addObject(procedure);
    }
    std::string file = folder_ + "/old.dat";
    writeBackupFile(file, {BackupSet{"old", DateTime{}, 0, serializeDatabase(old)}});
    EXPECT_EQ(errorOf("restore database old from disk = '" + file + "'"), 0);
    EXPECT_EQ(errorOf("use old exec p_unknown"), 195);
    EXPECT_EQ(errorOf("use old exec p_count"), 174);
    EXPECT_EQ(errorOf("use old exec p_part"), 1023);
    EXPECT_EQ(errorOf("create procedure p_new as select round(1.5, 0)"), 195);  // a new one is refused
}
