// The engine without the network: conversions with SQL Server 2000's results, batch error
// rules, variables, identity, and the catalogue staying consistent with DDL.

#include "engine/convert.hpp"
#include "engine/engine.hpp"
#include "engine/error.hpp"

#include <gtest/gtest.h>

using namespace sandbox;

namespace {

// Collects what a batch produced, as text.
class CollectingSink : public ResultSink {
public:
    struct Result {
        std::vector<ColumnInfo> columns;
        std::vector<std::vector<std::string>> rows;
    };
    std::vector<Result> results;
    std::vector<ServerMessage> messages;
    std::vector<std::pair<bool, uint64_t>> dones;  // counted, rows
    int errors = 0;

    void beginResult(const std::vector<ColumnInfo>& columns) override { results.push_back({columns, {}}); }
    bool row(const Value* values) override {
        std::vector<std::string> row;
        for (size_t i = 0; i < results.back().columns.size(); ++i)
            row.push_back(values[i].isNull() ? "NULL" : formatValue(values[i], 121));
        results.back().rows.push_back(row);
        return true;
    }
    void message(const ServerMessage& m) override { messages.push_back(m); }
    void databaseChanged(const std::string&, const std::string&) override {}
    void returnStatus(int32_t) override {}
    void statementDone(StatementKind, bool counted, uint64_t rows, bool error) override {
        dones.emplace_back(counted, rows);
        errors += error;
    }
    bool cancelled() const override { return false; }
};

class SandboxEngine : public ::testing::Test {
protected:
    SandboxEngine() : session_(engine_.openSession({"sa", "host", "test", "master", 1})) {}

    CollectingSink run(const std::string& sql) {
        CollectingSink sink;
        engine_.execute(*session_, sql, sink);
        return sink;
    }
    std::string scalar(const std::string& sql) {
        CollectingSink sink = run(sql);
        if (sink.results.empty() || sink.results.back().rows.empty())
            return sink.messages.empty() ? "<none>" : "error " + std::to_string(sink.messages.back().number);
        return sink.results.back().rows[0][0];
    }

    Engine engine_;
    std::unique_ptr<Session> session_;
};

}  // namespace

TEST(SandboxConvert, CharacterTargetsTooShortFollowSqlServer2000) {
    SqlType varchar3 = SqlType::chars(TypeId::VarChar, 3);
    EXPECT_EQ(convertValue(Value::integer(123456), varchar3).asText(), "*");
    EXPECT_EQ(convertValue(Value::integer(123), varchar3).asText(), "123");
    EXPECT_THROW(convertValue(Value::integer(123456), SqlType::chars(TypeId::NVarChar, 3)), SqlError);
    EXPECT_THROW(convertValue(Value::decimal({123456, 2}, SqlType::decimal(10, 2)), varchar3), SqlError);
    EXPECT_EQ(convertValue(Value::varchar("abcdef"), varchar3).asText(), "abc");          // CAST truncates
    EXPECT_THROW(assignValue(Value::varchar("abcdef"), varchar3), SqlError);             // INSERT refuses
    EXPECT_EQ(convertValue(Value::varchar("中文"), varchar3).asText(), "中");              // bytes of code page 936
}

