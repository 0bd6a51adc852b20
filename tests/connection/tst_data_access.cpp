// Data access through the real FreeTDS ODBC driver against the sandbox server.

#include "connection/data_access.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "connection/connect.h"
#include "connection/connection_string.h"
#include "sandbox_fixture.hpp"

using namespace makeddl::connection;
using sandbox::testing::SandboxProcess;

namespace {

class DataAccess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new SandboxProcess("Sa;pass=word{"); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  static std::string connectionString(const std::string& password, const DriverSettings& settings = {}) {
    LoginParameters login{"master", "127.0.0.1," + std::to_string(server_->port()), "sa", password, false};
    return odbcConnectionString(oleDbConnectionString(login, "TESTHOST"), settings);
  }

  void SetUp() override {
    connection_.setConnectionString(connectionString(server_->password()));
    connection_.open();
  }

  static SandboxProcess* server_;
  Connection connection_;
};

SandboxProcess* DataAccess::server_ = nullptr;

}  // namespace

TEST_F(DataAccess, APasswordWithSeparatorsLogsInAndAWrongOneIsRefused) {
  EXPECT_TRUE(connection_.isOpen());
  Connection wrong;
  wrong.setConnectionString(connectionString("Sa;pass=word"));
  try {
    wrong.open();
    FAIL() << "a wrong password logged in";
  } catch (const DatabaseError& error) {
    EXPECT_NE(std::string(error.what()).find("sa"), std::string::npos) << error.what();
  }
  EXPECT_FALSE(wrong.isOpen());
}

TEST_F(DataAccess, AnUnreachableServerFailsWithinTheLoginTimeout) {
  DriverSettings settings;
  settings.loginTimeoutSeconds = 2;
  Connection unreachable;
  // Port 1 on loopback: nothing listens there.
  unreachable.setConnectionString(odbcConnectionString(
      oleDbConnectionString({"master", "127.0.0.1,1", "sa", "x", false}, "TESTHOST"), settings));
  unreachable.setLoginTimeout(2);
  EXPECT_THROW(unreachable.open(), DatabaseError);
}

// The sandbox cannot encrypt: off and request log in in clear; require is refused with a
// message that says why, where the driver itself says only that it could not connect.
TEST_F(DataAccess, RequiredEncryptionOnAServerThatCannotEncryptIsRefusedClearly) {
  const LoginParameters login{"master", "127.0.0.1," + std::to_string(server_->port()), "sa", server_->password(),
                              false};
  DriverSettings settings;
  Connection connection;
  for (const char* setting : {"off", "request"}) {
    settings.encryption = setting;
    EXPECT_NO_THROW(connectTo(connection, login, settings)) << setting;
    EXPECT_TRUE(connection.isOpen()) << setting;
  }
  settings.encryption = "require";
  try {
    connectTo(connection, login, settings);
    FAIL() << "logged in without encryption";
  } catch (const EncryptionRefused& error) {
    EXPECT_NE(std::string(error.what()).find("MAKEDDL_ENCRYPT=require"), std::string::npos) << error.what();
  }
  EXPECT_FALSE(connection.isOpen());
  // A refused login is the server's answer, reported as the server gave it.
  settings.encryption = "off";
  LoginParameters wrong = login;
  wrong.password = "wrong";
  EXPECT_THROW(connectTo(connection, wrong, settings), DatabaseError);
}

TEST_F(DataAccess, AQueryIsReadWholeAndWalkedFromTheFirstRow) {
  DataSet query(connection_, "TempQuery");
  query.query("select name from master.dbo.sysdatabases where name in ('master','tempdb') order by name");
  ASSERT_EQ(query.recordCount(), 2);
  EXPECT_EQ(query.fieldCount(), 1);
  EXPECT_EQ(query.columns()[0].name, "name");
  EXPECT_EQ(query.field(0).asText(), "master");
  query.next();
  EXPECT_EQ(query.fieldByName("NAME").asText(), "tempdb");
  query.next();  // stays on the last row
  EXPECT_EQ(query.field(0).asText(), "tempdb");
  query.first();
  EXPECT_EQ(query.field(0).asText(), "master");
  EXPECT_EQ(query.sqlText(), "select name from master.dbo.sysdatabases where name in ('master','tempdb') order by name\r\n");
}

