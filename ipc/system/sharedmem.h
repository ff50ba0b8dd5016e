// Named shared memory between programs (the stand-in for named file mappings):
// POSIX shared-memory objects mapped into the process.
//
// A mapping name is the macro's name with "Local\" dropped (the same object as
// the bare name) and "Global\" kept apart; every byte outside letters, digits,
// '.', '_' and '-' is escaped as %XX, and the result lives under the prefix
// "tolvex." in the shared-memory folder, so no name can reach a file outside
// it or an object of another program.
//
// Like a Windows mapping, an object lives while any program has it open: each
// opener holds a shared lock on it, and the last one to close removes the name.
// A new object is zero-filled; opening an existing one never shrinks it (a
// larger request grows it, so every host's view stays backed by memory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tvx::ipc::shm {

// The shared-memory object name ("/tolvex.name"), or "" when the escaped name
// would be longer than the system allows.
std::string objectName(std::string_view name);

class Mapping {
public:
    Mapping() = default;
    ~Mapping() { close(); }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

    // Creates the object (or opens the existing one, growing it to at least
    // size bytes) and maps all of it. An empty name makes memory of this
    // process alone. False on any failure (nothing stays open).
    bool create(std::string_view name, size_t size);
    // Opens an existing object of at least size bytes and maps all of it.
    bool openExisting(std::string_view name, size_t size);
    // Unmaps; the last program to close an object removes its name.
    void close();

    bool isOpen() const { return address_ != nullptr; }
    void* address() const { return address_; }
    size_t size() const { return size_; }
    // True when this call made the object (it was zero-filled).
    bool created() const { return created_; }

private:
    bool open(std::string_view name, size_t size, bool create);
    bool mapWhole(size_t size);

    int fd_ = -1;
    void* address_ = nullptr;
    size_t size_ = 0;
    bool created_ = false;
    std::string object_;
};

}  // namespace tvx::ipc::shm
