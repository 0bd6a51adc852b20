// Schemas of a sandbox started as SQL Server 2019, and dynamic batches (EXEC ('...')) in both
// modes, through the real FreeTDS ODBC driver: objects of one name in two schemas, every
// statement that takes an object's name given schema.name, and schemas kept across a restart
// and a backup.

#include "odbc_suite.hpp"
#include "scratch_folder.hpp"

#include <gtest/gtest.h>

#include <memory>

using namespace sandbox::testing;

namespace {

using Rows = std::vector<std::vector<std::optional<std::string>>>;

class SandboxSchemas : public TwoVersionSuite {
protected:
    // A database of its own for each test, so that their schemas do not meet.
    static std::unique_ptr<OdbcConnection> freshDatabase(const SandboxProcess& server, const std::string& name) {
        auto c = connect(server);
        EXPECT_TRUE(c->run("create database " + name).ok);
        return connect(server, name);
    }
    static void expectError(OdbcConnection& c, const std::string& sql, const std::string& number) {
        OdbcBatch batch = c.run(sql);
        EXPECT_FALSE(batch.ok) << sql;
        EXPECT_TRUE(batch.mentions(number)) << sql << "\n" << (batch.messages.empty() ? "" : batch.messages[0]);
    }
};

}  // namespace

TEST_F(SandboxSchemas, CreateSchemaNumbersSchemasAsSqlServerAndRefusesWhatItRefuses) {
    auto c = freshDatabase(*sql2019_, "s_made");
    runOk(*c, "create schema sales authorization dbo");
    runOk(*c, "create schema [my schema]");
    EXPECT_EQ(c->run("select name, schema_id, principal_id from sys.schemas where schema_id between 1 and 10 "
                     "order by schema_id").results.at(0).rows,
              (Rows{{"dbo", "1", "1"}, {"guest", "2", "2"}, {"INFORMATION_SCHEMA", "3", "3"}, {"sys", "4", "4"},
                    {"sales", "5", "1"}, {"my schema", "6", "1"}}));
    EXPECT_EQ(c->run("select schema_id('sales'), schema_id(), schema_name(6), schema_name(), schema_name(99)")
                  .results.at(0).rows,
              (Rows{{"5", "1", "my schema", "dbo", std::nullopt}}));

    runOk(*c, "create table [my schema].[a.b] (id int) insert \"my schema\".[a.b] values (1)");
    EXPECT_EQ(c->scalar("select object_schema_name(object_id('[my schema].[a.b]')) + '/' + object_name(object_id("
                        "N'[my schema].[a.b]'))"),
              "my schema/a.b");
    expectError(*c, "drop schema [my schema]", "3729");

    expectError(*c, "select 1 create schema late", "111");
    expectError(*c, "create schema SALES", "2714");
    runOk(*c, "create table sales.t (id int)");
    expectError(*c, "drop schema sales", "3729");
    expectError(*c, "drop schema nowhere", "15151");
    expectError(*c, "create table nowhere.t (id int)", "2760");
    runOk(*c, "drop table sales.t drop schema sales");
    EXPECT_EQ(c->scalar("select count(*) from sys.schemas where name = 'sales'"), "0");
    runOk(*c, "create schema sales");
    EXPECT_EQ(c->scalar("select schema_id('sales')"), "7");

    // Under SQL Server 2000 a schema is its owner: CREATE SCHEMA takes only AUTHORIZATION.
    auto old = freshDatabase(*sql2000_, "s_old");
    expectError(*old, "create schema sales", "170");
    expectError(*old, "select schema_id('dbo')", "195");
    expectError(*old, "create table sales.t (id int)", "2760");
    runOk(*old, "create table dbo.t (id int) insert dbo.t values (1)");
    EXPECT_EQ(old->scalar("select count(*) from t where id = 1"), "1");
    EXPECT_EQ(old->scalar("select uid from sysobjects where name = 't'"), "1");
}

