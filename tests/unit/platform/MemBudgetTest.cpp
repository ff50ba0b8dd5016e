// The memory budget: what the system reports, and the limits that lower it.
#include "platform/membudget.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tvx::platform;

TEST(MemBudget, RefusesWhatNoMachineHas) {
    const int64_t available = availableMemory();
    ASSERT_GT(available, 0) << "Linux reports MemAvailable";
    EXPECT_TRUE(memoryAllows(0));
    EXPECT_TRUE(memoryAllows(int64_t{1} << 20));
    EXPECT_FALSE(memoryAllows(-1));
    EXPECT_FALSE(memoryAllows(int64_t{1} << 60));
    // A request just above what is available is refused; half of it is not.
    EXPECT_FALSE(memoryAllows(available + 1));
    if (available > (int64_t{256} << 20)) {
        EXPECT_TRUE(memoryAllows(available / 2));
    }
}

TEST(MemBudget, AddressSpaceLimitLowersTheBudget) {
    // In a child, so the limit does not stay with the test process.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // 8 GiB above what the process has mapped already (which is a lot under the
        // address sanitizer).
        long long pages = 0;
        if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%lld", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        const rlim_t room = rlim_t{8} << 30;
        const rlim_t wanted = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + room;
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        if (pages == 0 || (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted)) _exit(0);
        limit.rlim_cur = wanted;
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(0);
        const int64_t available = availableMemory();
        const bool lowered = available >= 0 && available <= static_cast<int64_t>(room);
        _exit(lowered && !memoryAllows(int64_t{9} << 30) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
