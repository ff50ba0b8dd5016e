// Memory probes against pages made for the purpose: read-write, read-only,
// inaccessible, unmapped, and past the end of a mapped file; answered both by
// the system calls and by the memory map, and with the system calls refused.
#include "platform/memprobe.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

using namespace tvx::platform;

namespace {

// Four pages: read-write, read-only, no access, unmapped.
struct TestPages {
    TestPages() {
        size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        void* p = ::mmap(nullptr, 4 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) std::abort();
        base = static_cast<char*>(p);
        std::memset(base, 'a', 2 * size);
        ::mprotect(page(1), size, PROT_READ);
        ::mprotect(page(2), size, PROT_NONE);
        ::munmap(page(3), size);
    }
    ~TestPages() { ::munmap(base, 3 * size); }
    char* page(int i) const { return base + i * size; }
    char* base = nullptr;
    size_t size = 0;
};

class MemProbe : public ::testing::TestWithParam<ProbeMethod> {
protected:
    void SetUp() override {
        setProbeMethod(GetParam());
        if (GetParam() == ProbeMethod::SystemCalls) {
            int probe = 0;
            if (!isReadable(&probe, sizeof probe)) GTEST_SKIP() << "process_vm_readv refused here";
        }
    }
    void TearDown() override { setProbeMethod(ProbeMethod::Automatic); }
    TestPages pages;
};

}  // namespace

