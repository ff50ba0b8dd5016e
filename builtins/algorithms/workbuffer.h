// Scratch memory for the numerical routines and the vector commands. A request
// beyond what the system can give is refused up front, so that a huge size from
// a macro ends in error 813 instead of exhausting the machine; buffers never throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/membudget.h"

namespace tvx::builtins {

// True when bytes can reasonably be allocated now: small requests always, large
// ones when the system reports that much memory available (with a margin).
using platform::memoryAllows;

template <typename T>
class WorkBuffer {
public:
    WorkBuffer() = default;
    WorkBuffer(const WorkBuffer&) = delete;
    WorkBuffer& operator=(const WorkBuffer&) = delete;
    WorkBuffer(WorkBuffer&& other) noexcept : data_(other.data_), size_(other.size_) {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    ~WorkBuffer() { std::free(data_); }

    // Uninitialised room for count elements; false when it cannot be had.
    bool allocate(int64_t count) {
        std::free(data_);
        data_ = nullptr;
        size_ = 0;
        if (count < 0 || static_cast<uint64_t>(count) > SIZE_MAX / 2 / sizeof(T)) return false;
        int64_t bytes = (count ? count : 1) * static_cast<int64_t>(sizeof(T));
        if (!memoryAllows(bytes)) return false;
        data_ = static_cast<T*>(std::malloc(static_cast<size_t>(bytes)));
        if (data_) size_ = count;
        return data_ != nullptr;
    }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T& operator[](int64_t i) { return data_[i]; }
    const T& operator[](int64_t i) const { return data_[i]; }
    int64_t size() const { return size_; }
    // Hands the memory to the caller (to be released with std::free).
    T* release() {
        T* p = data_;
        data_ = nullptr;
        size_ = 0;
        return p;
    }

private:
    T* data_ = nullptr;
    int64_t size_ = 0;
};

}  // namespace tvx::builtins