TEST_F(DataAccess, ABatchOpensLikeOneQueryAndRunsToItsEnd) {
  DataSet batch(connection_, "QueryShowField");
  batch.addLine("create table #t (a int, b varchar(10))");
  batch.addLine("insert into #t values (1, 'one') insert into #t values (2, null)");
  batch.addLine("select a, b from #t order by a");
  batch.addLine("drop table #t");
  batch.open();
  ASSERT_EQ(batch.recordCount(), 2);
  batch.next();
  EXPECT_TRUE(batch.field(1).isNull());
  EXPECT_THROW(batch.field(1).asText(), DatabaseError);
  // The drop after the select ran: the table is gone.
  DataSet again(connection_, "HelpQuery01");
  EXPECT_THROW(again.query("select * from #t"), DatabaseError);
}

TEST_F(DataAccess, ATextWithoutRowsRunsAndThenFailsToOpen) {
  DataSet query(connection_, "TempQuery");
  EXPECT_THROW(query.query("create table #made (a int)"), DatabaseError);
  EXPECT_FALSE(query.isOpen());
  EXPECT_THROW(query.recordCount(), DatabaseError);
  query.query("select count(*) from tempdb..sysobjects where name like '#made%'");
  EXPECT_EQ(query.field(0).asInteger(), 1);
}

TEST_F(DataAccess, ExecuteReportsTheRowsAffected) {
  DataSet statement(connection_, "ADOQuery1");
  statement.addLine("create table #n (a int)");
  statement.addLine("create table #source (a int)");
  statement.addLine("insert into #source values (1) insert into #source values (2) insert into #source values (3)");
  EXPECT_EQ(statement.execute(), 1);  // the count of the last statement
  statement.clearSql();
  statement.addLine("insert into #n select a from #source");
  EXPECT_EQ(statement.execute(), 3);
  statement.clearSql();
  statement.addLine("update #n set a = a + 1 where a > 1");
  EXPECT_EQ(statement.execute(), 2);
}

// A text of unknown kind runs once: rows open the data set, a count comes back instead.
TEST_F(DataAccess, OpenOrExecuteRunsATextOnceAndTellsRowsFromACount) {
  DataSet query(connection_, "ADOQuery1");
  query.addLine("create table #once (a int) insert into #once values (1) insert into #once values (2)");
  EXPECT_EQ(query.openOrExecute(), std::optional<long long>(1));
  EXPECT_FALSE(query.isOpen());
  query.clearSql();
  query.addLine("update #once set a = a + 10");
  EXPECT_EQ(query.openOrExecute(), std::optional<long long>(2));
  query.clearSql();
  query.addLine("select a from #once where a > 100");
  EXPECT_EQ(query.openOrExecute(), std::nullopt);
  EXPECT_TRUE(query.isOpen());
  EXPECT_EQ(query.recordCount(), 0);
  query.clearSql();
  query.addLine("select a from #once order by a");
  EXPECT_EQ(query.openOrExecute(), std::nullopt);
  ASSERT_EQ(query.recordCount(), 2);
  EXPECT_EQ(query.field(0).asText(), "11");  // the update ran once, not twice
  query.clearSql();
  query.addLine("select nosuchcolumn from #once");
  EXPECT_THROW(query.openOrExecute(), DatabaseError);
  EXPECT_FALSE(query.isOpen());
}

TEST_F(DataAccess, ValuesKeepTheirTextKindsAndPrecision) {
  DataSet query(connection_, "ADOQuery1");
  query.query(
      "select N'部门 ☃' as t, cast(1 as bit) as flag, cast('2024-02-29 13:45:07.123' as datetime) as d, "
      "cast(0.1 as float) as f, cast(0x00FF10 as varbinary(3)) as v, cast(12.5 as decimal(5,2)) as n");
  EXPECT_EQ(query.field(0).asText(), "部门 ☃");
  EXPECT_EQ(query.field(0).kind(), FieldKind::Text);
  EXPECT_EQ(query.field(1).kind(), FieldKind::Boolean);
  EXPECT_TRUE(query.field(1).asBoolean());
  EXPECT_EQ(query.field(2).kind(), FieldKind::DateTime);
  EXPECT_EQ(query.field(2).asDateTime(), (DateTime{2024, 2, 29, 13, 45, 7, 123}));
  EXPECT_EQ(query.field(3).asText(), "0.1");
  EXPECT_EQ(query.field(4).kind(), FieldKind::Binary);
  EXPECT_EQ(query.field(4).asText(), std::string("\x00\xFF\x10", 3));
  EXPECT_EQ(query.field(5).asText(), "12.50");
}

