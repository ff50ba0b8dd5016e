// The fault guard around calls into external libraries: a SIGSEGV, SIGBUS or
// SIGFPE raised on the calling thread while a guarded call runs ends that call
// (the statement then fails with error 822) instead of the program.
//
// What it cannot undo: whatever the faulting function had done before the
// fault. Memory it had written (the macro's vectors and strings included),
// locks it held, memory it had allocated and its own global state stay as they
// were at the fault; a library whose state was corrupted may fail again later.
#pragma once

#include <functional>

namespace tvx::ipc::extlib {

enum class GuardResult { kDone, kFault };

struct FaultInfo {
    int signal = 0;
    void* address = nullptr;
};

// Runs call with the guard armed on this thread. Guards nest (a callback may
// call another declared function); the handlers that were installed before are
// restored when the outermost guard ends.
GuardResult runGuarded(void (*call)(void*), void* context, FaultInfo& info);

// While a callback of the library runs host code, faults there are the host's
// own and must not jump back into the library call: the guard is paused.
class GuardPause {
public:
    GuardPause();
    ~GuardPause();
    GuardPause(const GuardPause&) = delete;
    GuardPause& operator=(const GuardPause&) = delete;

private:
    void* saved_;
};

}  // namespace tvx::ipc::extlib
