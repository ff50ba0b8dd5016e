// Export macro and the guard that keeps C++ exceptions inside the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "platform/memprobe.h"

#define PX_EXPORT extern "C" __attribute__((visibility("default")))

namespace tvx::imagelib {

// Runs body and returns its result; any exception (out of memory included) becomes onError.
// Every px export goes through this, so nothing thrown inside can unwind into a caller
// that knows nothing of C++.
template <class R, class Body>
R guarded(R onError, Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return onError;
    }
}

// Stores a result where the caller's pointer points: nothing for a null pointer,
// and a pointer that cannot be written is passed over, never followed.
template <class T>
void storeResult(T* target, T value)
{
    if (target && platform::isWritable(target, sizeof *target))
        *target = value;
}

// Paths and names callers pass are at most this long; longer ones are cut.
constexpr size_t kMaxPath = 511;

// A caller's NUL-terminated string (cut at kMaxPath), or false for a null pointer or
// an address that cannot be read.
inline bool callerString(const char* text, std::string* out)
{
    if (!text)
        return false;
    const long n = platform::readableStringLength(text, kMaxPath + 1);
    if (n < 0)
        return false;
    out->assign(text, n > static_cast<long>(kMaxPath) ? kMaxPath : static_cast<size_t>(n));
    return true;
}

// A window handle a caller passed as a pointer; 0 for values no handle can have.
inline uint32_t windowHandleFrom(const void* window)
{
    const auto value = reinterpret_cast<uintptr_t>(window);
    return value <= 0xFFFFFFFFu ? static_cast<uint32_t>(value) : 0;
}

}  // namespace tvx::imagelib
