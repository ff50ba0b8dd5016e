// The string work area: 4096 bytes in which string expressions and string
// arguments are built. Strings stay valid until their statement has consumed
// its arguments; the area is then taken back (mark / release).
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "interp/errors.h"

namespace tvx::interp {

class StringWorkArea {
public:
    static constexpr size_t kSize = 4096;

    size_t mark() const { return top_; }
    void release(size_t mark) {
        top_ = mark <= top_ ? mark : top_;
        while (!long_.empty() && long_.back().first >= top_) long_.pop_back();
    }
    void reset() {
        top_ = 0;
        long_.clear();
    }

    // Stores text (and a NUL) in the area; fails with 814 when it does not fit.
    Error store(std::string_view text, std::string_view& stored) {
        // (top_ never passes kSize; saying so keeps the compiler's bounds check quiet)
        if (top_ > kSize || text.size() >= kSize - top_) return kStringOverflow;
        char* start = buffer_ + top_;
        std::memcpy(start, text.data(), text.size());
        start[text.size()] = '\0';
        top_ += text.size() + 1;
        stored = {start, text.size()};
        return kOk;
    }

    // A text longer than the area (a long string variable passed whole as an
    // argument) is kept aside until the area is released below it; it takes
    // one byte of the area, so that every later mark lies above it.
    Error storeLong(std::string_view text, std::string_view& stored) {
        if (top_ >= kSize) return kStringOverflow;
        long_.emplace_back(top_, std::make_unique<std::string>(text));
        buffer_[top_++] = '\0';
        stored = *long_.back().second;
        return kOk;
    }

    size_t available() const { return kSize - top_; }

private:
    char buffer_[kSize];
    size_t top_ = 0;
    std::vector<std::pair<size_t, std::unique_ptr<std::string>>> long_;
};

// The longest string the work area can hold.
constexpr size_t kMaxStringLength = StringWorkArea::kSize - 1;

}  // namespace tvx::interp
