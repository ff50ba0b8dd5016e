// Named shared memory: names that stay in their namespace, two processes on
// the same bytes, the lifetime of an object, and the slots' keep flag.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "ipc/system/sharedmem.h"
#include "tests/unit/ipc/IpcMacroRun.h"

namespace tvx::ipc::shm {
namespace {

std::string uniqueName(const char* base) { return std::string(base) + "-" + std::to_string(::getpid()); }

bool objectExists(std::string_view name) {
    int fd = ::shm_open(objectName(name).c_str(), O_RDONLY, 0);
    if (fd >= 0) ::close(fd);
    return fd >= 0;
}

TEST(SharedMemoryNames, StayInsideTheirNamespace) {
    EXPECT_EQ(objectName("Camera.Frame_1-a"), "/tolvex.Camera.Frame_1-a");
    EXPECT_EQ(objectName("../../etc/passwd"), "/tolvex...%2F..%2Fetc%2Fpasswd");
    EXPECT_EQ(objectName("Local\\frame"), objectName("frame"));
    EXPECT_EQ(objectName("Global\\frame"), "/tolvex-global.frame");
    EXPECT_EQ(objectName("a b\xff"), "/tolvex.a%20b%FF");
    EXPECT_EQ(objectName(std::string(300, 'x')), "");
    for (const char* name : {"x/y", "/abs", "a\\b", "\\"})
        EXPECT_EQ(objectName(name).find('/', 1), std::string::npos) << name;
}

TEST(SharedMemory, TwoProcessesSeeTheSameBytesAndTheSecondCreatorDoesNotZeroThem) {
    std::string name = uniqueName("two-hosts");
    Mapping first;
    ASSERT_TRUE(first.create(name, 4096));
    EXPECT_TRUE(first.created());
    auto* bytes = static_cast<unsigned char*>(first.address());
    for (size_t i = 0; i < 4096; ++i) ASSERT_EQ(bytes[i], 0) << i;  // new objects are zero-filled
    std::strcpy(reinterpret_cast<char*>(bytes), "from the parent");

    int toChild[2], toParent[2];
    ASSERT_EQ(::pipe(toChild), 0);
    ASSERT_EQ(::pipe(toParent), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        Mapping second;
        // A larger request grows the object; it never zeroes what is there.
        if (!second.create(name, 8192) || second.created()) ::_exit(1);
        auto* b = static_cast<char*>(second.address());
        if (std::strcmp(b, "from the parent") != 0) ::_exit(2);
        std::strcpy(b + 100, "from the child");
        b[8000] = 'z';
        char c = 1;
        if (::write(toParent[1], &c, 1) != 1 || ::read(toChild[0], &c, 1) != 1) ::_exit(3);
        ::_exit(b[200] == 'p' ? 0 : 4);
    }
    char c = 0;
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);
    EXPECT_STREQ(reinterpret_cast<char*>(bytes) + 100, "from the child");
    bytes[200] = 'p';
    Mapping again;  // the object has grown: a fresh view sees all of it
    ASSERT_TRUE(again.openExisting(name, 8192));
    EXPECT_EQ(static_cast<char*>(again.address())[8000], 'z');
    ASSERT_EQ(::write(toChild[1], &c, 1), 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) ::close(fd);
}

TEST(SharedMemory, TheLastUserToCloseRemovesTheObject) {
    std::string name = uniqueName("lifetime");
    Mapping a, b;
    ASSERT_TRUE(a.create(name, 100));
    ASSERT_TRUE(b.openExisting(name, 100));
    EXPECT_FALSE(b.openExisting(name, 101)) << "an existing object must have the size asked for";
    ASSERT_TRUE(b.openExisting(name, 50));
    a.close();
    EXPECT_TRUE(objectExists(name));
    b.close();
    EXPECT_FALSE(objectExists(name));
    Mapping c;
    EXPECT_FALSE(c.openExisting(name, 1));
}

TEST(SharedMemory, AnUnnamedMappingIsPrivateAndZeroed) {
    Mapping m;
    ASSERT_TRUE(m.create("", 10000));
    auto* p = static_cast<unsigned char*>(m.address());
    EXPECT_EQ(p[0] | p[9999], 0);
    Mapping none;
    EXPECT_FALSE(none.openExisting("", 10));
    EXPECT_FALSE(none.create("x", 0));
}

class SharedMemoryCommands : public testing::IpcMacroRun {};

TEST_F(SharedMemoryCommands, SlotsMapCloseAndKeepTheirViewOneRunLonger) {
    std::string name = uniqueName("slots");
    std::vector<std::string> lines = run("a = CreateSharedMemory(0, \"" + name +
                                         "\", 64)\n"
                                         "b = CreateSharedMemory(1, \"" +
                                         name +
                                         "\", -64)\n"
                                         "PokeL a + 8, 123456\n"
                                         "?PeekL(b + 8)\n"
                                         "?CreateSharedMemory(10, \"x\", 64)\n"
                                         "?CreateSharedMemory(2, \"" +
                                         name +
                                         "-none\", -8)\n"
                                         "?CreateSharedMemory(1, \"\", 0)\n"
                                         "k = CreateSharedMemory(3, \"" +
                                         name + "\", 64, 1)\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "PeekL(b + 8) = 123456");
    EXPECT_EQ(lines[1], "CreateSharedMemory(10, \"x\", 64) = 0");
    EXPECT_EQ(lines[2], "CreateSharedMemory(2, \"" + name + "-none\", -8) = 0");
    EXPECT_EQ(lines[3], "CreateSharedMemory(1, \"\", 0) = 0");
    // The run has ended: slot 3 (keep bit) still holds the object, the others are closed.
    EXPECT_TRUE(objectExists(name));
    run("x = 1\n");
    EXPECT_FALSE(objectExists(name)) << "the keep bit lasts one end of a run";
}

}  // namespace
}  // namespace tvx::ipc::shm
