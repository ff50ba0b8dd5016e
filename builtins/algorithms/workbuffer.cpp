#include "builtins/algorithms/workbuffer.h"

#include <cstdio>

namespace tvx::builtins {

namespace {

// Requests up to this size are simply tried.
constexpr int64_t kUncheckedBytes = int64_t{64} << 20;

// MemAvailable of /proc/meminfo in bytes, or -1 when it cannot be read.
int64_t availableMemory() {
    std::FILE* file = std::fopen("/proc/meminfo", "r");
    if (!file) return -1;
    char line[256];
    int64_t result = -1;
    while (std::fgets(line, sizeof line, file)) {
        long long kilobytes = 0;
        if (std::sscanf(line, "MemAvailable: %lld kB", &kilobytes) == 1) {
            result = static_cast<int64_t>(kilobytes) * 1024;
            break;
        }
    }
    std::fclose(file);
    return result;
}

}  // namespace

bool memoryAllows(int64_t bytes) {
    if (bytes < 0) return false;
    if (bytes <= kUncheckedBytes) return true;
    int64_t available = availableMemory();
    return available < 0 || bytes <= available - available / 8;
}

}  // namespace tvx::builtins
