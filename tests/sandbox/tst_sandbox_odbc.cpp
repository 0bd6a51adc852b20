// The sandbox through the real FreeTDS ODBC driver: logins, types, batches, sessions, the
// catalogue and the exact catalogue batches the tool sends.

#include "odbc_suite.hpp"
#include "tool_batches.hpp"

#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <thread>

using namespace sandbox::testing;

namespace {

class SandboxOdbc : public OdbcSuite {
protected:
    static std::vector<std::string> column(const OdbcResult& result, size_t index) {
        std::vector<std::string> values;
        for (const auto& row : result.rows) values.push_back(row[index].value_or("<NULL>"));
        return values;
    }
};

}  // namespace

TEST_F(SandboxOdbc, LoginsAreCheckedAndFailuresCarrySqlServerErrors) {
    auto good = connect();
    EXPECT_EQ(good->scalar("select db_name()"), "master");

    std::string base = "DRIVER={FreeTDS};SERVER=127.0.0.1," + std::to_string(server_->port()) +
                       ";TDS_Version=7.1;Timeout=5;ClientCharset=UTF-8";
    OdbcConnection wrongPassword(base + ";UID=sa;PWD=wrong");
    EXPECT_FALSE(wrongPassword.connected());
    EXPECT_NE(wrongPassword.connectError().find("Login failed for user 'sa'."), std::string::npos)
        << wrongPassword.connectError();
    OdbcConnection unknown(base + ";UID=nobody;PWD=x");
    EXPECT_NE(unknown.connectError().find("18456"), std::string::npos) << unknown.connectError();
    OdbcConnection missingDb(base + ";UID=sa;PWD=" + server_->password() + ";DATABASE=nosuchdb");
    EXPECT_FALSE(missingDb.connected());
    EXPECT_NE(missingDb.connectError().find("4060"), std::string::npos) << missingDb.connectError();

    OdbcConnection reader(base + ";UID=reader;PWD=Reader#1");
    EXPECT_TRUE(reader.connected()) << reader.connectError();
    OdbcConnection newerClient("DRIVER={FreeTDS};SERVER=127.0.0.1," + std::to_string(server_->port()) +
                               ";TDS_Version=7.4;Timeout=5;ClientCharset=UTF-8;UID=sa;PWD=" + server_->password());
    EXPECT_TRUE(newerClient.connected()) << newerClient.connectError();
    EXPECT_EQ(newerClient.scalar("select 40 + 2"), "42");
}

TEST_F(SandboxOdbc, EveryDataTypeTravelsAsTdsDefinesIt) {
    auto c = connect();
    runOk(*c, "create database types_db");
    runOk(*c, "use types_db");
    runOk(*c,
          "create table alltypes (ti tinyint, si smallint, i int, bi bigint, b bit, d decimal(18,2), n numeric(20,12), "
          "m money, sm smallmoney, f float, r real, c char(5), vc varchar(20), nc nchar(3), nvc nvarchar(20), "
          "t text, nt ntext, dt datetime, sdt smalldatetime, bin binary(3), vbin varbinary(10), img image, "
          "g uniqueidentifier, v sql_variant, ts timestamp)");
    runOk(*c,
          "insert into alltypes values (255, -32768, 2147483647, 9223372036854775807, 1, -1234.56, 12.345678901234, "
          "12.3456, -1.5, 1.5e10, 0.25, 'ab', '中文abc', N'汉', N'中文x', 'long text 正文', N'长文本', "
          "'2024-01-15 13:45:30.500', '2024-01-15 13:45', 0x0102, 0xCAFE, 0xDEADBEEF, "
          "'6F9619FF-8B86-D011-B42D-00C04FC964FF', 42)");
    runOk(*c, "insert into alltypes (i) values (null)");
    OdbcBatch stamps = runOk(*c, "select ts from alltypes");
    ASSERT_EQ(stamps.results.at(0).rows.size(), 2u);
    EXPECT_EQ(stamps.results[0].rows[0][0]->size(), 16u);  // 8 bytes as hex, made by the server
    EXPECT_NE(stamps.results[0].rows[0][0], stamps.results[0].rows[1][0]);
    EXPECT_EQ(stamps.results[0].columns[0].sqlType, SQL_BINARY);
    OdbcBatch batch = runOk(*c, "select * from alltypes order by ti desc");
    ASSERT_EQ(batch.results.size(), 1u);
    const auto& rows = batch.results[0].rows;
    ASSERT_EQ(rows.size(), 2u);
    std::vector<std::string> expected = {"255", "-32768", "2147483647", "9223372036854775807", "1", "-1234.56",
                                         "12.345678901234", "12.3456", "-1.5000", "15000000000", "0.25", "ab   ",
                                         "中文abc", "汉  ", "中文x", "long text 正文", "长文本",
                                         "2024-01-15 13:45:30.500", "2024-01-15 13:45:00", "010200", "cafe",
                                         "deadbeef", "6F9619FF-8B86-D011-B42D-00C04FC964FF", "42"};
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_TRUE(rows[0][i].has_value()) << batch.results[0].columns[i].name;
        std::string actual = *rows[0][i];
        if (expected[i] == "15000000000") actual = actual.substr(0, 11);
        if (expected[i] == "2024-01-15 13:45:30.500" || expected[i] == "2024-01-15 13:45:00")
            actual = actual.substr(0, expected[i].size());
        EXPECT_EQ(actual, expected[i]) << batch.results[0].columns[i].name;
    }
    for (size_t i = 0; i + 1 < rows[1].size(); ++i) EXPECT_FALSE(rows[1][i].has_value()) << "column " << i;
    runOk(*c, "use master");
}