// Whole numbers and date-times read as the driver writes them in text, at their ends of range too.
TEST_F(DataAccess, NumbersAndDateTimesReadAsTheirText) {
  DataSet query(connection_, "ADOQuery1");
  query.query(
      "select cast(255 as tinyint), cast(-32768 as smallint), cast(-2147483648 as int), "
      "cast(-9223372036854775808 as bigint), cast(9223372036854775807 as bigint), cast(0 as int), "
      "cast('1753-01-01' as datetime), cast('9999-12-31 23:59:59.997' as datetime), "
      "cast('2024-01-15 13:45:30.5' as datetime), cast('2024-01-15 13:45:29.998' as datetime), "
      "cast('2024-01-15 13:45:31' as smalldatetime), cast('1900-01-01' as smalldatetime), "
      "cast('2079-06-06 23:59' as smalldatetime), cast(null as datetime), cast(null as int)");
  std::vector<std::optional<std::string>> texts;
  for (std::size_t i = 0; i < query.columns().size(); ++i)
    texts.push_back(query.field(static_cast<int>(i)).isNull() ? std::nullopt
                                                              : std::optional(query.field(static_cast<int>(i)).asText()));
  EXPECT_EQ(texts, (std::vector<std::optional<std::string>>{
                       "255", "-32768", "-2147483648", "-9223372036854775808", "9223372036854775807", "0",
                       "1753-01-01 00:00:00.000", "9999-12-31 23:59:59.997", "2024-01-15 13:45:30.500",
                       "2024-01-15 13:45:29.997", "2024-01-15 13:46:00", "1900-01-01 00:00:00",
                       "2079-06-06 23:59:00", std::nullopt, std::nullopt}));
}

// A timestamp travels as binary(8); only the type name the driver reports tells them apart.
TEST_F(DataAccess, ColumnsCarryTheServersTypeName) {
  DataSet query(connection_, "ADOQuery1");
  query.query("create table #stamps (b binary(8) null, ts timestamp, n nvarchar(3) null) select * from #stamps");
  ASSERT_EQ(query.columns().size(), 3u);
  EXPECT_EQ(query.columns()[0].typeName, "binary");
  EXPECT_EQ(query.columns()[1].typeName, "timestamp");
  EXPECT_EQ(query.columns()[1].sqlType, query.columns()[0].sqlType);
  EXPECT_EQ(query.columns()[2].typeName, "nvarchar");
}

TEST_F(DataAccess, RowsCanBeHandedOverOneByOneWithoutBeingKept) {
  DataSet query(connection_, "ADOQuery1");
  query.addLine(
      "create table #many (n int null, t varchar(5) null) insert #many values (1, 'a') "
      "insert #many values (null, 'b') insert #many values (3, null) select * from #many");
  std::vector<std::vector<std::optional<std::string>>> seen;
  query.openEachRow([&seen](const std::vector<ColumnInfo>& columns, const auto& row) {
    EXPECT_EQ(columns.at(1).name, "t");
    seen.push_back(row);
  });
  EXPECT_EQ(seen, (std::vector<std::vector<std::optional<std::string>>>{
                      {"1", "a"}, {std::nullopt, "b"}, {"3", std::nullopt}}));
  EXPECT_FALSE(query.isOpen());
  EXPECT_TRUE(query.columns().empty());
  query.clearSql();
  query.addLine("delete #many");
  EXPECT_THROW(query.openEachRow([](const auto&, const auto&) {}), DatabaseError);
}

TEST_F(DataAccess, ServerErrorsCarryTheServersMessage) {
  DataSet query(connection_, "TempQuery");
  try {
    query.query("select * from no_such_table");
    FAIL();
  } catch (const DatabaseError& error) {
    EXPECT_NE(std::string(error.what()).find("no_such_table"), std::string::npos) << error.what();
    EXPECT_EQ(std::string(error.what()).rfind("消息 208：", 0), 0u) << error.what();  // the server's number
    EXPECT_EQ(std::string(error.what()).find("[FreeTDS]"), std::string::npos) << error.what();
  }
}

