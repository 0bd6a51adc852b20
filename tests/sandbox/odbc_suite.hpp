#pragma once
// A test suite with a sandbox server of its own, reached through the real FreeTDS ODBC driver.

#include "odbc_client.hpp"
#include "sandbox_fixture.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace sandbox::testing {

class OdbcSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<SandboxProcess>(); }
    static void TearDownTestSuite() { server_.reset(); }

    static std::unique_ptr<OdbcConnection> connect(const std::string& database = "") {
        auto connection = std::make_unique<OdbcConnection>(server_->odbcConnectionString(database));
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

}  // namespace sandbox::testing
