#include "builtins/files/filecache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <thread>

#include "builtins/files/readlease.h"

namespace tvx::builtins {

bool FileCache::belongs(const Handle& h, const std::string& name, const std::string& posix) {
    if (h.fd < 0) return false;
    if (h.name == name || h.posix == posix) return true;
    // Another spelling of the same file (a link, another case of a drive path).
    struct stat info {};
    return ::stat(posix.c_str(), &info) == 0 && static_cast<uint64_t>(info.st_dev) == h.device &&
           static_cast<uint64_t>(info.st_ino) == h.inode;
}

void FileCache::close(Handle& h) {
    if (h.leased) readlease::release(h.fd);
    if (h.fd >= 0) ::close(h.fd);
    h = Handle{};
}

void FileCache::closeAll() {
    close(read_);
    close(write_);
}

void FileCache::closeFile(const std::string& name, const std::string& posix) {
    if (belongs(read_, name, posix)) close(read_);
    if (belongs(write_, name, posix)) close(write_);
}

FileCache::ReadAhead& FileCache::readAhead(int fd) {
    // After a failed try, or a broken lease (a writer has the file open), the
    // next try waits this many requests: each try costs two system calls.
    constexpr int kLeaseRetryRequests = 4096;
    ReadAhead& ahead = read_.ahead;
    if (fd != read_.fd) {
        ahead = ReadAhead{};
        return ahead;
    }
    if (read_.leased) {
        if (readlease::intact(fd)) return ahead;
        // Someone opened the file for writing: what was read ahead goes.
        readlease::release(fd);
        read_.leased = false;
        read_.leaseRetry = kLeaseRetryRequests;
        ahead = ReadAhead{};
    }
    // The lease comes before the check below, which then covers every change
    // up to it.
    if (read_.leaseRetry-- <= 0) {
        read_.leased = readlease::take(fd);
        read_.leaseRetry = kLeaseRetryRequests;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ahead = ReadAhead{};
        return ahead;
    }
    const int64_t size = static_cast<int64_t>(info.st_size);
    const int64_t modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    if (size != ahead.fileSize || modified != ahead.modifiedNs) {
        ahead = ReadAhead{};
        ahead.fileSize = size;
        ahead.modifiedNs = modified;
    }
    return ahead;
}

void FileCache::syncReadPosition() {
    if (read_.fd >= 0) ::lseek(read_.fd, read_.position, SEEK_SET);
}

int FileCache::readHandleFor(const std::string& name, const std::string& posix) const {
    return belongs(read_, name, posix) ? read_.fd : -1;
}

int FileCache::writeHandleFor(const std::string& name, const std::string& posix) const {
    return belongs(write_, name, posix) ? write_.fd : -1;
}

int FileCache::openRead(const std::string& name, const std::string& posix, unsigned options) {
    return open(read_, write_, false, name, posix, options);
}

int FileCache::openWrite(const std::string& name, const std::string& posix, unsigned options) {
    return open(write_, read_, true, name, posix, options);
}

int FileCache::open(Handle& mine, Handle& other, bool forWrite, const std::string& name,
                    const std::string& posix, unsigned options) {
    bool same = belongs(mine, name, posix);
    if (same && !(options & kOpenForceReopen)) return mine.fd;
    if (options & kOpenIfCachedOnly) {
        errno = EBADF;
        return -1;
    }
    close(mine);
    // One file is never open through both handles at once.
    if (belongs(other, name, posix)) close(other);
    // Non-blocking while opening, so that a FIFO without a writer cannot hang the host.
    const int flags =
        forWrite ? O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK : O_RDONLY | O_CLOEXEC | O_NONBLOCK;
    int fd = ::open(posix.c_str(), flags, 0666);
    // A reader's lease on the file (see readlease.h) turns a non-blocking open
    // for writing away until the reader has let go, which takes moments.
    for (int tries = 0; fd < 0 && errno == EWOULDBLOCK && forWrite && tries < 500; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        fd = ::open(posix.c_str(), flags, 0666);
    }
    if (fd < 0) return -1;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return -1;
    }
    if (forWrite && !(options & kOpenNoSeekToEnd)) ::lseek(fd, 0, SEEK_END);
    mine.fd = fd;
    mine.name = name;
    mine.posix = posix;
    mine.device = static_cast<uint64_t>(info.st_dev);
    mine.inode = static_cast<uint64_t>(info.st_ino);
    return fd;
}

}  // namespace tvx::builtins
