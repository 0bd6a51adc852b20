#pragma once
// The TCP listener: accepts clients on 127.0.0.1 and runs one session thread per connection.

#include "server/connection.hpp"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace sandbox {

class Engine;

struct ServerConfig {
    uint16_t port = 0;                          // 0 picks a free port
    std::map<std::string, std::string> logins;  // SQL login name (lower case) -> password
    size_t maxConnections = 256;                // connections beyond it are closed at once
    ConnectionLimits limits;
};

class Server {
public:
    Server(ServerConfig config, Engine& engine);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens on 127.0.0.1; returns the port actually used. Throws on failure.
    uint16_t listen();
    // Accepts connections until the process ends.
    [[noreturn]] void run();

private:
    void serve(int client);

    ServerConfig config_;
    Engine& engine_;
    int listenFd_ = -1;
    std::atomic<size_t> connections_{0};
};

}  // namespace sandbox
