#include "engine/engine_lock.hpp"

namespace sandbox {

namespace {

// How long a batch keeps the lock before it lets waiting sessions in between its statements.
constexpr std::chrono::milliseconds kTimeSlice{10};

}  // namespace

void EngineLock::lock(Mode mode) {
    std::unique_lock guard(mutex_);
    const uint64_t ticket = requested_.fetch_add(1);
    changed_.wait(guard, [&] {
        return granted_.load() == ticket && !writer_ && (mode == Mode::Shared || readers_ == 0);
    });
    if (mode == Mode::Shared) ++readers_;
    else writer_ = true;
    granted_.fetch_add(1);
    changed_.notify_all();  // the next ticket may be a reader that can share
}

void EngineLock::unlock(Mode mode) {
    {
        std::lock_guard guard(mutex_);
        if (mode == Mode::Shared) --readers_;
        else writer_ = false;
    }
    changed_.notify_all();
}

bool BatchLock::othersDue() const {
    return lock_.contended() && std::chrono::steady_clock::now() - since_ >= kTimeSlice;
}

}  // namespace sandbox
