// Time sources on CLOCK_MONOTONIC, and the processor's time-stamp counter.
#include "platform/clock.h"

#include <sched.h>
#include <cerrno>
#include <ctime>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace tvx::platform {
namespace {

uint64_t nanoseconds(clockid_t clock) {
    timespec ts{};
    ::clock_gettime(clock, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

double monotonicSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

uint32_t tickCountMs() { return static_cast<uint32_t>(tickCount64Ms()); }

uint64_t tickCount64Ms() { return nanoseconds(CLOCK_MONOTONIC) / 1000000ull; }

uint64_t timeStampCounter() {
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    // No portable cycle counter: a nanosecond count unaffected by clock slewing.
    return nanoseconds(CLOCK_MONOTONIC_RAW);
#endif
}

void sleepMs(unsigned ms) {
    if (ms == 0) {
        ::sched_yield();
        return;
    }
    // An absolute deadline, so a signal that interrupts the sleep does not lengthen it.
    timespec deadline{};
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {}
}

}  // namespace tvx::platform
