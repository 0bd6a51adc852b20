// The sandbox started as a SQL Server 2019 beside the default SQL Server 2000, through the real
// FreeTDS ODBC driver: what each says of its version.

#include "odbc_suite.hpp"

#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <iterator>
#include <memory>

using namespace sandbox::testing;

namespace {

class SandboxVersions : public TwoVersionSuite {};

}  // namespace

TEST_F(SandboxVersions, EachServerNamesItsOwnVersionEverywhereItIsAsked) {
    auto old = connect(*sql2000_);
    EXPECT_EQ(old->scalar("select convert(varchar(32), serverproperty('ProductVersion'))"), "8.00.2039");
    EXPECT_EQ(old->scalar("select convert(varchar(8), serverproperty('ProductLevel'))"), "SP4");
    EXPECT_EQ(old->scalar("select @@microsoftversion"), "134219767");
    EXPECT_NE(old->scalar("select @@version").value_or("").find("2000 - 8.00.2039"), std::string::npos);

    auto newer = connect(*sql2019_);
    EXPECT_EQ(newer->scalar("select convert(varchar(32), serverproperty('ProductVersion'))"), "15.0.2000.5");
    EXPECT_EQ(newer->scalar("select convert(varchar(8), serverproperty('ProductLevel'))"), "RTM");
    EXPECT_EQ(newer->scalar("select @@microsoftversion / 16777216"), "15");
    EXPECT_EQ(newer->scalar("select @@microsoftversion & 0xffff"), "2000");
    EXPECT_NE(newer->scalar("select @@version").value_or("").find("2019 (RTM) - 15.0.2000.5"), std::string::npos);
}

TEST_F(SandboxVersions, AnUnknownVersionIsRefusedAtStart) {
    int status = 0;
    std::string output = runCommand(std::string(MAKEDDL_SANDBOX_PATH) + " --port 0 --sa-password x --version 2008",
                                    "", &status);
    EXPECT_NE(status, 0);
    EXPECT_NE(output.find("usage"), std::string::npos) << output;
}

TEST_F(SandboxVersions, ExtendedPropertiesLiveWhereEachVersionKeepsThem) {
    // Level 0 SCHEMA came with SQL Server 2005; SQL Server 2000 knows USER alone.
    auto setup = [](const std::string& columnLevel0) {
        return "create table t_remarks (id int, label varchar(10)) "
               "exec sp_addextendedproperty 'MS_Description', 'the table', 'user', 'dbo', 'table', 't_remarks' "
               "exec sp_addextendedproperty N'MS_Description', N'the label', N'" + columnLevel0 +
               "', N'dbo', N'TABLE', N't_remarks', N'COLUMN', N'label'";
    };
    auto old = connect(*sql2000_, "tempdb");
    auto newer = connect(*sql2019_, "tempdb");
    ASSERT_TRUE(old->run(setup("USER")).ok);
    ASSERT_TRUE(newer->run(setup("SCHEMA")).ok);

    EXPECT_EQ(old->scalar("select count(*) from sysproperties where id = object_id('t_remarks')"), "2");
    OdbcBatch missing = newer->run("select count(*) from sysproperties");
    EXPECT_FALSE(missing.ok);
    EXPECT_TRUE(missing.mentions("208")) << (missing.messages.empty() ? "" : missing.messages[0]);
    EXPECT_FALSE(old->run("select count(*) from sys.extended_properties").ok);

    OdbcBatch properties = newer->run(
        "select class, minor_id, name, convert(varchar(20), value) from sys.extended_properties "
        "where major_id = object_id('t_remarks') order by minor_id");
    ASSERT_TRUE(properties.ok);
    ASSERT_EQ(properties.results.size(), 1u);
    const auto& rows = properties.results[0].rows;
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "1");
    EXPECT_EQ(rows[0][1], "0");
    EXPECT_EQ(rows[0][3], "the table");
    EXPECT_EQ(rows[1][1], "2");  // the column's id
    EXPECT_EQ(rows[1][2], "MS_Description");
    EXPECT_EQ(rows[1][3], "the label");
    EXPECT_EQ(newer->scalar("select schema_id from sys.schemas where name = 'dbo'"), "1");

    OdbcBatch listed = newer->run(
        "select objtype, objname, name, convert(varchar(20), value) "
        "from fn_listextendedproperty(NULL, 'schema', 'dbo', 'table', 't_remarks', NULL, NULL) "
        "select objtype, objname, convert(varchar(20), value) "
        "from sys.fn_listextendedproperty('MS_Description', 'SCHEMA', 'dbo', 'TABLE', NULL, 'COLUMN', NULL) "
        "select count(*) from fn_listextendedproperty(NULL, 'schema', 'dbo', 'view', NULL, NULL, NULL)");
    ASSERT_TRUE(listed.ok) << (listed.messages.empty() ? "" : listed.messages[0]);
    ASSERT_EQ(listed.results.size(), 3u);
    EXPECT_EQ(listed.results[0].rows,
              (std::vector<std::vector<std::optional<std::string>>>{{"TABLE", "t_remarks", "MS_Description", "the table"}}));
    EXPECT_TRUE(listed.results[1].rows.empty());  // columns are listed under a named table only
    EXPECT_EQ(listed.results[2].rows.at(0).at(0), "0");
    OdbcBatch column = newer->run(
        "select objtype, objname, convert(varchar(20), value) "
        "from fn_listextendedproperty(NULL, 'schema', 'dbo', 'table', 't_remarks', 'column', 'label')");
    ASSERT_TRUE(column.ok);
    EXPECT_EQ(column.results.at(0).rows,
              (std::vector<std::vector<std::optional<std::string>>>{{"COLUMN", "label", "the label"}}));
}

