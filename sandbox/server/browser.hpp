#pragma once
// The SQL Server Resolution Protocol (the "browser" on UDP 1434), answered on a port given on
// the command line and on 127.0.0.1 only, so that server discovery can be tried and tested.

#include <cstdint>
#include <string>
#include <vector>

namespace sandbox {

// What the one instance reports of itself: its server name, version ("8.00.2039") and TCP port.
struct BrowserInstance {
    std::string serverName;
    std::string version;
    uint16_t tcpPort = 0;
};

// The reply to one request datagram, or an empty vector when no answer is due.
std::vector<uint8_t> browserReply(const std::vector<uint8_t>& request, const BrowserInstance& instance);

class BrowserResponder {
public:
    BrowserResponder(uint16_t port, BrowserInstance instance);
    ~BrowserResponder();
    BrowserResponder(const BrowserResponder&) = delete;
    BrowserResponder& operator=(const BrowserResponder&) = delete;

    // Binds 127.0.0.1:port (0 picks a free one) and returns the port. Throws on failure.
    uint16_t listen();
    // Answers requests until the process ends.
    [[noreturn]] void run();

private:
    uint16_t port_;
    BrowserInstance instance_;
    int fd_ = -1;
};

}  // namespace sandbox
