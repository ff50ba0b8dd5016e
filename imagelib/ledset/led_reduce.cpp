// The reduction kernels. Sums are exact: integer weights accumulate in the narrowest type
// that cannot overflow for the given matrix (16-bit weights into 32 bits where they fit,
// which the vectoriser turns into multiply-add instructions), double weights in double.
#include "imagelib/ledset/led_reduce.h"

#include "imagelib/core/parallel_rows.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PIXORY_AVX2 1
#endif

#include <algorithm>
#include <cstdlib>

namespace tvx::imagelib {

namespace {

__extension__ typedef __int128 Int128;

template <class T>
std::vector<T> denseWeights(const LedLayout& layout, const T* matrix, int pitch, int rows)
{
    const int usedRows = std::clamp(rows, 0, layout.countY);
    const int usedColumns = std::clamp(pitch, 0, layout.countX);
    if (usedColumns == 0)
        return {};
    std::vector<T> weights(static_cast<size_t>(usedRows) * static_cast<size_t>(layout.countX), T{});
    for (int k = 0; k < usedRows; ++k) {
        const T* from = matrix + static_cast<size_t>(k) * static_cast<size_t>(pitch);
        std::copy(from, from + usedColumns, weights.begin() + static_cast<ptrdiff_t>(k) * layout.countX);
    }
    return weights;
}

// Calls rowFn(blocks of row y, output row y) for the output rectangle, rows on all cores.
template <class Out, class RowFn>
void eachRow(const LedSet& set, const CallerRows<Out>& out, size_t workPerPixel, RowFn rowFn)
{
    parallelRows(out.rows(), static_cast<int64_t>(workPerPixel) * out.width(), [&](int first, int end) {
        for (int y = first; y < end; ++y)
            rowFn(set.row(y), out.row(y));
    });
}

#ifdef PIXORY_AVX2
// Whether the processor has AVX2, for the kernels that are built twice.
bool haveAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}
#endif

template <LedRule R>
inline uint8_t ruled(uint8_t v, uint8_t t)
{
    if constexpr (R == LedRule::All)
        return v;
    else if constexpr (R == LedRule::AtLeast)
        return v >= t ? v : 0;
    else if constexpr (R == LedRule::SubtractAtLeast)
        return v >= t ? static_cast<uint8_t>(v - t) : 0;
    else
        return v >= t ? 1 : 0;
}

// One row of integer weighted sums, each handed to finish.
template <LedRule R, class W, class Acc, class Out, class Finish>
[[gnu::always_inline]] inline void weightedRow(const uint8_t* blocks, size_t leds, const W* weights, size_t n,
                                               uint8_t t, Out* out, int width, const Finish& finish)
{
    for (int x = 0; x < width; ++x, blocks += leds) {
        Acc sum = 0;
#pragma omp simd reduction(+ : sum)
        for (size_t i = 0; i < n; ++i)
            sum += static_cast<Acc>(ruled<R>(blocks[i], t)) * static_cast<Acc>(weights[i]);
        out[x] = finish(sum);
    }
}

template <LedRule R, class W, class Acc, class Out, class Finish>
void weightedRowBase(const uint8_t* blocks, size_t leds, const W* weights, size_t n, uint8_t t, Out* out,
                     int width, const Finish& finish)
{
    weightedRow<R, W, Acc>(blocks, leds, weights, n, t, out, width, finish);
}

#ifdef PIXORY_AVX2
template <LedRule R, class W, class Acc, class Out, class Finish>
[[gnu::target("avx2")]] void weightedRowAvx2(const uint8_t* blocks, size_t leds, const W* weights, size_t n,
                                             uint8_t t, Out* out, int width, const Finish& finish)
{
    weightedRow<R, W, Acc>(blocks, leds, weights, n, t, out, width, finish);
}
#endif

template <LedRule R, class W, class Acc, class Out, class Finish>
void weightedRows(const LedSet& set, const W* weights, size_t n, uint8_t t, const CallerRows<Out>& out,
                  const Finish& finish)
{
    const size_t leds = set.layout().leds();
    const int width = out.width();
    eachRow(set, out, n, [&](const uint8_t* blocks, Out* o) {
#ifdef PIXORY_AVX2
        if (haveAvx2()) {
            weightedRowAvx2<R, W, Acc>(blocks, leds, weights, n, t, o, width, finish);
            return;
        }
#endif
        weightedRowBase<R, W, Acc>(blocks, leds, weights, n, t, o, width, finish);
    });
}

template <class T>
uint16_t clamp16(T sum, int shift, int64_t offset)
{
    const T v = (sum - offset) >> shift;
    return static_cast<uint16_t>(v < 0 ? 0 : v > 65535 ? 65535 : v);
}

// Picks the weight and sum types for the matrix, then runs the rule's kernel.
template <LedRule R, class Out, class Finish>
void weightedInt(const LedSet& set, const std::vector<int32_t>& weights, uint8_t t,
                 const CallerRows<Out>& out, Finish finish)
{
    const size_t n = weights.size();
    uint64_t magnitude = 0;  // sum of |weight|: at most 2^31 per LED, 2^31 LEDs
    bool narrow = true;
    for (const int32_t w : weights) {
        magnitude += static_cast<uint64_t>(std::llabs(w));
        narrow = narrow && w >= INT16_MIN && w <= INT16_MAX;
    }
    if (narrow && magnitude <= INT32_MAX / 255) {
        const std::vector<int16_t> w16(weights.begin(), weights.end());
        weightedRows<R, int16_t, int32_t>(set, w16.data(), n, t, out, finish);
    } else if (magnitude <= INT64_MAX / 255) {
        weightedRows<R, int32_t, int64_t>(set, weights.data(), n, t, out, finish);
    } else {
        weightedRows<R, int32_t, Int128>(set, weights.data(), n, t, out, finish);
    }
}

template <class Out, class Finish>
void weightedIntByRule(const LedSet& set, const std::vector<int32_t>& weights, LedRule rule, int threshold,
                       const CallerRows<Out>& out, Finish finish)
{
    // No byte reaches a threshold above 255; at or below 0 every byte does.
    if (rule != LedRule::All && threshold > 255) {
        weightedInt<LedRule::All>(set, {}, 0, out, finish);
        return;
    }
    const auto t = static_cast<uint8_t>(std::clamp(threshold, 0, 255));
    switch (rule) {
    case LedRule::All: weightedInt<LedRule::All>(set, weights, t, out, finish); break;
    case LedRule::AtLeast: weightedInt<LedRule::AtLeast>(set, weights, t, out, finish); break;
    case LedRule::SubtractAtLeast: weightedInt<LedRule::SubtractAtLeast>(set, weights, t, out, finish); break;
    case LedRule::Binary: weightedInt<LedRule::Binary>(set, weights, t, out, finish); break;
    }
}

[[gnu::always_inline]] inline void doubleRow(const uint8_t* blocks, size_t leds, const double* weights,
                                             size_t n, double* out, int width)
{
    for (int x = 0; x < width; ++x, blocks += leds) {
        double sum = 0;
#pragma omp simd reduction(+ : sum)
        for (size_t i = 0; i < n; ++i)
            sum += static_cast<double>(blocks[i]) * weights[i];
        out[x] = sum;
    }
}

void doubleRowBase(const uint8_t* blocks, size_t leds, const double* weights, size_t n, double* out,
                   int width)
{
    doubleRow(blocks, leds, weights, n, out, width);
}

#ifdef PIXORY_AVX2
// The same with AVX2 by hand: the vectoriser keeps to 128-bit vectors for this loop, and
// the byte-to-double conversions decide the speed. Four independent sums per pixel keep
// the additions from waiting on each other.
[[gnu::target("avx2")]] void doubleRowAvx2(const uint8_t* blocks, size_t leds, const double* weights,
                                           size_t n, double* out, int width)
{
    for (int x = 0; x < width; ++x, blocks += leds) {
        __m256d s0 = _mm256_setzero_pd(), s1 = s0, s2 = s0, s3 = s0;
        size_t i = 0;
        for (; i + 16 <= n; i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + i));
            const __m256i low = _mm256_cvtepu8_epi32(bytes);
            const __m256i high = _mm256_cvtepu8_epi32(_mm_srli_si128(bytes, 8));
            s0 = _mm256_add_pd(s0, _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(low)),
                                                 _mm256_loadu_pd(weights + i)));
            s1 = _mm256_add_pd(s1, _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(low, 1)),
                                                 _mm256_loadu_pd(weights + i + 4)));
            s2 = _mm256_add_pd(s2, _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(high)),
                                                 _mm256_loadu_pd(weights + i + 8)));
            s3 = _mm256_add_pd(s3, _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(high, 1)),
                                                 _mm256_loadu_pd(weights + i + 12)));
        }
        double lanes[4];
        _mm256_storeu_pd(lanes, _mm256_add_pd(_mm256_add_pd(s0, s1), _mm256_add_pd(s2, s3)));
        double sum = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
        for (; i < n; ++i)
            sum += static_cast<double>(blocks[i]) * weights[i];
        out[x] = sum;
    }
}
#endif

