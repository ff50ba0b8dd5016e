// The two cached handles: hand-over between reading and writing one file,
// names that differ in spelling only, and files that are no regular files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "builtins/files/filecache.h"

namespace tvx::builtins {
namespace {

class FileCacheTest : public ::testing::Test {
protected:
    std::filesystem::path dir;
    FileCache cache;

    void SetUp() override {
        char pattern[] = "/tmp/tolvex-cache-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        cache.closeAll();
        std::filesystem::remove_all(dir);
    }
    std::string path(const char* name) { return (dir / name).string(); }
};

TEST_F(FileCacheTest, OneFileIsNeverOpenThroughBothHandles) {
    std::string a = path("a.txt"), b = path("b.txt");
    int w = cache.openWrite(a, a);
    ASSERT_GE(w, 0);
    ASSERT_EQ(::write(w, "abc", 3), 3);
    // Reading another file keeps the write handle.
    std::ofstream(b) << "x";
    ASSERT_GE(cache.openRead(b, b), 0);
    EXPECT_EQ(cache.writeHandleFor(a, a), w);
    // Reading the written file takes it from the write handle, and back.
    int r = cache.openRead(a, a);
    ASSERT_GE(r, 0);
    EXPECT_EQ(cache.writeHandleFor(a, a), -1);
    EXPECT_EQ(cache.readHandleFor(b, b), -1);
    char text[4] = {};
    EXPECT_EQ(::read(r, text, 3), 3);
    EXPECT_STREQ(text, "abc");
    ASSERT_GE(cache.openWrite(a, a), 0);
    EXPECT_EQ(cache.readHandleFor(a, a), -1);
}

TEST_F(FileCacheTest, WriteHandleStartsAtTheEndUnlessAsked) {
    std::string a = path("a.txt");
    std::ofstream(a) << "12345";
    int w = cache.openWrite(a, a);
    EXPECT_EQ(::lseek(w, 0, SEEK_CUR), 5);
    w = cache.openWrite(a, a, kOpenForceReopen | kOpenNoSeekToEnd);
    EXPECT_EQ(::lseek(w, 0, SEEK_CUR), 0);
}

TEST_F(FileCacheTest, CachedOnlyRequestOpensNothing) {
    std::string a = path("a.txt");
    std::ofstream(a) << "x";
    EXPECT_EQ(cache.openRead(a, a, kOpenIfCachedOnly), -1);
    int r = cache.openRead(a, a);
    ASSERT_GE(r, 0);
    EXPECT_EQ(cache.openRead(a, a, kOpenIfCachedOnly), r);
    EXPECT_EQ(cache.openRead(a, a), r);  // the same handle, not reopened
}

TEST_F(FileCacheTest, OtherSpellingsOfOneFileAreTheSameFile) {
    std::string a = path("a.txt");
    std::ofstream(a) << "x";
    std::string link = path("link.txt");
    ASSERT_EQ(::symlink(a.c_str(), link.c_str()), 0);
    int w = cache.openWrite("C:\\A.TXT", a);
    ASSERT_GE(w, 0);
    // Another macro-level name with the same POSIX path, and a link to it.
    EXPECT_EQ(cache.writeHandleFor("c:/a.txt", a), w);
    EXPECT_EQ(cache.writeHandleFor("other name", link), w);
    EXPECT_EQ(cache.writeHandleFor("unrelated", path("b.txt")), -1);
    ASSERT_GE(cache.openRead("other name", link), 0);
    EXPECT_EQ(cache.writeHandleFor("C:\\A.TXT", a), -1);
}

TEST_F(FileCacheTest, DirectoriesAndMissingFilesGiveNoHandle) {
    std::string missing = path("missing.txt");
    errno = 0;
    EXPECT_EQ(cache.openRead(missing, missing), -1);
    EXPECT_EQ(errno, ENOENT);
    std::string sub = path("sub");
    ASSERT_EQ(::mkdir(sub.c_str(), 0777), 0);
    EXPECT_EQ(cache.openRead(sub, sub), -1);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(cache.openWrite(sub, sub), -1);
    // A failed open leaves no stale handle behind.
    EXPECT_EQ(cache.readHandleFor(sub, sub), -1);
}

TEST_F(FileCacheTest, PipeWithoutPartnerDoesNotHang) {
    std::string fifo = path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    // Without a reader the write handle fails at once; the read handle opens.
    EXPECT_EQ(cache.openWrite(fifo, fifo), -1);
    EXPECT_GE(cache.openRead(fifo, fifo), 0);
}

}  // namespace
}  // namespace tvx::builtins