// The types SQL Server 2005 and later added, as those versions show them to a TDS 7.1 client:
// the dates and times as their literals, the (max) types and xml as text, ntext and image.
TEST_F(SandboxVersions, NewerTypesAreKeptAndSentTheWayA2019ServerSendsThemDownLevel) {
    auto newer = connect(*sql2019_, "tempdb");
    ASSERT_TRUE(newer->run("create table t_newer (d date, t time(3), dt2 datetime2, dt2z datetime2(0), "
                           "dto datetimeoffset(2), vm varchar(max), nm nvarchar(max), bm varbinary(max), x xml)")
                    .ok);
    ASSERT_TRUE(newer->run("insert into t_newer values ('2024-02-29', '13:45:00.12345', '2024-02-29 13:45:00.1234567', "
                           "'2024-02-29 23:59:59.6', '2024-02-29 13:45:00.125 +08:00', 'long', N'长文本', 0x0102, "
                           "N'<a>1</a>')")
                    .ok);
    OdbcBatch read = newer->run("select * from t_newer");
    ASSERT_TRUE(read.ok);
    const OdbcResult& result = read.results.at(0);
    EXPECT_EQ(result.rows.at(0),
              (std::vector<std::optional<std::string>>{"2024-02-29", "13:45:00.123", "2024-02-29 13:45:00.1234567",
                                                       "2024-03-01 00:00:00", "2024-02-29 13:45:00.13 +08:00", "long",
                                                       "长文本", "0102", "<a>1</a>"}));
    const int downLevel[] = {SQL_WVARCHAR, SQL_WVARCHAR, SQL_WVARCHAR, SQL_WVARCHAR, SQL_WVARCHAR,
                             SQL_LONGVARCHAR, SQL_WLONGVARCHAR, SQL_LONGVARBINARY, SQL_WLONGVARCHAR};
    for (size_t i = 0; i < std::size(downLevel); ++i) EXPECT_EQ(result.columns.at(i).sqlType, downLevel[i]) << i;

    OdbcBatch columns = newer->run(
        "select type_name(xtype), length, prec, scale from syscolumns where id = object_id('t_newer') order by colid");
    ASSERT_TRUE(columns.ok);
    const std::vector<std::vector<std::optional<std::string>>> facts{
        {"date", "3", "10", "0"},          {"time", "4", "12", "3"},     {"datetime2", "8", "27", "7"},
        {"datetime2", "6", "19", "0"},     {"datetimeoffset", "8", "29", "2"}, {"varchar", "-1", "-1", std::nullopt},
        {"nvarchar", "-1", "-1", std::nullopt}, {"varbinary", "-1", "-1", std::nullopt}, {"xml", "-1", "-1", std::nullopt}};
    EXPECT_EQ(columns.results.at(0).rows, facts);

    for (const char* wrong : {"insert into t_newer (d) values ('2023-02-29')", "insert into t_newer (t) values ('24:00')",
                              "insert into t_newer (dto) values ('2024-01-01 10:00 +15:00')"}) {
        OdbcBatch refused = newer->run(wrong);
        EXPECT_FALSE(refused.ok) << wrong;
        EXPECT_TRUE(refused.mentions("241")) << wrong;
    }
    // SQL Server 2000 knows none of them.
    auto old = connect(*sql2000_, "tempdb");
    EXPECT_TRUE(old->run("create table t_old (v varchar(max))").mentions("Incorrect syntax near 'max'"));
    EXPECT_TRUE(old->run("create table t_old (d date)").mentions("243"));
}

// systypes of SQL Server 2019 lists the types 2005 and 2008 added, with sys.types' lengths and
// precisions, and owns every built-in type by the schema sys.
TEST_F(SandboxVersions, SystypesListsTheNewerTypesOnlyWhereTheyExist) {
    auto newer = connect(*sql2019_);
    OdbcBatch types = newer->run("select name, xtype, length, xprec, xscale, prec from systypes "
                                 "where xtype in (40, 41, 42, 43, 241) order by xtype");
    ASSERT_TRUE(types.ok);
    EXPECT_EQ(types.results.at(0).rows,
              (std::vector<std::vector<std::optional<std::string>>>{{"date", "40", "3", "10", "0", "10"},
                                                                    {"time", "41", "5", "16", "7", "16"},
                                                                    {"datetime2", "42", "8", "27", "7", "27"},
                                                                    {"datetimeoffset", "43", "10", "34", "7", "34"},
                                                                    {"xml", "241", "-1", "0", "0", "-1"}}));
    EXPECT_EQ(newer->scalar("select count(*) from systypes where uid <> 4"), "0");
    auto old = connect(*sql2000_);
    EXPECT_EQ(old->scalar("select count(*) from systypes"), "26");
    EXPECT_EQ(old->scalar("select count(*) from systypes where uid <> 1"), "0");
}
