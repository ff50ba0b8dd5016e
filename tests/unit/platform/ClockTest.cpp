// Time sources: monotonic, consistent with each other, and sleeps that last.
#include "platform/clock.h"

#include <gtest/gtest.h>

using namespace tvx::platform;

TEST(Clock, CountersAdvanceTogether) {
    const double s0 = monotonicSeconds();
    const uint64_t t0 = tickCount64Ms();
    const uint64_t c0 = timeStampCounter();
    sleepMs(30);
    const double s1 = monotonicSeconds();
    const uint64_t t1 = tickCount64Ms();
    const uint64_t c1 = timeStampCounter();
    EXPECT_GE(s1 - s0, 0.029);
    EXPECT_GE(t1 - t0, 29u);
    EXPECT_GT(c1, c0);
    // The 32-bit count is the low part of the 64-bit one.
    const uint32_t low = tickCountMs();
    const uint64_t full = tickCount64Ms();
    EXPECT_LE(static_cast<uint32_t>(full) - low, 1u);
    EXPECT_NEAR(static_cast<double>(tickCount64Ms()) / 1000.0, monotonicSeconds(), 0.5);
}

TEST(Clock, NeverGoesBackwards) {
    double last = monotonicSeconds();
    uint64_t lastTick = tickCount64Ms();
    for (int i = 0; i < 100000; ++i) {
        const double now = monotonicSeconds();
        const uint64_t tick = tickCount64Ms();
        ASSERT_GE(now, last);
        ASSERT_GE(tick, lastTick);
        last = now;
        lastTick = tick;
    }
    sleepMs(0);  // yields, returns at once
}