template <class Sum>
inline Sum byteSum(const uint8_t* bytes, size_t n)
{
    Sum sum = 0;
#pragma omp simd reduction(+ : sum)
    for (size_t i = 0; i < n; ++i)
        sum += bytes[i];
    return sum;
}

// Sums of up to 2^24 bytes fit 32 bits, which vectorise twice as wide as 64.
template <class Sum>
void sumRow(const uint8_t* blocks, size_t leds, int width, int shift, int64_t offset, uint16_t* out)
{
    for (int x = 0; x < width; ++x, blocks += leds) {
        out[x] = clamp16<int64_t>(static_cast<int64_t>(byteSum<Sum>(blocks, leds)), shift, offset);
    }
}

void maxRow(const uint8_t* blocks, size_t leds, int width, uint16_t* out)
{
    for (int x = 0; x < width; ++x, blocks += leds) {
        uint8_t largest = 0;
#pragma omp simd reduction(max : largest)
        for (size_t i = 0; i < leds; ++i)
            largest = blocks[i] > largest ? blocks[i] : largest;
        out[x] = largest;
    }
}

}  // namespace

std::vector<double> blockWeights(const LedLayout& layout, const double* matrix, int pitch, int rows)
{
    return denseWeights(layout, matrix, pitch, rows);
}

