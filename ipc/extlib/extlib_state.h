// The state of the external-library family for one interpreter: the library
// cache, the resolved entry points, and the callback entry point.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "interp/api.h"
#include "ipc/extlib/faultguard.h"

namespace tvx::ipc::extlib {

struct Library {
    std::string key;         // the target text in lower case (")" + identifier for an automation object)
    void* handle = nullptr;  // a library
    std::shared_ptr<void> object;  // an automation object (ipc/automation)
};

// What a declaration resolved to; valid while its text stays the same.
struct ResolvedEntry {
    std::string declaration;
    void* handle = nullptr;
    void* entry = nullptr;
};

class CallbackEntry;

struct ExtLibState : interp::FamilyState {
    static constexpr size_t kMaxLibraries = 32;

    std::vector<Library> libraries;
    std::unordered_map<std::string, ResolvedEntry> entries;  // by declared name, lower case
    void* callOnlyHandle = nullptr;  // a library opened for one call when the cache was full
    int lookups = 0;                 // entry points looked up (dlsym)
    int faults = 0;                  // calls ended by the fault guard
    FaultInfo lastFault;
    int depth = 0;  // declared calls running (callbacks may nest them)
    std::thread::id callingThread;
    std::unique_ptr<CallbackEntry> callback;

    Library* findLibrary(std::string_view key);
    void freeLibrary(Library& library);
    void endOfRun(interp::Interpreter& ip) override;
    ExtLibState();
    ~ExtLibState() override;
};

ExtLibState& state(interp::Interpreter& ip);

}  // namespace tvx::ipc::extlib
