#include "raw_client.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

namespace sandbox::testing {

RawBytes rawPacket(uint8_t type, const RawBytes& payload, uint8_t status) {
    size_t length = payload.size() + 8;
    RawBytes out;
    out.reserve(length);
    for (uint8_t b : {type, status, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF),
                      uint8_t{0}, uint8_t{0}, uint8_t{1}, uint8_t{0}})
        out.push_back(b);
    for (uint8_t b : payload) out.push_back(b);
    return out;
}

RawBytes rawUcs2(const std::string& ascii) {
    RawBytes out;
    for (char c : ascii) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

RawBytes rawLogin7(const std::string& password, uint32_t packetSize, const std::string& database) {
    const std::vector<std::string> fields = {"host", "sa", password, "raw", "127.0.0.1", "", "raw-lib", "", database};
    const size_t offsets[] = {36, 40, 44, 48, 52, 56, 60, 64, 68};
    RawBytes fixed(86, 0), data;
    auto put16 = [&](size_t at, uint16_t v) { fixed[at] = v & 0xFF; fixed[at + 1] = v >> 8; };
    auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF); put16(at + 2, v >> 16); };
    put32(4, 0x71000001);
    put32(8, packetSize);
    for (size_t i = 0; i < fields.size(); ++i) {
        RawBytes text = rawUcs2(fields[i]);
        if (i == 2)  // the password is scrambled: nibbles swapped, then XOR 0xA5
            for (auto& b : text) b = static_cast<uint8_t>(((b << 4) | (b >> 4)) ^ 0xA5);
        put16(offsets[i], static_cast<uint16_t>(86 + data.size()));
        put16(offsets[i] + 2, static_cast<uint16_t>(fields[i].size()));
        data.insert(data.end(), text.begin(), text.end());
    }
    put32(0, static_cast<uint32_t>(86 + data.size()));
    fixed.insert(fixed.end(), data.begin(), data.end());
    return fixed;
}

RawSocket::RawSocket(int port, int receiveBuffer) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{5, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

RawSocket::~RawSocket() { close(fd_); }

void RawSocket::send(const RawBytes& bytes) { (void)::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

bool RawSocket::closedByServer() {
    uint8_t buffer[4096];
    for (int i = 0; i < 100; ++i) {
        ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n == 0) return true;
        if (n < 0) return errno == ECONNRESET;
    }
    return false;
}

bool RawSocket::readExactly(uint8_t* into, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = recv(fd_, into + done, size - done, 0);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

RawBytes RawSocket::readMessage() {
    RawBytes payload;
    for (;;) {
        uint8_t header[8];
        if (!readExactly(header, 8)) return {};
        size_t length = (size_t{header[2]} << 8) | header[3];
        if (length < 8) return {};
        size_t at = payload.size();
        payload.resize(at + length - 8);
        if (!readExactly(payload.data() + at, length - 8)) return {};
        if (header[1] & 0x01) return payload;
    }
}

long RawSocket::receiveSome(size_t most) {
    std::vector<uint8_t> buffer(most);
    return static_cast<long>(recv(fd_, buffer.data(), most, 0));
}

size_t RawSocket::drainMessage() {
    size_t total = 0;
    uint8_t buffer[1 << 15];
    for (;;) {
        uint8_t header[8];
        if (!readExactly(header, 8)) return total;
        size_t body = ((size_t{header[2]} << 8) | header[3]) - 8;
        if (!readExactly(buffer, body)) return total;
        total += body;
        if (header[1] & 0x01) return total;
    }
}

}  // namespace sandbox::testing
