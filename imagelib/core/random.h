// The library's pseudo-random sequence (noise, dithering, spots).
#pragma once

#include <cstdint>

namespace tvx::imagelib {

class PixRandom {
public:
    // Starts from a fresh random number plus the fixed offset the sequence always had.
    PixRandom();
    explicit PixRandom(uint32_t start) : state_(start + 617872165u) {}

    uint32_t state() const
    {
        return state_;
    }
    void advance()
    {
        state_ = ((state_ >> 3) | (state_ << 29)) ^ (state_ >> 10);
    }

private:
    uint32_t state_;
};

}  // namespace tvx::imagelib
