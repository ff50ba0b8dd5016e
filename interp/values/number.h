// Conversions of numbers (all doubles) to the integers that arguments, indexes
// and integer operators use. Every conversion rounds half away from zero.
#pragma once

#include <cmath>
#include <cstdint>

#include "interp/errors.h"

namespace tvx::interp {

// Rounds half away from zero; the caller guarantees x is finite and in range.
inline int64_t roundHalfAway(double x) { return static_cast<int64_t>(x >= 0 ? x + 0.5 : x - 0.5); }

// A 32-bit argument: -2147483648..4294967295 (the upper half passes as its
// unsigned bit pattern); anything else, NaN included, is error 811.
inline Error toInt32Arg(double x, int32_t& out) {
    if (!(x > -2147483648.5 && x < 4294967295.5)) return kIntegerOverflow;
    out = static_cast<int32_t>(static_cast<uint32_t>(roundHalfAway(x)));
    return kOk;
}

// A 16-bit argument: -32768..65535 after rounding, else error 811.
inline Error toInt16Arg(double x, int16_t& out) {
    if (!(x > -32768.5 && x < 65535.5)) return kIntegerOverflow;
    out = static_cast<int16_t>(static_cast<uint16_t>(roundHalfAway(x)));
    return kOk;
}

// The integer operators' rule: a magnitude of 4294967295.5 or more is first
// reduced modulo 2^32, then the value is rounded and its low 32 bits kept.
// NaN and infinities have no integer value and give 0.
inline uint32_t toUInt32Wrapped(double x) {
    if (!std::isfinite(x)) return 0;
    if (std::fabs(x) >= 4294967295.5) x = std::fmod(x, 4294967296.0);
    return static_cast<uint32_t>(roundHalfAway(x));
}

// Integer round with saturation to the signed 32-bit range (indexes, counts).
inline int32_t toInt32Saturated(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.5) return INT32_MAX;
    if (x <= -2147483648.5) return INT32_MIN;
    return static_cast<int32_t>(roundHalfAway(x));
}

// Integer round with saturation to the signed 64-bit range.
inline int64_t toInt64Saturated(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 9223372036854775807.0) return INT64_MAX;
    if (x <= -9223372036854775808.0) return INT64_MIN;
    return roundHalfAway(x);
}

}  // namespace tvx::interp