// One table name in dbo and in sales: each statement that names a table reaches the one its
// schema says, and an unqualified name means dbo.
TEST_F(SandboxSchemas, EveryStatementReachesTheObjectOfItsSchema) {
    auto c = freshDatabase(*sql2019_, "s_names");
    runOk(*c, "create schema sales");
    runOk(*c,
          "create table t (id int identity primary key, v varchar(10)) "
          "create table sales.t (id int identity(100, 1) constraint pk_t primary key, v varchar(10) default 'x') "
          "create table \"sales\".[child] (id int references sales.t (id), w int constraint ck_w check (w > 0)) "
          "create table child (id int references t (id), w int constraint ck_w check (w > 0))");
    runOk(*c, "insert into sales.t (v) values ('sold') insert t (v) values ('plain') insert [sales].child values (100, 1)");
    EXPECT_EQ(c->run("select id, v from sales.t select id, v from dbo.t select count(*) from sales.child").results.size(), 3u);
    EXPECT_EQ(c->scalar("select v from sales.t"), "sold");
    EXPECT_EQ(c->scalar("select v from t"), "plain");
    EXPECT_EQ(c->scalar("select s.v + '/' + d.v from sales.t s join dbo.t d on d.id + 99 = s.id"), "sold/plain");
    EXPECT_EQ(c->run("select o.name, o.uid, rtrim(o.xtype) from sysobjects o where o.name in ('t', 'pk_t', 'ck_w') "
                     "order by o.uid, o.xtype").results.at(0).rows,
              (Rows{{"ck_w", "1", "C"}, {"t", "1", "U"}, {"ck_w", "5", "C"}, {"pk_t", "5", "PK"}, {"t", "5", "U"}}));
    EXPECT_EQ(c->scalar("select count(*) from sys.objects where schema_id = 5 and parent_object_id = object_id('sales.t')"), "2");
    expectError(*c, "insert sales.child values (1, 1)", "547");  // its key references sales.t, not dbo.t
    expectError(*c, "alter table sales.t add constraint pk_t unique (v)", "2714");

    runOk(*c, "update sales.t set v = 'resold' delete from dbo.child truncate table dbo.child");
    runOk(*c, "select * into sales.copy from sales.t where id = 100");
    EXPECT_EQ(c->scalar("select v from sales.copy"), "resold");
    EXPECT_EQ(c->scalar("select object_schema_name(object_id('sales.copy'))"), "sales");
    runOk(*c, "alter table sales.child nocheck constraint ck_w insert sales.child values (100, -1) "
              "alter table sales.child check constraint ck_w");
    runOk(*c, "create index ix_v on sales.t (v) create index ix_v on t (v)");
    EXPECT_EQ(c->scalar("select index_col('sales.t', 2, 1)"), "v");
    runOk(*c, "drop index sales.t.ix_v");
    EXPECT_EQ(c->scalar("select count(*) from sysindexes where name = 'ix_v'"), "1");  // dbo.t keeps its own
    runOk(*c, "drop index ix_v on dbo.t");
    EXPECT_EQ(c->scalar("select count(*) from sysindexes where name = 'ix_v'"), "0");

    runOk(*c, "create table sales.notes (body text) create table notes (body text) "
              "insert sales.notes values ('abc') insert notes values ('xyz')");
    runOk(*c, "declare @p varbinary(16) select @p = textptr(body) from sales.notes updatetext sales.notes.body @p null 0 'def'");
    EXPECT_EQ(c->scalar("select convert(varchar(10), s.body) + convert(varchar(10), d.body) from sales.notes s, notes d"),
              "abcdefxyz");

    runOk(*c, "set identity_insert sales.t on insert sales.t (id, v) values (500, 'set') set identity_insert sales.t off");
    EXPECT_EQ(c->run("select ident_current('sales.t'), ident_seed('[sales].[t]'), ident_current('t')").results.at(0).rows,
              (Rows{{"500", "100", "1"}}));
    runOk(*c, "dbcc checkident ('sales.t', reseed, 900)");
    runOk(*c, "insert sales.t (v) values ('after')");
    EXPECT_EQ(c->scalar("select max(id) from sales.t"), "901");
    EXPECT_EQ(c->run("select objectproperty(object_id('sales.t'), 'OwnerId'), "
                     "columnproperty(object_id('sales.t'), 'id', 'IsIdentity'), col_name(object_id('sales.t'), 2), "
                     "object_id('sales.t') - object_id('dbo.t'), object_id(N'[sales].t') - object_id('sales.t')")
                  .results.at(0).rows.at(0).at(0),
              "5");
    EXPECT_EQ(c->scalar("select case when object_id('sales.t') <> object_id('t') and object_id('nowhere.t') is null "
                        "and object_id('s_names.sales.t') = object_id('sales.t') and object_id('s_names..t') = "
                        "object_id('dbo.t') then 'ok' end"),
              "ok");
}