TEST_F(SandboxOdbc, BatchesReportEachStatementAndErrorsKeepSqlServerNumbers) {
    auto c = connect();
    runOk(*c, "create table #rows (id int identity(1,1) primary key, label varchar(10) not null)");
    OdbcBatch inserted = runOk(*c, "insert #rows (label) values ('a') insert #rows (label) values ('b') "
                                   "insert #rows (label) select label from #rows");
    EXPECT_EQ(inserted.rowCount, 2);
    EXPECT_EQ(c->scalar("select count(*) from #rows"), "4");
    EXPECT_EQ(c->scalar("select max(id) from #rows"), "4");

    OdbcBatch missing = c->run("select * from no_such_table");
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.mentions("Invalid object name 'no_such_table'.")) << missing.messages[0];
    EXPECT_TRUE(missing.mentions("208"));

    OdbcBatch syntax = c->run("select from where");
    EXPECT_FALSE(syntax.ok);
    EXPECT_TRUE(syntax.mentions("Incorrect syntax near the keyword 'from'.")) << syntax.messages[0];

    OdbcBatch nulls = c->run("insert #rows (label) values (null)");
    EXPECT_TRUE(nulls.mentions("Cannot insert the value NULL into column 'label'")) << nulls.messages[0];

    OdbcBatch proc = c->run("exec sp_no_such_procedure");
    EXPECT_TRUE(proc.mentions("Could not find stored procedure 'sp_no_such_procedure'."));

    EXPECT_EQ(c->scalar("select cast(123456 as varchar(3))"), "*");
    EXPECT_EQ(c->scalar("select convert(varchar(10), 42) + 'x'"), "42x");
    EXPECT_EQ(c->scalar("select len('ab  ') + datalength(N'ab')"), "6");
    EXPECT_EQ(c->scalar("select case when 'ABC' = 'abc  ' then 'same' else 'different' end"), "same");
}

TEST_F(SandboxOdbc, SessionsKeepTheirOwnDatabaseAndTemporaryTables) {
    auto first = connect();
    auto second = connect();
    runOk(*first, "create database session_db");
    runOk(*first, "use session_db");
    runOk(*first, "create table #mine (x int) insert #mine values (1)");
    EXPECT_EQ(first->scalar("select db_name()"), "session_db");
    EXPECT_EQ(second->scalar("select db_name()"), "master");
    EXPECT_FALSE(second->run("select * from #mine").ok);
    EXPECT_EQ(first->scalar("select count(*) from #mine"), "1");

    OdbcBatch processes = runOk(*second, "select spid, rtrim(loginame), rtrim(hostname), db_name(dbid) "
                                         "from master.dbo.sysprocesses order by spid");
    ASSERT_EQ(processes.results.size(), 1u);
    EXPECT_GE(processes.results[0].rows.size(), 2u);
    bool sawSessionDb = false;
    for (const auto& row : processes.results[0].rows) {
        EXPECT_EQ(row[1], "sa");
        if (row[3] == "session_db") sawSessionDb = true;
    }
    EXPECT_TRUE(sawSessionDb);
    runOk(*first, "use master");
}

