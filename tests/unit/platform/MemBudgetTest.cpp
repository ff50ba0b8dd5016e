// The memory budget: what the system reports, and the limits that lower it.
#include "platform/membudget.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tvx::platform;

TEST(MemBudget, RefusesWhatNoMachineHas)
{
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

TEST(MemBudget, AddressSpaceLimitLowersTheBudget)
{
    // In a child, so the limit does not stay with the test process.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        const rlim_t wanted = rlim_t{8} << 30;
        if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted)
            _exit(0);
        limit.rlim_cur = wanted;
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            _exit(0);
        const int64_t available = availableMemory();
        _exit(available >= 0 && available <= static_cast<int64_t>(wanted) && !memoryAllows(int64_t{9} << 30)
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