namespace {

// Counts over joins of thousand-row tables, from light to heavy: the server sends nothing until
// a count is done, so each statement is silent for as long as it runs.
const std::vector<std::string> kSilentCounts{
    "select count(*) from timing.dbo.thousand a, timing.dbo.thousand b where a.n < 250",
    "select count(*) from timing.dbo.thousand a, timing.dbo.thousand b where a.n < 500",
    "select count(*) from timing.dbo.thousand a, timing.dbo.thousand b",
    "select sum(len(replicate('x', b.n % 50))) from timing.dbo.thousand a, timing.dbo.thousand b",
    "select count(*) from timing.dbo.thousand a, timing.dbo.thousand b, timing.dbo.digits c where c.d < 2",
};

void createThousandRows(Connection& connection) {
  DataSet setup(connection, "setup");
  setup.addLine(
      "if db_id('timing') is null create database timing");
  setup.execute();
  setup.clearSql();
  setup.addLine(
      "use timing if object_id('thousand') is null begin "
      "create table digits (d int not null) "
      "insert digits values (0) insert digits values (1) insert digits values (2) insert digits values (3) "
      "insert digits values (4) insert digits values (5) insert digits values (6) insert digits values (7) "
      "insert digits values (8) insert digits values (9) "
      "select a.d * 100 + b.d * 10 + c.d as n into thousand from digits a, digits b, digits c end use master");
  setup.execute();
}

double secondsToRun(DataSet& query, const std::string& text) {
  const auto start = std::chrono::steady_clock::now();
  query.query(text);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// A statement may run longer than the login timeout: the login bound is no statement bound.
TEST_F(DataAccess, AStatementRunsLongerThanTheLoginTimeout) {
  createThousandRows(connection_);
  DriverSettings settings;
  settings.loginTimeoutSeconds = 1;
  Connection connection;
  connection.setConnectionString(connectionString(server_->password(), settings));
  connection.setLoginTimeout(settings.loginTimeoutSeconds);
  connection.open();
  DataSet query(connection, "ADOQuery1");
  double seconds = 0;
  for (std::size_t i = 0; i < kSilentCounts.size() && seconds < 1.5; ++i)
    ASSERT_NO_THROW(seconds = secondsToRun(query, kSilentCounts[i])) << "after " << seconds << " s";
  EXPECT_GE(seconds, 1.5) << "no statement ran long enough to tell";
  EXPECT_EQ(query.recordCount(), 1);
}

// A query timeout, when one is set, stops a longer statement. (Whether the connection survives
// depends on how soon the server answers the driver's cancel; the sandbox answers only when
// it next writes, after the count.)
TEST_F(DataAccess, AQueryTimeoutStopsALongerStatement) {
  createThousandRows(connection_);
  Connection connection;
  connection.setConnectionString(connectionString(server_->password()));
  connection.setQueryTimeout(1);
  connection.open();
  DataSet query(connection, "ADOQuery1");
  try {
    for (const std::string& count : kSilentCounts) secondsToRun(query, count);
    FAIL() << "no statement outlived the query timeout";
  } catch (const DatabaseError& error) {
    EXPECT_NE(std::string(error.what()).find("HYT00"), std::string::npos) << error.what();
  }
}

// A cancel from another thread stops a running statement at the server: the reading fails with
// Cancelled instead of running to its end (which it would if the driver manager made the
// cancel wait behind the call), and the connection runs the next statement.
TEST_F(DataAccess, ACancelFromAnotherThreadStopsTheStatement) {
  createThousandRows(connection_);
  DataSet query(connection_, "ADOQuery1");
  query.addLine("select a.n, b.n from timing.dbo.thousand a, timing.dbo.thousand b");  // a million rows
  std::thread canceller([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    while (!connection_.cancel()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  });
  std::size_t rowsRead = 0;
  EXPECT_THROW(query.openEachRow([&rowsRead](const auto&, const auto&) { ++rowsRead; }), Cancelled);
  canceller.join();
  EXPECT_LT(rowsRead, 1000000u);
  EXPECT_TRUE(connection_.cancelRequested());
  connection_.clearCancel();
  query.query("select count(*) from timing.dbo.digits");
  EXPECT_EQ(query.field(0).asText(), "10");
}

// The program's name reaches the server's process list as written, not byte by byte widened.
TEST_F(DataAccess, TheProgramsNameReachesTheServerIntact) {
  Connection connection;
  connection.setConnectionString(connectionString(server_->password()));
  connection.open();
  DataSet query(connection, "ADOQuery3");
  query.query("select rtrim(program_name) from master.dbo.sysprocesses where spid = @@spid");
  EXPECT_EQ(query.field(0).asText(), "SQL SERVER 工具");
  // Text in both directions after that connect: statements, names, values and messages.
  query.query("select N'部门' as 名称");
  EXPECT_EQ(query.columns().at(0).name, "名称");
  EXPECT_EQ(query.field(0).asText(), "部门");
  try {
    query.query("select * from 没有的表");
    FAIL();
  } catch (const DatabaseError& error) {
    EXPECT_NE(std::string(error.what()).find("没有的表"), std::string::npos) << error.what();
  }
}
