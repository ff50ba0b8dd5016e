// The stack guard on threads of their own: batch runs interpret on a thread
// whose stack is not the one the process's limit describes.
#include <gtest/gtest.h>

#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "interp/stackguard.h"

namespace {

struct Probe {
    uintptr_t top = 0;
    uintptr_t deepest = 0;
    bool tripped = false;
    unsigned trips = 0;
};

// Recursion with a frame of a few kilobytes until the guard says stop.
[[gnu::noinline]] void descend(Probe& probe, int level) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(level);
    frame[sizeof frame - 1] = frame[0];
    auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (here < probe.deepest || probe.deepest == 0) probe.deepest = here;
    if (tvx::interp::stackNearlyExhausted()) {
        probe.tripped = true;
        return;
    }
    if (level < 1000000) descend(probe, level + 1);
    frame[1] = frame[0];
}

void* probeThread(void* data) {
    auto* probe = static_cast<Probe*>(data);
    probe->top = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    tvx::interp::noteStackTop();
    descend(*probe, 0);
    probe->trips = tvx::interp::stackGuardTrips();
    return nullptr;
}

Probe probeOnStackOf(size_t bytes) {
    Probe probe;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, bytes);
    pthread_t thread;
    EXPECT_EQ(pthread_create(&thread, &attributes, probeThread, &probe), 0);
    pthread_attr_destroy(&attributes);
    pthread_join(thread, nullptr);
    return probe;
}

// A stack smaller than the process's limit is not overrun (the thread would
// crash), and one larger than it is used, not only the limit's share of it.
TEST(StackGuard, FollowsTheStackOfTheThreadItRunsOn) {
    constexpr size_t kMiB = 1024 * 1024;
    for (size_t size : {3 * kMiB, 64 * kMiB}) {
        Probe probe = probeOnStackOf(size);
        EXPECT_TRUE(probe.tripped) << size;
        EXPECT_EQ(probe.trips, 1u) << size;
        uintptr_t used = probe.top - probe.deepest;
        EXPECT_LT(used, size) << size;
        EXPECT_GT(used, size / 2) << "the guard stopped after " << used << " of " << size << " bytes";
    }
}

}  // namespace
