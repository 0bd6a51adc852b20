// The script batch and the CREATE and INSERT script makers against the sandbox server through
// the real ODBC driver.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sql.h>
#include <sqlext.h>

#include "sandbox_session.h"
#include "scripts/create_script.h"
#include "scripts/insert_script.h"
#include "scripts/script_batch.h"
#include "worked_examples.h"

using namespace makeddl::scripts;
using makeddl::connection::Connection;
using makeddl::connection::DataSet;
using makeddl::testing::connectAsSa;
using makeddl::testing::runBatches;
using sandbox::testing::SandboxProcess;

namespace {

const char* const kSchema[] = {
    "create table t_dept (dept_id int not null primary key, dept_name varchar(20) null)",
    "exec sp_addextendedproperty N'MS_Description', N'department name', N'user', N'dbo', N'table', "
    "N't_dept', "
    "N'column', N'dept_name'",
    "create table t_log (log_time datetime not null, msg varchar(200) null)",
    "create table keyed (a int not null, b int not null, constraint pk_keyed primary key (b, a))",
    "create table [O'Hara] (x int null)",
    "create table [my table] (id int not null primary key, [order] int null)",
    "create table wide (n nvarchar(20) null, v varchar(8000) null, d decimal(20,12) null, e decimal(18,2) "
    "null, "
    "s sysname not null, c nchar(5) null, i int not null default 0, t text null)",
    "exec sp_addextendedproperty N'MS_Format', N'fmt', N'user', N'dbo', N'table', N'wide', N'column', N'i'",
    "exec sp_addextendedproperty N'MS_Description', N'计数', N'user', N'dbo', N'table', N'wide', N'column', "
    "N'i'",
    "create table t_emp (emp_id int, emp_name varchar(20), hired datetime, active bit, salary money, "
    "note varchar(50))",
    "insert into t_emp values (1, 'Wang', '2003-12-01 08:30', 1, 1500.5, null)",
    "insert into t_emp values (2, 'O''Neil', '2003-12-15', 0, 2000, '')",
    "create table t_empty (a int)",
    "create table kinds (id int not null, vc varchar(10) null, nv nvarchar(10) null, nt ntext null, "
    "dt datetime null, sdt smalldatetime null, f float null, r real null, m money null, dec decimal(20,12) "
    "null, "
    "bin binary(3) null, vb varbinary(10) null, img image null, g uniqueidentifier null, bt bit null)",
    "insert into kinds values (1, '', N'☃ 部门', N'ü''x', '2024-02-29 13:45:07.997', '2003-12-15 08:30', "
    "0.1, 0.3, 1.0001, 12345678.123456789012, 0x00FF10, 0x, 0xDEADBEEF, "
    "'6F9619FF-8B86-D011-B42D-00C04FC964FF', 1)",
    "insert into kinds values (2, '  ', N'', null, null, null, 1e+300, -2.5, -0.5, -0.000000000001, null, "
    "null, null, null, 0)",
    "create table stamped (a int not null, ts timestamp)",
    "insert into stamped (a) values (1)",
    "create table kinds_copy (id int not null, vc varchar(10) null, nv nvarchar(10) null, nt ntext null, "
    "dt datetime null, sdt smalldatetime null, f float null, r real null, m money null, dec decimal(20,12) "
    "null, "
    "bin binary(3) null, vb varbinary(10) null, img image null, g uniqueidentifier null, bt bit null)",
};

// Every test runs against a server of each version the tool reads: SQL Server 2000, and 2019
// with its newer catalogue.
class ScriptBatch : public ::testing::TestWithParam<const char*> {
 protected:
  static void TearDownTestSuite() { servers().clear(); }
  void SetUp() override {
    connectAsSa(connection_, server(), "scripts_db");
    version_ = readServerVersion(catalog_);
    loadScriptBatch(batch_, version_);
  }

  // The suite's server of the test's version, made with the schema on first use.
  SandboxProcess& server() {
    std::unique_ptr<SandboxProcess>& server = servers()[GetParam()];
    if (server) return *server;
    server = std::make_unique<SandboxProcess>("Script#1", false, std::vector<std::string>{"--version", GetParam()});
    runBatches(*server, "master", {"create database scripts_db"});
    runBatches(*server, "scripts_db", std::vector<std::string>(std::begin(kSchema), std::end(kSchema)));
    return *server;
  }

  SchemaSelection selection(const std::vector<makeddl::ObjectName>& tables) const { return {tables, false, version_}; }

  std::vector<std::string> create(const std::vector<std::string>& tables) {
    return MakeDDL(catalog_, selection({tables.begin(), tables.end()}), {}, nullptr);
  }