TEST_F(SandboxSchemas, ModulesLiveInTheirSchemaAndAreCalledByIt) {
    auto c = freshDatabase(*sql2019_, "s_modules");
    runOk(*c, "create schema sales create table t (id int, v varchar(10))");  // the table belongs to the schema
    runOk(*c, "create table t (id int, v varchar(10)) insert sales.t values (1, 'sold') insert t values (2, 'plain')");
    runOk(*c, "create view sales.v as select v from sales.t");
    runOk(*c, "create view v as select v from t");
    runOk(*c, "create procedure sales.p @id int as select v from sales.t where id = @id");
    runOk(*c, "create function sales.f (@x int) returns int as begin return @x + 5 end");
    runOk(*c, "create function sales.tvf (@id int) returns table as return select v from sales.t where id = @id");
    runOk(*c, "create trigger sales.tr_t on sales.t for insert as select 1");
    EXPECT_EQ(c->scalar("select v from sales.v"), "sold");
    EXPECT_EQ(c->scalar("select v from v"), "plain");
    EXPECT_EQ(c->scalar("exec sales.p 1"), "sold");
    EXPECT_EQ(c->scalar("select sales.f(1)"), "6");
    EXPECT_EQ(c->scalar("select v from sales.tvf(1)"), "sold");
    expectError(*c, "exec p 1", "2812");  // no dbo.p
    EXPECT_FALSE(c->run("select dbo.f(1)").ok);
    EXPECT_EQ(c->scalar("select uid from sysobjects where name = 'tr_t'"), "5");
    runOk(*c, "alter table sales.t disable trigger tr_t alter table sales.t enable trigger all");
    EXPECT_EQ(c->scalar("select count(*) from sysdepends where id = object_id('sales.v') and depid = object_id('sales.t')"), "1");
    OdbcBatch text = runOk(*c, "exec sp_helptext 'sales.v'");
    EXPECT_NE(text.results.at(0).rows.at(0).at(0).value_or("").find("sales.v"), std::string::npos);
    runOk(*c, "create index ix on sales.t (id)");
    EXPECT_EQ(runOk(*c, "exec sp_helpindex 'sales.t'").results.at(0).rows.at(0).at(0), "ix");
    // Inside a module a name without schema is looked up in the module's schema, then in dbo; a
    // dynamic batch looks it up as a batch of the caller does.
    runOk(*c, "create procedure sales.p_plain as select v from t");
    runOk(*c, "create procedure p_plain as select v from t");
    runOk(*c, "create view sales.v_plain as select v from t");
    runOk(*c, "create procedure sales.p_dynamic as exec ('select v from t')");
    EXPECT_EQ(c->scalar("exec sales.p_plain"), "sold");
    EXPECT_EQ(c->scalar("exec p_plain"), "plain");
    EXPECT_EQ(c->scalar("select v from sales.v_plain"), "sold");
    EXPECT_EQ(c->scalar("exec sales.p_dynamic"), "plain");
    EXPECT_EQ(c->scalar("select count(*) from sysdepends where id = object_id('sales.v_plain') and depid = object_id('sales.t')"), "1");

    runOk(*c, "drop trigger sales.tr_t drop function sales.f, sales.tvf drop procedure sales.p drop view sales.v");
    EXPECT_EQ(c->scalar("select count(*) from sysobjects where uid = 5"), "4");
    EXPECT_EQ(c->scalar("select count(*) from sysobjects where name = 'v'"), "1");  // dbo.v stays
}

