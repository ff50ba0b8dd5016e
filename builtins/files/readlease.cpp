#include "builtins/files/readlease.h"

#include <fcntl.h>
#include <sys/vfs.h>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace tvx::builtins::readlease {

namespace {

// The descriptor holding the lease (-1: none) and whether it was broken since.
// Both are read by the signal handler, hence lock-free atomics.
std::atomic<int> gLeasedFd{-1};
std::atomic<bool> gBroken{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

// A real-time signal carries the descriptor, so that the handler lets go of
// the right lease.
int leaseSignal() { return SIGRTMIN + 4; }

// Runs when another opener wants to write: marks the lease broken first, then
// gives it up, which lets the opener go on. Whatever it writes comes after
// the mark.
void onLeaseBreak(int, siginfo_t* info, void*) {
    const int saved = errno;
    gBroken.store(true);
    int fd = gLeasedFd.load();
    if (info && info->si_signo == leaseSignal() && info->si_fd >= 0) fd = info->si_fd;
    if (fd >= 0) ::fcntl(fd, F_SETLEASE, F_UNLCK);
    errno = saved;
}

// Installs the handler once, on a signal nobody else has claimed. SIGIO gets
// it too where nobody handles it: should a break ever come as plain SIGIO, it
// must not end the host.
bool handlerInstalled() {
    static const bool installed = [] {
        struct sigaction current {};
        if (::sigaction(leaseSignal(), nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return false;
        struct sigaction action {};
        action.sa_sigaction = onLeaseBreak;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        if (::sigaction(leaseSignal(), &action, nullptr) != 0) return false;
        if (::sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            ::sigaction(SIGIO, &action, nullptr);
        return true;
    }();
    return installed;
}

// File systems whose every writer goes through this kernel. On network and
// user-space file systems, writers elsewhere would not break the lease.
bool localFileSystem(int fd) {
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0) return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
    case 0xF2F52010:  // f2fs
        return true;
    default: return false;
    }
}

// True when this thread would take the signal. A break that no thread takes
// would go unnoticed here, while the kernel lets the writer go on after a while.
bool signalReachesThisThread() {
    sigset_t blocked;
    return ::pthread_sigmask(SIG_BLOCK, nullptr, &blocked) == 0 && !sigismember(&blocked, leaseSignal());
}

}  // namespace

bool take(int fd) {
    if (fd < 0 || !handlerInstalled() || !signalReachesThisThread() || !localFileSystem(fd)) return false;
    int none = -1;
    if (!gLeasedFd.compare_exchange_strong(none, fd)) return false;
    gBroken.store(false);
    // The kernel forgets the signal number when a lease goes: set it each time.
    if (::fcntl(fd, F_SETSIG, leaseSignal()) != 0 || ::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) {
        gLeasedFd.store(-1);
        return false;
    }
    return true;
}

bool intact(int fd) { return fd >= 0 && gLeasedFd.load(std::memory_order_relaxed) == fd && !gBroken.load(); }

void release(int fd) {
    int mine = fd;
    if (fd >= 0 && gLeasedFd.compare_exchange_strong(mine, -1)) ::fcntl(fd, F_SETLEASE, F_UNLCK);
}

}  // namespace tvx::builtins::readlease
