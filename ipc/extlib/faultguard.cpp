// The fault guard: sigsetjmp before the call, siglongjmp from the handler. The
// handler runs on an alternate stack so that a callee that overflowed its stack
// is caught too. A fault outside a guarded call (another thread, host code) is
// handed to the handler that was there before, as if the guard did not exist.
#include "ipc/extlib/faultguard.h"

#include <setjmp.h>
#include <signal.h>

#include <array>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace tvx::ipc::extlib {

namespace {

constexpr std::array<int, 3> kSignals = {SIGSEGV, SIGBUS, SIGFPE};

struct Frame {
    sigjmp_buf jump;
    FaultInfo info;
    Frame* outer = nullptr;
};

thread_local Frame* tActive = nullptr;  // the innermost armed guard of this thread

// The handlers in place before the first guard, restored after the last one.
std::mutex gInstallMutex;
int gInstalled = 0;  // guards armed on any thread
struct sigaction gPrevious[kSignals.size()];

int signalIndex(int sig) {
    for (size_t i = 0; i < kSignals.size(); ++i)
        if (kSignals[i] == sig) return static_cast<int>(i);
    return -1;
}

void passOn(int sig, siginfo_t* info, void* context) {
    int index = signalIndex(sig);
    const struct sigaction& previous = gPrevious[index < 0 ? 0 : index];
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction) {
            previous.sa_sigaction(sig, info, context);
            return;
        }
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(sig);
        return;
    }
    // The default action: put it back, and the instruction faults again on return.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
}

void onFault(int sig, siginfo_t* info, void* context) {
    Frame* frame = tActive;
    if (!frame) {
        passOn(sig, info, context);
        return;
    }
    frame->info.signal = sig;
    frame->info.address = info ? info->si_addr : nullptr;
    siglongjmp(frame->jump, 1);
}

// An alternate signal stack for this thread, unless one is in place.
void ensureAlternateStack() {
    thread_local std::vector<char> stack;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) && current.ss_size > 0)
        return;
    if (stack.empty()) stack.resize(static_cast<size_t>(SIGSTKSZ) < 65536 ? 65536 : SIGSTKSZ);
    stack_t mine{};
    mine.ss_sp = stack.data();
    mine.ss_size = stack.size();
    sigaltstack(&mine, nullptr);
}

void install() {
    std::lock_guard<std::mutex> lock(gInstallMutex);
    if (gInstalled++ > 0) return;
    struct sigaction action {};
    action.sa_sigaction = onFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &gPrevious[i]);
}

void uninstall() {
    std::lock_guard<std::mutex> lock(gInstallMutex);
    if (--gInstalled > 0) return;
    for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
}

}  // namespace

GuardResult runGuarded(void (*call)(void*), void* context, FaultInfo& info) {
    ensureAlternateStack();
    Frame frame;
    frame.outer = tActive;
    install();
    // volatile: read after siglongjmp returns to this frame.
    volatile bool faulted = false;
    if (sigsetjmp(frame.jump, 1) == 0) {
        tActive = &frame;
        call(context);
    } else {
        faulted = true;
    }
    tActive = frame.outer;
    uninstall();
    if (faulted) {
        info = frame.info;
        return GuardResult::kFault;
    }
    return GuardResult::kDone;
}

GuardPause::GuardPause() : saved_(tActive) { tActive = nullptr; }
GuardPause::~GuardPause() { tActive = static_cast<Frame*>(saved_); }

}  // namespace tvx::ipc::extlib
