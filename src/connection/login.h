#pragma once
// What a connection is made from: server, database and login.

#include <string>

namespace makeddl::connection {

struct LoginParameters {
  std::string database;
  std::string server;  // a name, "host,port" or "host\instance"
  std::string user;
  std::string password;
  bool windowsLogin = true;  // the server authenticates the user of the running program

  bool operator==(const LoginParameters&) const = default;
};

}  // namespace makeddl::connection