TEST_P(MemProbe, AnswersForEveryKindOfPage) {
    const size_t n = pages.size;
    EXPECT_FALSE(isReadable(nullptr, 0));
    EXPECT_FALSE(isReadable(nullptr, 1));
    EXPECT_FALSE(isReadable(reinterpret_cast<void*>(1), 1));
    EXPECT_FALSE(isWritable(reinterpret_cast<void*>(1), 1));
    EXPECT_FALSE(isReadable(reinterpret_cast<void*>(UINTPTR_MAX - 10), 100));     // wraps around
    EXPECT_FALSE(isReadable(reinterpret_cast<void*>(0xFFFF800000000000ull), 8));  // kernel space
    EXPECT_TRUE(isReadable(pages.page(3), 0));                                    // nothing is touched

    EXPECT_TRUE(isReadable(pages.page(0), n));
    EXPECT_TRUE(isWritable(pages.page(0), n));
    EXPECT_TRUE(isReadable(pages.page(1), n));
    EXPECT_FALSE(isWritable(pages.page(1), 1));
    EXPECT_TRUE(isReadable(pages.page(0), 2 * n));
    EXPECT_FALSE(isWritable(pages.page(0), n + 1));  // the last byte is read-only
    EXPECT_FALSE(isReadable(pages.page(2), 1));
    EXPECT_FALSE(isReadable(pages.page(2) - 1, 2));  // spans into the inaccessible page
    EXPECT_FALSE(isReadable(pages.page(3), 1));
    EXPECT_FALSE(isWritable(pages.page(3), 1));
    EXPECT_FALSE(isReadable(pages.page(0), 4 * n));
    EXPECT_FALSE(isReadable(pages.page(0), size_t{1} << 40));

    // The write probe leaves the bytes as they were.
    for (size_t i = 0; i < n; ++i) pages.page(0)[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(isWritable(pages.page(0), n));
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(pages.page(0)[i], static_cast<char>(i * 7));

    int onStack = 0;
    EXPECT_TRUE(isWritable(&onStack, sizeof onStack));
    static const char kConstant[] = "in the read-only data";
    EXPECT_TRUE(isReadable(kConstant, sizeof kConstant));
    EXPECT_FALSE(isWritable(const_cast<char*>(kConstant), 1));
}

TEST_P(MemProbe, StringLengths) {
    char* end = pages.page(1) + pages.size;                 // the inaccessible page starts here
    std::memcpy(pages.page(0) + pages.size - 3, "abc", 3);  // a string across two pages
    ASSERT_EQ(::mprotect(pages.page(1), pages.size, PROT_READ | PROT_WRITE), 0);
    std::memcpy(pages.page(1), "de", 3);
    ASSERT_EQ(::mprotect(pages.page(1), pages.size, PROT_READ), 0);
    EXPECT_EQ(readableStringLength(pages.page(0) + pages.size - 3, 100), 5);
    EXPECT_EQ(readableStringLength(pages.page(0) + pages.size - 3, 4), 4);
    EXPECT_EQ(readableStringLength(pages.page(0), 0), 0);
    EXPECT_EQ(readableStringLength(end - 10, 10), 10);  // no NUL, but all readable
    EXPECT_EQ(readableStringLength(end - 10, 11), -1);  // runs into the inaccessible page
    EXPECT_EQ(readableStringLength(nullptr, 10), -1);
    EXPECT_EQ(readableStringLength(pages.page(3), 10), -1);
}

TEST_P(MemProbe, SafeCopiesAllOrNothing) {
    const size_t n = pages.size;
    char buffer[64];
    std::memset(buffer, 'z', sizeof buffer);
    std::memcpy(pages.page(0), "payload", 8);
    ASSERT_TRUE(safeRead(buffer, pages.page(0), 8));
    EXPECT_STREQ(buffer, "payload");

    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_FALSE(safeRead(buffer, pages.page(2) - 8, 16));  // half of it is unreadable
    EXPECT_EQ(buffer[0], 'z');
    EXPECT_FALSE(safeRead(buffer, reinterpret_cast<void*>(1), 4));
    EXPECT_FALSE(safeRead(pages.page(1), buffer, 4));  // the destination is read-only

    EXPECT_FALSE(safeWrite(pages.page(1), "x", 1));
    EXPECT_EQ(pages.page(1)[0], 'a');
    EXPECT_FALSE(safeWrite(pages.page(1) - 4, "12345678", 8));  // ends in the read-only page
    EXPECT_EQ(std::memcmp(pages.page(1) - 4, "aaaa", 4), 0);
    EXPECT_TRUE(safeWrite(pages.page(0) + n - 4, "1234", 4));
    EXPECT_EQ(std::memcmp(pages.page(0) + n - 4, "1234", 4), 0);

    // Overlapping ranges copy like memmove.
    std::memcpy(pages.page(0), "0123456789", 10);
    ASSERT_TRUE(safeRead(pages.page(0) + 2, pages.page(0), 6));
    EXPECT_EQ(std::memcmp(pages.page(0), "0101234589", 10), 0);
    EXPECT_TRUE(safeWrite(buffer, buffer, 0));
}

TEST_P(MemProbe, FileMappingEndsWithTheFile) {
    // A deleted file, so that only the mapping itself knows its size.
    char name[] = "/tmp/tvxprobe.XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::unlink(name);
    // One full page without a NUL, mapped as two pages.
    const std::string data(pages.size, 'x');
    ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    void* p = ::mmap(nullptr, 2 * pages.size, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    ASSERT_NE(p, MAP_FAILED);
    char* file = static_cast<char*>(p);
    EXPECT_TRUE(isReadable(file, pages.size));
    EXPECT_FALSE(isReadable(file + pages.size, 1));  // touching it would raise SIGBUS
    EXPECT_FALSE(isReadable(file, pages.size + 1));
    EXPECT_EQ(readableStringLength(file + pages.size - 2, 2), 2);
    EXPECT_EQ(readableStringLength(file + pages.size - 2, 10), -1);
    ::munmap(p, 2 * pages.size);
}

TEST_P(MemProbe, DeviceMappingsHaveNoEnd) {
    const int fd = ::open("/dev/zero", O_RDONLY);
    ASSERT_GE(fd, 0);
    void* p = ::mmap(nullptr, 2 * pages.size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    ASSERT_NE(p, MAP_FAILED);
    EXPECT_TRUE(isReadable(p, 2 * pages.size));
    ::munmap(p, 2 * pages.size);
}

INSTANTIATE_TEST_SUITE_P(BothWays, MemProbe,
                         ::testing::Values(ProbeMethod::SystemCalls, ProbeMethod::MemoryMap),
                         [](const auto& info) {
                             return info.param == ProbeMethod::SystemCalls ? "SystemCalls" : "MemoryMap";
                         });

// A seccomp policy that refuses process_vm_readv and process_vm_writev with
// EPERM, installed in a child process: the probes must notice and fall back.
TEST(MemProbeRefused, FallsBackToTheMemoryMap) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_process_vm_readv, 1, 0),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_process_vm_writev, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
            ::_exit(77);
        }
        TestPages pages;
        int code = 0;
        if (activeProbeMethod() != ProbeMethod::SystemCalls) code |= 1;
        if (!isReadable(pages.page(0), pages.size)) code |= 2;  // the first probe meets EPERM
        if (activeProbeMethod() != ProbeMethod::MemoryMap) code |= 4;
        if (isReadable(pages.page(2), 1) || isWritable(pages.page(1), 1)) code |= 8;
        if (!isWritable(pages.page(0), 1)) code |= 16;
        char copy[4] = {};
        if (!safeRead(copy, pages.page(1), 4) || std::memcmp(copy, "aaaa", 4) != 0) code |= 32;
        if (readableStringLength(pages.page(2) - 4, 8) != -1) code |= 64;
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot install a seccomp filter here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed checks, as bits";
}
