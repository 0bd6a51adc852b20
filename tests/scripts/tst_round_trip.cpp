// The sample database scripted by `makeddl script` (CREATE for every table, INSERT for every
// row) and the scripts run on a new database of the same server: every table comes back with
// the same columns and the same rows, value for value.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

#include "database_comparison.h"
#include "hostile_corpus.h"
#include "schema_corpus.h"
#include "server/init_script.hpp"

using makeddl::connection::Connection;
using makeddl::connection::DataSet;
using sandbox::testing::SandboxProcess;

namespace {

using makeddl::testing::Row;

const char* const kPassword = "Round#1";
const char* const kSampleDatabase = "sample_shop";
const char* const kCopyDatabase = "sample_copy";

// Shell words in single quotes, so that Chinese names and # in passwords pass unchanged.
std::string shellWord(const std::string& word) {
  std::string quotedWord = "'";
  for (char c : word) quotedWord += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quotedWord + "'";
}

// The batches of a script as a script runner sends them: the text between GO lines, without
// the line break before the GO (the data set ends what it sends with one of its own).
std::vector<std::string> scriptBatches(const std::string& script) {
  std::vector<std::string> batches = sandbox::splitBatches(script);
  for (std::string& batch : batches)
    while (batch.ends_with("\r\n")) batch.resize(batch.size() - 2);
  return batches;
}

// The script `makeddl script KIND TABLES...` writes for the database of the server, in UTF-8.
std::string programScript(const SandboxProcess& server, const std::string& kind,
                          const std::vector<std::string>& tables, const std::string& database) {
  std::string command = shellWord(MAKEDDL_PROGRAM) + " script " + kind;
  for (const std::string& table : tables) command += " " + shellWord(table);
  command += " --server " + shellWord(makeddl::testing::sandboxServerText(server)) + " --database " +
             shellWord(database) + " --user sa --password " + shellWord(kPassword) + " --utf8 2>/dev/null";
  int status = -1;
  const std::string script = sandbox::testing::runCommand(command, "", &status);
  EXPECT_EQ(status, 0) << command;
  return script;
}

// The schema corpus scripted whole with --all and --remarks, its rows too, and both scripts run
// on a new database of the same server; returns the CREATE script.
std::string copySchemaCorpus(const SandboxProcess& server) {
  makeddl::testing::runBatches(server, "master", {"create database schema_src", "create database schema_copy"});
  makeddl::testing::runBatches(server, "schema_src", makeddl::scripts::corpus::schemaBatches());
  const std::string createScript = programScript(server, "create", {"--all", "--remarks"}, "schema_src");
  const std::string insertScript = programScript(server, "insert", {"--all"}, "schema_src");
  EXPECT_FALSE(createScript.empty());
  makeddl::testing::runBatches(server, "schema_copy", scriptBatches(createScript));
  makeddl::testing::runBatches(server, "schema_copy", {insertScript});
  return createScript;
}

// Every round trip runs on a server of each version the tool reads: SQL Server 2000, and 2019
// with its newer catalogue.
class RoundTrip : public ::testing::TestWithParam<const char*> {
 protected:
  static void TearDownTestSuite() { servers().clear(); }

  // The suite's server of the test's version; it loads the sample itself, as the demo does.
  SandboxProcess& server() {
    std::unique_ptr<SandboxProcess>& server = servers()[GetParam()];
    if (server) return *server;
    server = std::make_unique<SandboxProcess>(
        kPassword, false, std::vector<std::string>{"--init", MAKEDDL_SAMPLE_SQL, "--version", GetParam()});
    makeddl::testing::runBatches(*server, "master", {std::string("create database ") + kCopyDatabase});
    return *server;
  }
  bool newerServer() const { return std::string(GetParam()) != "2000"; }

  std::string programScript(const std::string& kind, const std::vector<std::string>& tables,
                            const std::string& database = kSampleDatabase) {
    return ::programScript(server(), kind, tables, database);
  }
  std::vector<Row> rowsOf(const std::string& database, const std::string& query) {
    return makeddl::testing::rowsOf(server(), database, query);
  }
  std::vector<std::string> userTables(const std::string& database) {
    return makeddl::testing::userTables(server(), database);
  }

