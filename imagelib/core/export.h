// Export macro and the guard that keeps C++ exceptions inside the library.
#pragma once

#include <new>

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

}  // namespace tvx::imagelib
