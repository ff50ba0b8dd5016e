// Available memory from /proc/meminfo, the memory control groups and the rlimits.
#include "platform/membudget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace tvx::platform {

namespace {

// Requests up to this size are simply tried.
constexpr int64_t kUncheckedBytes = int64_t{64} << 20;
// Control groups report "no limit" as "max" (v2) or as a number near 2^63 (v1).
constexpr int64_t kNoLimit = INT64_MAX;

// The first number of a file, or -1; "max" counts as no limit.
int64_t readNumber(const std::string& path) {
    std::ifstream in(path);
    std::string word;
    if (!(in >> word)) return -1;
    if (word == "max") return kNoLimit;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(word.c_str(), &end, 10);
    if (end == word.c_str()) return -1;
    return value >= static_cast<unsigned long long>(kNoLimit / 2) ? kNoLimit : static_cast<int64_t>(value);
}

int64_t memInfoAvailable() {
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

// Least headroom (limit - usage) over the group at path and its parents up to root.
int64_t groupHeadroom(const std::string& root, std::string path, const char* limitFile,
                      const char* usageFile) {
    int64_t least = kNoLimit;
    for (;;) {
        const std::string dir = root + path;
        const int64_t limit = readNumber(dir + "/" + limitFile);
        if (limit >= 0 && limit != kNoLimit) {
            const int64_t usage = std::max<int64_t>(0, readNumber(dir + "/" + usageFile));
            least = std::min(least, std::max<int64_t>(0, limit - usage));
        }
        if (path.empty() || path == "/") break;
        const size_t slash = path.find_last_of('/');
        path.resize(slash == std::string::npos ? 0 : slash);
    }
    return least;
}

// Headroom of the memory control groups (v2 unified, or the v1 memory controller).
int64_t cgroupHeadroom() {
    std::ifstream in("/proc/self/cgroup");
    std::string line;
    int64_t least = kNoLimit;
    while (std::getline(in, line)) {
        const size_t first = line.find(':');
        const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (controllers.empty()) {
            for (const char* root : {"/sys/fs/cgroup", "/sys/fs/cgroup/unified"})
                least = std::min(least, groupHeadroom(root, path, "memory.max", "memory.current"));
        } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
            least = std::min(least, groupHeadroom("/sys/fs/cgroup/memory", path, "memory.limit_in_bytes",
                                                  "memory.usage_in_bytes"));
        }
    }
    return least;
}

// Room left under RLIMIT_AS, measured against the present size of the address space.
int64_t addressSpaceHeadroom() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return kNoLimit;
    std::ifstream in("/proc/self/statm");
    long long pages = 0;
    if (!(in >> pages)) return kNoLimit;
    const int64_t used = static_cast<int64_t>(pages) * sysconf(_SC_PAGESIZE);
    const auto cap = static_cast<int64_t>(std::min<rlim_t>(limit.rlim_cur, static_cast<rlim_t>(kNoLimit)));
    return std::max<int64_t>(0, cap - used);
}

}  // namespace

int64_t availableMemory() {
    const int64_t fromMemInfo = memInfoAvailable();
    int64_t least = std::min(cgroupHeadroom(), addressSpaceHeadroom());
    if (fromMemInfo >= 0) least = std::min(least, fromMemInfo);
    return least == kNoLimit ? -1 : least;
}

namespace {
std::atomic<int64_t> requestLimit{0};
}  // namespace

void setRequestLimit(int64_t bytes) { requestLimit.store(bytes > 0 ? bytes : 0, std::memory_order_relaxed); }

int64_t requestLimitBytes() { return requestLimit.load(std::memory_order_relaxed); }

bool memoryAllows(int64_t bytes) {
    if (bytes < 0) return false;
    const int64_t limit = requestLimit.load(std::memory_order_relaxed);
    if (limit > 0 && bytes > limit) return false;
    if (bytes <= kUncheckedBytes) return true;
    const int64_t available = availableMemory();
    return available < 0 || bytes <= available - available / 8;
}

}  // namespace tvx::platform
