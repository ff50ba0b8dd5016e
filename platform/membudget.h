// How much memory the system can still give this process. Large requests (from a macro's
// sizes, or an image set that multiplies them) are checked against it before they are
// made: with overcommit, an allocation that cannot be backed succeeds and the process is
// killed later, when the pages are touched, instead of getting a clear error.
#pragma once

#include <cstdint>

namespace tvx::platform {

// Bytes that can still be allocated and touched: the least of MemAvailable of
// /proc/meminfo, the headroom of the process's memory control groups (limit minus
// usage, for every level up to the root of the mount) and the headroom under the
// address-space limit. -1 when none of them can be read. Thread-safe.
int64_t availableMemory();

// True when bytes can reasonably be allocated now: requests up to 64 MiB always, larger
// ones when they leave an eighth of the available memory free (or when nothing is
// known about it). Negative sizes never.
bool memoryAllows(int64_t bytes);

// A cap on any one request, for the whole process (0: none, the default). Set from the
// settings file, so that a macro asking for a huge block on a small machine fails at
// once instead of pushing the machine into swap.
void setRequestLimit(int64_t bytes);
int64_t requestLimitBytes();

}  // namespace tvx::platform