  static std::map<std::string, std::unique_ptr<SandboxProcess>>& servers() {
    static std::map<std::string, std::unique_ptr<SandboxProcess>> byVersion;
    return byVersion;
  }
  makeddl::catalog::ServerVersion version_;
  Connection connection_;
  DataSet batch_{connection_, "QueryMakeDDL"};
  DataSet catalog_{connection_, "SchemaQuery"};
  DataSet query_{connection_, "ADOQuery1"};
};

INSTANTIATE_TEST_SUITE_P(BothVersions, ScriptBatch, ::testing::Values("2000", "2019"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

TEST_P(ScriptBatch, DeptAndLogScriptsAsTheUserSeesThem) {
  std::vector<std::pair<int, int>> progress;
  const std::vector<std::string> script = MakeDDL(catalog_, selection({"t_dept", "t_log"}), {},
                                                  [&](int done, int total) { progress.emplace_back(done, total); });
  std::vector<std::string> expected = examples::kDeptCreateBlock;
  expected.insert(expected.end(), examples::kLogCreateBlock.begin(), examples::kLogCreateBlock.end());
  EXPECT_EQ(script, expected);
  EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}}));
}

// The set-based catalogue queries describe every column as the script batch does.
TEST_P(ScriptBatch, SetBasedColumnsEqualTheBatchRows) {
  const std::vector<makeddl::ObjectName> tables{"t_dept", "t_log", "keyed", "O'Hara", "my table", "wide", "kinds"};
  const SchemaModel model = readSchema(catalog_, selection(tables));
  ASSERT_EQ(model.tables.size(), tables.size());
  for (const TableModel& table : model.tables) {
    SCOPED_TRACE(table.name);
    std::vector<ColumnScriptRow> batchRows = runScriptBatch(batch_, table.name);
    const bool keyed = std::any_of(batchRows.begin(), batchRows.end(), [](const auto& row) { return row.isKey; });
    std::vector<ColumnScriptRow> modelRows;
    for (std::size_t i = 0; i < table.columns.size(); ++i)
      modelRows.push_back(columnScriptRow(table.columns[i], keyed || i + 1 < table.columns.size()));
    for (ColumnScriptRow& row : batchRows) row.isKey = false;
    EXPECT_EQ(modelRows, batchRows);
  }
  // The table-name line is replaced, never appended: one run's batch names the last table only.
  EXPECT_EQ(batch_.sqlLines().size(), scriptBatchLines().size());
  EXPECT_EQ(batch_.sqlLines().at(1), "set @Table_Name='kinds'");
}

// The lines laid out here agree with the server's own alignment in Names.
TEST_P(ScriptBatch, ServerAlignmentAndOursAgree) {
  for (const char* table : {"t_dept", "t_log", "wide", "keyed"}) {
    const std::vector<ColumnScriptRow> rows = runScriptBatch(batch_, table);
    const std::vector<std::string> lines = columnLines(rows);
    ASSERT_EQ(static_cast<int>(lines.size()), batch_.recordCount()) << table;
    batch_.first();
    for (const std::string& line : lines) {
      EXPECT_EQ(line, batch_.fieldByName("names").asText() + batch_.fieldByName("aa").asText() +
                          batch_.fieldByName("fieldremark").asText());
      batch_.next();
    }
  }
}

// Lengths of 1000 and more, scales of 10 and more and national lengths come out as declared;
// a sysname column and a column with two properties give one row each.
TEST_P(ScriptBatch, TypePiecesAreTheDeclaredTypes) {
  const std::vector<ColumnScriptRow> rows = runScriptBatch(batch_, "wide");
  std::vector<std::string> pieces;
  for (const ColumnScriptRow& row : rows) pieces.push_back(row.typePiece);
  EXPECT_EQ(pieces, (std::vector<std::string>{"nvarchar (20) ,", "varchar (8000) ,", "decimal (20,12) ,",
                                              "decimal (18,2) ,", "nvarchar (128)  NOT NULL ,", "nchar (5) ,",
                                              "int DEFAULT(0) NOT NULL ,", "text "}));
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_TRUE(rows[6].hasRemark);
  EXPECT_EQ(rows[6].remark, "计数");
}

// A key comes in key order, with its name when a user gave it; generated names are left out.
TEST_P(ScriptBatch, KeysInKeyOrderAndNamesThatNeedBrackets) {
  const std::vector<std::string> script = create({"keyed", "O'Hara", "my table"});
  EXPECT_EQ(script.at(9), "     CONSTRAINT pk_keyed PRIMARY KEY (b,a)");
  EXPECT_EQ(script.at(13),
            "IF EXISTS (select name from sysobjects where name='O''Hara' and type='U') DROP TABLE [O'Hara]");
  EXPECT_EQ(script.at(15), "CREATE TABLE [O'Hara]");
  EXPECT_EQ(std::vector<std::string>(script.begin() + 24, script.end()),
            (std::vector<std::string>{"CREATE TABLE [my table]", "(", "     id       int  NOT NULL ,",
                                      "     [order]  int ,", "", "     PRIMARY KEY (id)", ")"}));
}

