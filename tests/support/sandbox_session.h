#pragma once
// Talking to a test's sandbox server as sa, through the tool's own connection code, so that
// passwords with separators are escaped as the tool escapes them.

#include <string>
#include <vector>

#include "connection/data_access.h"
#include "connection/login.h"
#include "sandbox_fixture.hpp"

namespace makeddl::testing {

// "127.0.0.1,PORT", as the server box and the command line take it.
std::string sandboxServerText(const sandbox::testing::SandboxProcess& server);

// The sa login of the sandbox for the database ("" for the login's default).
connection::LoginParameters sandboxSaLogin(const sandbox::testing::SandboxProcess& server,
                                           const std::string& database);

// Opens the connection as sa on the database.
void connectAsSa(connection::Connection& connection, const sandbox::testing::SandboxProcess& server,
                 const std::string& database);

// Runs each text as a batch of its own, as sa, in the database.
void runBatches(const sandbox::testing::SandboxProcess& server, const std::string& database,
                const std::vector<std::string>& batches);

}  // namespace makeddl::testing