TEST(SandboxConvert, NumbersDatesAndTextRoundTrip) {
    EXPECT_EQ(formatValue(convertValue(Value::varchar("12.345"), SqlType::decimal(10, 2))), "12.35");
    EXPECT_EQ(formatValue(convertValue(Value::varchar("-12.345"), SqlType::decimal(10, 2))), "-12.35");
    EXPECT_EQ(formatValue(convertValue(Value::varchar("2.5"), SqlType::of(TypeId::Money))), "2.50");
    EXPECT_THROW(convertValue(Value::varchar("abc"), SqlType::of(TypeId::Int)), SqlError);
    EXPECT_THROW(convertValue(Value::integer(300), SqlType::of(TypeId::TinyInt)), SqlError);
    Value when = convertValue(Value::varchar("2024-01-15 13:45:30.5"), SqlType::of(TypeId::DateTime));
    EXPECT_EQ(when.asDateTime().days, 45304);
    EXPECT_EQ(when.asDateTime().ticks, 14859150u);
    EXPECT_EQ(formatValue(when), "Jan 15 2024  1:45PM");
    EXPECT_EQ(formatValue(when, 120), "2024-01-15 13:45:30");
    EXPECT_EQ(formatValue(convertValue(Value::varchar("20240115"), SqlType::of(TypeId::DateTime)), 121),
              "2024-01-15 00:00:00.000");
    EXPECT_THROW(convertValue(Value::varchar("2024-13-45"), SqlType::of(TypeId::DateTime)), SqlError);
    EXPECT_EQ(compareValues(Value::varchar("ABC  "), Value::nvarchar("abc")), 0);
    EXPECT_LT(compareValues(Value::integer(2), Value::decimal({250, 2}, SqlType::decimal(5, 2))), 0);
    EXPECT_THROW(arithmetic('+', Value::integer(2147483647), Value::integer(1)), SqlError);
    EXPECT_THROW(arithmetic('/', Value::integer(1), Value::integer(0)), SqlError);
    EXPECT_EQ(formatValue(arithmetic('/', Value::decimal({100, 0}, SqlType::decimal(3, 0)), Value::integer(3))),
              "33.33333333333");  // decimal(3,0) / int: scale max(6, 0 + 10 + 1) = 11
}

TEST_F(SandboxEngine, ErrorsStopTheBatchOrOnlyTheStatementAsSqlServerDoes) {
    run("create table t (id int primary key, v varchar(5) not null)");
    CollectingSink duplicate = run("insert t values (1, 'a') insert t values (1, 'b') insert t values (2, 'c')");
    ASSERT_FALSE(duplicate.messages.empty());
    EXPECT_EQ(duplicate.messages[0].number, 2627);
    EXPECT_EQ(scalar("select count(*) from t"), "2");  // the batch went on after the key violation

    CollectingSink missing = run("select * from nowhere select 1");
    EXPECT_EQ(missing.messages[0].number, 208);
    EXPECT_TRUE(missing.results.empty());  // name errors end the batch

    CollectingSink syntax = run("insert t values (3, 'd') select from");
    EXPECT_EQ(syntax.messages[0].number, 156);
    EXPECT_EQ(scalar("select count(*) from t"), "2");  // nothing of a batch that does not parse runs
    EXPECT_EQ(scalar("select @@error"), "0");
    EXPECT_EQ(run("select x from t").messages[0].number, 207);
    EXPECT_EQ(run("select nosuchfunction(1)").messages[0].number, 195);
    EXPECT_EQ(run("select @undeclared").messages[0].number, 137);
    EXPECT_EQ(run("create table t (x int)").messages[0].number, 2714);
}

TEST_F(SandboxEngine, VariablesLiveForOneBatch) {
    EXPECT_EQ(scalar("declare @a int, @s varchar(3) set @a = 41 select @a = @a + 1 set @s = 'abcdef' select @s + cast(@a as varchar)"),
              "abc42");
    EXPECT_EQ(run("select @a").messages[0].number, 137);
}

TEST_F(SandboxEngine, IdentityAndSelectInto) {
    run("create table src (name varchar(10))");
    run("insert src values ('b') insert src values ('a') insert src values ('c')");
    run("select identity(int, 100, 10) as n, name into #numbered from src order by name");
    CollectingSink rows = run("select n, name from #numbered order by n");
    ASSERT_EQ(rows.results.size(), 1u);
    EXPECT_EQ(rows.results[0].rows, (std::vector<std::vector<std::string>>{{"100", "a"}, {"110", "b"}, {"120", "c"}}));
    EXPECT_TRUE(rows.results[0].columns[0].identity);
    EXPECT_EQ(run("select identity(int, 1, 1) as n from src").messages[0].number, 177);
    run("create table ids (id int identity(5, 2), v int)");
    run("insert ids (v) values (1) insert ids (v) values (2)");
    EXPECT_EQ(scalar("select max(id) from ids"), "7");
    EXPECT_EQ(run("insert ids (id, v) values (1, 1)").messages[0].number, 544);
}

