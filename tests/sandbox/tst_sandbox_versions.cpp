// The sandbox started as a SQL Server 2019 beside the default SQL Server 2000, through the real
// FreeTDS ODBC driver: what each says of its version.

#include "odbc_client.hpp"
#include "sandbox_fixture.hpp"

#include <gtest/gtest.h>

#include <memory>

using namespace sandbox::testing;

namespace {

class SandboxVersions : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sql2000_ = std::make_unique<SandboxProcess>();
        sql2019_ = std::make_unique<SandboxProcess>("Sandbox#1", false, std::vector<std::string>{"--version", "2019"});
    }
    static void TearDownTestSuite() {
        sql2000_.reset();
        sql2019_.reset();
    }

    static std::unique_ptr<OdbcConnection> connect(const SandboxProcess& server, const std::string& database = "") {
        auto connection = std::make_unique<OdbcConnection>(server.odbcConnectionString(database));
        EXPECT_TRUE(connection->connected()) << connection->connectError();
        return connection;
    }

    static std::unique_ptr<SandboxProcess> sql2000_;
    static std::unique_ptr<SandboxProcess> sql2019_;
};

std::unique_ptr<SandboxProcess> SandboxVersions::sql2000_;
std::unique_ptr<SandboxProcess> SandboxVersions::sql2019_;

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
    const std::string setup =
        "create table t_remarks (id int, label varchar(10)) "
        "exec sp_addextendedproperty 'MS_Description', 'the table', 'user', 'dbo', 'table', 't_remarks' "
        "exec sp_addextendedproperty N'MS_Description', N'the label', N'SCHEMA', N'dbo', N'TABLE', N't_remarks', "
        "N'COLUMN', N'label'";
    auto old = connect(*sql2000_, "tempdb");
    auto newer = connect(*sql2019_, "tempdb");
    for (OdbcConnection* c : {old.get(), newer.get()}) ASSERT_TRUE(c->run(setup).ok);

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
}
