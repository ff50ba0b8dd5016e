#include "interp/stackguard.h"

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

}  // namespace

void noteStackTop() {
    uintptr_t top = here();
    if (stackTop != 0 && top < stackTop) return;  // keep the outermost position
    rlimit limit{};
    uintptr_t size = kAssumedStack;
    if (getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        size = limit.rlim_cur;
    else if (limit.rlim_cur == RLIM_INFINITY)
        size = 512 * 1024 * 1024;
    // The part of the stack above this frame (main and its callers) is small;
    // a quarter of a megabyte covers it.
    uintptr_t usable = size > kSafetyMargin * 2 + 256 * 1024 ? size - kSafetyMargin - 256 * 1024 : size / 2;
    stackTop = top;
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