std::vector<int32_t> blockWeights(const LedLayout& layout, const int32_t* matrix, int pitch, int rows)
{
    return denseWeights(layout, matrix, pitch, rows);
}

void reduceWeighted(const LedSet& set, const std::vector<double>& weights, const CallerRows<double>& out)
{
    const size_t leds = set.layout().leds(), n = weights.size();
    const int width = out.width();
    eachRow(set, out, n, [&](const uint8_t* blocks, double* o) {
#ifdef PIXORY_AVX2
        if (haveAvx2()) {
            doubleRowAvx2(blocks, leds, weights.data(), n, o, width);
            return;
        }
#endif
        doubleRowBase(blocks, leds, weights.data(), n, o, width);
    });
}

void reduceWeighted(const LedSet& set, const std::vector<int32_t>& weights, LedRule rule, int threshold,
                    int shift, int64_t offset, const CallerRows<uint16_t>& out)
{
    weightedIntByRule(set, weights, rule, threshold, out,
                      [=](auto sum) { return clamp16<decltype(sum)>(sum, shift, offset); });
}

void reduceWeighted(const LedSet& set, const std::vector<int32_t>& weights, LedRule rule, int threshold,
                    double factor, int64_t offset, const CallerRows<double>& out)
{
    weightedIntByRule(set, weights, rule, threshold, out, [=](auto sum) {
        using Sum = decltype(sum);
        return static_cast<double>(static_cast<Sum>(sum) - static_cast<Sum>(offset)) * factor;
    });
}

void reduceSum(const LedSet& set, int shift, int64_t offset, const CallerRows<uint16_t>& out)
{
    const size_t leds = set.layout().leds();
    const bool narrow = leds <= (size_t{1} << 24);
    eachRow(set, out, leds, [&](const uint8_t* blocks, uint16_t* o) {
        if (narrow)
            sumRow<uint32_t>(blocks, leds, out.width(), shift, offset, o);
        else
            sumRow<uint64_t>(blocks, leds, out.width(), shift, offset, o);
    });
}

void reduceMax(const LedSet& set, const CallerRows<uint16_t>& out)
{
    const size_t leds = set.layout().leds();
    eachRow(set, out, leds,
            [&](const uint8_t* blocks, uint16_t* o) { maxRow(blocks, leds, out.width(), o); });
}

}  // namespace tvx::imagelib
