#pragma once
// The engine's lock. Batches that only read hold it together; a batch that changes anything
// holds it alone. Requests are granted in the order they arrive (readers next to each other in
// the queue share), so a stream of readers never starves a writer, and a holder can see that
// someone is waiting and let them in between its statements.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace sandbox {

class EngineLock {
public:
    enum class Mode { Shared, Exclusive };

    void lock(Mode mode);
    void unlock(Mode mode);
    // True while some request waits for the lock.
    bool contended() const { return requested_.load(std::memory_order_relaxed) != granted_.load(std::memory_order_relaxed); }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<uint64_t> requested_{0};  // tickets handed out
    std::atomic<uint64_t> granted_{0};    // tickets that hold or held the lock
    int readers_ = 0;
    bool writer_ = false;
};

// The lock as one batch holds it: taken at the start, let go between statements when others
// wait, released at the end.
class BatchLock {
public:
    BatchLock(EngineLock& lock, EngineLock::Mode mode) : lock_(lock), mode_(mode) { acquire(); }
    ~BatchLock() { lock_.unlock(mode_); }
    BatchLock(const BatchLock&) = delete;
    BatchLock& operator=(const BatchLock&) = delete;

    EngineLock::Mode mode() const { return mode_; }
    // True when others wait and this batch has had the lock for its share of time.
    bool othersDue() const;
    // Releases the lock, runs `meanwhile`, and queues for the lock again behind those waiting.
    template <typename F>
    void stepAside(F&& meanwhile) {
        lock_.unlock(mode_);
        try {
            meanwhile();
        } catch (...) {
            acquire();
            throw;
        }
        acquire();
    }

private:
    void acquire() {
        lock_.lock(mode_);
        since_ = std::chrono::steady_clock::now();
    }

    EngineLock& lock_;
    EngineLock::Mode mode_;
    std::chrono::steady_clock::time_point since_;
};

}  // namespace sandbox
