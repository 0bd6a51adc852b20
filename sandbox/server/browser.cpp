#include "server/browser.hpp"

#include "types/text.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace sandbox {
namespace {

constexpr uint8_t kBroadcastAll = 0x02;
constexpr uint8_t kUnicastAll = 0x03;
constexpr uint8_t kUnicastInstance = 0x04;
constexpr uint8_t kServerResponse = 0x05;
constexpr const char* kInstanceName = "MSSQLSERVER";
constexpr size_t kMaxInstanceName = 32;

}  // namespace

std::vector<uint8_t> browserReply(const std::vector<uint8_t>& request, const BrowserInstance& instance) {
    if (request.empty()) return {};
    uint8_t kind = request[0];
    if (kind == kUnicastInstance) {
        // The instance name follows, NUL-terminated; only ours is answered, as SQL Browser does.
        size_t end = 1;
        while (end < request.size() && request[end] != 0 && end <= kMaxInstanceName) ++end;
        std::string asked(request.begin() + 1, request.begin() + static_cast<std::ptrdiff_t>(end));
        if (!equalsIgnoreCase(asked, kInstanceName)) return {};
    } else if (kind != kBroadcastAll && kind != kUnicastAll) {
        return {};
    }
    std::string data = "ServerName;" + instance.serverName + ";InstanceName;" + kInstanceName +
                       ";IsClustered;No;Version;" + instance.version + ";tcp;" + std::to_string(instance.tcpPort) + ";;";
    std::vector<uint8_t> reply;
    reply.reserve(3 + data.size());
    reply.push_back(kServerResponse);
    reply.push_back(static_cast<uint8_t>(data.size() & 0xFF));  // RESP_SIZE, little-endian
    reply.push_back(static_cast<uint8_t>(data.size() >> 8));
    for (char c : data) reply.push_back(static_cast<uint8_t>(c));
    return reply;
}

BrowserResponder::BrowserResponder(uint16_t port, BrowserInstance instance)
    : port_(port), instance_(std::move(instance)) {}

BrowserResponder::~BrowserResponder() {
    if (fd_ >= 0) close(fd_);
}

uint16_t BrowserResponder::listen() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only: no broadcasts reach it
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error(std::string("bind: ") + std::strerror(errno));
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

void BrowserResponder::run() {
    for (;;) {
        std::vector<uint8_t> request(2048);
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        ssize_t n = recvfrom(fd_, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n <= 0) continue;
        request.resize(static_cast<size_t>(n));
        std::vector<uint8_t> reply = browserReply(request, instance_);
        if (!reply.empty()) sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
    }
}

}  // namespace sandbox
