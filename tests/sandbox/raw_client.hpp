#pragma once
// A bare TDS client over a socket, for tests and benchmarks that must send what ordinary
// clients never send (garbage, attentions at chosen moments) or read replies undecoded.

#include <cstdint>
#include <string>
#include <vector>

namespace sandbox::testing {

using RawBytes = std::vector<uint8_t>;

// One packet; `status` 0x01 marks the end of the message, 0x08 asks for a connection reset.
RawBytes rawPacket(uint8_t type, const RawBytes& payload, uint8_t status = 0x01);
RawBytes rawUcs2(const std::string& ascii);
// A TDS 7.1 LOGIN7 for sa asking for `packetSize`-byte packets.
RawBytes rawLogin7(const std::string& password, uint32_t packetSize, const std::string& database = "");

class RawSocket {
public:
    // Connects to 127.0.0.1:port with a 5-second receive timeout; a `receiveBuffer` other than
    // 0 shrinks the socket's receive buffer, so that a client that reads slowly is felt at once.
    explicit RawSocket(int port, int receiveBuffer = 0);
    ~RawSocket();
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    bool connected() const { return connected_; }
    void send(const RawBytes& bytes);
    bool closedByServer();  // true when the server closed or reset the connection
    RawBytes readMessage();  // one whole reply message's payload; empty on timeout or close
    size_t drainMessage();   // reads one whole message without keeping it; returns its payload size
    long receiveSome(size_t most);  // one read of at most `most` bytes: its size, 0 at close, -1 on error

private:
    bool readExactly(uint8_t* into, size_t size);
    int fd_;
    bool connected_ = false;
};

}  // namespace sandbox::testing