TEST_F(SandboxOdbc, CatalogueFollowsCreateAndDrop) {
    auto c = connect();
    runOk(*c, "create database catalog_db");
    runOk(*c, "use catalog_db");
    runOk(*c, "create table t_keyed (a int not null, b varchar(10) not null, c nvarchar(20) default (N'x'), "
              "constraint pk_keyed primary key (b, a))");
    runOk(*c, "create index ix_c on t_keyed (c)");
    EXPECT_EQ(c->scalar("select count(*) from sysobjects where name = 't_keyed' and xtype = 'U'"), "1");
    EXPECT_EQ(c->scalar("select status & 0x800 from sysindexes where name = 'pk_keyed'"), "2048");
    EXPECT_EQ(c->scalar("select index_col('t_keyed', 1, 1) + ',' + index_col('t_keyed', 1, 2)"), "b,a");
    EXPECT_EQ(c->scalar("select b.text from syscolumns a join syscomments b on a.cdefault = b.id "
                        "where a.id = object_id('t_keyed') and a.name = 'c'"), "(N'x')");
    EXPECT_EQ(c->scalar("select count(*) from master.dbo.systypes where xtype = 231"), "2");

    OdbcBatch index = runOk(*c, "exec sp_helpindex 't_keyed'");
    ASSERT_EQ(index.results.size(), 1u);
    EXPECT_EQ(column(index.results[0], 0), (std::vector<std::string>{"ix_c", "pk_keyed"}));
    EXPECT_EQ(column(index.results[0], 2), (std::vector<std::string>{"c", "b, a"}));

    runOk(*c, "create table t_plain (x int)");
    OdbcBatch none = runOk(*c, "exec sp_helpindex 't_plain'");
    EXPECT_TRUE(none.results.empty());

    runOk(*c, "drop table t_keyed");
    EXPECT_EQ(c->scalar("select count(*) from sysobjects where parent_obj <> 0 or name = 't_keyed'"), "0");
    EXPECT_EQ(c->scalar("select object_id('t_keyed')"), std::nullopt);
    runOk(*c, "use master");
}

