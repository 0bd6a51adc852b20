#include "tds/packet.hpp"

#include <cstring>

namespace sandbox::tds {

bool PacketReader::readExactly(uint8_t* into, size_t size, bool eofAllowed) {
    size_t done = 0;
    while (done < size) {
        size_t got = source_(into + done, size - done);
        if (got == 0) {
            if (done == 0 && eofAllowed) return false;
            throw ProtocolError("connection closed inside a packet");
        }
        done += got;
    }
    return true;
}

std::optional<Message> PacketReader::next() {
    Message message;
    bool first = true;
    for (;;) {
        uint8_t header[kHeaderSize];
        if (!readExactly(header, kHeaderSize, first)) return std::nullopt;
        size_t length = (size_t{header[2]} << 8) | header[3];
        if (length < kHeaderSize) throw ProtocolError("packet length below header size");
        if (length > limits_.maxPacket) throw ProtocolError("packet larger than the packet size");
        auto type = static_cast<PacketType>(header[0]);
        if (!first && type != message.type) throw ProtocolError("packet type changed inside a message");
        message.type = type;
        if (first) message.firstStatus = header[1];
        size_t bodySize = length - kHeaderSize;
        if (message.payload.size() + bodySize > limits_.maxMessage)
            throw ProtocolError("request larger than the server accepts");
        size_t at = message.payload.size();
        message.payload.resize(at + bodySize);
        readExactly(message.payload.data() + at, bodySize, false);
        first = false;
        if (header[1] & kStatusEom) {
            message.lastStatus = header[1];
            return message;
        }
    }
}

void MessageWriter::sendPacket(const uint8_t* payload, size_t size, bool last) {
    uint8_t packet[kHeaderSize] = {static_cast<uint8_t>(PacketType::Reply),
                                   static_cast<uint8_t>(last ? kStatusEom : 0),
                                   static_cast<uint8_t>((size + kHeaderSize) >> 8),
                                   static_cast<uint8_t>((size + kHeaderSize) & 0xFF),
                                   static_cast<uint8_t>(spid_ >> 8),
                                   static_cast<uint8_t>(spid_ & 0xFF),
                                   packetId_++,
                                   0};
    // One write per packet keeps the header and its payload together on the socket.
    Bytes whole(packet, packet + kHeaderSize);
    whole.insert(whole.end(), payload, payload + size);
    sink_(whole.data(), whole.size());
}

size_t MessageWriter::flushFullPackets() {
    const size_t chunk = packetSize_ - kHeaderSize;
    Bytes& bytes = body_.bytes();
    size_t sent = 0, offset = 0;
    // Keep at least one byte back so that the last packet, sent by finish(), is never empty.
    while (bytes.size() - offset > chunk) {
        sendPacket(bytes.data() + offset, chunk, false);
        offset += chunk;
        ++sent;
    }
    if (offset > 0) bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return sent;
}

void MessageWriter::finish() {
    flushFullPackets();
    sendPacket(body_.bytes().data(), body_.size(), true);
    body_.clear();
}

}  // namespace sandbox::tds
