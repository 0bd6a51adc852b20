#pragma once
// TDS packets: reading client messages (reassembled, size-limited) and writing replies split
// at the negotiated packet size.

#include "tds/bytes.hpp"

#include <cstdint>
#include <functional>
#include <optional>

namespace sandbox::tds {

enum class PacketType : uint8_t {
    SqlBatch = 0x01,
    OldLogin = 0x02,
    Rpc = 0x03,
    Reply = 0x04,
    Attention = 0x06,
    TransactionManager = 0x0E,
    Login7 = 0x10,
    Sspi = 0x11,
    Prelogin = 0x12,
};

constexpr size_t kHeaderSize = 8;
constexpr uint8_t kStatusEom = 0x01;
constexpr uint8_t kStatusIgnore = 0x02;
constexpr uint8_t kStatusResetConnection = 0x08;
constexpr uint8_t kStatusResetSkipTransaction = 0x10;

struct Message {
    PacketType type = PacketType::SqlBatch;
    uint8_t firstStatus = 0;  // status byte of the first packet
    uint8_t lastStatus = 0;   // status byte of the EOM packet
    Bytes payload;
    bool ignored() const { return (lastStatus & kStatusIgnore) != 0; }
    // The client asks for a fresh session state before this request (connection pooling).
    bool resetsConnection() const { return (firstStatus & (kStatusResetConnection | kStatusResetSkipTransaction)) != 0; }
};

// Reads up to `size` bytes into `into`; returns 0 at end of stream. Throws on errors.
using ByteSource = std::function<size_t(uint8_t* into, size_t size)>;
// Writes all bytes or throws.
using ByteSink = std::function<void(const uint8_t* data, size_t size)>;

struct PacketLimits {
    size_t maxPacket = 32767;           // a larger packet is malformed
    size_t maxMessage = 64u << 20;      // a larger request is refused
};

class PacketReader {
public:
    PacketReader(ByteSource source, PacketLimits limits) : source_(std::move(source)), limits_(limits) {}

    // The next whole message; nullopt when the client closed the connection between messages.
    // Throws ProtocolError on malformed, truncated or oversized input.
    std::optional<Message> next();
    void setMaxPacket(size_t size) { limits_.maxPacket = size; }
    void setLimits(PacketLimits limits) { limits_ = limits; }

private:
    bool readExactly(uint8_t* into, size_t size, bool eofAllowed);
    ByteSource source_;
    PacketLimits limits_;
};

// Builds one reply message and sends it in packets of the negotiated size as it grows.
class MessageWriter {
public:
    MessageWriter(ByteSink sink, size_t packetSize, uint16_t spid)
        : sink_(std::move(sink)), packetSize_(packetSize), spid_(spid) {}

    ByteWriter& body() { return body_; }
    // Sends every full packet that the body holds; returns how many were sent.
    size_t flushFullPackets();
    // Sends the rest with the end-of-message status.
    void finish();
    void setPacketSize(size_t size) { packetSize_ = size; }

private:
    void sendPacket(const uint8_t* payload, size_t size, bool last);
    ByteSink sink_;
    size_t packetSize_;
    uint16_t spid_;
    uint8_t packetId_ = 1;
    ByteWriter body_;
};

}  // namespace sandbox::tds
