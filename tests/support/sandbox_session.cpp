#include "sandbox_session.h"

#include "connection/connect.h"

namespace makeddl::testing {

std::string sandboxServerText(const sandbox::testing::SandboxProcess& server) {
  return "127.0.0.1," + std::to_string(server.port());
}

connection::LoginParameters sandboxSaLogin(const sandbox::testing::SandboxProcess& server,
                                           const std::string& database) {
  return {database, sandboxServerText(server), "sa", server.password(), false};
}

void connectAsSa(connection::Connection& connection, const sandbox::testing::SandboxProcess& server,
                 const std::string& database) {
  connection::connectTo(connection, sandboxSaLogin(server, database), connection::DriverSettings{});
}

void runBatches(const sandbox::testing::SandboxProcess& server, const std::string& database,
                const std::vector<std::string>& batches) {
  connection::Connection connection;
  connectAsSa(connection, server, database);
  connection::DataSet batch(connection, "setup");
  for (const std::string& text : batches) {
    batch.clearSql();
    batch.addLine(text);
    batch.execute();
  }
}

}  // namespace makeddl::testing