TEST_F(SandboxEngine, CatalogueFollowsDdl) {
    run("create database cat use cat");
    run("create table t (a int not null, b nvarchar(20) default (N'x'), c decimal(18,2), primary key (b, a))");
    EXPECT_EQ(scalar("select count(*) from sysobjects where parent_obj = object_id('t')"), "2");  // PK and default
    EXPECT_EQ(scalar("select xtype from sysobjects where xtype = 'PK'"), "PK");
    EXPECT_EQ(scalar("select type from sysobjects where xtype = 'PK'"), "K ");
    EXPECT_EQ(scalar("select length from syscolumns where name = 'b'"), "40");
    EXPECT_EQ(scalar("select isnullable from syscolumns where name = 'b'"), "0");  // key columns become NOT NULL
    EXPECT_EQ(scalar("select prec from syscolumns where name = 'c'"), "18");
    EXPECT_EQ(scalar("select status from sysindexes where indid = 1 and id = object_id('t')"), "2066");
    EXPECT_EQ(scalar("select name from systypes where xusertype = 256"), "sysname");
    EXPECT_EQ(scalar("select count(*) from systypes where xtype = 231"), "2");
    EXPECT_EQ(scalar("select text from syscomments where id = (select cdefault from syscolumns where name = 'b')"), "(N'x')");
    EXPECT_EQ(scalar("select count(*) from sysindexkeys where id = object_id('t')"), "2");
    EXPECT_EQ(scalar("select colid from sysindexkeys where id = object_id('t') and keyno = 1"), "2");  // key (b, a)
    EXPECT_EQ(scalar("select count(*) from sysconstraints where id = object_id('t')"), "2");
    run("create procedure p as select a from t");
    EXPECT_EQ(scalar("select count(*) from sysdepends where id = object_id('p')"), "1");
    run("drop table t");
    EXPECT_EQ(scalar("select count(*) from sysobjects where xtype in ('U', 'PK', 'D')"), "0");
    EXPECT_EQ(scalar("select count(*) from sysdepends"), "1");  // the procedure's row stays, stale
    EXPECT_EQ(scalar("select count(*) from master.dbo.sysdatabases where name = 'cat'"), "1");
    EXPECT_EQ(scalar("select count(*) from master.dbo.spt_values where type = 'O9T'"), "19");
}

TEST_F(SandboxEngine, SystemProceduresHaveSqlServer2000Shapes) {
    run("create table plain (x int)");
    CollectingSink none = run("exec sp_helpindex 'plain'");
    EXPECT_TRUE(none.results.empty());
    ASSERT_FALSE(none.messages.empty());
    EXPECT_EQ(none.messages[0].number, 15472);
    EXPECT_EQ(run("exec sp_helptext 'plain'").messages[0].number, 15197);
    EXPECT_EQ(run("exec sp_helptext 'nothing'").messages[0].number, 15009);
    CollectingSink files = run("exec sp_helpfile");
    ASSERT_EQ(files.results.size(), 1u);
    EXPECT_EQ(files.results[0].rows.size(), 2u);
    EXPECT_EQ(files.results[0].rows[1][7], "log only");
    run("exec sp_addextendedproperty 'MS_Description', 'the x', 'user', 'dbo', 'table', 'plain', 'column', 'x'");
    EXPECT_EQ(scalar("select cast(value as varchar(10)) from sysproperties where smallid = 1"), "the x");
    EXPECT_EQ(run("exec sp_addextendedproperty 'MS_Description', 'again', 'user', 'dbo', 'table', 'plain', 'column', 'x'")
                  .messages[0].number, 15233);
}

