// libFuzzer target: arbitrary client bytes through the packet reader and the PRELOGIN and
// LOGIN7 parsers. Any input must end in a message or a ProtocolError, never a crash.

#include "tds/login.hpp"
#include "tds/packet.hpp"

#include <cstring>

using namespace sandbox::tds;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t position = 0;
    ByteSource source = [&](uint8_t* into, size_t want) {
        size_t n = std::min(want, size - position);
        std::memcpy(into, data + position, n);
        position += n;
        return n;
    };
    PacketReader reader(source, {.maxPacket = 4096, .maxMessage = 1 << 16});
    try {
        while (auto message = reader.next()) {
            try {
                if (message->type == PacketType::Prelogin) parsePrelogin(message->payload);
                if (message->type == PacketType::Login7) parseLogin7(message->payload);
            } catch (const ProtocolError&) {
            }
        }
    } catch (const ProtocolError&) {
    }
    return 0;
}
