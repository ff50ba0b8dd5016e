#include "builtins/arrays/linalg.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <future>
#include <system_error>
#include <thread>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "interp/api.h"

namespace tvx::builtins::arrays {

using namespace interp;

namespace {

// Columns of b (transposed, n values each) kept together so that the slice one
// tile reads stays in the second-level cache.
constexpr int64_t kProductTileBytes = 256 * 1024;

using Wide = long double;

// One row of a against four columns of b (transposed: four rows of n values):
// four sums, each from j = 0 upward, held in x87 extended precision.
inline void kernel1x4(const double* a, const double* b, int64_t n, double* c) {
    Wide s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    const double* b1 = b + n;
    const double* b2 = b1 + n;
    const double* b3 = b2 + n;
    for (int64_t j = 0; j < n; ++j) {
        Wide x = a[j];
        s0 += x * b[j];
        s1 += x * b1[j];
        s2 += x * b2[j];
        s3 += x * b3[j];
    }
    c[0] = static_cast<double>(s0);
    c[1] = static_cast<double>(s1);
    c[2] = static_cast<double>(s2);
    c[3] = static_cast<double>(s3);
}

#if defined(__x86_64__)
// With FMA every product is split exactly into a double and its rounding
// error, and the running sum is kept as an unevaluated pair (hi + lo) by
// Knuth's two-sum: a sum from j = 0 upward in about twice double precision,
// eight output columns at a time.
constexpr int64_t kPanel = 8;
// Multiply-adds from which a product is worth a second thread.
constexpr int64_t kProductWorkForTwoThreads = int64_t{1} << 20;

bool fmaAvailable() {
    static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return available;
}

__attribute__((target("avx2,fma"))) inline void addProduct(__m256d x, __m256d y, __m256d& hi, __m256d& lo) {
    __m256d p = _mm256_mul_pd(x, y);
    __m256d e = _mm256_fmsub_pd(x, y, p);  // x * y - p, exactly
    __m256d t = _mm256_add_pd(hi, p);
    __m256d z = _mm256_sub_pd(t, hi);
    __m256d err = _mm256_add_pd(_mm256_sub_pd(hi, _mm256_sub_pd(t, z)), _mm256_sub_pd(p, z));
    lo = _mm256_add_pd(lo, _mm256_add_pd(err, e));
    hi = t;
}

// hi + lo, or hi alone where it is not finite (its error terms are NaN then).
__attribute__((target("avx2,fma"))) inline __m256d finish(__m256d hi, __m256d lo) {
    __m256d finite = _mm256_cmp_pd(_mm256_sub_pd(hi, hi), _mm256_setzero_pd(), _CMP_EQ_OQ);
    return _mm256_blendv_pd(hi, _mm256_add_pd(hi, lo), finite);
}

// c = a times b with b packed in panels of eight columns (zeros beyond k):
// panel p holds b[j][8p + lane] at bp[p * n * 8 + j * 8 + lane]. Rows first
// to last only (the rows are shared out between threads).
__attribute__((target("avx2,fma"))) void multiplyPanels(const double* a, const double* bp, double* c,
                                                        int64_t n, int64_t k, int64_t first, int64_t last) {
    int64_t panels = (k + kPanel - 1) / kPanel;
    alignas(32) double row[kPanel];
    for (int64_t panel = 0; panel < panels; ++panel) {
        const double* b = bp + panel * n * kPanel;
        int64_t width = std::min(kPanel, k - panel * kPanel);
        for (int64_t y = first; y < last; ++y) {
            const double* ay = a + y * n;
            __m256d h0 = _mm256_setzero_pd(), l0 = h0, h1 = h0, l1 = h0;
            for (int64_t j = 0; j < n; ++j) {
                __m256d x = _mm256_broadcast_sd(ay + j);
                addProduct(x, _mm256_loadu_pd(b + j * kPanel), h0, l0);
                addProduct(x, _mm256_loadu_pd(b + j * kPanel + 4), h1, l1);
            }
            _mm256_store_pd(row, finish(h0, l0));
            _mm256_store_pd(row + 4, finish(h1, l1));
            std::copy(row, row + width, c + y * k + panel * kPanel);
        }
    }
}

// The same sums with eight lanes to a register, the same operations in each
// lane, so the bits are those of the form above. Four rows go together: the
// chain of additions of one sum is long, and four independent chains keep
// the processor busy while each waits.
bool avx512Available() {
    static const bool available = __builtin_cpu_supports("avx512f");
    return available;
}

__attribute__((target("avx512f"))) inline void addProduct(__m512d x, __m512d y, __m512d& hi, __m512d& lo) {
    __m512d p = _mm512_mul_pd(x, y);
    __m512d e = _mm512_fmsub_pd(x, y, p);  // x * y - p, exactly
    __m512d t = _mm512_add_pd(hi, p);
    __m512d z = _mm512_sub_pd(t, hi);
    __m512d err = _mm512_add_pd(_mm512_sub_pd(hi, _mm512_sub_pd(t, z)), _mm512_sub_pd(p, z));
    lo = _mm512_add_pd(lo, _mm512_add_pd(err, e));
    hi = t;
}

__attribute__((target("avx512f"))) inline void storeSums(__m512d hi, __m512d lo, double* c, int64_t width) {
    __mmask8 finite = _mm512_cmp_pd_mask(_mm512_sub_pd(hi, hi), _mm512_setzero_pd(), _CMP_EQ_OQ);
    _mm512_mask_storeu_pd(c, static_cast<__mmask8>((1u << width) - 1),
                          _mm512_mask_add_pd(hi, finite, hi, lo));
}

template <int Rows>
__attribute__((target("avx512f"))) inline void panelRows(const double* a, const double* b, double* c,
                                                         int64_t n, int64_t k, int64_t width) {
    __m512d hi[Rows], lo[Rows];
    for (int r = 0; r < Rows; ++r) hi[r] = lo[r] = _mm512_setzero_pd();
    for (int64_t j = 0; j < n; ++j) {
        __m512d bj = _mm512_loadu_pd(b + j * kPanel);
        for (int r = 0; r < Rows; ++r) addProduct(_mm512_set1_pd(a[r * n + j]), bj, hi[r], lo[r]);
    }
    for (int r = 0; r < Rows; ++r) storeSums(hi[r], lo[r], c + r * k, width);
}

__attribute__((target("avx512f"))) void multiplyPanels512(const double* a, const double* bp, double* c,
                                                          int64_t n, int64_t k, int64_t first, int64_t last) {
    int64_t panels = (k + kPanel - 1) / kPanel;
    for (int64_t panel = 0; panel < panels; ++panel) {
        const double* b = bp + panel * n * kPanel;
        int64_t width = std::min(kPanel, k - panel * kPanel);
        int64_t y = first;
        for (; y + 4 <= last; y += 4) panelRows<4>(a + y * n, b, c + y * k + panel * kPanel, n, k, width);
        for (; y < last; ++y) panelRows<1>(a + y * n, b, c + y * k + panel * kPanel, n, k, width);
    }
}
#endif

inline double dot(const double* a, const double* b, int64_t n) {
    Wide s = 0;
    for (int64_t j = 0; j < n; ++j) s += static_cast<Wide>(a[j]) * b[j];
    return static_cast<double>(s);
}

inline Complex toComplex(const double* p) { return {p[0], p[1]}; }
inline bool isZero(Complex z) { return z.re == 0 && z.im == 0; }
inline double squaredMagnitude(Complex z) { return z.re * z.re + z.im * z.im; }

// ri -= f * rk over n elements (two different rows, so the loop vectorises).
__attribute__((always_inline)) inline void subtractScaled(double* __restrict ri, const double* __restrict rk,
                                                          double f, int64_t n) {
    for (int64_t j = 0; j < n; ++j) ri[j] -= f * rk[j];
}

// One elimination step on row ri with the pivot row rk of step k, as it is
// at that step.
__attribute__((always_inline)) inline void eliminate(double* ri, const double* rk, int64_t k, int64_t n) {
    const double f = ri[k];
    if (f == 0) return;
    ri[k] = 0;
    subtractScaled(ri, rk, f, n);
}

// Gauss-Jordan in place without pivoting; false on an exactly zero pivot.
// The steps go in blocks: the block's own rows take its steps first, and a
// copy of each pivot row is kept as it is at its step; then every other row
// takes the block's steps one after another while it stays in the
// first-level cache, instead of the whole matrix passing through the caches
// at every step. Each element sees the same operations in the same order as
// with one step at a time.
#if defined(__x86_64__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
bool gaussJordanInPlace(double* w, int64_t n) {
    constexpr int64_t kSteps = 8;
    std::vector<double> pivots(static_cast<size_t>(kSteps * n));
    for (int64_t k0 = 0; k0 < n; k0 += kSteps) {
        const int64_t k1 = std::min(n, k0 + kSteps);
        for (int64_t k = k0; k < k1; ++k) {
            double* rk = w + k * n;
            const double pivot = rk[k];
            if (pivot == 0) return false;
            rk[k] = 1;
            for (int64_t j = 0; j < n; ++j) rk[j] /= pivot;
            double* copy = pivots.data() + (k - k0) * n;
            std::memcpy(copy, rk, static_cast<size_t>(n) * sizeof(double));
            for (int64_t i = k0; i < k1; ++i)
                if (i != k) eliminate(w + i * n, copy, k, n);
        }
        auto takeBlockSteps = [&](int64_t firstRow, int64_t endRow) {
            for (int64_t i = firstRow; i < endRow; ++i)
                for (int64_t k = k0; k < k1; ++k) eliminate(w + i * n, pivots.data() + (k - k0) * n, k, n);
        };
        takeBlockSteps(0, k0);
        takeBlockSteps(k1, n);
    }
    return true;
}

bool gaussJordanInPlaceComplex(Complex* w, int64_t n) {
    for (int64_t k = 0; k < n; ++k) {
        Complex* rk = w + k * n;
        Complex pivot = rk[k];
        if (isZero(pivot)) return false;
        rk[k] = {1, 0};
        for (int64_t j = 0; j < n; ++j) rk[j] = cdiv(rk[j], pivot);
        for (int64_t i = 0; i < n; ++i) {
            if (i == k) continue;
            Complex* ri = w + i * n;
            Complex f = ri[k];
            if (isZero(f)) continue;
            ri[k] = {0, 0};
            for (int64_t j = 0; j < n; ++j) ri[j] = csub(ri[j], cmul(f, rk[j]));
        }
    }
    return true;
}

// Gauss-Jordan with row pivoting on [a | I]; a receives the inverse.
template <typename T, typename Magnitude, typename IsZero, typename Sub, typename Mul, typename Div>
Error gaussJordanPivoting(T* a, int64_t n, T one, Magnitude magnitude, IsZero isZeroValue, Sub sub, Mul mul,
                          Div div) {
    std::vector<T> work(a, a + n * n);
    std::vector<T> inverse(static_cast<size_t>(n * n), T{});
    for (int64_t i = 0; i < n; ++i) inverse[static_cast<size_t>(i * n + i)] = one;
    for (int64_t k = 0; k < n; ++k) {
        int64_t best = k;
        double bestMagnitude = magnitude(work[static_cast<size_t>(k * n + k)]);
        for (int64_t i = k + 1; i < n; ++i) {
            double m = magnitude(work[static_cast<size_t>(i * n + k)]);
            if (m > bestMagnitude) {
                best = i;
                bestMagnitude = m;
            }
        }
        T pivot = work[static_cast<size_t>(best * n + k)];
        if (isZeroValue(pivot) || std::isnan(bestMagnitude)) return kSingularMatrix;
        if (best != k) {
            std::swap_ranges(work.begin() + k * n, work.begin() + (k + 1) * n, work.begin() + best * n);
            std::swap_ranges(inverse.begin() + k * n, inverse.begin() + (k + 1) * n,
                             inverse.begin() + best * n);
        }
        T* wk = &work[static_cast<size_t>(k * n)];
        T* vk = &inverse[static_cast<size_t>(k * n)];
        for (int64_t j = 0; j < n; ++j) {
            wk[j] = div(wk[j], pivot);
            vk[j] = div(vk[j], pivot);
        }
        for (int64_t i = 0; i < n; ++i) {
            if (i == k) continue;
            T* wi = &work[static_cast<size_t>(i * n)];
            T* vi = &inverse[static_cast<size_t>(i * n)];
            T f = wi[k];
            if (isZeroValue(f)) continue;
            for (int64_t j = 0; j < n; ++j) {
                wi[j] = sub(wi[j], mul(f, wk[j]));
                vi[j] = sub(vi[j], mul(f, vk[j]));
            }
        }
    }
    std::copy(inverse.begin(), inverse.end(), a);
    return kOk;
}

}  // namespace

void multiplyReal(const double* a, const double* b, double* c, int64_t m, int64_t n, int64_t k) {
#if defined(__x86_64__)
    if (fmaAvailable() && m > 0 && k > 0 && n > 0) {
        int64_t panels = (k + kPanel - 1) / kPanel;
        std::vector<double> bp(static_cast<size_t>(panels * n * kPanel), 0.0);
        for (int64_t j = 0; j < n; ++j)
            for (int64_t x = 0; x < k; ++x)
                bp[static_cast<size_t>((x / kPanel) * n * kPanel + j * kPanel + x % kPanel)] = b[j * k + x];
        auto rows = [&](int64_t first, int64_t last) {
            if (avx512Available())
                multiplyPanels512(a, bp.data(), c, n, k, first, last);
            else
                multiplyPanels(a, bp.data(), c, n, k, first, last);
        };
        // A large product shares its rows out between two threads; every
        // element is summed the same way by either.
        const int64_t half = m / 8 * 4;
        std::future<void> upper;
        static const bool twoProcessors = std::thread::hardware_concurrency() >= 2;
        if (half > 0 && m * n * k >= kProductWorkForTwoThreads && twoProcessors) {
            try {
                upper = std::async(std::launch::async, rows, half, m);
            } catch (const std::system_error&) {
                // No second thread: this one does it all.
            }
        }
        rows(0, upper.valid() ? half : m);
        if (upper.valid()) upper.get();
        return;
    }
#endif
    multiplyRealLongDouble(a, b, c, m, n, k);
}

void multiplyRealLongDouble(const double* a, const double* b, double* c, int64_t m, int64_t n, int64_t k) {
    if (m <= 0 || k <= 0) return;
    if (n <= 0) {
        std::fill(c, c + m * k, 0.0);
        return;
    }
    // b transposed: column x of b becomes the n contiguous values bt[x * n ..].
    std::vector<double> bt(static_cast<size_t>(k * n));
    transposeCopy(reinterpret_cast<const unsigned char*>(b), reinterpret_cast<unsigned char*>(bt.data()), k,
                  n, sizeof(double));
    // Tiles of columns whose slice of bt stays in the second-level cache.
    int64_t tile = std::max<int64_t>(4, kProductTileBytes / (n * static_cast<int64_t>(sizeof(double))));
    tile &= ~int64_t{3};
    for (int64_t x0 = 0; x0 < k; x0 += tile) {
        int64_t x1 = std::min(k, x0 + tile);
        for (int64_t y = 0; y < m; ++y) {
            const double* ay = a + y * n;
            double* cy = c + y * k;
            int64_t x = x0;
            for (; x + 3 < x1; x += 4) kernel1x4(ay, &bt[static_cast<size_t>(x * n)], n, cy + x);
            for (; x < x1; ++x) cy[x] = dot(ay, &bt[static_cast<size_t>(x * n)], n);
        }
    }
}

void multiplyComplex(const double* a, const double* b, double* c, int64_t m, int64_t n, int64_t k) {
    if (m <= 0 || k <= 0) return;
    if (n <= 0) {
        std::fill(c, c + 2 * m * k, 0.0);
        return;
    }
    std::vector<double> bt(static_cast<size_t>(2 * k * n));
    transposeCopy(reinterpret_cast<const unsigned char*>(b), reinterpret_cast<unsigned char*>(bt.data()), k,
                  n, 2 * sizeof(double));
    for (int64_t y = 0; y < m; ++y) {
        const double* ay = a + 2 * y * n;
        for (int64_t x = 0; x < k; ++x) {
            const double* bx = &bt[static_cast<size_t>(2 * x * n)];
            Wide re = 0, im = 0;
            for (int64_t j = 0; j < n; ++j) {
                Wide ar = ay[2 * j], ai = ay[2 * j + 1];
                Wide br = bx[2 * j], bi = bx[2 * j + 1];
                re += ar * br - ai * bi;
                im += ar * bi + ai * br;
            }
            double r = static_cast<double>(re), i = static_cast<double>(im);
            clearNegligibleParts(r, i);
            c[2 * (y * k + x)] = r;
            c[2 * (y * k + x) + 1] = i;
        }
    }
}

bool findColumnOrder(const double* a, int64_t n, bool complex, std::vector<int32_t>& order) {
    auto nonZero = [&](int64_t r, int64_t c) {
        int64_t at = r * n + c;
        return complex ? (a[2 * at] != 0 || a[2 * at + 1] != 0) : a[at] != 0;
    };
    order.assign(static_cast<size_t>(n), -1);
    std::vector<int32_t> owner(static_cast<size_t>(n), -1);

    // Rows in turn take the lowest free column: when that completes, it is the
    // first order a depth-first search would find.
    bool complete = true;
    for (int64_t r = 0; r < n && complete; ++r) {
        complete = false;
        for (int64_t c = 0; c < n; ++c) {
            if (owner[static_cast<size_t>(c)] < 0 && nonZero(r, c)) {
                order[static_cast<size_t>(r)] = static_cast<int32_t>(c);
                owner[static_cast<size_t>(c)] = static_cast<int32_t>(r);
                complete = true;
                break;
            }
        }
    }
    if (complete) return true;

    // Otherwise the depth-first search could take exponential time. A complete
    // order is a perfect matching of rows to columns: find any one by
    // augmenting paths, then make it the lexicographically first.
    std::fill(order.begin(), order.end(), -1);
    std::fill(owner.begin(), owner.end(), -1);
    std::vector<int32_t> previousRow(static_cast<size_t>(n));
    std::vector<int32_t> queue;
    queue.reserve(static_cast<size_t>(n));
    std::vector<char> seen(static_cast<size_t>(n));
    for (int64_t root = 0; root < n; ++root) {
        std::fill(seen.begin(), seen.end(), 0);
        queue.assign(1, static_cast<int32_t>(root));
        int64_t freeColumn = -1;
        for (size_t head = 0; head < queue.size() && freeColumn < 0; ++head) {
            int32_t row = queue[head];
            for (int64_t c = 0; c < n; ++c) {
                if (seen[static_cast<size_t>(c)] || !nonZero(row, c)) continue;
                seen[static_cast<size_t>(c)] = 1;
                previousRow[static_cast<size_t>(c)] = row;
                if (owner[static_cast<size_t>(c)] < 0) {
                    freeColumn = c;
                    break;
                }
                queue.push_back(owner[static_cast<size_t>(c)]);
            }
        }
        if (freeColumn < 0) return false;  // no complete order: singular
        for (int64_t col = freeColumn;;) {
            int32_t row = previousRow[static_cast<size_t>(col)];
            int32_t next = order[static_cast<size_t>(row)];
            order[static_cast<size_t>(row)] = static_cast<int32_t>(col);
            owner[static_cast<size_t>(col)] = row;
            if (row == root) break;
            col = next;
        }
    }

    // Row r may take column c (c unused by rows before r) exactly when the row
    // that holds c can be re-matched along an alternating path, through rows
    // after r, to the column r gives up. Those rows are found by one search
    // backwards from that column.
    std::vector<char> fixedColumn(static_cast<size_t>(n), 0);
    std::vector<char> reaches(static_cast<size_t>(n));
    std::vector<int32_t> takes(static_cast<size_t>(n));
    for (int64_t r = 0; r < n; ++r) {
        int32_t released = order[static_cast<size_t>(r)];
        std::fill(reaches.begin(), reaches.end(), 0);
        queue.assign(1, released);
        for (size_t head = 0; head < queue.size(); ++head) {
            int32_t col = queue[head];
            for (int64_t x = r + 1; x < n; ++x) {
                if (reaches[static_cast<size_t>(x)] || !nonZero(x, col)) continue;
                reaches[static_cast<size_t>(x)] = 1;
                takes[static_cast<size_t>(x)] = col;
                queue.push_back(order[static_cast<size_t>(x)]);
            }
        }
        int64_t chosen = released;
        for (int64_t c = 0; c < n; ++c) {
            if (fixedColumn[static_cast<size_t>(c)] || !nonZero(r, c)) continue;
            if (c == released || reaches[static_cast<size_t>(owner[static_cast<size_t>(c)])]) {
                chosen = c;
                break;
            }
        }
        if (chosen != released) {
            int32_t x = owner[static_cast<size_t>(chosen)];
            order[static_cast<size_t>(r)] = static_cast<int32_t>(chosen);
            owner[static_cast<size_t>(chosen)] = static_cast<int32_t>(r);
            while (true) {
                int32_t col = takes[static_cast<size_t>(x)];
                int32_t next = owner[static_cast<size_t>(col)];
                order[static_cast<size_t>(x)] = col;
                owner[static_cast<size_t>(col)] = x;
                if (col == released) break;
                x = next;
            }
        }
        fixedColumn[static_cast<size_t>(order[static_cast<size_t>(r)])] = 1;
    }
    return true;
}

Error invertReal(double* a, int64_t n) {
    std::vector<int32_t> order;
    if (!findColumnOrder(a, n, false, order)) return kSingularMatrix;
    // w = a with its columns in the pivot order; the inverse of a is w's
    // inverse with row r moved to row order[r].
    std::vector<double> w(static_cast<size_t>(n * n));
    for (int64_t y = 0; y < n; ++y)
        for (int64_t r = 0; r < n; ++r)
            w[static_cast<size_t>(y * n + r)] = a[y * n + order[static_cast<size_t>(r)]];
    if (gaussJordanInPlace(w.data(), n)) {
        for (int64_t r = 0; r < n; ++r)
            std::memcpy(a + order[static_cast<size_t>(r)] * n, &w[static_cast<size_t>(r * n)],
                        static_cast<size_t>(n) * sizeof(double));
        return kOk;
    }
    return gaussJordanPivoting<double>(
        a, n, 1.0, [](double v) { return v * v; }, [](double v) { return v == 0; },
        [](double x, double y) { return x - y; }, [](double x, double y) { return x * y; },
        [](double x, double y) { return x / y; });
}

Error invertComplex(double* a, int64_t n) {
    std::vector<int32_t> order;
    if (!findColumnOrder(a, n, true, order)) return kSingularMatrix;
    std::vector<Complex> w(static_cast<size_t>(n * n));
    for (int64_t y = 0; y < n; ++y)
        for (int64_t r = 0; r < n; ++r)
            w[static_cast<size_t>(y * n + r)] = toComplex(a + 2 * (y * n + order[static_cast<size_t>(r)]));
    Complex* out = reinterpret_cast<Complex*>(a);
    if (gaussJordanInPlaceComplex(w.data(), n)) {
        for (int64_t r = 0; r < n; ++r)
            std::copy(w.begin() + r * n, w.begin() + (r + 1) * n, out + order[static_cast<size_t>(r)] * n);
    } else {
        Error err =
            gaussJordanPivoting<Complex>(out, n, Complex{1, 0}, squaredMagnitude, isZero, csub, cmul, cdiv);
        if (err) return err;
    }
    for (int64_t i = 0; i < n * n; ++i) clearNegligibleParts(out[i].re, out[i].im);
    return kOk;
}

Error determinantReal(const double* a, int64_t n, double& det) {
    std::vector<double> w(a, a + n * n);
    double product = 1;
    bool negative = false;
    for (int64_t i = 0; i < n; ++i) {
        int64_t best = i;
        double bestSquare = w[static_cast<size_t>(i * n + i)] * w[static_cast<size_t>(i * n + i)];
        for (int64_t r = i + 1; r < n; ++r) {
            double v = w[static_cast<size_t>(r * n + i)];
            if (v * v > bestSquare) {
                best = r;
                bestSquare = v * v;
            }
        }
        if (bestSquare == 0) {
            det = 0;
            return kOk;
        }
        if (best != i) {
            std::swap_ranges(w.begin() + i * n, w.begin() + (i + 1) * n, w.begin() + best * n);
            negative = !negative;
        }
        double pivot = w[static_cast<size_t>(i * n + i)];
        product *= pivot;
        for (int64_t r = i + 1; r < n; ++r) {
            double f = w[static_cast<size_t>(r * n + i)] / pivot;
            if (f == 0) continue;
            for (int64_t j = i + 1; j < n; ++j)
                w[static_cast<size_t>(r * n + j)] -= f * w[static_cast<size_t>(i * n + j)];
        }
    }
    det = negative ? -product : product;
    return kOk;
}

Error determinantComplex(const double* a, int64_t n, Complex& det) {
    std::vector<Complex> w(static_cast<size_t>(n * n));
    for (int64_t i = 0; i < n * n; ++i) w[static_cast<size_t>(i)] = toComplex(a + 2 * i);
    Complex product{1, 0};
    bool negative = false;
    for (int64_t i = 0; i < n; ++i) {
        int64_t best = i;
        double bestSquare = squaredMagnitude(w[static_cast<size_t>(i * n + i)]);
        for (int64_t r = i + 1; r < n; ++r) {
            double s = squaredMagnitude(w[static_cast<size_t>(r * n + i)]);
            if (s > bestSquare) {
                best = r;
                bestSquare = s;
            }
        }
        if (bestSquare == 0) {
            det = {0, 0};
            return kOk;
        }
        if (best != i) {
            std::swap_ranges(w.begin() + i * n, w.begin() + (i + 1) * n, w.begin() + best * n);
            negative = !negative;
        }
        Complex pivot = w[static_cast<size_t>(i * n + i)];
        product = cmul(product, pivot);
        for (int64_t r = i + 1; r < n; ++r) {
            Complex f = cdiv(w[static_cast<size_t>(r * n + i)], pivot);
            if (isZero(f)) continue;
            for (int64_t j = i + 1; j < n; ++j)
                w[static_cast<size_t>(r * n + j)] =
                    csub(w[static_cast<size_t>(r * n + j)], cmul(f, w[static_cast<size_t>(i * n + j)]));
        }
    }
    det = negative ? Complex{-product.re, -product.im} : product;
    clearNegligibleParts(det.re, det.im);
    return kOk;
}

Error solveInPlace(double* a, double* b, int64_t n) {
    for (int64_t k = 0; k < n; ++k) {
        double pivot = a[k * n + k];
        if (pivot == 0 || std::isnan(pivot)) return kSingularMatrix;
        for (int64_t i = k + 1; i < n; ++i) {
            double f = a[i * n + k] / pivot;
            a[i * n + k] = f;
            for (int64_t j = k + 1; j < n; ++j) a[i * n + j] -= f * a[k * n + j];
            b[i] -= f * b[k];
        }
    }
    for (int64_t i = n - 1; i >= 0; --i) {
        double s = b[i];
        for (int64_t j = i + 1; j < n; ++j) s -= a[i * n + j] * b[j];
        b[i] = s / a[i * n + i];
    }
    return kOk;
}

Error leastSquares(const double* x, const double* y, int64_t m, int64_t k, bool transposed, double* c) {
    auto at = [&](int64_t i, int64_t p) { return transposed ? x[p * m + i] : x[i * k + p]; };
    std::vector<double> normal(static_cast<size_t>(k * k), 0.0);
    std::fill(c, c + k, 0.0);
    for (int64_t i = 0; i < m; ++i) {
        for (int64_t p = 0; p < k; ++p) {
            double xp = at(i, p);
            for (int64_t q = p; q < k; ++q) normal[static_cast<size_t>(p * k + q)] += xp * at(i, q);
            c[p] += xp * y[i];
        }
    }
    for (int64_t p = 0; p < k; ++p)
        for (int64_t q = 0; q < p; ++q)
            normal[static_cast<size_t>(p * k + q)] = normal[static_cast<size_t>(q * k + p)];
    return solveInPlace(normal.data(), c, k);
}

namespace {

template <int Size>
void transposeTiles(const unsigned char* src, unsigned char* dst, int64_t nx, int64_t ny) {
    constexpr int64_t kTile = 32;
    for (int64_t y0 = 0; y0 < ny; y0 += kTile) {
        int64_t y1 = std::min(ny, y0 + kTile);
        for (int64_t x0 = 0; x0 < nx; x0 += kTile) {
            int64_t x1 = std::min(nx, x0 + kTile);
            for (int64_t y = y0; y < y1; ++y)
                for (int64_t x = x0; x < x1; ++x)
                    std::memcpy(dst + (x * ny + y) * Size, src + (y * nx + x) * Size, Size);
        }
    }
}

template <int Size>
void swapElements(unsigned char* p, unsigned char* q) {
    unsigned char t[Size];
    std::memcpy(t, p, Size);
    std::memcpy(p, q, Size);
    std::memcpy(q, t, Size);
}

template <int Size>
void transposeSquareTiles(unsigned char* data, int64_t n) {
    for (int64_t y = 0; y < n; ++y)
        for (int64_t x = y + 1; x < n; ++x)
            swapElements<Size>(data + (y * n + x) * Size, data + (x * n + y) * Size);
}

}  // namespace

void transposeCopy(const unsigned char* source, unsigned char* destination, int64_t nx, int64_t ny,
                   int size) {
    switch (size) {
    case 1: transposeTiles<1>(source, destination, nx, ny); break;
    case 2: transposeTiles<2>(source, destination, nx, ny); break;
    case 4: transposeTiles<4>(source, destination, nx, ny); break;
    case 8: transposeTiles<8>(source, destination, nx, ny); break;
    case 16: transposeTiles<16>(source, destination, nx, ny); break;
    default: break;
    }
}

void transposeSquare(unsigned char* data, int64_t n, int size) {
    switch (size) {
    case 1: transposeSquareTiles<1>(data, n); break;
    case 2: transposeSquareTiles<2>(data, n); break;
    case 4: transposeSquareTiles<4>(data, n); break;
    case 8: transposeSquareTiles<8>(data, n); break;
    case 16: transposeSquareTiles<16>(data, n); break;
    default: break;
    }
}

}  // namespace tvx::builtins::arrays