TEST_F(SandboxEngine, UpdateAndDeleteThroughJoins) {
    run("create table a (id int primary key, v varchar(10), n int default 5)");
    run("create table b (id int, w varchar(10))");
    run("insert a values (1, 'one', default) insert a values (2, 'two', 7) insert a (id, v) values (3, 'three')");
    run("insert b values (1, 'uno') insert b values (3, 'tres')");
    CollectingSink updated = run("update a set v = b.w from a join b on a.id = b.id");
    EXPECT_EQ(updated.dones.back(), (std::pair<bool, uint64_t>{true, 2}));
    CollectingSink rows = run("select v, n from a order by id");
    EXPECT_EQ(rows.results[0].rows, (std::vector<std::vector<std::string>>{{"uno", "5"}, {"two", "7"}, {"tres", "5"}}));
    run("delete a from a inner join b on a.id = b.id where b.w = 'uno'");
    EXPECT_EQ(scalar("select count(*) from a"), "2");
    EXPECT_EQ(run("update a set id = 3 where id = 2").messages[0].number, 2627);  // keys hold after UPDATE
    EXPECT_EQ(scalar("select count(*) from a where id = 2"), "1");
}

TEST_F(SandboxEngine, ViewsFunctionsAndProceduresRun) {
    run("create table t (id int primary key, name varchar(10))");
    run("insert t values (1, 'a') insert t values (2, 'b')");
    run("create function dbo.twice (@x int) returns int as begin return @x * 2 end");
    run("create function dbo.named (@id int) returns table as return (select name from t where id = @id)");
    run("create view v_t (ident, label) as select id, name from t");
    run("create procedure p_rc @a int as if @a > 1 return 5 select 'low'");
    CollectingSink call = run("select dbo.twice(21), * from dbo.named(2)");
    ASSERT_EQ(call.results.size(), 1u);
    EXPECT_EQ(call.results[0].rows, (std::vector<std::vector<std::string>>{{"42", "b"}}));
    EXPECT_EQ(run("select twice(1)").messages[0].number, 195);  // user functions need their owner
    CollectingSink viewColumns = run("select name from syscolumns where id = object_id('v_t') order by colid");
    EXPECT_EQ(viewColumns.results[0].rows, (std::vector<std::vector<std::string>>{{"ident"}, {"label"}}));
    EXPECT_EQ(scalar("select count(*) from v_t where label = 'B'"), "1");
    EXPECT_EQ(scalar("declare @rc int exec @rc = p_rc 3 select @rc"), "5");
    EXPECT_EQ(scalar("exec p_rc @a = 0"), "low");
    EXPECT_EQ(run("create view v_bad as select * from missing").messages[0].number, 208);
    EXPECT_EQ(scalar("select count(*) from sysobjects where name = 'v_bad'"), "0");
}

TEST_F(SandboxEngine, QueriesThatWouldAnswerWronglyAreRefused) {
    run("create table g (k int, v int)");
    run("insert g values (1, 10) insert g values (1, 20) insert g values (2, 5)");
    EXPECT_EQ(run("select k, v from g group by k").messages.at(0).number, 8120);
    EXPECT_EQ(run("select * from g group by k").messages.at(0).number, 8120);
    CollectingSink grouped = run("select k, sum(v) s from g group by k having sum(v) > 10 order by k");
    EXPECT_EQ(grouped.results.at(0).rows, (std::vector<std::vector<std::string>>{{"1", "30"}}));
    EXPECT_EQ(run("select distinct k from g order by v").messages.at(0).number, 145);
    EXPECT_EQ(run("select count(*) into #nameless from g").messages.at(0).number, 8155);
    EXPECT_EQ(run("set no_such_option on").messages.at(0).number, 195);
}

