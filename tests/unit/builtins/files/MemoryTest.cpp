// Raw memory commands where a macro alone cannot show the effect: atomic
// updates racing with another thread, and addresses outside any variable.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <atomic>
#include <thread>

#include "MacroFixture.h"
#include "builtins/files/files.h"

namespace tvx::builtins {
namespace {

using MemoryTest = testing::MacroFixture;

std::string address(const void* p) { return std::to_string(reinterpret_cast<uintptr_t>(p)); }

TEST_F(MemoryTest, LockedAddsRaceWithAnotherThreadWithoutLosingOne) {
    alignas(8) static uint32_t counter[2];
    counter[0] = 0;
    counter[1] = 0;
    constexpr int kEach = 20000;
    std::atomic<bool> go{false};
    std::thread other([&] {
        while (!go.load()) {}
        for (int i = 0; i < kEach; ++i) __atomic_fetch_add(&counter[0], 1u, __ATOMIC_SEQ_CST);
    });
    go = true;
    run("Loop " + std::to_string(kEach) + "\nLockedMemAddL " + address(&counter[0]) + ", 1\nEndLoop\n");
    other.join();
    EXPECT_EQ(counter[0], 2u * kEach);
    EXPECT_EQ(counter[1], 0u);
}

TEST_F(MemoryTest, UnalignedExchangeChangesItsBytesOnly) {
    alignas(8) static unsigned char bytes[16];
    for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(last("?MemExchangeW(" + address(bytes + 3) + ", 0xABCD)\n"),
              "MemExchangeW(" + address(bytes + 3) + ", 0xABCD) = 1027");
    EXPECT_EQ(bytes[3], 0xCD);
    EXPECT_EQ(bytes[4], 0xAB);
    EXPECT_EQ(bytes[2], 2);
    EXPECT_EQ(bytes[5], 5);
    // A value that crosses an 8-byte word cannot be exchanged atomically.
    run("x = MemExchangeL(" + address(bytes + 6) + ", 0)\n");
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_NE(host.boxes[0].find("Bad parameters"), std::string::npos);
    EXPECT_EQ(bytes[6], 6);
}

TEST_F(MemoryTest, ReadOnlyAndUnmappedMemoryIsABadAddress) {
    long page = ::sysconf(_SC_PAGESIZE);
    void* ro = ::mmap(nullptr, static_cast<size_t>(page), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(ro, MAP_FAILED);
    void* gone = ::mmap(nullptr, static_cast<size_t>(page), PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(gone, MAP_FAILED);
    ::munmap(gone, static_cast<size_t>(page));
    std::vector<std::string> shown =
        run("?Peek(" + address(ro) + ")\nPoke " + address(ro) + ", 1\nLockedMemAddB " + address(ro) +
            ", 1\n?MemExchangeL(" + address(ro) + ", 1)\n?Peek(" + address(gone) + ")\nMemSet " +
            address(gone) + ", 1, 8\n");
    EXPECT_EQ(shown, std::vector<std::string>{"Peek(" + address(ro) + ") = 0"});
    ASSERT_EQ(host.boxes.size(), 5u);
    for (const std::string& box : host.boxes) EXPECT_NE(box.find("Bad Address"), std::string::npos) << box;
    ::munmap(ro, static_cast<size_t>(page));
}

TEST(Crc32, MatchesTheStandardCheckValueAndContinues) {
    EXPECT_EQ(crc32(0, "123456789", 9), 0xCBF43926u);
    EXPECT_EQ(crc32(0, "", 0), 0u);
    // Any cut of a text into two calls gives the CRC of the whole.
    std::string text = "The quick brown fox jumps over the lazy dog";
    uint32_t whole = crc32(0, text.data(), text.size());
    EXPECT_EQ(whole, 0x414FA339u);
    for (size_t cut = 0; cut <= text.size(); ++cut)
        EXPECT_EQ(crc32(crc32(0, text.data(), cut), text.data() + cut, text.size() - cut), whole) << cut;
}

}  // namespace
}  // namespace tvx::builtins
