// Memory probes: the kernel copies one byte per page for us (process_vm_readv /
// process_vm_writev) and reports a fault instead of raising a signal; without
// those calls, the mappings in /proc/self/maps give the same answer.
#include "platform/memprobe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace tvx::platform {
namespace {

std::atomic<ProbeMethod> g_forcedMethod{ProbeMethod::Automatic};
std::atomic<bool> g_systemCallsRefused{false};

size_t pageSize() {
    static const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

bool useSystemCalls() {
    switch (g_forcedMethod.load(std::memory_order_relaxed)) {
    case ProbeMethod::SystemCalls: return true;
    case ProbeMethod::MemoryMap: return false;
    case ProbeMethod::Automatic: break;
    }
    return !g_systemCallsRefused.load(std::memory_order_relaxed);
}

// The last byte of [address, address + size), or false for a null address or a
// range that wraps around. size must not be 0.
bool lastByte(const void* address, size_t size, uintptr_t* last) {
    const uintptr_t first = reinterpret_cast<uintptr_t>(address);
    if (first == 0 || size - 1 > UINTPTR_MAX - first) return false;
    *last = first + (size - 1);
    return true;
}

enum class Answer { Yes, No, Unknown };

// Errors that mean "this call is not allowed here", as opposed to a fault.
bool isRefusal(int err) { return err == EPERM || err == ENOSYS || err == EACCES; }

Answer failureAnswer(int err) {
    if (err == EFAULT) return Answer::No;
    const ProbeMethod forced = g_forcedMethod.load(std::memory_order_relaxed);
    if (isRefusal(err) && forced == ProbeMethod::Automatic) {
        g_systemCallsRefused.store(true, std::memory_order_relaxed);
    }
    return Answer::Unknown;
}

// One byte of every page of [first, last] through the kernel; with writeBack,
// each byte read is written back to where it came from.
Answer probeBySystemCall(uintptr_t first, uintptr_t last, bool writeBack) {
    constexpr size_t kBatch = 64;  // pages per call
    const pid_t self = ::getpid();
    unsigned char bytes[kBatch];
    iovec local[kBatch];
    iovec remote[kBatch];
    uintptr_t page = first;
    bool more = true;
    while (more) {
        size_t n = 0;
        while (more && n < kBatch) {
            local[n] = {&bytes[n], 1};
            remote[n] = {reinterpret_cast<void*>(page), 1};
            ++n;
            const uintptr_t next = (page & ~(pageSize() - 1)) + pageSize();
            more = next != 0 && next <= last;
            page = next;
        }
        ssize_t done = ::process_vm_readv(self, local, n, remote, n, 0);
        if (done < 0) return failureAnswer(errno);
        if (static_cast<size_t>(done) != n) return Answer::No;
        if (writeBack) {
            done = ::process_vm_writev(self, local, n, remote, n, 0);
            if (done < 0) return failureAnswer(errno);
            if (static_cast<size_t>(done) != n) return Answer::No;
        }
    }
    return Answer::Yes;
}

bool readWholeFile(const char* path, std::string* out) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            return n == 0;
        }
        out->append(buffer, static_cast<size_t>(n));
    }
}

struct Mapping {
    uintptr_t start = 0;
    uintptr_t end = 0;  // one past the last byte
    bool readable = false;
    bool writable = false;
    unsigned long long offset = 0;
    unsigned long long inode = 0;
    std::string_view path;
};

// "start-end perms offset dev inode   path"
bool parseMapping(std::string_view line, Mapping* m) {
    char perms[5] = {};
    unsigned long start = 0, end = 0;
    unsigned long long offset = 0, inode = 0;
    int pathStart = 0;
    const std::string copy(line);
    if (std::sscanf(copy.c_str(), "%lx-%lx %4s %llx %*s %llu %n", &start, &end, perms, &offset, &inode,
                    &pathStart) < 5) {
        return false;
    }
    m->start = start;
    m->end = end;
    m->readable = perms[0] == 'r';
    m->writable = perms[1] == 'w';
    m->offset = offset;
    m->inode = inode;
    m->path = line.substr(std::min(line.size(), static_cast<size_t>(pathStart)));
    return true;
}

