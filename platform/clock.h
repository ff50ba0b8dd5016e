// Time sources: a high-resolution monotonic clock, the millisecond tick count,
// and the processor's time-stamp counter.
#pragma once

#include <cstdint>

namespace tvx::platform {

// Seconds from an arbitrary fixed point, high resolution, monotonic.
double monotonicSeconds();
// Milliseconds since system start (like GetTickCount), 32-bit wrap-around.
uint32_t tickCountMs();
// Milliseconds since system start as a 64-bit count.
uint64_t tickCount64Ms();
// The processor's time-stamp counter (or a nanosecond counter where there is none).
uint64_t timeStampCounter();
// Sleeps the given milliseconds (0 yields the processor).
void sleepMs(unsigned ms);

}  // namespace tvx::platform