TEST_F(SandboxEngine, UnionsAndSessionOptions) {
    run("create table u1 (a int) create table u2 (b int)");
    run("insert u1 values (1) insert u1 values (2) insert u2 values (2) insert u2 values (3)");
    CollectingSink distinct = run("select a from u1 union select b from u2 order by 1 desc");
    EXPECT_EQ(distinct.results.at(0).rows, (std::vector<std::vector<std::string>>{{"3"}, {"2"}, {"1"}}));
    CollectingSink all = run("select a from u1 union all select b from u2");
    EXPECT_EQ(all.results.at(0).rows.size(), 4u);
    EXPECT_EQ(run("select a, a from u1 union select b from u2").messages.at(0).number, 205);

    EXPECT_EQ(run("set rowcount 1 select a from u1 order by a desc").results.at(0).rows,
              (std::vector<std::vector<std::string>>{{"2"}}));
    run("set rowcount 0");
    CollectingSink described = run("set fmtonly on select a from u1 set fmtonly off");
    ASSERT_EQ(described.results.size(), 1u);
    EXPECT_TRUE(described.results[0].rows.empty());

    run("create table ids (id int identity(1,1), v int)");
    EXPECT_EQ(run("insert ids (id, v) values (10, 1)").messages.at(0).number, 544);
    run("set identity_insert ids on insert ids (id, v) values (10, 1) set identity_insert ids off");
    run("insert ids (v) values (2)");
    EXPECT_EQ(scalar("select max(id) from ids"), "11");
}

TEST_F(SandboxEngine, BuiltInFunctionsGiveSqlServer2000Results) {
    EXPECT_EQ(scalar("select substring('abcdef', 0, 3)"), "ab");      // start 0 eats one of the length
    EXPECT_EQ(scalar("select substring(N'中文字', 2, 5)"), "文字");
    EXPECT_EQ(run("select substring('abc', 1, -1)").messages.at(0).number, 536);
    EXPECT_EQ(scalar("select left('abc', 10) + '|' + right('abc', 2)"), "abc|bc");
    EXPECT_EQ(scalar("select charindex('C', 'abcabc', 4)"), "6");     // case ignored, search from 4
    EXPECT_EQ(scalar("select replace('aBcabc', 'b', 'X')"), "aXcaXc");
    EXPECT_EQ(scalar("select datalength(N'ab') * 10 + datalength('中')"), "42");
    EXPECT_EQ(scalar("select len(N'中文  ')"), "2");
    EXPECT_EQ(scalar("select isnull(space(-1), 'x')"), "x");  // negative lengths give NULL
    EXPECT_EQ(scalar("select isnull(null, 'untyped')"), "untyped");
    EXPECT_EQ(scalar("declare @c char(2) select isnull(@c, 'abcdef')"), "ab");  // the first argument's length
    EXPECT_EQ(scalar("select coalesce(null, null, 3)"), "3");
    EXPECT_EQ(scalar("select nullif(1, 1)"), "NULL");
    EXPECT_EQ(scalar("select upper(N'abc中') + lower('XY')"), "ABC中xy");
    EXPECT_EQ(scalar("select rtrim(ltrim('  a  ')) + '|'"), "a|");
    EXPECT_EQ(scalar("select type_name(231) + ',' + type_name(256) + ',' + isnull(type_name(1), 'none')"), "nvarchar,sysname,none");
    EXPECT_EQ(scalar("select db_name() + ',' + db_name(2) + ',' + user_name(1)"), "master,tempdb,dbo");
    EXPECT_EQ(scalar("select convert(varchar(10), cast('2024-01-15' as datetime), 112)"), "20240115");
    EXPECT_EQ(scalar("select cast(1.5 as int) + cast('7' as int)"), "8");
    EXPECT_EQ(run("select cast('x7' as int)").messages.at(0).number, 245);
    EXPECT_EQ(scalar("select @@spid"), std::to_string(session_->spid()));
    EXPECT_NE(scalar("select @@version").find("Microsoft SQL Server  2000"), std::string::npos);
}

