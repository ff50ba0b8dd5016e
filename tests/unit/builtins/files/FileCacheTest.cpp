// The two cached handles: hand-over between reading and writing one file,
// names that differ in spelling only, files that are no regular files, and
// the read lease that keeps bytes read ahead valid.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "builtins/files/filecache.h"
#include "builtins/files/readlease.h"

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

// Rewrites the file in place with other bytes of the same length and gives it
// back its old modification time: only a lease can tell.
void rewriteInPlace(const std::string& file, const char* text) {
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    int fd = ::open(file.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, text, std::strlen(text), 0), static_cast<ssize_t>(std::strlen(text)));
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);
}

TEST_F(FileCacheTest, ReadAheadIsDroppedWhenAnyoneOpensTheLeasedFileForWriting) {
    std::string a = path("a.txt");
    std::ofstream(a) << "11 22";
    int r = cache.openRead(a, a);
    ASSERT_GE(r, 0);
    FileCache::ReadAhead* ahead = &cache.readAhead(r);
    if (!readlease::intact(r)) GTEST_SKIP() << "no read lease on this file system or for this user";
    ahead->bytes = "11 22";
    ahead->atEnd = true;
    // Unchanged: the bytes stay, with no check of the file.
    EXPECT_EQ(cache.readAhead(r).bytes, "11 22");

    // Written from this process, through another descriptor.
    rewriteInPlace(a, "33 44");
    EXPECT_FALSE(readlease::intact(r));
    ahead = &cache.readAhead(r);
    EXPECT_TRUE(ahead->bytes.empty());
    EXPECT_FALSE(ahead->atEnd);
    ahead->bytes = "33 44";

    // Written from another process, once the cache holds a lease again.
    cache.closeRead();
    r = cache.openRead(a, a);
    ASSERT_GE(r, 0);
    cache.readAhead(r).bytes = "33 44";
    ASSERT_TRUE(readlease::intact(r));
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int fd = ::open(a.c_str(), O_WRONLY | O_TRUNC);
        _exit(fd >= 0 && ::write(fd, "5", 1) == 1 ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(cache.readAhead(r).bytes.empty());
    EXPECT_EQ(cache.readAhead(r).fileSize, 1);
}

TEST_F(FileCacheTest, OneReadLeasePerProcessAndNoneBesideAWriter) {
    std::string a = path("a.txt"), b = path("b.txt");
    std::ofstream(a) << "1";
    std::ofstream(b) << "2";
    int fa = ::open(a.c_str(), O_RDONLY), fb = ::open(b.c_str(), O_RDONLY);
    ASSERT_GE(fa, 0);
    ASSERT_GE(fb, 0);
    if (!readlease::take(fa)) {
        ::close(fa);
        ::close(fb);
        GTEST_SKIP() << "no read lease on this file system or for this user";
    }
    EXPECT_FALSE(readlease::take(fb));
    readlease::release(fa);
    EXPECT_FALSE(readlease::intact(fa));
    // A thread that blocks the lease's signal would not hear of a break: none.
    sigset_t all, before;
    sigfillset(&all);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &all, &before), 0);
    EXPECT_FALSE(readlease::take(fa));
    ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, &before, nullptr), 0);
    // A file open for writing gets none.
    int w = ::open(b.c_str(), O_WRONLY);
    EXPECT_FALSE(readlease::take(fb));
    ::close(w);
    EXPECT_TRUE(readlease::take(fb));
    readlease::release(fb);
    ::close(fa);
    ::close(fb);
}

TEST_F(FileCacheTest, WriteHandleWaitsForAnotherCachesLease) {
    std::string a = path("a.txt");
    std::ofstream(a) << "11 22";
    int r = cache.openRead(a, a);
    ASSERT_GE(r, 0);
    cache.readAhead(r).bytes = "11 22";
    // A second cache (another interpreter of this process) opens it for
    // writing, without blocking: it must not fail for the lease.
    FileCache other;
    int w = other.openWrite(a, a);
    ASSERT_GE(w, 0);
    ASSERT_EQ(::write(w, "!", 1), 1);
    other.closeAll();
    EXPECT_TRUE(cache.readAhead(r).bytes.empty());
}

}  // namespace
}  // namespace tvx::builtins
