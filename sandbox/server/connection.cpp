#include "server/connection.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace sandbox {

using namespace tds;
using std::chrono::milliseconds;
using std::chrono::microseconds;
using Clock = std::chrono::steady_clock;

namespace {

// Before a login only PRELOGIN and LOGIN7 come, a few hundred bytes each.
constexpr PacketLimits kBeforeLogin{32767, 64u << 10};
constexpr size_t kMaxRequest = 64u << 20;
// A reply keeps this much queued before its writer waits for the client (when it may).
constexpr size_t kHighWater = 1u << 20;
// Queued bytes go out in pieces at least this large while a reply is being produced.
constexpr size_t kSendPiece = 64u << 10;
// How long a patient writer waits before it asks again whether it may go on waiting.
constexpr milliseconds kPatienceSlice{10};
// Each byte of a reply adds to its allowance of waiting: a second a megabyte.
constexpr microseconds kAllowancePerByte{1};

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

}  // namespace

Connection::Connection(int fd, ConnectionLimits limits)
    : fd_(fd), limits_(limits),
      reader_([this](uint8_t* into, size_t size) { return receive(into, size); }, kBeforeLogin),
      loginDeadline_(Clock::now() + limits.loginTimeout), allowance_(limits.sendTimeout) {}

Connection::~Connection() { close(fd_); }

std::optional<Message> Connection::next() { return reader_.next(); }

void Connection::loggedIn(size_t packetSize) {
    loginDeadline_.reset();
    reader_.setLimits({packetSize, kMaxRequest});
}

bool Connection::readable() const {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

size_t Connection::receive(uint8_t* into, size_t size) {
    for (;;) {
        if (loginDeadline_) {
            pollfd p{fd_, POLLIN, 0};
            int ready = poll(&p, 1, remainingMs(*loginDeadline_));
            if (ready == 0) throw ProtocolError("no login within the login timeout");
            if (ready < 0 && errno != EINTR) throw ProtocolError("receive failed");
            if (ready < 0) continue;
        }
        ssize_t got = recv(fd_, into, size, 0);
        if (got >= 0) return static_cast<size_t>(got);
        if (errno != EINTR) throw ProtocolError("receive failed");
    }
}

ByteSink Connection::sink() {
    return [this](const uint8_t* data, size_t size) { write(data, size); };
}

void Connection::write(const uint8_t* data, size_t size) {
    if (broken_) throw ProtocolError("the client stopped reading");
    queue_.insert(queue_.end(), data, data + size);
    allowance_ += kAllowancePerByte * static_cast<long>(size);
    if (queued() >= kSendPiece) sendWhatFits();
    while (lagging() && patient_ && patient_()) waitForRoom(kPatienceSlice);
}

bool Connection::lagging() const { return queued() > kHighWater; }

void Connection::catchUp() {
    while (lagging()) waitForRoom(std::chrono::duration_cast<milliseconds>(allowance_));
}

void Connection::flush() {
    while (queued() > 0) waitForRoom(std::chrono::duration_cast<milliseconds>(allowance_));
    allowance_ = limits_.sendTimeout;
    waited_ = microseconds{0};
}

void Connection::sendWhatFits() {
    while (queued() > 0) {
        ssize_t sent = send(fd_, queue_.data() + sentOffset_, queued(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            sentOffset_ += static_cast<size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        broken_ = true;
        throw ProtocolError("send failed");
    }
    // The sent front goes once it is most of the buffer, so that copying stays linear.
    if (sentOffset_ == queue_.size()) {
        queue_.clear();
        sentOffset_ = 0;
    } else if (sentOffset_ > queue_.size() / 2) {
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(sentOffset_));
        sentOffset_ = 0;
    }
}

void Connection::waitForRoom(milliseconds slice) {
    sendWhatFits();
    if (queued() == 0) return;
    if (waited_ >= allowance_) {
        broken_ = true;
        throw ProtocolError("the client stopped reading");
    }
    auto left = std::chrono::duration_cast<milliseconds>(allowance_ - waited_) + milliseconds(1);
    pollfd p{fd_, POLLOUT, 0};
    const auto start = Clock::now();
    int ready = poll(&p, 1, static_cast<int>(std::min(slice, left).count()));
    waited_ += std::chrono::duration_cast<microseconds>(Clock::now() - start);
    if (ready < 0 && errno != EINTR) {
        broken_ = true;
        throw ProtocolError("send failed");
    }
    sendWhatFits();
}

}  // namespace sandbox
