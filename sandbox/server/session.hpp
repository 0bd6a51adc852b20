#pragma once
// One client connection: PRELOGIN, LOGIN7, then SQL batches until the client leaves.

#include <map>
#include <string>

namespace sandbox {

class Engine;

// Serves the connected socket `fd` and closes it. Protocol faults end only this session.
void runSession(int fd, const std::map<std::string, std::string>& logins, Engine& engine);

}  // namespace sandbox
