// Sorting numbers by their positions: the keys are the bit patterns of the
// doubles made to order as unsigned integers, sorted by a least-significant
// digit radix sort (stable, linear in the count).
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace tvx::builtins::vectors {

// The key of a value: ascending keys order the values ascending (or
// descending), and NaN has the largest key either way, so it comes last.
inline uint64_t sortKey(double value, bool descending) {
    if (std::isnan(value)) return ~uint64_t{0};
    const auto bits = std::bit_cast<uint64_t>(value);
    const uint64_t key = (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
    return descending ? ~key : key;
}

// order receives the positions 0..n-1 ordered by ascending key (equal keys
// keep their order); keys are reordered along. False when the scratch memory
// cannot be had.
bool sortIndexes(uint64_t* keys, int64_t n, uint32_t* order);

}  // namespace tvx::builtins::vectors
