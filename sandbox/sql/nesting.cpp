#include "sql/nesting.hpp"

#include <pthread.h>

#include <algorithm>
#include <cstdint>

namespace sandbox::sql {
namespace {

// The lowest address a recursion may reach on this thread's stack (stacks grow downwards on
// every platform the sandbox builds for), keeping a reserve for the work between two checks
// and for unwinding with the error.
uintptr_t lowestFrameAllowed() {
    void* low = nullptr;
    size_t size = 0;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return 0;
    pthread_attr_getstack(&attributes, &low, &size);
    pthread_attr_destroy(&attributes);
    constexpr size_t kReserve = 256 * 1024;
    return reinterpret_cast<uintptr_t>(low) + std::min(size / 4, kReserve);
}

}  // namespace

bool stackNearlyExhausted() {
    thread_local const uintptr_t lowest = lowestFrameAllowed();
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < lowest;
}

}  // namespace sandbox::sql
