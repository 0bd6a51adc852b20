#include "server/server.hpp"

#include "server/session.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace sandbox {

Server::Server(ServerConfig config, Engine& engine) : config_(std::move(config)), engine_(engine) {}

Server::~Server() {
    if (listenFd_ >= 0) close(listenFd_);
}

uint16_t Server::listen() {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    int on = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(config_.port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only, by design
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error(std::string("bind: ") + std::strerror(errno));
    if (::listen(listenFd_, 64) != 0) throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
    socklen_t length = sizeof address;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

void Server::run() {
    for (;;) {
        int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            serve(client);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED) continue;
        // Out of descriptors or memory: the pending connection stays queued; trying again at
        // once would only spin. Sessions that end give the resources back.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        throw std::runtime_error(std::string("accept: ") + std::strerror(errno));
    }
}

void Server::serve(int client) {
    if (connections_.load() >= config_.maxConnections) {
        close(client);  // refused: the sessions already there go on
        return;
    }
    int on = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ++connections_;
    try {
        std::thread([this, client] {
            runSession(client, config_.logins, config_.limits, engine_);
            --connections_;
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had (memory or a process limit): this connection is refused alone.
        --connections_;
        close(client);
    }
}

}  // namespace sandbox