// Whether the kernel can copy one byte of every page of [first, last] into a
// pipe: a page it cannot read comes back as EFAULT, where a direct access
// would raise a signal.
bool copyableToPipe(uintptr_t first, uintptr_t last) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    bool ok = true;
    char sink[256];
    for (uintptr_t page = first;;) {
        ssize_t n = ::write(fds[1], reinterpret_cast<const void*>(page), 1);
        if (n < 0 && errno == EAGAIN) {  // the pipe is full: empty it and retry
            while (::read(fds[0], sink, sizeof sink) > 0) {}
            n = ::write(fds[1], reinterpret_cast<const void*>(page), 1);
        }
        if (n != 1) {
            ok = false;
            break;
        }
        const uintptr_t next = (page & ~(pageSize() - 1)) + pageSize();
        if (next == 0 || next > last) break;
        page = next;
    }
    ::close(fds[0]);
    ::close(fds[1]);
    return ok;
}

// Whether the bytes of mapping m from address from up to address to can be
// touched without a fault beyond the permissions: kernel pages that fault on
// access, and pages of a file mapping past the end of the file (SIGBUS).
bool backed(const Mapping& m, uintptr_t from, uintptr_t to) {
    if (m.path == "[vsyscall]" || m.path.substr(0, 5) == "[vvar") return false;
    if (m.inode == 0) return true;
    // map_files names the mapped file itself, even a deleted one (it needs
    // privileges); the path is the second choice.
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/map_files/%lx-%lx", static_cast<unsigned long>(m.start),
                  static_cast<unsigned long>(m.end));
    struct stat st {};
    if (::stat(link, &st) != 0 || st.st_ino != m.inode) {
        constexpr std::string_view kDeleted = " (deleted)";
        const bool deleted =
            m.path.size() >= kDeleted.size() && m.path.substr(m.path.size() - kDeleted.size()) == kDeleted;
        if (m.path.empty() || m.path.front() != '/' || deleted ||
            ::stat(std::string(m.path).c_str(), &st) != 0 || st.st_ino != m.inode) {
            // The file's size is unknown: let the kernel try the pages.
            return copyableToPipe(from, to);
        }
    }
    if (!S_ISREG(st.st_mode)) return true;  // devices have no end to run past
    const unsigned long long size = static_cast<unsigned long long>(st.st_size);
    const unsigned long long pagesInFile = (size + pageSize() - 1) / pageSize() * pageSize();
    return m.offset + (to - m.start) < pagesInFile;
}

// [first, last] covered by mappings with the permission, without gaps.
Answer probeByMemoryMap(uintptr_t first, uintptr_t last, bool write) {
    std::string maps;
    if (!readWholeFile("/proc/self/maps", &maps)) return Answer::Unknown;
    uintptr_t next = first;  // the first byte not yet known to be accessible
    size_t pos = 0;
    while (pos < maps.size()) {
        size_t eol = maps.find('\n', pos);
        if (eol == std::string::npos) eol = maps.size();
        Mapping m;
        const bool parsed = parseMapping(std::string_view(maps).substr(pos, eol - pos), &m);
        pos = eol + 1;
        if (!parsed || m.end <= next) continue;
        if (m.start > next) return Answer::No;  // a gap
        if (!(write ? m.writable : m.readable)) return Answer::No;
        const uintptr_t upTo = std::min(last, m.end - 1);
        if (!backed(m, next, upTo)) return Answer::No;
        if (upTo == last) return Answer::Yes;
        next = m.end;
    }
    return Answer::No;
}

