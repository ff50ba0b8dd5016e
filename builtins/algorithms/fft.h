// Discrete Fourier transforms of one line of complex values. Power-of-two and
// other lengths with small prime factors run a mixed-radix decimation in time
// (radices 4, 2, 3, 5 and general odd factors); a length with a prime factor
// above kLargestDirectFactor is computed by Bluestein's chirp transform on a
// power-of-two length, so that no length costs quadratic time.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "interp/api.h"

namespace tvx::builtins::algorithms {

using interp::Complex;

// Prime factors up to this one get their own butterfly (quadratic in the factor).
constexpr int64_t kLargestDirectFactor = 61;

class FftPlan {
public:
    FftPlan() = default;
    FftPlan(const FftPlan&) = delete;
    FftPlan& operator=(const FftPlan&) = delete;
    ~FftPlan();

    // Prepares the transforms of length n (n >= 1). False when the memory for
    // the tables cannot be had.
    bool prepare(int64_t n);
    int64_t size() const { return n_; }
    // Bytes the tables of a plan for length n take (for the memory check).
    static int64_t tableBytes(int64_t n);

    // out[k] = sum over j of in[j * stride] * exp(-+2 pi i j k / n): the sign is
    // - for the forward and + for the inverse transform; nothing is scaled.
    // in and out must not overlap.
    void transform(const Complex* in, int64_t stride, Complex* out, bool inverse) const;

    // exp(-pi i k / n) for k < n: what a real line of twice this length needs
    // (made on first use; null when memory fails).
    const Complex* halfStepTwiddles() const;

private:
    void work(Complex* out, const Complex* in, int64_t fstride, int64_t inStride, const int64_t* factors,
              bool inverse) const;
    void butterfly2(Complex* out, int64_t fstride, int64_t m, bool inverse) const;
    void butterfly3(Complex* out, int64_t fstride, int64_t m, bool inverse) const;
    void butterfly4(Complex* out, int64_t fstride, int64_t m, bool inverse) const;
    void butterfly5(Complex* out, int64_t fstride, int64_t m, bool inverse) const;
    void butterflyOdd(Complex* out, int64_t fstride, int64_t m, int64_t p, bool inverse) const;
    void bluestein(const Complex* in, int64_t stride, Complex* out, bool inverse) const;

    int64_t n_ = 0;
    std::vector<int64_t> factors_;  // pairs (radix p, remaining length m)
    Complex* twiddles_ = nullptr;   // exp(-2 pi i k / n), k < n
    // Bluestein: the chirp exp(-i pi k^2 / n) for k < n, and the transform of
    // its conjugate, wrapped to the power-of-two length and divided by it.
    std::unique_ptr<FftPlan> inner_;
    Complex* chirp_ = nullptr;
    Complex* chirpSpectrum_ = nullptr;
    mutable std::once_flag halfStepOnce_;
    mutable Complex* halfStep_ = nullptr;
};

// The transform of 2 * half.size() real values x (at least 16-byte aligned):
// read as half.size() complex values, transformed in one line of half the
// length, then separated into the spectra of the even and the odd values. out
// receives all 2 * half.size() values. False when memory fails.
bool transformReal(const FftPlan& half, const double* x, Complex* out, bool inverse);

// A prepared plan for length n from a small process-wide cache (plans are
// expensive to build for long lines and macros transform the same length
// again and again). Null when memory fails.
std::shared_ptr<const FftPlan> fftPlanFor(int64_t n);

// The transform by its definition, in O(n^2); the fallback when no plan can be had.
void directDft(const Complex* in, int64_t stride, Complex* out, int64_t n, bool inverse);

}  // namespace tvx::builtins::algorithms
