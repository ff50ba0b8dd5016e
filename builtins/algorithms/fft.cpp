#include "builtins/algorithms/fft.h"

#include <cmath>
#include <cstdlib>
#include <list>
#include <mutex>
#include <new>
#include <numbers>

#include "builtins/algorithms/workbuffer.h"

namespace tvx::builtins::algorithms {

namespace {

inline Complex mul(Complex a, Complex b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }
inline Complex mulConj(Complex a, Complex b) {  // a * conj(b)
    return {a.re * b.re + a.im * b.im, a.im * b.re - a.re * b.im};
}
inline Complex conj(Complex a) { return {a.re, -a.im}; }

Complex* allocateComplex(int64_t n) {
    if (n < 1 || static_cast<uint64_t>(n) > SIZE_MAX / 4 / sizeof(Complex)) return nullptr;
    int64_t bytes = n * static_cast<int64_t>(sizeof(Complex));
    if (!memoryAllows(bytes)) return nullptr;
    return static_cast<Complex*>(std::malloc(static_cast<size_t>(bytes)));
}

// exp(-2 pi i k / n) for k < n. The library gives the first eighth of the
// circle; the rest follows by symmetry, so that the quarter points are exact
// and the other values as close as the library's sines themselves.
void fillTwiddles(Complex* t, int64_t n) {
    const double step = 2 * std::numbers::pi / static_cast<double>(n);
    auto direct = [&](int64_t k) {
        double angle = step * static_cast<double>(k);
        return Complex{std::cos(angle), std::sin(angle)};  // (cos, sin) of the angle
    };
    if (n % 4 != 0) {
        for (int64_t k = 0; k <= n / 2; ++k) {
            Complex cs = direct(k);
            t[k] = {cs.re, -cs.im};
        }
    } else {
        const int64_t quarter = n / 4;
        // First the quarter circle as (cos, sin) in t[0..quarter].
        for (int64_t k = 0; 2 * k <= quarter; ++k) t[k] = direct(k);
        for (int64_t k = quarter / 2 + 1; k <= quarter; ++k) {
            const Complex mirror = t[quarter - k];
            t[k] = {mirror.im, mirror.re};
        }
        // Then the second quarter from the first: cos(90 + a) = -sin a, sin(90 + a) = cos a.
        for (int64_t k = quarter + 1; k <= 2 * quarter; ++k) {
            const Complex base = t[k - quarter];
            t[k] = {-base.im, base.re};
        }
        for (int64_t k = 0; k <= 2 * quarter; ++k) t[k].im = -t[k].im;
    }
    for (int64_t k = n / 2 + 1; k < n; ++k) t[k] = conj(t[n - k]);
}

int64_t smallestFactor(int64_t n) {
    if (n % 4 == 0) return 4;
    if (n % 2 == 0) return 2;
    for (int64_t p = 3; p * p <= n; p += 2)
        if (n % p == 0) return p;
    return n;
}

int64_t largestPrimeFactor(int64_t n) {
    int64_t largest = 1;
    while (n % 2 == 0) {
        largest = 2;
        n /= 2;
    }
    for (int64_t p = 3; p * p <= n; p += 2) {
        while (n % p == 0) {
            largest = p;
            n /= p;
        }
    }
    return n > 1 ? n : largest;
}

int64_t powerOfTwoAtLeast(int64_t n) {
    int64_t m = 1;
    while (m < n) m *= 2;
    return m;
}

}  // namespace

FftPlan::~FftPlan() {
    std::free(halfStep_);
    std::free(twiddles_);
    std::free(chirp_);
    std::free(chirpSpectrum_);
}

int64_t FftPlan::tableBytes(int64_t n) {
    int64_t bytes = n * static_cast<int64_t>(sizeof(Complex));
    if (n > 1 && largestPrimeFactor(n) > kLargestDirectFactor) {
        int64_t m = powerOfTwoAtLeast(2 * n - 1);
        bytes += n * static_cast<int64_t>(sizeof(Complex)) + 2 * m * static_cast<int64_t>(sizeof(Complex));
    }
    return bytes;
}

bool FftPlan::prepare(int64_t n) {
    if (n < 1) return false;
    n_ = n;
    twiddles_ = allocateComplex(n);
    if (!twiddles_) return false;
    fillTwiddles(twiddles_, n);
    if (n > 1 && largestPrimeFactor(n) > kLargestDirectFactor) {
        // Bluestein: the product jk = (j^2 + k^2 - (k - j)^2) / 2 turns the
        // transform into a circular convolution with the chirp, done by
        // power-of-two transforms of length m >= 2n - 1.
        int64_t m = powerOfTwoAtLeast(2 * n - 1);
        inner_ = std::unique_ptr<FftPlan>(new (std::nothrow) FftPlan);
        if (!inner_ || !inner_->prepare(m)) return false;
        chirp_ = allocateComplex(n);
        chirpSpectrum_ = allocateComplex(m);
        Complex* sequence = allocateComplex(m);
        if (!chirp_ || !chirpSpectrum_ || !sequence) {
            std::free(sequence);
            return false;
        }
        const double step = std::numbers::pi / static_cast<double>(n);
        const auto twoN = static_cast<uint64_t>(2 * n);
        for (int64_t k = 0; k < n; ++k) {
            // k^2 modulo 2n keeps the angle small, hence exact to rounding.
            uint64_t square = (static_cast<uint64_t>(k) * static_cast<uint64_t>(k)) % twoN;
            double angle = step * static_cast<double>(square);
            chirp_[k] = {std::cos(angle), -std::sin(angle)};
        }
        for (int64_t j = 0; j < m; ++j) sequence[j] = {0, 0};
        sequence[0] = conj(chirp_[0]);
        for (int64_t k = 1; k < n; ++k) sequence[k] = sequence[m - k] = conj(chirp_[k]);
        inner_->transform(sequence, 1, chirpSpectrum_, false);
        const double scale = 1.0 / static_cast<double>(m);
        for (int64_t j = 0; j < m; ++j)
            chirpSpectrum_[j] = {chirpSpectrum_[j].re * scale, chirpSpectrum_[j].im * scale};
        std::free(sequence);
        return true;
    }
    for (int64_t rest = n; rest > 1;) {
        int64_t p = smallestFactor(rest);
        rest /= p;
        factors_.push_back(p);
        factors_.push_back(rest);
    }
    return true;
}

void FftPlan::transform(const Complex* in, int64_t stride, Complex* out, bool inverse) const {
    if (n_ == 1) {
        out[0] = in[0];
        return;
    }
    if (inner_) {
        bluestein(in, stride, out, inverse);
        return;
    }
    work(out, in, 1, stride, factors_.data(), inverse);
}

// One level of the decimation in time: the p sub-transforms of length m read
// every p-th input (so the deepest level gathers the input in digit-reversed
// order), then p-point butterflies combine them. Depth first, so that the
// short transforms run in cache.
void FftPlan::work(Complex* out, const Complex* in, int64_t fstride, int64_t inStride, const int64_t* factors,
                   bool inverse) const {
    const int64_t p = factors[0];
    const int64_t m = factors[1];
    const int64_t step = fstride * inStride;
    if (m == 1) {
        if (p == 4) {
            Complex a0 = in[0], a1 = in[step], a2 = in[2 * step], a3 = in[3 * step];
            Complex s0{a0.re + a2.re, a0.im + a2.im}, s1{a0.re - a2.re, a0.im - a2.im};
            Complex s2{a1.re + a3.re, a1.im + a3.im}, s3{a1.re - a3.re, a1.im - a3.im};
            out[0] = {s0.re + s2.re, s0.im + s2.im};
            out[2] = {s0.re - s2.re, s0.im - s2.im};
            if (inverse) {
                out[1] = {s1.re - s3.im, s1.im + s3.re};
                out[3] = {s1.re + s3.im, s1.im - s3.re};
            } else {
                out[1] = {s1.re + s3.im, s1.im - s3.re};
                out[3] = {s1.re - s3.im, s1.im + s3.re};
            }
            return;
        }
        if (p == 2) {
            Complex a0 = in[0], a1 = in[step];
            out[0] = {a0.re + a1.re, a0.im + a1.im};
            out[1] = {a0.re - a1.re, a0.im - a1.im};
            return;
        }
        for (int64_t j = 0; j < p; ++j) out[j] = in[j * step];
    } else {
        for (int64_t j = 0; j < p; ++j)
            work(out + j * m, in + j * step, fstride * p, inStride, factors + 2, inverse);
    }
    switch (p) {
    case 2: butterfly2(out, fstride, m, inverse); break;
    case 3: butterfly3(out, fstride, m, inverse); break;
    case 4: butterfly4(out, fstride, m, inverse); break;
    case 5: butterfly5(out, fstride, m, inverse); break;
    default: butterflyOdd(out, fstride, m, p, inverse); break;
    }
}

void FftPlan::butterfly2(Complex* out, int64_t fstride, int64_t m, bool inverse) const {
    Complex* b = out + m;
    for (int64_t k = 0; k < m; ++k) {
        Complex w = twiddles_[k * fstride];
        Complex t = inverse ? mulConj(b[k], w) : mul(b[k], w);
        b[k] = {out[k].re - t.re, out[k].im - t.im};
        out[k] = {out[k].re + t.re, out[k].im + t.im};
    }
}

void FftPlan::butterfly3(Complex* out, int64_t fstride, int64_t m, bool inverse) const {
    const double h = (inverse ? -1 : 1) * std::sqrt(3.0) / 2;
    for (int64_t k = 0; k < m; ++k) {
        Complex w1 = twiddles_[k * fstride], w2 = twiddles_[2 * k * fstride];
        Complex a = out[k];
        Complex b = inverse ? mulConj(out[k + m], w1) : mul(out[k + m], w1);
        Complex c = inverse ? mulConj(out[k + 2 * m], w2) : mul(out[k + 2 * m], w2);
        Complex sum{b.re + c.re, b.im + c.im}, diff{b.re - c.re, b.im - c.im};
        Complex t{a.re - sum.re / 2, a.im - sum.im / 2};
        Complex r{h * diff.im, -h * diff.re};  // -i h (b - c)
        out[k] = {a.re + sum.re, a.im + sum.im};
        out[k + m] = {t.re + r.re, t.im + r.im};
        out[k + 2 * m] = {t.re - r.re, t.im - r.im};
    }
}

void FftPlan::butterfly4(Complex* out, int64_t fstride, int64_t m, bool inverse) const {
    Complex* o1 = out + m;
    Complex* o2 = out + 2 * m;
    Complex* o3 = out + 3 * m;
    for (int64_t k = 0; k < m; ++k) {
        Complex w1 = twiddles_[k * fstride], w2 = twiddles_[2 * k * fstride], w3 = twiddles_[3 * k * fstride];
        Complex a0 = out[k];
        Complex a1 = inverse ? mulConj(o1[k], w1) : mul(o1[k], w1);
        Complex a2 = inverse ? mulConj(o2[k], w2) : mul(o2[k], w2);
        Complex a3 = inverse ? mulConj(o3[k], w3) : mul(o3[k], w3);
        Complex s0{a0.re + a2.re, a0.im + a2.im}, s1{a0.re - a2.re, a0.im - a2.im};
        Complex s2{a1.re + a3.re, a1.im + a3.im}, s3{a1.re - a3.re, a1.im - a3.im};
        out[k] = {s0.re + s2.re, s0.im + s2.im};
        o2[k] = {s0.re - s2.re, s0.im - s2.im};
        if (inverse) {
            o1[k] = {s1.re - s3.im, s1.im + s3.re};
            o3[k] = {s1.re + s3.im, s1.im - s3.re};
        } else {
            o1[k] = {s1.re + s3.im, s1.im - s3.re};
            o3[k] = {s1.re - s3.im, s1.im + s3.re};
        }
    }
}

void FftPlan::butterfly5(Complex* out, int64_t fstride, int64_t m, bool inverse) const {
    Complex ya = twiddles_[fstride * m], yb = twiddles_[2 * fstride * m];
    if (inverse) {
        ya = conj(ya);
        yb = conj(yb);
    }
    for (int64_t k = 0; k < m; ++k) {
        Complex s[5];
        s[0] = out[k];
        for (int q = 1; q < 5; ++q) {
            Complex w = twiddles_[q * k * fstride];
            s[q] = inverse ? mulConj(out[k + q * m], w) : mul(out[k + q * m], w);
        }
        Complex s7{s[1].re + s[4].re, s[1].im + s[4].im}, s10{s[1].re - s[4].re, s[1].im - s[4].im};
        Complex s8{s[2].re + s[3].re, s[2].im + s[3].im}, s9{s[2].re - s[3].re, s[2].im - s[3].im};
        out[k] = {s[0].re + s7.re + s8.re, s[0].im + s7.im + s8.im};
        Complex s5{s[0].re + s7.re * ya.re + s8.re * yb.re, s[0].im + s7.im * ya.re + s8.im * yb.re};
        Complex s6{s10.im * ya.im + s9.im * yb.im, -(s10.re * ya.im + s9.re * yb.im)};
        out[k + m] = {s5.re - s6.re, s5.im - s6.im};
        out[k + 4 * m] = {s5.re + s6.re, s5.im + s6.im};
        Complex s11{s[0].re + s7.re * yb.re + s8.re * ya.re, s[0].im + s7.im * yb.re + s8.im * ya.re};
        Complex s12{-s10.im * yb.im + s9.im * ya.im, s10.re * yb.im - s9.re * ya.im};
        out[k + 2 * m] = {s11.re + s12.re, s11.im + s12.im};
        out[k + 3 * m] = {s11.re - s12.re, s11.im - s12.im};
    }
}

// Any odd factor p (at most kLargestDirectFactor): each output is the sum of
// the p inputs with their twiddles, O(p^2) per group.
void FftPlan::butterflyOdd(Complex* out, int64_t fstride, int64_t m, int64_t p, bool inverse) const {
    Complex scratch[kLargestDirectFactor];
    for (int64_t u = 0; u < m; ++u) {
        for (int64_t q = 0; q < p; ++q) scratch[q] = out[u + q * m];
        for (int64_t q1 = 0; q1 < p; ++q1) {
            int64_t k = u + q1 * m;
            Complex sum = scratch[0];
            int64_t index = 0;
            for (int64_t q = 1; q < p; ++q) {
                index += fstride * k;
                index %= n_;
                Complex t =
                    inverse ? mulConj(scratch[q], twiddles_[index]) : mul(scratch[q], twiddles_[index]);
                sum = {sum.re + t.re, sum.im + t.im};
            }
            out[k] = sum;
        }
    }
}

void FftPlan::bluestein(const Complex* in, int64_t stride, Complex* out, bool inverse) const {
    const int64_t m = inner_->size();
    WorkBuffer<Complex> a, spectrum;
    if (!a.allocate(m) || !spectrum.allocate(m)) {
        directDft(in, stride, out, n_, inverse);
        return;
    }
    // The inverse is the conjugate of the forward transform of the conjugate.
    for (int64_t k = 0; k < n_; ++k) {
        Complex x = in[k * stride];
        if (inverse) x = conj(x);
        a[k] = mul(x, chirp_[k]);
    }
    for (int64_t k = n_; k < m; ++k) a[k] = {0, 0};
    inner_->transform(a.data(), 1, spectrum.data(), false);
    for (int64_t j = 0; j < m; ++j) spectrum[j] = mul(spectrum[j], chirpSpectrum_[j]);
    inner_->transform(spectrum.data(), 1, a.data(), true);
    for (int64_t k = 0; k < n_; ++k) {
        Complex y = mul(a[k], chirp_[k]);
        out[k] = inverse ? conj(y) : y;
    }
}

const Complex* FftPlan::halfStepTwiddles() const {
    std::call_once(halfStepOnce_, [this] {
        Complex* t = allocateComplex(2 * n_);
        if (!t) return;
        fillTwiddles(t, 2 * n_);  // the first n of exp(-2 pi i k / 2n)
        halfStep_ = t;
    });
    return halfStep_;
}

bool transformReal(const FftPlan& half, const double* x, Complex* out, bool inverse) {
    const int64_t m = half.size();
    const Complex* w = half.halfStepTwiddles();
    if (!w) return false;
    // z[k] = x[2k] + i x[2k+1]; Z = its transform. Then with E the transform
    // of the even and O that of the odd values: E[k] = (Z[k] + conj Z[m-k]) / 2,
    // O[k] = (Z[k] - conj Z[m-k]) / 2i, X[k] = E[k] + w^k O[k], X[k+m] = E[k] - w^k O[k];
    // the pair m - k follows by symmetry.
    half.transform(reinterpret_cast<const Complex*>(x), 1, out, false);
    const Complex z0 = out[0];
    out[0] = {z0.re + z0.im, 0};
    out[m] = {z0.re - z0.im, 0};
    for (int64_t k = 1; 2 * k <= m; ++k) {
        const int64_t j = m - k;
        const Complex zk = out[k], zj = out[j];
        const Complex e{(zk.re + zj.re) / 2, (zk.im - zj.im) / 2};
        const Complex o{(zk.im + zj.im) / 2, -(zk.re - zj.re) / 2};
        const Complex t = mul(w[k], o);
        out[k] = {e.re + t.re, e.im + t.im};
        out[k + m] = {e.re - t.re, e.im - t.im};
        if (j != k) {
            out[j] = {e.re - t.re, -(e.im - t.im)};
            out[j + m] = {e.re + t.re, -(e.im + t.im)};
        }
    }
    // A real line's inverse transform is the conjugate of its forward one.
    if (inverse)
        for (int64_t k = 0; k < 2 * m; ++k) out[k].im = -out[k].im;
    return true;
}

void directDft(const Complex* in, int64_t stride, Complex* out, int64_t n, bool inverse) {
    const double sign = inverse ? 1 : -1;
    for (int64_t k = 0; k < n; ++k) {
        long double re = 0, im = 0;
        for (int64_t j = 0; j < n; ++j) {
            // (j k) modulo n keeps the angle exact for long lines.
            int64_t r = static_cast<int64_t>((static_cast<unsigned __int128>(j) * k) % n);
            double angle = sign * 2 * std::numbers::pi * static_cast<double>(r) / static_cast<double>(n);
            double c = std::cos(angle), s = std::sin(angle);
            Complex x = in[j * stride];
            re += x.re * c - x.im * s;
            im += x.re * s + x.im * c;
        }
        out[k] = {static_cast<double>(re), static_cast<double>(im)};
    }
}

namespace {

// The plan cache: the most recently used plans first, up to kCachedPlans of
// them and kCachedBytes of tables.
constexpr size_t kCachedPlans = 8;
constexpr int64_t kCachedBytes = int64_t{256} << 20;

struct PlanCache {
    std::mutex mutex;
    std::list<std::shared_ptr<const FftPlan>> plans;
};

PlanCache& planCache() {
    static PlanCache cache;
    return cache;
}

}  // namespace

std::shared_ptr<const FftPlan> fftPlanFor(int64_t n) {
    PlanCache& cache = planCache();
    {
        std::lock_guard<std::mutex> lock(cache.mutex);
        for (auto it = cache.plans.begin(); it != cache.plans.end(); ++it) {
            if ((*it)->size() != n) continue;
            std::shared_ptr<const FftPlan> plan = *it;
            cache.plans.erase(it);
            cache.plans.push_front(plan);
            return plan;
        }
    }
    auto plan = std::shared_ptr<FftPlan>(new (std::nothrow) FftPlan);
    if (!plan || !plan->prepare(n)) return nullptr;
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.plans.push_front(plan);
    int64_t bytes = 0;
    size_t kept = 0;
    for (auto it = cache.plans.begin(); it != cache.plans.end();) {
        bytes += FftPlan::tableBytes((*it)->size());
        if (kept > 0 && (kept >= kCachedPlans || bytes > kCachedBytes)) {
            it = cache.plans.erase(it);
        } else {
            ++kept;
            ++it;
        }
    }
    return plan;
}

}  // namespace tvx::builtins::algorithms
