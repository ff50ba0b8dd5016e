// Reading and writing one pixel of any depth, by coordinates from the top.
#pragma once

#include "imagelib/core/slot.h"

#include <cstdint>

namespace tvx::imagelib {

// The pixel's value: palette index for 8 bits or fewer (sub-byte pixels from the
// high-order bits first), else the little-endian number of its bytes.
inline uint32_t readPixel(const Slot& s, int x, int y)
{
    const uint8_t* row = s.row(y);
    const int bits = s.bits();
    if (bits == 8)
        return row[x];
    if (bits < 8) {
        const size_t bit = static_cast<size_t>(x) * bits;
        const size_t byte = bit >> 3;
        const unsigned window = (unsigned{row[byte]} << 8) | (byte + 1 < s.stride() ? row[byte + 1] : 0u);
        return (window >> (16 - bits - (bit & 7))) & ((1u << bits) - 1);
    }
    const int bytes = bits / 8;
    const uint8_t* p = row + static_cast<size_t>(x) * bytes;
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// Grey level of a blue-green-red pixel, weighted as the eye sees brightness.
inline uint8_t greyOf(const uint8_t* bgr)
{
    return static_cast<uint8_t>((3 * bgr[0] + 8 * bgr[1] + 5 * bgr[2]) >> 4);
}

inline void writePixel(const Slot& s, int x, int y, uint32_t value)
{
    uint8_t* row = s.row(y);
    const int bits = s.bits();
    if (bits == 8) {
        row[x] = static_cast<uint8_t>(value);
        return;
    }
    if (bits < 8) {
        const size_t bit = static_cast<size_t>(x) * bits;
        const size_t byte = bit >> 3;
        const unsigned shift = 16 - bits - (bit & 7);
        const unsigned mask = ((1u << bits) - 1) << shift;
        const bool two = byte + 1 < s.stride();
        unsigned window = (unsigned{row[byte]} << 8) | (two ? row[byte + 1] : 0u);
        window = (window & ~mask) | ((value << shift) & mask);
        row[byte] = static_cast<uint8_t>(window >> 8);
        if (two)
            row[byte + 1] = static_cast<uint8_t>(window);
        return;
    }
    uint8_t* p = row + static_cast<size_t>(x) * (bits / 8);
    for (int i = 0; i < bits / 8; ++i)
        p[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace tvx::imagelib