TEST_F(SandboxEngine, ProcedureArgumentsByPositionNameAndDefault) {
    run("create procedure p_args @a int, @b varchar(10) = 'dflt' as select cast(@a as varchar(5)) + ':' + isnull(@b, 'null')");
    EXPECT_EQ(scalar("exec p_args 1"), "1:dflt");
    EXPECT_EQ(scalar("exec p_args @b = 'x', @a = 2"), "2:x");
    EXPECT_EQ(scalar("exec p_args 3, null"), "3:null");
    run("create table named (x int)");
    EXPECT_EQ(run("exec sp_helpindex @objname = 'named'").messages.at(0).number, 15472);
    EXPECT_EQ(run("exec sp_helpindex @nosuch = 'named'").messages.at(0).number, 8145);
}

TEST_F(SandboxEngine, ChineseTextSortsByPinyinAfterLatin) {
    run("create table names (n nvarchar(10))");
    run("insert names values (N'张') insert names values (N'李') insert names values (N'王') "
        "insert names values (N'Zed') insert names values (N'abc')");
    CollectingSink sorted = run("select n from names order by n");
    EXPECT_EQ(sorted.results.at(0).rows,
              (std::vector<std::vector<std::string>>{{"abc"}, {"Zed"}, {"李"}, {"王"}, {"张"}}));  // li, wang, zhang
}

TEST_F(SandboxEngine, EdgesOfArithmeticAndOuterJoinsStayCorrect) {
    EXPECT_EQ(run("select cast(-9223372036854775807 as bigint) - 1 - 1").messages.at(0).number, 8115);
    EXPECT_EQ(run("select (cast(-9223372036854775807 as bigint) - 1) / cast(-1 as bigint)").messages.at(0).number, 8115);
    EXPECT_EQ(run("select cast(cast(1e300 as float) as int)").messages.at(0).number, 8115);
    run("create table parent (id int not null, title varchar(10) not null)");
    run("create table child (pid int not null)");
    run("insert parent values (1, 'one') insert child values (1) insert child values (2)");
    CollectingSink joined = run("select c.pid, p.title from child c left join parent p on p.id = c.pid order by c.pid");
    ASSERT_EQ(joined.results.size(), 1u);
    EXPECT_FALSE(joined.results[0].columns[0].nullable);
    EXPECT_TRUE(joined.results[0].columns[1].nullable);  // declared NOT NULL, but missing on the outer side
    EXPECT_EQ(joined.results[0].rows, (std::vector<std::vector<std::string>>{{"1", "one"}, {"2", "NULL"}}));
}

TEST_F(SandboxEngine, CheckConstraintsAreKeptAndEnforced) {
    run("create table jobs (id int, min_lvl int check (min_lvl >= 10), max_lvl int, "
        "constraint ck_range check (max_lvl <= 250 and max_lvl >= min_lvl))");
    EXPECT_EQ(scalar("select count(*) from sysobjects where xtype = 'C' and parent_obj = object_id('jobs')"), "2");
    EXPECT_EQ(scalar("select text from syscomments where id = object_id('ck_range')"), "(max_lvl <= 250 and max_lvl >= min_lvl)");
    run("insert jobs values (1, 10, 100)");
    CollectingSink low = run("insert jobs values (2, 5, 100)");
    ASSERT_FALSE(low.messages.empty());
    EXPECT_EQ(low.messages[0].number, 547);
    EXPECT_NE(low.messages[0].text.find("COLUMN CHECK constraint 'CK__jobs__min_lvl__"), std::string::npos) << low.messages[0].text;
    EXPECT_NE(low.messages[0].text.find("column 'min_lvl'"), std::string::npos);
    EXPECT_EQ(run("update jobs set max_lvl = 300").messages.at(0).number, 547);
    EXPECT_EQ(scalar("select max_lvl from jobs"), "100");  // the failed UPDATE changed nothing
    run("insert jobs values (3, null, null)");               // unknown passes
    EXPECT_EQ(scalar("select count(*) from jobs"), "2");
    EXPECT_EQ(run("create table bad (a int check (nosuch > 1))").messages.at(0).number, 207);
}
