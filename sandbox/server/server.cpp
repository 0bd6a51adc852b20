#include "server/server.hpp"

#include "server/session.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
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
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE) continue;
            throw std::runtime_error(std::string("accept: ") + std::strerror(errno));
        }
        int on = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        // A client that stops reading must not hold the engine for ever: its sends time out and
        // its session ends.
        timeval sendTimeout{60, 0};
        setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
        std::thread([this, client] { runSession(client, config_.logins, engine_); }).detach();
    }
}

}  // namespace sandbox