TEST_F(SandboxOdbc, ModulesKeepTheirSourceAndDependencies) {
    auto c = connect();
    runOk(*c, "create database module_db");
    runOk(*c, "use module_db");
    runOk(*c, "create table t_dept (dept_id int not null primary key, dept_name varchar(20) null)");
    std::string source = "create procedure p_names as\r\nselect dept_id, dept_name from t_dept\r\nupdate t_dept set dept_name = 'x' where dept_id = 1";
    runOk(*c, source);
    runOk(*c, "create view v_dept as select * from t_dept");
    runOk(*c, "create procedure p_view as select * from v_dept");

    OdbcBatch text = runOk(*c, "exec sp_helptext 'p_names'");
    ASSERT_EQ(text.results.size(), 1u);
    EXPECT_EQ(column(text.results[0], 0),
              (std::vector<std::string>{"create procedure p_names as\r\n", "select dept_id, dept_name from t_dept\r\n",
                                        "update t_dept set dept_name = 'x' where dept_id = 1"}));

    OdbcBatch dependencies = runOk(*c, dependenciesBatch("p_names"));
    ASSERT_EQ(dependencies.results.size(), 1u);
    const OdbcResult& deps = dependencies.results[0];
    ASSERT_EQ(deps.rows.size(), 2u);
    EXPECT_EQ(column(deps, 0), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(column(deps, 1), (std::vector<std::string>{"t_dept", "t_dept"}));
    EXPECT_EQ(column(deps, 2), (std::vector<std::string>{"用户表", "用户表"}));
    EXPECT_EQ(column(deps, 5), (std::vector<std::string>{"dept_id", "dept_name"}));
    EXPECT_EQ(column(deps, 4), (std::vector<std::string>{"YES", "YES"}));  // both columns read
    EXPECT_EQ(column(deps, 3), (std::vector<std::string>{"", "YES"}));     // dept_name written

    OdbcBatch throughView = runOk(*c, dependenciesBatch("p_view"));  // col_name() of a view's columns
    ASSERT_EQ(throughView.results.size(), 1u);
    EXPECT_EQ(column(throughView.results[0], 1), (std::vector<std::string>{"v_dept", "v_dept"}));
    EXPECT_EQ(column(throughView.results[0], 5), (std::vector<std::string>{"dept_id", "dept_name"}));

    OdbcBatch dependents = runOk(*c, dependentsBatch("v_dept"));
    ASSERT_EQ(dependents.results.size(), 1u);
    EXPECT_EQ(column(dependents.results[0], 0), (std::vector<std::string>{"p_view"}));
    EXPECT_EQ(column(dependents.results[0], 1), (std::vector<std::string>{"存储过程"}));

    OdbcBatch unused = runOk(*c, dependentsBatch("no_such_object"));
    ASSERT_EQ(unused.results.size(), 1u);
    EXPECT_TRUE(unused.results[0].rows.empty());
    runOk(*c, "use master");
}

TEST_F(SandboxOdbc, DependencyBatchesCoverTheirEdgeCases) {
    auto c = connect();
    runOk(*c, "create database depend_db");
    runOk(*c, "use depend_db");
    runOk(*c, "create table [o'brien] (id int, name varchar(10))");
    runOk(*c, "create table lonely (x int)");
    runOk(*c, "create view v_shared as select id, name from [o'brien]");
    runOk(*c, "create procedure p_one as select * from v_shared");
    runOk(*c, "create procedure p_two as select id from v_shared where id > 0");
    runOk(*c, "create function dbo.f_rows (@n int) returns table as return (select id from [o'brien] where id = @n)");
    runOk(*c, "create procedure p_calls as select * from dbo.f_rows(1)");

    OdbcBatch users = runOk(*c, dependentsBatch("v_shared"));
    ASSERT_EQ(users.results.size(), 1u);
    // Columns: name, type, updated, selected, column, then IndexNum (added after *).
    EXPECT_EQ(column(users.results[0], 5), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(column(users.results[0], 0), (std::vector<std::string>{"p_one", "p_two"}));
    EXPECT_EQ(column(users.results[0], 1), (std::vector<std::string>{"存储过程", "存储过程"}));
    EXPECT_EQ(column(users.results[0], 2), (std::vector<std::string>{" ", " "}));

    OdbcBatch quoted = runOk(*c, dependentsBatch("o'brien"));  // the quote is doubled in the batch
    ASSERT_EQ(quoted.results.size(), 1u);
    EXPECT_EQ(column(quoted.results[0], 0), (std::vector<std::string>{"f_rows", "v_shared"}));
    EXPECT_EQ(column(quoted.results[0], 1), (std::vector<std::string>{"IF", "视图"}));  // IF is outside the mapping

    OdbcBatch none = runOk(*c, dependentsBatch("lonely"));
    ASSERT_EQ(none.results.size(), 1u);
    EXPECT_TRUE(none.results[0].rows.empty());

    OdbcBatch calls = runOk(*c, dependenciesBatch("p_calls"));
    ASSERT_EQ(calls.results.size(), 1u);
    EXPECT_EQ(column(calls.results[0], 1), (std::vector<std::string>{"f_rows"}));
    EXPECT_EQ(column(calls.results[0], 5), (std::vector<std::string>{"id"}));  // its column, read through *
    runOk(*c, "use master");
}

TEST_F(SandboxOdbc, ColumnDescriptionBatchesDescribeTablesAsSqlServer2000Does) {
    auto c = connect();
    runOk(*c, "create database describe_db");
    runOk(*c, "use describe_db");
    runOk(*c, "create table t_dept (dept_id int not null primary key, dept_name varchar(20) null)");
    runOk(*c, "exec sp_addextendedproperty N'MS_Description', N'department name', N'user', N'dbo', "
              "N'table', N't_dept', N'column', N'dept_name'");
    OdbcBatch script = runOk(*c, columnBatch(scriptBatchLines(), "t_dept"));
    ASSERT_EQ(script.results.size(), 1u) << (script.messages.empty() ? "" : script.messages[0]);
    const OdbcResult& rows = script.results[0];
    ASSERT_EQ(rows.rows.size(), 2u);
    EXPECT_EQ(column(rows, 0), (std::vector<std::string>{"", "--"}));
    EXPECT_EQ(column(rows, 1), (std::vector<std::string>{"", "department name"}));
    EXPECT_EQ(column(rows, 2), (std::vector<std::string>{"dept_id    int  NOT NULL ,", "dept_name  varchar (20) ,   "}));
    EXPECT_EQ(column(rows, 3), (std::vector<std::string>{"dept_id", ""}));

    runOk(*c, "create table t_edge (a int not null, b int not null, n nvarchar(20), d decimal(18,2), "
              "v varchar(8000), w decimal(20,12), z int not null default (0), primary key (b, a))");
    OdbcBatch edge = runOk(*c, columnBatch(scriptBatchLines(), "t_edge"));
    ASSERT_EQ(edge.results.size(), 1u) << (edge.messages.empty() ? "" : edge.messages[0]);
    std::vector<std::string> names = column(edge.results[0], 2);
    // The batch joins systypes on xtype alone, so the nvarchar column comes back twice: once for
    // nvarchar and once for sysname, which shares its xtype, as on SQL Server 2000.
    ASSERT_EQ(names.size(), 8u);
    EXPECT_EQ(names[0], "a  int  NOT NULL ,");
    EXPECT_EQ(names[2], "n  nvarchar (40) ,");
    EXPECT_EQ(names[3], "n  nvarchar (40) ,");
    EXPECT_EQ(names[4], "d  decimal (18,2) ,");
    EXPECT_EQ(names[5], "v  varchar (*) ,");
    EXPECT_EQ(names[6], "w  decimal (20,*) ,");
    EXPECT_EQ(names[7], "z  int DEFAULT(0) NOT NULL ,");
    EXPECT_EQ(column(edge.results[0], 3), (std::vector<std::string>{"a", "b", "", "", "", "", "", ""}));

    runOk(*c, "create table t_nokey (x int not null, msg varchar(200))");
    OdbcBatch fields = runOk(*c, columnBatch(fieldListBatchLines(), "t_nokey"));
    ASSERT_EQ(fields.results.size(), 1u) << (fields.messages.empty() ? "" : fields.messages[0]);
    const OdbcResult& list = fields.results[0];
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.columns[0].name, "IndexNum");
    EXPECT_EQ(column(list, 1), (std::vector<std::string>{"x", "msg"}));
    EXPECT_EQ(column(list, 2), (std::vector<std::string>{"int", "varchar"}));
    EXPECT_EQ(column(list, 6), (std::vector<std::string>{"YES", "<NULL>"}));
    EXPECT_EQ(column(list, 9), (std::vector<std::string>{"<NULL>", "<NULL>"}));
    EXPECT_EQ(column(list, 10), (std::vector<std::string>{"0", "1"}));
    OdbcBatch again = runOk(*c, columnBatch(fieldListBatchLines(), "t_nokey"));  // the temporary tables were dropped
    EXPECT_EQ(again.results.size(), 1u);
    OdbcBatch noKeyScript = runOk(*c, columnBatch(scriptBatchLines(), "t_nokey"));
    ASSERT_EQ(noKeyScript.results.size(), 1u);
    // Without a primary key the last column line has no comma.
    EXPECT_EQ(column(noKeyScript.results[0], 2), (std::vector<std::string>{"x    int  NOT NULL ,", "msg  varchar (200) "}));
    EXPECT_EQ(column(noKeyScript.results[0], 3), (std::vector<std::string>{"", ""}));
    runOk(*c, "use master");
}

TEST_F(SandboxOdbc, TheToolsOtherQueriesRunVerbatim) {
    auto c = connect();
    runOk(*c, "create database tool_db");
    runOk(*c, "use tool_db");
    runOk(*c, "create table t_dept (dept_id int not null primary key, dept_name varchar(20) null)");
    runOk(*c, "insert t_dept values (1, 'sales')");
    runOk(*c, "create view v_dept as select * from t_dept");

    EXPECT_EQ(column(runOk(*c, "select name from master.dbo.sysdatabases").results.at(0), 0).back(), "tool_db");
    OdbcBatch files = runOk(*c, "sp_helpfile");
    ASSERT_EQ(files.results.size(), 1u);
    EXPECT_EQ(files.results[0].columns.size(), 8u);
    EXPECT_EQ(files.results[0].rows.at(0)[0], "tool_db");
    EXPECT_EQ(c->scalar("select sum(size)*8 as DB_Size from sysfiles"), "2048");
    OdbcBatch created = runOk(*c, "select * from master.dbo.sysdatabases where name=db_name()");
    ASSERT_EQ(created.results.at(0).rows.size(), 1u);
    EXPECT_EQ(created.results[0].columns[6].name, "crdate");
    EXPECT_EQ(created.results[0].columns[6].sqlType, SQL_TYPE_TIMESTAMP);
    EXPECT_EQ(column(runOk(*c, "select name from sysobjects where type='V' order by Name").results.at(0), 0),
              (std::vector<std::string>{"v_dept"}));
    OdbcBatch empty = runOk(*c, "select * from t_dept where 1<>1 ");
    ASSERT_EQ(empty.results.size(), 1u);
    EXPECT_EQ(empty.results[0].columns.size(), 2u);
    EXPECT_TRUE(empty.results[0].rows.empty());
    EXPECT_EQ(c->scalar("sp_helptext 'v_dept'"), "create view v_dept as select * from t_dept");
    OdbcBatch counts = runOk(*c, "SELECT count(*) as RecCount,(select count(*)  from  syscolumns where id= object_id('t_dept'))"
                                 "as ColCount from t_dept");
    EXPECT_EQ(counts.results.at(0).rows.at(0), (std::vector<std::optional<std::string>>{"1", "2"}));
    OdbcBatch index = runOk(*c, "sp_helpindex t_dept");
    EXPECT_EQ(column(index.results.at(0), 1).at(0), "clustered, unique, primary key located on PRIMARY");
    EXPECT_EQ(c->scalar("select name  from  syscolumns where id= object_id('t_dept') and isnullable=0"), "dept_id");
    EXPECT_EQ(column(runOk(*c, "select name from  sysobjects where id in(  select id  from  syscolumns where name='dept_name')")
                         .results.at(0), 0),
              (std::vector<std::string>{"t_dept", "v_dept"}));
    OdbcBatch users = runOk(*c, "select loginame=rtrim(loginame),hostname,program_name,       dbname=case when dbid = 0 then null "
                                "when dbid <> 0 then db_name(dbid)end,login_time from  master.dbo.sysprocesses "
                                "where ltrim(hostname)<>'' order by hostname ");
    ASSERT_EQ(users.results.size(), 1u);
    ASSERT_FALSE(users.results[0].rows.empty());
    EXPECT_EQ(users.results[0].rows[0][0], "sa");
    EXPECT_EQ(users.results[0].rows[0][1]->size(), 128u);  // nchar(128), blank-padded
    runOk(*c, "use master");
}

TEST_F(SandboxOdbc, BackupAndRestoreUseRealFiles) {
    char folderTemplate[] = "/tmp/sandbox-backup-XXXXXX";
    std::string folder = mkdtemp(folderTemplate);
    std::string file = folder + "\\20031225_0930.dat";  // the tool joins folder and name with a backslash
    auto c = connect();
    auto other = connect();
    runOk(*c, "create database backup_db");
    runOk(*c, "use backup_db create table t (id int identity primary key, name nvarchar(10) default N'x')");
    runOk(*c, "insert t (name) values (N'第一')");
    OdbcBatch backup = runOk(*c, "USE master BACKUP DATABASE backup_db TO DISK = " + quotedSql(file));
    EXPECT_TRUE(backup.mentions("BACKUP DATABASE successfully processed")) << (backup.messages.empty() ? "" : backup.messages[0]);
    runOk(*c, "use backup_db insert t (name) values (N'second')");
    runOk(*c, "USE master BACKUP DATABASE backup_db TO DISK = " + quotedSql(file));  // appended as set 2

    runOk(*other, "use backup_db");
    OdbcBatch inUse = c->run("USE master RESTORE DATABASE backup_db FROM DISK = " + quotedSql(file));
    EXPECT_TRUE(inUse.mentions("3101")) << (inUse.messages.empty() ? "" : inUse.messages.back());
    EXPECT_TRUE(inUse.mentions("RESTORE DATABASE is terminating abnormally."));
    runOk(*other, "use master");

    runOk(*c, "USE master RESTORE DATABASE backup_db FROM DISK = " + quotedSql(file));  // set 1 by default
    EXPECT_EQ(c->scalar("select count(*) from backup_db..t"), "1");
    runOk(*c, "RESTORE DATABASE backup_db FROM DISK = " + quotedSql(file) + " WITH FILE = 2");
    EXPECT_EQ(c->scalar("select count(*) from backup_db..t"), "2");
    runOk(*c, "use backup_db insert t default values");
    EXPECT_EQ(c->scalar("select max(id) from t"), "3");  // the identity goes on where it was
    EXPECT_EQ(c->scalar("select count(*) from syscolumns where id = object_id('t')"), "2");
    runOk(*c, "use master");

    runOk(*c, "create database other_db");
    OdbcBatch otherName = c->run("RESTORE DATABASE other_db FROM DISK = " + quotedSql(file));
    EXPECT_TRUE(otherName.mentions("3154"));
    OdbcBatch badPath = c->run("BACKUP DATABASE backup_db TO DISK = 'c:\\no\\such\\folder\\x.dat'");
    EXPECT_TRUE(badPath.mentions("Cannot open backup device")) << (badPath.messages.empty() ? "" : badPath.messages[0]);
    EXPECT_TRUE(badPath.mentions("BACKUP DATABASE is terminating abnormally."));
    runCommand("rm -rf '" + folder + "'", "");
}

// What a hostile client sends ends in SQL Server's errors, and the server goes on serving.
TEST_F(SandboxOdbc, HostileExpressionsGetErrorsAndTheServerGoesOn) {
    auto c = connect();
    for (const char* call : {"abs()", "year()", "count()", "quotename()", "serverproperty()", "avg()"}) {
        OdbcBatch refused = c->run(std::string("select ") + call);
        EXPECT_FALSE(refused.ok) << call;
        EXPECT_TRUE(refused.mentions(" function requires ")) << call;
    }
    EXPECT_TRUE(c->run("select charindex('a')").mentions("The charindex function requires 2 to 3 arguments."));
    OdbcBatch deep = c->run("select " + std::string(100000, '~') + "1");
    EXPECT_TRUE(deep.mentions("191")) << (deep.messages.empty() ? "" : deep.messages[0]);
    // Long flat chains (the engine's own tests take 100,000 terms; these stay quick).
    std::string sum = "select 1", ors = "select count(*) from sysobjects where id = 0";  // no id is 0 or -1
    for (int i = 1; i < 30000; ++i) {
        sum += "+1";
        ors += " or id = -1";
    }
    EXPECT_EQ(c->scalar(sum), "30000");
    EXPECT_EQ(c->scalar(ors), "0");
    EXPECT_EQ(c->scalar("select dateadd(ms, 3, '2004-01-01')"), "2004-01-01 00:00:00.003");
    EXPECT_EQ(c->scalar("select cast(10 as decimal(38,10)) / cast(4 as decimal(38,10))"), "2.500000");
    auto other = connect();  // a new session is served as before
    EXPECT_EQ(other->scalar("select 40 + 2"), "42");
}
