#pragma once
// The list of processes connected to the server from a client machine.

#include <string>

namespace makeddl::admin {

// loginame, hostname, program_name, dbname and login_time of every process whose client
// machine has a name, ordered by that name.
std::string onlineUsersQuery();

}  // namespace makeddl::admin
