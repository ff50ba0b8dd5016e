#include "interp/stackguard.h"

#include <pthread.h>
#include <sys/resource.h>

#include <cstdint>

namespace tvx::interp {

namespace {

// Headroom kept for the work a statement does after the last check (library
// calls, formatting, the error box).
constexpr uintptr_t kSafetyMargin = 512 * 1024;
constexpr uintptr_t kAssumedStack = 8 * 1024 * 1024;

thread_local uintptr_t stackTop = 0;
thread_local uintptr_t stackFloor = 0;
thread_local unsigned trips = 0;

uintptr_t here() { return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)); }

// The lowest address of this thread's stack, or 0 when the system does not
// say. For the first thread of the process this follows the stack limit.
uintptr_t stackLowEnd() {
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return 0;
    void* low = nullptr;
    size_t size = 0;
    int failed = pthread_attr_getstack(&attributes, &low, &size);
    pthread_attr_destroy(&attributes);
    return failed ? 0 : reinterpret_cast<uintptr_t>(low);
}

}  // namespace

void noteStackTop() {
    uintptr_t top = here();
    if (stackTop != 0 && top < stackTop) return;  // keep the outermost position
    stackTop = top;
    // Threads other than the first have stacks of their own size, so the
    // stack's real extent counts, not the process's limit.
    uintptr_t low = stackLowEnd();
    if (low != 0 && low + kSafetyMargin < top) {
        stackFloor = low + kSafetyMargin;
        return;
    }
    rlimit limit{};
    uintptr_t size = kAssumedStack;
    if (getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        size = limit.rlim_cur;
    else if (limit.rlim_cur == RLIM_INFINITY)
        size = 512 * 1024 * 1024;
    // The part of the stack above this frame (main and its callers) is small;
    // a quarter of a megabyte covers it.
    uintptr_t usable = size > kSafetyMargin * 2 + 256 * 1024 ? size - kSafetyMargin - 256 * 1024 : size / 2;
    stackFloor = top > usable ? top - usable : 0;
}

bool stackNearlyExhausted() {
    if (stackTop == 0) noteStackTop();
    if (here() >= stackFloor) return false;
    ++trips;
    return true;
}

unsigned stackGuardTrips() { return trips; }

}  // namespace tvx::interp
