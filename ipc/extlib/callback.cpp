// The callback entry point (!CallbackFunction): a libffi closure that a library
// calls as a plain C function. It runs the macro's function CallbackFunction in
// the running macro with the address of a block holding the arguments.
#include <dlfcn.h>
#include <ffi.h>

#include <cstdio>
#include <thread>

#include "interp/api.h"
#include "ipc/extlib/extlib.h"
#include "ipc/extlib/extlib_state.h"
#include "ipc/extlib/faultguard.h"

namespace tvx::ipc::extlib {

using namespace interp;

// The argument block a macro reads: the low 32 bits of the eight integer
// arguments (as the 32-bit words older macros read with PeekL at offsets 0, 4,
// ... 28), then the eight whole 64-bit arguments (at offsets 32, 40, ... 88) for
// pointers.
struct CallbackArguments {
    int32_t words[8];
    uint64_t full[8];
};

class CallbackEntry {
public:
    explicit CallbackEntry(Interpreter& ip) : ip_(ip) {
        for (ffi_type*& t : types_) t = &ffi_type_uint64;
        closure_ = static_cast<ffi_closure*>(ffi_closure_alloc(sizeof(ffi_closure), &code_));
        if (!closure_) return;
        if (ffi_prep_cif(&cif_, FFI_DEFAULT_ABI, 8, &ffi_type_sint32, types_) != FFI_OK ||
            ffi_prep_closure_loc(closure_, &cif_, &CallbackEntry::entered, this, code_) != FFI_OK) {
            ffi_closure_free(closure_);
            closure_ = nullptr;
            code_ = nullptr;
        }
    }
    ~CallbackEntry() {
        if (closure_) ffi_closure_free(closure_);
    }
    CallbackEntry(const CallbackEntry&) = delete;
    CallbackEntry& operator=(const CallbackEntry&) = delete;

    void* address() const { return closure_ ? code_ : nullptr; }
    int argumentBytes = 8;  // kept for macros that set it; the 64-bit caller cleans up itself
    int calls = 0;

private:
    // Callbacks calling back into the library that calls back again end here.
    static constexpr int kMaxDepth = 16;

    static void entered(ffi_cif*, void* ret, void** args, void* self) {
        auto* entry = static_cast<CallbackEntry*>(self);
        int32_t value = entry->run(args);
        *static_cast<ffi_arg*>(ret) = static_cast<ffi_arg>(static_cast<int64_t>(value));
    }

    int32_t run(void** args) {
        ExtLibState& st = state(ip_);
        // Only on the thread that runs the macro: a library's own thread must
        // not enter the interpreter.
        if (std::this_thread::get_id() != st.callingThread || depth_ >= kMaxDepth) return 0;
        ++calls;
        CallbackArguments block{};
        for (int i = 0; i < 8; ++i) {
            uint64_t a = *static_cast<uint64_t*>(args[i]);
            block.full[i] = a;
            block.words[i] = static_cast<int32_t>(static_cast<uint32_t>(a));
        }
        char text[64];
        std::snprintf(text, sizeof text, "CallbackFunction(%llu)",
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&block)));
        // Host code runs now: a fault here is the host's, not the library's.
        GuardPause pause;
        ++depth_;
        MCVal result;
        Error err = ip_.evaluateStandalone(text, NameLookup::AsNow, result);
        --depth_;
        if (err) {
            if (ip_.hasMacro()) ip_.reportError(err);
            return 0;
        }
        if (!result.isReal() && !result.isComplex()) return 0;
        return static_cast<int32_t>(toUInt32Wrapped(result.re));
    }

    Interpreter& ip_;
    ffi_closure* closure_ = nullptr;
    void* code_ = nullptr;
    ffi_cif cif_{};
    ffi_type* types_[8]{};
    int depth_ = 0;
};

void* callbackEntry(Interpreter& ip) {
    ExtLibState& st = state(ip);
    if (!st.callback) st.callback = std::make_unique<CallbackEntry>(ip);
    if (st.callingThread == std::thread::id()) st.callingThread = std::this_thread::get_id();
    return st.callback->address();
}

void setCallbackArgumentBytes(Interpreter& ip, int bytes) {
    callbackEntry(ip);
    state(ip).callback->argumentBytes = bytes;
}

int callbackCalls(Interpreter& ip) {
    ExtLibState& st = state(ip);
    return st.callback ? st.callback->calls : 0;
}

ExtLibState& state(Interpreter& ip) { return ip.state<ExtLibState>(); }

ExtLibState::ExtLibState() = default;

ExtLibState::~ExtLibState() {
    for (Library& library : libraries)
        if (library.handle) ::dlclose(library.handle);
}

}  // namespace tvx::ipc::extlib
