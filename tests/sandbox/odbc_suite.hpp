#pragma once
// A test suite with a sandbox server of its own, reached through the real FreeTDS ODBC driver.

#include "odbc_client.hpp"
#include "sandbox_fixture.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace sandbox::testing {

class OdbcSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<SandboxProcess>(); }
    static void TearDownTestSuite() { server_.reset(); }

    static std::unique_ptr<OdbcConnection> connect(const std::string& database = "") {
        return connectTo(*server_, database);
    }

    static std::unique_ptr<OdbcConnection> connectTo(const SandboxProcess& server, const std::string& database) {
        auto connection = std::make_unique<OdbcConnection>(server.odbcConnectionString(database));
        EXPECT_TRUE(connection->connected()) << connection->connectError();
        return connection;
    }

    // Runs a batch that must succeed and returns its results.
    static OdbcBatch runOk(OdbcConnection& c, const std::string& sql) {
        OdbcBatch batch = c.run(sql);
        EXPECT_TRUE(batch.ok) << sql << "\n" << (batch.messages.empty() ? "" : batch.messages[0]);
        return batch;
    }

    static inline std::unique_ptr<SandboxProcess> server_;
};

// A test suite with a server of each version the sandbox imitates: SQL Server 2000 (its
// default) and 2019.
class TwoVersionSuite : public OdbcSuite {
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
        return connectTo(server, database);
    }

    static inline std::unique_ptr<SandboxProcess> sql2000_;
    static inline std::unique_ptr<SandboxProcess> sql2019_;
};

}  // namespace sandbox::testing
