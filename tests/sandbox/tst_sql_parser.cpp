// The T-SQL tokenizer and parser: the dialect SQL Server 2000 accepts, including the forms the
// tool's batches use (comments, tabs, statements run together, the three alias forms).

#include "sql/builtins.hpp"
#include "sql/parser.hpp"

#include <gtest/gtest.h>

using namespace sandbox;
using namespace sandbox::sql;

namespace {

const SelectStmt& selectOf(const StmtPtr& s) {
    EXPECT_EQ(s->kind, StmtKind::Select);
    return *static_cast<const SelectStatement&>(*s).select;
}

}  // namespace

TEST(SandboxLexer, ReadsQuotingCommentsAndLiteralsAsSqlServerDoes) {
    auto tokens = tokenize("select [a]]b], \"q\", N'x''y', 'it''s', 0x1F, 12.50, 1e3 /* a /* nested */ c */ -- tail\n@v @@spid #t");
    std::vector<std::pair<TokenKind, std::string>> seen;
    for (const auto& t : tokens) seen.emplace_back(t.kind, t.text);
    std::vector<std::pair<TokenKind, std::string>> expected = {
        {TokenKind::Word, "select"}, {TokenKind::QuotedName, "a]b"}, {TokenKind::Symbol, ","},
        {TokenKind::QuotedName, "q"}, {TokenKind::Symbol, ","}, {TokenKind::UnicodeString, "x'y"},
        {TokenKind::Symbol, ","}, {TokenKind::String, "it's"}, {TokenKind::Symbol, ","}, {TokenKind::Binary, "1F"},
        {TokenKind::Symbol, ","}, {TokenKind::Number, "12.50"}, {TokenKind::Symbol, ","}, {TokenKind::Float, "1e3"},
        {TokenKind::Variable, "@v"}, {TokenKind::SystemVariable, "@@spid"}, {TokenKind::Word, "#t"},
        {TokenKind::End, ""}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(tokens[14].line, 2);
    EXPECT_THROW(tokenize("select 'open"), LexError);
    EXPECT_THROW(tokenize("select /* open"), LexError);
}

TEST(SandboxParser, StatementsRunTogetherWithoutSeparators) {
    auto statements = parseBatch("select * from #T1  select *, IDENTITY(int, 1,1) AS IndexNum INTO #T2 from #T1 "
                                 "select * from #T2 Drop table #T1 Drop table #T2 ");
    ASSERT_EQ(statements.size(), 5u);
    EXPECT_EQ(statements[3]->kind, StmtKind::Drop);
    const SelectStmt& into = selectOf(statements[1]);
    ASSERT_TRUE(into.into);
    EXPECT_EQ(into.into->name, "#T2");
    EXPECT_EQ(into.items[1].expr->kind, ExprKind::Identity);
    EXPECT_EQ(into.items[1].alias, "IndexNum");
}

TEST(SandboxParser, TheThreeAliasFormsAndStars) {
    auto statements = parseBatch("select x AS a, b = y, 'c' = z, t.*, * from t");
    const SelectStmt& s = selectOf(statements[0]);
    ASSERT_EQ(s.items.size(), 5u);
    EXPECT_EQ(s.items[0].alias, "a");
    EXPECT_EQ(s.items[1].alias, "b");
    EXPECT_EQ(s.items[1].expr->names.back(), "y");
    EXPECT_EQ(s.items[2].alias, "c");
    EXPECT_TRUE(s.items[3].star);
    EXPECT_EQ(s.items[3].starQualifier, "t");
    EXPECT_TRUE(s.items[4].star);
}

TEST(SandboxParser, VariableAssignmentAndJoins) {
    auto statements = parseBatch("Declare @MaxLen int , @n int\n"
                                 "select @MaxLen=max(len(name)),@n=(select count (*) from #t3 where IsKEY='YES') from #t3\n"
                                 "select a.x from t a left join u b on (a.id=b.id) inner join v on v.k = a.k cross join w, z");
    ASSERT_EQ(statements.size(), 3u);
    const auto& assignment = static_cast<const SelectStatement&>(*statements[1]);
    ASSERT_EQ(assignment.assignments.size(), 2u);
    EXPECT_EQ(assignment.assignments[1].second->kind, ExprKind::Subquery);
    const SelectStmt& joins = selectOf(statements[2]);
    ASSERT_EQ(joins.from.size(), 5u);
    EXPECT_EQ(joins.from[1].join, JoinKind::Left);
    EXPECT_EQ(joins.from[2].join, JoinKind::Inner);
    EXPECT_EQ(joins.from[3].join, JoinKind::Cross);
    EXPECT_EQ(joins.from[4].join, JoinKind::Comma);
}

TEST(SandboxParser, CreateTableWithKeysInAnyOrderAndDefaults) {
    auto statements = parseBatch("create table t (a int not null identity(10, 5), b varchar(20) null default ('x'), "
                                 "c decimal(18,2) constraint df_c default (0), constraint pk_t primary key nonclustered (b desc, a), "
                                 "unique (c))");
    const auto& table = static_cast<const CreateTableStatement&>(*statements[0]);
    ASSERT_EQ(table.columns.size(), 3u);
    EXPECT_TRUE(table.columns[0].identity);
    EXPECT_EQ(table.columns[0].seed, 10);
    EXPECT_EQ(table.columns[0].step, 5);
    EXPECT_EQ(table.columns[1].defaultExpr->text, "('x')");
    EXPECT_EQ(table.columns[2].defaultName, "df_c");
    ASSERT_EQ(table.keys.size(), 2u);
    EXPECT_EQ(table.keys[0].name, "pk_t");
    EXPECT_EQ(table.keys[0].clustered, false);
    EXPECT_EQ(table.keys[0].columns[0], (std::pair<std::string, bool>{"b", true}));
    EXPECT_EQ(table.keys[1].kind, KeyKind::Unique);
}

TEST(SandboxParser, ModulesKeepTheirTextAndMustStartTheBatch) {
    std::string source = "-- lead comment\r\nCREATE PROCEDURE dbo.p @a int, @b varchar(10) = 'x' OUTPUT AS\r\n"
                         "IF EXISTS (select * from t where a = @a) BEGIN update t set b = @b END";
    auto statements = parseBatch(source);
    const auto& module = static_cast<const CreateModuleStatement&>(*statements[0]);
    EXPECT_EQ(module.xtype, "P");
    EXPECT_EQ(module.sourceText, source);
    EXPECT_EQ(module.parameters.size(), 2u);
    ASSERT_EQ(module.body.size(), 1u);
    EXPECT_EQ(module.body[0]->kind, StmtKind::If);

    auto function = parseBatch("create function f (@x int) returns table as return (select * from t where a = @x)");
    EXPECT_EQ(static_cast<const CreateModuleStatement&>(*function[0]).xtype, "IF");
    auto trigger = parseBatch("create trigger tr on t for insert, update as print 'x'");
    EXPECT_EQ(static_cast<const CreateModuleStatement&>(*trigger[0]).xtype, "TR");

    try {
        parseBatch("select 1 create view v as select 1");
        FAIL() << "CREATE VIEW after another statement was accepted";
    } catch (const SyntaxError& e) {
        EXPECT_EQ(e.number, 111);
    }
}

TEST(SandboxParser, SyntaxErrorsNameTheTokenAndLine) {
    try {
        parseBatch("select 1\nselect from t");
        FAIL();
    } catch (const SyntaxError& e) {
        EXPECT_TRUE(e.nearKeyword());
        EXPECT_EQ(e.near(), "from");
        EXPECT_EQ(e.line(), 2);
    }
    try {
        parseBatch("select dept_idfrom t_dept x y");
        FAIL();
    } catch (const SyntaxError& e) {
        EXPECT_FALSE(e.nearKeyword());
        EXPECT_EQ(e.near(), "x");  // t_dept is taken as the alias of dept_idfrom
    }
    EXPECT_THROW(parseBatch("select (1"), SyntaxError);
    EXPECT_THROW(parseBatch("insert into"), SyntaxError);
    EXPECT_THROW(parseBatch("create table t (a int,"), SyntaxError);
    try {
        parseBatch("select 123456789012345678901234567890123456789");
        FAIL();
    } catch (const SyntaxError& e) {
        EXPECT_EQ(e.number, 1007);  // more than 38 digits
    }
    try {
        parseBatch("select " + std::string(5000, '(') + "1" + std::string(5000, ')'));
        FAIL();
    } catch (const SyntaxError& e) {
        EXPECT_EQ(e.number, 191);  // nested too deeply, and no stack overflow
    }
    std::string blocks;
    for (int i = 0; i < 5000; ++i) blocks += "if 1 = 1 begin ";
    EXPECT_THROW(parseBatch(blocks + "print 1"), SyntaxError);
    std::string selects;
    for (int i = 0; i < 5000; ++i) selects += "(";
    EXPECT_THROW(parseBatch(selects + "select 1"), SyntaxError);
}

TEST(SandboxParser, ExpressionPrecedence) {
    auto e = parseExpression("1 + 2 * 3 = 7 and not a like 'x%' or b between 1 and 2");
    ASSERT_EQ(e->kind, ExprKind::Binary);
    EXPECT_EQ(e->ops, (std::vector<std::string>{"OR"}));
    EXPECT_EQ(e->args[0]->ops, (std::vector<std::string>{"AND"}));
    EXPECT_EQ(e->args[0]->args[0]->ops, (std::vector<std::string>{"="}));
    EXPECT_EQ(e->args[0]->args[0]->args[0]->ops, (std::vector<std::string>{"+"}));
    EXPECT_EQ(e->args[0]->args[0]->args[0]->args[1]->ops, (std::vector<std::string>{"*"}));
    EXPECT_EQ(e->args[1]->kind, ExprKind::Between);
    auto negative = parseExpression("-2147483648");
    EXPECT_EQ(negative->literal.type().id, TypeId::Int);
    EXPECT_EQ(negative->literal.asInt(), -2147483648LL);
}

namespace {

// SQL Server's number for a batch the parser refuses: 0 for plain syntax errors, -1 if it parses.
int parseErrorNumber(const std::string& sql) {
    try {
        parseBatch(sql);
        return -1;
    } catch (const SyntaxError& e) {
        return e.number;
    }
}

std::string repeated(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

}  // namespace

TEST(SandboxParser, EveryNestingConstructCountsAndLongChainsStayFlat) {
    EXPECT_EQ(parseErrorNumber("select " + std::string(100000, '~') + "1"), 191);
    EXPECT_EQ(parseErrorNumber("select " + repeated("- ", 100000) + "1"), 191);
    EXPECT_EQ(parseErrorNumber("select 1 where " + repeated("not ", 100000) + "1 = 1"), 191);
    EXPECT_EQ(parseErrorNumber("select " + repeated("abs(", 5000) + "1" + std::string(5000, ')')), 191);
    EXPECT_EQ(parseErrorNumber("select " + repeated("case when 1 = 1 then ", 5000) + "1" + repeated(" end", 5000)), 191);
    EXPECT_EQ(parseErrorNumber("select " + repeated("- ", 100) + "1"), -1);  // moderate nesting is fine

    auto sum = parseExpression("1" + repeated(" + 1", 99999));
    ASSERT_EQ(sum->kind, ExprKind::Binary);
    EXPECT_EQ(sum->args.size(), 100000u);  // one node, however long the chain
    auto mixed = parseExpression("a - b + c * d / e");
    EXPECT_EQ(mixed->ops, (std::vector<std::string>{"-", "+"}));
    EXPECT_EQ(mixed->args[2]->ops, (std::vector<std::string>{"*", "/"}));
    auto ors = parseExpression("x = 0" + repeated(" or x = 1", 99999));
    EXPECT_EQ(ors->args.size(), 100000u);
    auto unions = parseBatch("select 0" + repeated(" union all select 1", 20000) + " order by 1");
    ASSERT_EQ(unions.size(), 1u);  // a long UNION chain needs no recursion either, nor does its end
    auto collated = parseExpression("'a'" + repeated(" collate Chinese_PRC_CI_AS", 100000));
    ASSERT_EQ(collated->kind, ExprKind::Collate);
    EXPECT_EQ(collated->args[0]->kind, ExprKind::Literal);
}

TEST(SandboxParser, BuiltInCallsAreCheckedAsSqlServerCompilesThem) {
    EXPECT_EQ(parseErrorNumber("select nosuch(1)"), 195);
    EXPECT_EQ(parseErrorNumber("select abs()"), 174);
    EXPECT_EQ(parseErrorNumber("select count()"), 174);
    EXPECT_EQ(parseErrorNumber("select isnull(1)"), 174);
    EXPECT_EQ(parseErrorNumber("select charindex('a')"), 189);
    EXPECT_EQ(parseErrorNumber("select coalesce(1)"), 174);
    EXPECT_EQ(parseErrorNumber("select coalesce(1, 2, 3, 4, 5)"), -1);
    EXPECT_EQ(parseErrorNumber("select count(*)"), -1);
    EXPECT_EQ(parseErrorNumber("select sum(*)"), 0);                // only COUNT takes *
    EXPECT_EQ(parseErrorNumber("select dbo.abs()"), -1);  // a user function: checked when it runs
    try {
        parseBatch("select 1\nselect len()");
        FAIL();
    } catch (const SyntaxError& e) {
        EXPECT_EQ(e.text, "The len function requires 1 argument(s).");
        EXPECT_EQ(e.line(), 2);
    }

    auto call = parseExpression("dateadd(MS, 3, '2004-01-01')");
    ASSERT_EQ(call->args.size(), 3u);
    EXPECT_EQ(call->args[0]->name, "datepart");
    EXPECT_EQ(call->args[0]->literal.asInt(), static_cast<int>(DatePart::Millisecond));
    EXPECT_EQ(parseErrorNumber("select datepart(fortnight, getdate())"), 155);
    EXPECT_EQ(parseErrorNumber("select datepart(@part, getdate())"), 1023);
    EXPECT_EQ(parseErrorNumber("select datepart(yy)"), 174);
}
