#include "connection/connect.h"

#include "common/system_info.h"

namespace makeddl::connection {

void connectTo(Connection& connection, const LoginParameters& login, const DriverSettings& settings) {
  connection.close();
  connection.setConnectionString(odbcConnectionString(oleDbConnectionString(login, LocalComputerName()), settings));
  connection.setLoginTimeout(settings.loginTimeoutSeconds);
  connection.setQueryTimeout(settings.queryTimeoutSeconds);
  connection.open();
}

}  // namespace makeddl::connection