TEST_P(ScriptBatch, GeneratedCreateScriptRunsOnTheServer) {
  std::string text;
  for (const std::string& line : create({"wide", "my table", "O'Hara"})) text += line + "\r\n";
  DataSet statement(connection_, "script");
  statement.addLine(text);
  EXPECT_NO_THROW(statement.execute()) << text;
  EXPECT_EQ(create({"wide"}), create({"wide"}));
}

TEST_P(ScriptBatch, InsertsOfTheWorkedExample) {
  EXPECT_EQ(Mark_InsertSQL(query_, {"t_emp", "t_empty"}, InsertRows::WholeTable, nullptr),
            (std::vector<std::string>{
                "",
                "----  t_emp",
                "",
                "INSERT INTO t_emp (emp_id,emp_name,hired,active,salary,note) VALUES "
                "(1,'Wang','2003-12-01 08:30:00',1,1500.5,NULL)",
                "INSERT INTO t_emp (emp_id,emp_name,hired,active,salary,note) VALUES "
                "(2,'O''Neil','2003-12-15 00:00:00',0,2000,'')",
            }));
  EXPECT_EQ(query_.recordCount(), 0);  // left on the last table's rows
  query_.query("select emp_name, emp_id from t_emp where emp_id = 2");
  EXPECT_EQ(Mark_InsertSQL(query_, {"t_emp"}, InsertRows::CurrentResult, nullptr),
            (std::vector<std::string>{"", "----  t_emp", "",
                                      "INSERT INTO t_emp (emp_name,emp_id) VALUES ('O''Neil',2)"}));
}

// Every generated statement runs, and the rows it writes equal the rows it was made from.
TEST_P(ScriptBatch, InsertedValuesRoundTrip) {
  query_.query("select * from kinds order by id");
  std::string text;
  for (const std::string& line : Mark_InsertSQL(query_, {"kinds_copy"}, InsertRows::CurrentResult, nullptr))
    text += line + "\r\n";
  DataSet statement(connection_, "script");
  statement.addLine(text);
  ASSERT_NO_THROW(statement.execute()) << text;
  DataSet copy(connection_, "copy");
  copy.query("select * from kinds_copy order by id");
  query_.query("select * from kinds order by id");
  EXPECT_EQ(copy.rows(), query_.rows()) << text;
  EXPECT_EQ(copy.recordCount(), 2);
  // The national and identifier types are told apart by the ODBC type the driver reports.
  EXPECT_EQ(copy.columns().at(2).sqlType, SQL_WVARCHAR);
  EXPECT_EQ(copy.columns().at(3).sqlType, SQL_WLONGVARCHAR);
  EXPECT_EQ(copy.columns().at(13).sqlType, SQL_GUID);
}

// The command line's way, rows turned into lines as they arrive, gives the window's lines.
TEST_P(ScriptBatch, StreamedInsertsEqualTheWindowsInserts) {
  const std::vector<makeddl::ObjectName> tables{"t_emp", "t_empty", "kinds", "my table"};
  std::vector<std::string> streamed;
  std::vector<std::pair<int, int>> progress;
  streamInsertSQL(
      query_, tables, [&progress](int done, int total) { progress.emplace_back(done, total); },
      [&streamed](const std::string& line) { streamed.push_back(line); });
  EXPECT_EQ(streamed, Mark_InsertSQL(query_, tables, InsertRows::WholeTable, nullptr));
  EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
  EXPECT_THROW(streamInsertSQL(query_, {"no_such_table"}, nullptr, [](const std::string&) {}),
               makeddl::connection::DatabaseError);
}

// The server refuses an explicit timestamp value, so the statements leave the stamp to it.
TEST_P(ScriptBatch, TimestampColumnsGetTheirDefault) {
  const std::vector<std::string> script =
      Mark_InsertSQL(query_, {"stamped"}, InsertRows::WholeTable, nullptr);
  ASSERT_EQ(script.size(), 4u);
  EXPECT_EQ(script[3], "INSERT INTO stamped (a,ts) VALUES (1,DEFAULT)");
  DataSet statement(connection_, "script");
  statement.addLine(script[3]);
  EXPECT_EQ(statement.execute(), 1);
  statement.clearSql();
  statement.addLine("insert into stamped (a, ts) values (2, 0x00000000000007D1)");
  try {
    statement.execute();
    FAIL() << "an explicit timestamp value was accepted";
  } catch (const makeddl::connection::DatabaseError& error) {
    EXPECT_NE(std::string(error.what()).find("timestamp"), std::string::npos) << error.what();
  }
  query_.query("select count(distinct ts) from stamped");
  EXPECT_EQ(query_.field(0).asText(), "2");
}

}  // namespace