// The text runs as a batch of its own: its CREATE SCHEMA starts that batch, it sees none of
// the caller's variables, and a fault in it leaves the caller's batch going.
TEST_F(SandboxSchemas, DynamicBatchesRunInBothVersions) {
    auto c = freshDatabase(*sql2019_, "s_dynamic");
    const std::string ensure = "IF SCHEMA_ID(N'sales') IS NULL EXEC(N'CREATE SCHEMA [sales]')";
    runOk(*c, ensure);
    runOk(*c, ensure);  // the second time it does nothing
    EXPECT_EQ(c->scalar("select schema_id('sales')"), "5");
    runOk(*c, "declare @s sysname, @n int set @s = N'sales' set @n = 3 "
              "execute (N'create table ' + @s + N'.t (id int) insert ' + @s + N'.t values (' + '3' + N')')");
    EXPECT_EQ(c->scalar("exec ('select id from sales.t')"), "3");
    EXPECT_TRUE(c->run("declare @v int set @v = 1 exec ('select @v') create table after_hidden (id int)").mentions("137"));
    EXPECT_TRUE(c->run("exec ('select from') create table after_broken (id int)").mentions("156"));
    EXPECT_EQ(c->scalar("select count(*) from sysobjects where name like 'after[_]%'"), "2");  // the batches went on
    runOk(*c, "create procedure again as exec ('exec again')");
    expectError(*c, "exec again", "217");
    runOk(*c, "exec ('use master') create table stays_here (id int)");
    EXPECT_EQ(c->scalar("select db_name() + '/' + convert(varchar, count(*)) from sysobjects where name = 'stays_here'"),
              "s_dynamic/1");

    auto old = freshDatabase(*sql2000_, "s_dynamic_old");
    runOk(*old, "declare @t sysname set @t = 'kept' exec ('create table ' + @t + ' (id int)')");
    EXPECT_EQ(old->scalar("exec ('select count(*) from sysobjects where name = ''kept''')"), "1");
    expectError(*old, "exec (N'create schema sales')", "170");
}

TEST_F(SandboxSchemas, SchemasSurviveARestartAndABackup) {
    ScratchFolder data;
    {
        SandboxProcess server("Data#1", false, {"--data", data.path(), "--version", "2019"});
        OdbcConnection setup(server.odbcConnectionString());
        ASSERT_TRUE(setup.run("create database kept").ok);
        OdbcConnection c(server.odbcConnectionString("kept"));
        runOk(c, "create schema sales");
        runOk(c, "create schema spare");
        runOk(c, "create table sales.t (id int primary key) create table t (id int) insert sales.t values (7)");
        runOk(c, "backup database kept to disk = '" + data.path() + "/kept.bak' with init");
        runOk(c, "drop table sales.t drop schema sales");
        runOk(c, "use master restore database kept from disk = '" + data.path() + "/kept.bak' with replace");
        EXPECT_EQ(c.scalar("select id from kept.sales.t"), "7");
        runOk(c, "use kept");
        runOk(c, "create schema later create table u (id int)");  // kept in the journal only
    }
    SandboxProcess restarted("Data#1", false, {"--data", data.path(), "--version", "2019"});
    OdbcConnection c(restarted.odbcConnectionString("kept"));
    EXPECT_EQ(c.run("select name, schema_id from sys.schemas where schema_id between 5 and 100 order by schema_id")
                  .results.at(0).rows,
              (Rows{{"sales", "5"}, {"spare", "6"}, {"later", "7"}}));
    EXPECT_EQ(c.scalar("select id from sales.t"), "7");
    EXPECT_EQ(c.scalar("select count(*) from sysobjects where uid = 5"), "2");  // the table and its key
    EXPECT_EQ(c.scalar("select object_schema_name(object_id('later.u'))"), "later");
    EXPECT_TRUE(c.run("create table sales.t (id int)").mentions("2714"));
}