  static std::map<std::string, std::unique_ptr<SandboxProcess>>& servers() {
    static std::map<std::string, std::unique_ptr<SandboxProcess>> byVersion;
    return byVersion;
  }
};

INSTANTIATE_TEST_SUITE_P(BothVersions, RoundTrip, ::testing::Values("2000", "2019"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

TEST_P(RoundTrip, EveryTableComesBackWithItsColumnsAndRows) {
  const std::vector<std::string> tables = userTables(kSampleDatabase);
  ASSERT_GE(tables.size(), 5u);
  const std::string createScript = programScript("create", tables);
  const std::string insertScript = programScript("insert", tables);
  makeddl::testing::runBatches(server(), kCopyDatabase, scriptBatches(createScript));
  makeddl::testing::runBatches(server(), kCopyDatabase, {insertScript});
  ASSERT_EQ(userTables(kCopyDatabase), tables);

  std::size_t rowsCompared = 0;
  EXPECT_EQ(makeddl::testing::tableDifferences(server(), kSampleDatabase, kCopyDatabase, &rowsCompared), "");
  EXPECT_GT(rowsCompared, 3000u);
}

// Hostile names, remarks and values: nothing runs that no one wrote (the table victim
// survives), and every table comes back value for value, byte for byte.
TEST_P(RoundTrip, HostileNamesAndValuesComeBackExactly) {
  makeddl::testing::runBatches(server(), "master", {"create database hostile", "create database hostile_copy"});
  makeddl::testing::runBatches(server(), "hostile", makeddl::scripts::corpus::hostileBatches());
  makeddl::testing::runBatches(server(), "hostile_copy",
                               {"create table victim (id int not null primary key)", "insert into victim values (1)"});
  std::vector<std::string> tables = userTables("hostile");
  tables.erase(std::find(tables.begin(), tables.end(), "victim"));
  const std::string createScript = programScript("create", tables, "hostile");
  const std::string insertScript = programScript("insert", tables, "hostile");
  EXPECT_NE(createScript.find("\r\n----   DROP TABLE victim --\r\n"), std::string::npos);  // a comment line
  makeddl::testing::runBatches(server(), "hostile_copy", {createScript, insertScript});
  EXPECT_EQ(rowsOf("hostile_copy", "select count(*) from victim").at(0).at(0), "1");
  EXPECT_EQ(makeddl::testing::tableDifferences(server(), "hostile", "hostile_copy"), "");
  EXPECT_EQ(rowsOf("hostile_copy", makeddl::scripts::corpus::kVariantFacts),
            rowsOf("hostile", makeddl::scripts::corpus::kVariantFacts));
  // The values really are what the corpus meant: full lengths, control characters, NULs.
  EXPECT_EQ(rowsOf("hostile_copy", "select datalength(vc) from s_varchar where id = 6").at(0).at(0), "8000");
  EXPECT_EQ(rowsOf("hostile_copy", "select datalength(t), datalength(nt) from s_text where id = 1").at(0),
            (Row{"23982", "24000"}));
  EXPECT_EQ(rowsOf("hostile_copy", "select vc from s_varchar where id = 5").at(0).at(0), "\r\r\n\n\r");
  EXPECT_EQ(rowsOf("hostile_copy", "select vc from s_varchar where id = 1").at(0).at(0)->size(), 33u);
}

// A whole schema scripted with --all and --remarks and run on a new database is the same
// database: catalogue to catalogue and row for row.
TEST_P(RoundTrip, AWholeSchemaComesBackTheSame) {
  const std::string createScript = copySchemaCorpus(server());
  EXPECT_NE(createScript.find("sp_addextendedproperty"), std::string::npos);
  EXPECT_EQ(makeddl::testing::tableDifferences(server(), "schema_src", "schema_copy"), "");
  EXPECT_EQ(makeddl::testing::schemaDifferences(server(), "schema_src", "schema_copy", newerServer()), "")
      << createScript;
  // The identity goes on from where the original's would.
  makeddl::testing::runBatches(server(), "schema_copy", {"insert into orders (placed) values (getdate())"});
  EXPECT_EQ(rowsOf("schema_copy", "select max(id) from orders").at(0).at(0), "115");
}

// Objects in several schemas, some named as dbo's are, scripted whole on a SQL Server 2019 and
// run on a new database: each comes back in its own schema with its rows, and named one by one
// each is found in its schema.
TEST(RoundTripOnANewerServer, ObjectsComeBackInTheirSchemas) {
  const SandboxProcess server(kPassword, false, {"--version", "2019"});
  makeddl::testing::runBatches(server, "master", {"create database spread_src", "create database spread_copy"});
  makeddl::testing::runBatches(server, "spread_src", makeddl::scripts::corpus::schemaSpreadBatches());
  const std::string createScript = programScript(server, "create", {"--all", "--remarks"}, "spread_src");
  const std::string insertScript = programScript(server, "insert", {"--all"}, "spread_src");
  for (const char* piece : {"IF SCHEMA_ID(N'empty_one') IS NULL EXEC(N'CREATE SCHEMA empty_one')\r\n",
                            "CREATE TABLE orders\r\n", "CREATE TABLE sales.orders\r\n",
                            "CREATE TABLE [my schema].[a.b]\r\n", "DROP VIEW sales.big_orders\r\n",
                            "N'schema', N'sales', N'table', N'orders'"})
    EXPECT_NE(createScript.find(piece), std::string::npos) << piece << "\n" << createScript;
  makeddl::testing::runBatches(server, "spread_copy", scriptBatches(createScript));
  makeddl::testing::runBatches(server, "spread_copy", {insertScript});
  EXPECT_EQ(makeddl::testing::tableDifferences(server, "spread_src", "spread_copy"), "") << insertScript;
  EXPECT_EQ(makeddl::testing::schemaDifferences(server, "spread_src", "spread_copy", true), "") << createScript;
  // Where another schema has a table of a dbo table's name already, the script drops and makes
  // only what it makes: a guard by name alone would drop dbo's orders, which is not there.
  makeddl::testing::runBatches(server, "master", {"create database spread_again"});
  makeddl::testing::runBatches(server, "spread_again", {"create schema sales", "create table sales.orders (x int)"});
  makeddl::testing::runBatches(server, "spread_again", scriptBatches(createScript));
  makeddl::testing::runBatches(server, "spread_again", {insertScript});
  EXPECT_EQ(makeddl::testing::tableDifferences(server, "spread_src", "spread_again"), "");
  makeddl::testing::runBatches(server, "spread_copy", {"exec sales.add_order 1"});
  EXPECT_EQ(makeddl::testing::rowsOf(server, "spread_copy", "select max(id) from sales.orders").at(0).at(0), "20");

  const std::string named = programScript(server, "create", {"sales.orders", "[my schema].[a.b]"}, "spread_src");
  EXPECT_NE(named.find("CREATE TABLE sales.orders\r\n"), std::string::npos) << named;
  EXPECT_NE(named.find("CREATE TABLE [my schema].[a.b]\r\n"), std::string::npos) << named;
  EXPECT_EQ(named.find("CREATE TABLE orders\r\n"), std::string::npos) << named;
  EXPECT_EQ(programScript(server, "insert", {"[my schema].[a.b]"}, "spread_src"),
            "\r\n----  [my schema].[a.b]\r\n\r\nINSERT INTO [my schema].[a.b] (k,v) VALUES (7,'seven')\r\n");
}

// A table of every type a SQL Server 2019 has beside the older ones, scripted and run on a new
// database: the same column types and the same values.
TEST(RoundTripOnANewerServer, ATableOfTheNewerTypesComesBackTheSame) {
  const SandboxProcess server(kPassword, false, {"--version", "2019"});
  makeddl::testing::runBatches(server, "master", {"create database newer_src", "create database newer_copy"});
  makeddl::testing::runBatches(
      server, "newer_src",
      {"create table t_every (id int not null primary key, d date, t0 time(0), t time, dt2 datetime2(3), "
       "dto datetimeoffset, vm varchar(max), nm nvarchar(max), bm varbinary(max), x xml, v varchar(10))",
       "insert into t_every values (1, '2024-02-29', '23:59:59', '00:00:00.0000001', '1753-01-01 00:00:00.5', "
       "'2024-02-29 13:45:00.1234567 -05:30', 'a''b', N'长文本', 0x00FF, N'<a x=\"1\">b</a>', 'x')",
       "insert into t_every values (2, '0001-01-01', '00:00:00', '12:00', '9999-12-31 23:59:59.999', "
       "'0001-01-01 00:00:00 +14:00', 'line' + char(13) + char(10) + 'break', N'', 0x, N'<b/>', NULL)",
       "insert into t_every (id) values (3)"});
  const std::string createScript = programScript(server, "create", {"t_every"}, "newer_src");
  const std::string insertScript = programScript(server, "insert", {"t_every"}, "newer_src");
  for (const char* piece : {"varchar (max)", "nvarchar (max)", "varbinary (max)", "time (0)", "datetime2 (3)",
                            "datetimeoffset (7)", "xml "})
    EXPECT_NE(createScript.find(piece), std::string::npos) << piece << "\n" << createScript;
  makeddl::testing::runBatches(server, "newer_copy", scriptBatches(createScript));
  makeddl::testing::runBatches(server, "newer_copy", {insertScript});
  EXPECT_EQ(makeddl::testing::tableDifferences(server, "newer_src", "newer_copy"), "") << createScript << insertScript;
}

// The value kinds the round trip is meant to cover are really in the sample.
TEST_P(RoundTrip, SampleHoldsEveryKindOfValue) {
  std::vector<std::string> types;
  for (const Row& row : rowsOf(kSampleDatabase,
                               "select distinct type_name(c.xtype) from syscolumns c, sysobjects o "
                               "where c.id = o.id and o.type = 'U' order by 1"))
    types.push_back(row.at(0).value());
  for (const char* type : {"bigint",
                           "binary",
                           "bit",
                           "char",
                           "datetime",
                           "decimal",
                           "float",
                           "image",
                           "int",
                           "money",
                           "nchar",
                           "ntext",
                           "numeric",
                           "nvarchar",
                           "real",
                           "smalldatetime",
                           "smallint",
                           "smallmoney",
                           "sql_variant",
                           "text",
                           "timestamp",
                           "tinyint",
                           "uniqueidentifier",
                           "varbinary",
                           "varchar"})
    EXPECT_NE(std::find(types.begin(), types.end(), type), types.end()) << type;
  const auto count = [this](const std::string& condition) {
    return rowsOf(kSampleDatabase, "select count(*) from t_dept where " + condition).at(0).at(0).value();
  };
  EXPECT_EQ(count("dept_name = ''"), "2");  // empty and blank (compared without trailing blanks)
  EXPECT_EQ(count("dept_name like '%''%'"), "1");
  EXPECT_EQ(count("dept_name is null"), "1");
  EXPECT_EQ(count("convert(varchar(30), created, 121) like '%.123'"), "1");
}

}  // namespace
