// Sums of many elements: Sum on a variable and Sum of a computed block.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <future>
#include <system_error>
#include <type_traits>

namespace tvx::builtins::arrays {

using WideSum = long double;

template <typename T>
inline double elementAt(const unsigned char* bytes, int64_t i) {
    T v;
    std::memcpy(&v, bytes + i * static_cast<int64_t>(sizeof(T)), sizeof(T));
    return static_cast<double>(v);
}

// The sum of n elements of type T stored from bytes on (at any alignment),
// taken from the last to the first in extended precision, into four
// interleaved partial sums (so that the additions overlap).
template <typename T>
double sumExtended(const unsigned char* bytes, int64_t n) {
    WideSum s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int64_t i = n;
    for (; i >= 4; i -= 4) {
        s0 += elementAt<T>(bytes, i - 1);
        s1 += elementAt<T>(bytes, i - 2);
        s2 += elementAt<T>(bytes, i - 3);
        s3 += elementAt<T>(bytes, i - 4);
    }
    while (i > 0) s0 += elementAt<T>(bytes, --i);
    return static_cast<double>((s0 + s1) + (s2 + s3));
}

// The sum and the sum of magnitudes of n doubles, in any order; false when
// one of them is not a whole number below 2^52 in magnitude (NaN and the
// infinities included). Whole numbers below that are added exactly.
bool wholeNumbersSum(const double* x, int64_t n, double& sum, double& magnitudes);

// Adds the elements [from, to) of type T a piece at a time, from the last
// piece down, to sum and their magnitudes to bound, while every piece holds
// whole numbers and bound stays below 2^52 (so that every addition is exact).
// Returns where it stopped: from, or the end of the first piece that did not
// qualify (that piece is not added).
template <typename T>
int64_t addWholePieces(const unsigned char* bytes, int64_t from, int64_t to, double& sum, double& bound) {
    constexpr int64_t kPiece = 1024;
    double converted[kPiece];
    int64_t i = to;
    while (i > from) {
        const int64_t start = std::max(from, i - kPiece);
        const double* piece = converted;
        if constexpr (std::is_same_v<T, double>) {
            piece = reinterpret_cast<const double*>(bytes) + start;
        } else {
            for (int64_t k = start; k < i; ++k) converted[k - start] = elementAt<T>(bytes, k);
        }
        double pieceSum, pieceMagnitudes;
        if (!wholeNumbersSum(piece, i - start, pieceSum, pieceMagnitudes) || !(bound + pieceMagnitudes < 0x1p52))
            break;
        bound += pieceMagnitudes;
        sum += pieceSum;
        i = start;
    }
    return i;
}

// From this many elements on, the lower half is checked and added on a
// second thread while this one does the upper half.
constexpr int64_t kSumInTwoHalves = int64_t{1} << 20;
bool secondThreadHelps();

// The sum of n elements of type T, each converted to a double and added in
// double precision from the last to the first: exactly that result, bit for
// bit. Where the elements are whole numbers whose magnitudes add up to less
// than 2^52 every partial sum is exact, so any order gives the same result:
// such runs are added several elements at once; from the first piece that
// does not qualify on, the sum goes element by element, as one chain of
// roundings has to.
template <typename T>
double sumBackwardExact(const unsigned char* bytes, int64_t n) {
    double sum = 0, bound = 0;
    int64_t i = n;
    if (n >= kSumInTwoHalves && secondThreadHelps()) {
        const int64_t half = n / 2;
        double lowerSum = 0, lowerBound = 0;
        std::future<int64_t> lower;
        try {
            lower = std::async(std::launch::async,
                               [&] { return addWholePieces<T>(bytes, 0, half, lowerSum, lowerBound); });
        } catch (const std::system_error&) {
            // No thread to be had: one thread does it all.
        }
        i = addWholePieces<T>(bytes, half, n, sum, bound);
        if (lower.valid() && lower.get() == 0 && i == half && bound + lowerBound < 0x1p52) return sum + lowerSum;
    }
    // One thread from where the upper half stopped (the lower half again when
    // its own check cannot stand for the whole).
    i = addWholePieces<T>(bytes, 0, i, sum, bound);
    for (int64_t k = i - 1; k >= 0; --k) sum += elementAt<T>(bytes, k);
    return sum;
}

}  // namespace tvx::builtins::arrays