// Level 0 names the schema (SCHEMA from SQL Server 2005 on, USER as SQL Server 2000 has it):
// properties go to the object of that schema, and come back from it alone.
TEST_F(SandboxSchemas, ExtendedPropertiesBelongToTheObjectOfTheirSchema) {
    auto c = freshDatabase(*sql2019_, "s_remarks");
    runOk(*c, "create schema sales");
    runOk(*c, "create table sales.t (id int, label varchar(10)) create table t (id int, label varchar(10))");
    auto add = [](const std::string& procedure, const std::string& schema, const std::string& value,
                  const std::string& column = "") {
        return "exec " + procedure + " N'MS_Description', " + (value.empty() ? "" : "N'" + value + "', ") +
               "N'SCHEMA', N'" + schema + "', N'TABLE', N't'" + (column.empty() ? "" : ", N'COLUMN', N'" + column + "'");
    };
    runOk(*c, add("sp_addextendedproperty", "sales", "sold things"));
    runOk(*c, add("sp_addextendedproperty", "sales", "its label", "label"));
    runOk(*c, "exec sp_addextendedproperty 'MS_Description', 'plain things', 'user', 'dbo', 'table', 't'");
    EXPECT_EQ(c->run("select minor_id, convert(varchar(20), value) from sys.extended_properties "
                     "where major_id = object_id('sales.t') order by minor_id").results.at(0).rows,
              (Rows{{"0", "sold things"}, {"2", "its label"}}));
    OdbcBatch listed = runOk(*c,
                             "select objname, convert(varchar(20), value) "
                             "from fn_listextendedproperty(NULL, 'schema', 'sales', 'table', NULL, NULL, NULL) "
                             "select objtype, objname, convert(varchar(20), value) "
                             "from fn_listextendedproperty(NULL, 'schema', 'sales', 'table', 't', 'column', default)");
    ASSERT_EQ(listed.results.size(), 2u);
    EXPECT_EQ(listed.results[0].rows, (Rows{{"t", "sold things"}}));
    EXPECT_EQ(listed.results[1].rows, (Rows{{"COLUMN", "label", "its label"}}));

    runOk(*c, add("sp_updateextendedproperty", "sales", "resold"));
    EXPECT_EQ(c->scalar("select convert(varchar(20), value) from sys.extended_properties "
                        "where major_id = object_id('sales.t') and minor_id = 0"),
              "resold");
    runOk(*c, add("sp_dropextendedproperty", "sales", ""));
    EXPECT_EQ(c->scalar("select count(*) from sys.extended_properties where major_id = object_id('sales.t')"), "1");
    EXPECT_EQ(c->scalar("select convert(varchar(20), value) from sys.extended_properties "
                        "where major_id = object_id('dbo.t')"),
              "plain things");
    expectError(*c, add("sp_dropextendedproperty", "sales", ""), "15217");
    expectError(*c, add("sp_updateextendedproperty", "sales", "x"), "15217");
    expectError(*c, add("sp_addextendedproperty", "sales", "again", "label"), "15233");
    expectError(*c, add("sp_addextendedproperty", "nowhere", "lost"), "15135");

    // SQL Server 2000 knows no SCHEMA level.
    auto old = freshDatabase(*sql2000_, "s_remarks_old");
    runOk(*old, "create table t (id int)");
    expectError(*old, add("sp_addextendedproperty", "dbo", "refused"), "15600");
    EXPECT_EQ(old->scalar("select count(*) from sysproperties"), "0");
    runOk(*old, "exec sp_addextendedproperty 'MS_Description', 'kept', 'user', 'dbo', 'table', 't'");
    runOk(*old, "exec sp_updateextendedproperty 'MS_Description', 'changed', 'user', 'dbo', 'table', 't'");
    EXPECT_EQ(old->scalar("select convert(varchar(20), value) from sysproperties"), "changed");
}
