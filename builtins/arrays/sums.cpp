#include "builtins/arrays/sums.h"

#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tvx::builtins::arrays {

namespace {

// x is whole and below 2^52 in magnitude when adding and taking away 2^52
// gives it back (a fraction would be rounded away).
constexpr double kWholeBelow = 0x1p52;

}  // namespace

bool wholeNumbersSum(const double* x, int64_t n, double& sum, double& magnitudes) {
    // From the last element down, as the pieces are taken: one descending
    // stream through memory, which the processor's prefetching follows.
    int64_t i = n;
#if defined(__SSE2__)
    // Two doubles per register, two registers per step: every accumulator
    // waits only on itself.
    const __m128d sign = _mm_set1_pd(-0.0), limit = _mm_set1_pd(kWholeBelow);
    __m128d s0 = _mm_setzero_pd(), s1 = s0, m0 = s0, m1 = s0;
    __m128d whole = _mm_castsi128_pd(_mm_set1_epi64x(-1));
    for (; i >= 4; i -= 4) {
        __m128d a = _mm_loadu_pd(x + i - 2), b = _mm_loadu_pd(x + i - 4);
        __m128d ma = _mm_andnot_pd(sign, a), mb = _mm_andnot_pd(sign, b);
        whole = _mm_and_pd(whole, _mm_cmpeq_pd(_mm_sub_pd(_mm_add_pd(ma, limit), limit), ma));
        whole = _mm_and_pd(whole, _mm_cmpeq_pd(_mm_sub_pd(_mm_add_pd(mb, limit), limit), mb));
        s0 = _mm_add_pd(s0, a);
        s1 = _mm_add_pd(s1, b);
        m0 = _mm_add_pd(m0, ma);
        m1 = _mm_add_pd(m1, mb);
    }
    if (_mm_movemask_pd(whole) != 3) return false;
    double lanes[2], magnitudeLanes[2];
    _mm_storeu_pd(lanes, _mm_add_pd(s0, s1));
    _mm_storeu_pd(magnitudeLanes, _mm_add_pd(m0, m1));
    sum = lanes[0] + lanes[1];
    magnitudes = magnitudeLanes[0] + magnitudeLanes[1];
#else
    sum = magnitudes = 0;
#endif
    while (i > 0) {
        double v = x[--i];
        double magnitude = v < 0 ? -v : v;
        if (!((magnitude + kWholeBelow) - kWholeBelow == magnitude)) return false;
        sum += v;
        magnitudes += magnitude;
    }
    return true;
}

bool secondThreadHelps() {
    static const bool helps = std::thread::hardware_concurrency() >= 2;
    return helps;
}

}  // namespace tvx::builtins::arrays
