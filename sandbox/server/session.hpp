#pragma once
// One client connection: PRELOGIN, LOGIN7, then SQL batches until the client leaves.

#include "server/connection.hpp"

#include <map>
#include <string>

namespace sandbox {

class Engine;

// Serves the connected socket `fd` and closes it. Protocol faults, a login that takes too long
// and a client that stops reading end only this session.
void runSession(int fd, const std::map<std::string, std::string>& logins, ConnectionLimits limits, Engine& engine);

}  // namespace sandbox
