#pragma once
// One client's socket: whole request messages in, reply bytes out. Reply bytes are queued and
// sent as fast as the client takes them, so that a batch producing a reply under the engine
// lock never waits for a client that reads slowly while another session needs the lock.

#include "tds/packet.hpp"

#include <chrono>
#include <functional>
#include <optional>

namespace sandbox {

struct ConnectionLimits {
    // From connecting to a completed login; an idle or slow connection is closed after it.
    std::chrono::milliseconds loginTimeout{std::chrono::seconds(30)};
    // The time one reply may wait in all for its client to read, plus a second a megabyte of
    // the reply: a client that stops reading is disconnected, however it trickles.
    std::chrono::milliseconds sendTimeout{std::chrono::seconds(60)};
};

class Connection {
public:
    Connection(int fd, ConnectionLimits limits);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The next whole request; nullopt when the client closed the connection between requests.
    // Throws tds::ProtocolError on malformed input and when the login takes too long.
    std::optional<tds::Message> next();
    // Lifts the login deadline and the small size limits that hold before a login.
    void loggedIn(size_t packetSize);
    bool readable() const;

    // Queues reply bytes; sends what the client takes now. While `patient` says so, a writer
    // that finds much queued waits for the client; otherwise the bytes stay queued.
    tds::ByteSink sink();
    void setPatience(std::function<bool()> patient) { patient_ = std::move(patient); }
    // More is queued than a reply keeps at ease.
    bool lagging() const;
    // Waits until the queue is short again.
    void catchUp();
    // Waits until everything queued has gone; ends the reply's allowance of waiting.
    void flush();

private:
    size_t receive(uint8_t* into, size_t size);
    void write(const uint8_t* data, size_t size);
    void sendWhatFits();
    // Waits up to `slice` for room in the socket; throws once the reply's allowance is spent.
    void waitForRoom(std::chrono::milliseconds slice);
    size_t queued() const { return queue_.size() - sentOffset_; }

    int fd_;
    ConnectionLimits limits_;
    tds::PacketReader reader_;
    std::optional<std::chrono::steady_clock::time_point> loginDeadline_;
    std::function<bool()> patient_;
    Bytes queue_;
    size_t sentOffset_ = 0;
    std::chrono::microseconds allowance_;  // of waiting for the client, for the current reply
    std::chrono::microseconds waited_{0};
    bool broken_ = false;
};

}  // namespace sandbox