bool probe(const void* address, size_t size, bool write) {
    if (address == nullptr) return false;
    if (size == 0) return true;
    uintptr_t last = 0;
    if (!lastByte(address, size, &last)) return false;
    const uintptr_t first = reinterpret_cast<uintptr_t>(address);
    if (useSystemCalls()) {
        const Answer a = probeBySystemCall(first, last, write);
        if (a != Answer::Unknown) return a == Answer::Yes;
        const ProbeMethod forced = g_forcedMethod.load(std::memory_order_relaxed);
        if (forced == ProbeMethod::SystemCalls) return false;
    }
    return probeByMemoryMap(first, last, write) == Answer::Yes;
}

bool overlaps(const void* a, const void* b, size_t size) {
    const uintptr_t x = reinterpret_cast<uintptr_t>(a);
    const uintptr_t y = reinterpret_cast<uintptr_t>(b);
    return x < y + size && y < x + size;
}

// Copies by the kernel; false when the call is refused or fails part-way.
bool copyBySystemCall(void* destination, const void* source, size_t size, bool remoteIsSource) {
    const pid_t self = ::getpid();
    size_t done = 0;
    while (done < size) {
        iovec local = remoteIsSource
                          ? iovec{static_cast<char*>(destination) + done, size - done}
                          : iovec{const_cast<char*>(static_cast<const char*>(source)) + done, size - done};
        iovec remote = remoteIsSource
                           ? iovec{const_cast<char*>(static_cast<const char*>(source)) + done, size - done}
                           : iovec{static_cast<char*>(destination) + done, size - done};
        const ssize_t n = remoteIsSource ? ::process_vm_readv(self, &local, 1, &remote, 1, 0)
                                         : ::process_vm_writev(self, &local, 1, &remote, 1, 0);
        if (n <= 0) {
            if (n < 0) failureAnswer(errno);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool safeCopy(void* destination, const void* source, size_t size, bool remoteIsSource) {
    if (!isReadable(source, size) || !isWritable(destination, size)) return false;
    if (size == 0) return true;
    // Both ranges were just found accessible; the kernel copy also survives a
    // mapping that disappears in between. Overlapping ranges need memmove.
    if (useSystemCalls() && !overlaps(destination, source, size)) {
        if (copyBySystemCall(destination, source, size, remoteIsSource)) return true;
        if (useSystemCalls()) return false;  // failed part-way: the memory changed under us
    }
    std::memmove(destination, source, size);
    return true;
}

}  // namespace

bool isReadable(const void* address, size_t size) { return probe(address, size, false); }

bool isWritable(void* address, size_t size) { return probe(address, size, true); }

long readableStringLength(const char* address, size_t maxLength) {
    if (address == nullptr) return -1;
    maxLength = std::min(maxLength, static_cast<size_t>(LONG_MAX));
    std::vector<char> buffer(pageSize());
    size_t n = 0;
    while (n < maxLength) {
        const char* p = address + n;
        const uintptr_t at = reinterpret_cast<uintptr_t>(address) + n;
        if (at < reinterpret_cast<uintptr_t>(address)) return -1;  // wrapped around
        const size_t chunk = std::min(maxLength - n, pageSize() - at % pageSize());
        // A copy by the kernel, or (without the system calls) a look at the map first.
        const char* scan = p;
        if (useSystemCalls() && copyBySystemCall(buffer.data(), p, chunk, true)) {
            scan = buffer.data();
        } else if (useSystemCalls() || !isReadable(p, chunk)) {
            return -1;  // a fault; a refused call has switched to the map by now
        }
        if (const void* nul = std::memchr(scan, 0, chunk)) {
            return static_cast<long>(n + static_cast<size_t>(static_cast<const char*>(nul) - scan));
        }
        n += chunk;
    }
    return static_cast<long>(maxLength);
}

bool safeRead(void* destination, const void* source, size_t size) {
    return safeCopy(destination, source, size, true);
}

bool safeWrite(void* destination, const void* source, size_t size) {
    return safeCopy(destination, source, size, false);
}

void setProbeMethod(ProbeMethod method) { g_forcedMethod.store(method, std::memory_order_relaxed); }

ProbeMethod activeProbeMethod() {
    return useSystemCalls() ? ProbeMethod::SystemCalls : ProbeMethod::MemoryMap;
}

}  // namespace tvx::platform
