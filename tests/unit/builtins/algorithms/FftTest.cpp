// The Fourier transform engine against the definition (summed in long double)
// for every length up to 64 and for lengths that take each path (powers of
// two, small and large prime factors, Bluestein), and against numpy.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "builtins/algorithms/fft.h"

namespace tvx::builtins::algorithms {
namespace {

// The test data: a 64-bit linear congruential generator whose values
// (s >> 11) * 2^-53 Python reproduces exactly.
std::vector<double> lcg(uint64_t seed, int64_t n) {
    std::vector<double> out;
    uint64_t s = seed;
    for (int64_t i = 0; i < n; ++i) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        out.push_back(static_cast<double>(s >> 11) * 0x1p-53);
    }
    return out;
}

std::vector<Complex> randomComplex(uint64_t seed, int64_t n) {
    std::vector<double> v = lcg(seed, 2 * n);
    std::vector<Complex> z(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) z[static_cast<size_t>(i)] = {v[2 * i] - 0.5, v[2 * i + 1] - 0.5};
    return z;
}

// The definition, with the angle reduced exactly and the sums in long double.
std::vector<Complex> definition(const std::vector<Complex>& x, bool inverse) {
    const auto n = static_cast<int64_t>(x.size());
    std::vector<long double> cosines(x.size()), sines(x.size());
    for (int64_t r = 0; r < n; ++r) {
        long double angle = (inverse ? 2 : -2) * std::numbers::pi_v<long double> * r / n;
        cosines[static_cast<size_t>(r)] = std::cos(angle);
        sines[static_cast<size_t>(r)] = std::sin(angle);
    }
    std::vector<Complex> out(x.size());
    for (int64_t k = 0; k < n; ++k) {
        long double re = 0, im = 0;
        for (int64_t j = 0; j < n; ++j) {
            const auto r = static_cast<size_t>((j * k) % n);
            long double c = cosines[r], s = sines[r];
            re += x[static_cast<size_t>(j)].re * c - x[static_cast<size_t>(j)].im * s;
            im += x[static_cast<size_t>(j)].re * s + x[static_cast<size_t>(j)].im * c;
        }
        out[static_cast<size_t>(k)] = {static_cast<double>(re), static_cast<double>(im)};
    }
    return out;
}

// Largest difference relative to the largest magnitude of the reference.
double relativeError(const std::vector<Complex>& got, const std::vector<Complex>& want) {
    double scale = 0, worst = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        scale = std::max(scale, std::hypot(want[i].re, want[i].im));
        worst = std::max(worst, std::hypot(got[i].re - want[i].re, got[i].im - want[i].im));
    }
    return scale > 0 ? worst / scale : worst;
}

std::vector<Complex> transform(const std::vector<Complex>& x, bool inverse) {
    FftPlan plan;
    EXPECT_TRUE(plan.prepare(static_cast<int64_t>(x.size())));
    std::vector<Complex> out(x.size());
    plan.transform(x.data(), 1, out.data(), inverse);
    return out;
}

TEST(FftTest, EveryLengthUpTo64AgreesWithTheDefinition) {
    for (int64_t n = 1; n <= 64; ++n) {
        std::vector<Complex> x = randomComplex(static_cast<uint64_t>(n), n);
        EXPECT_LT(relativeError(transform(x, false), definition(x, false)), 1e-14) << "n = " << n;
        EXPECT_LT(relativeError(transform(x, true), definition(x, true)), 1e-14) << "n = " << n;
    }
}

TEST(FftTest, EachPathAgreesWithTheDefinition) {
    // 2^k; 3, 5 and 7 together; odd powers; 61 (the largest own butterfly);
    // primes above it and their multiples (Bluestein).
    for (int64_t n : {128, 243, 625, 1000, 1024, 4096, 1331, 210, 366, 67, 97, 134, 1009, 606}) {
        std::vector<Complex> x = randomComplex(static_cast<uint64_t>(n) + 100, n);
        EXPECT_LT(relativeError(transform(x, false), definition(x, false)), 2e-14) << "n = " << n;
        EXPECT_LT(relativeError(transform(x, true), definition(x, true)), 2e-14) << "n = " << n;
    }
}

TEST(FftTest, StridedInputIsReadAtItsStride) {
    const int64_t n = 12, stride = 3;
    std::vector<Complex> spread = randomComplex(7, n * stride), line;
    for (int64_t i = 0; i < n; ++i) line.push_back(spread[static_cast<size_t>(i * stride)]);
    FftPlan plan;
    ASSERT_TRUE(plan.prepare(n));
    std::vector<Complex> out(static_cast<size_t>(n));
    plan.transform(spread.data(), stride, out.data(), false);
    EXPECT_LT(relativeError(out, definition(line, false)), 1e-14);
}

TEST(FftTest, ForwardThenInverseGivesTheInputTimesTheLength) {
    for (int64_t n : {4096, 4095, 4099}) {  // 2^12, 3^2 5 7 13, a prime
        std::vector<Complex> x = randomComplex(11, n);
        std::vector<Complex> back = transform(transform(x, false), true);
        for (Complex& z : back) z = {z.re / static_cast<double>(n), z.im / static_cast<double>(n)};
        EXPECT_LT(relativeError(back, x), 1e-14) << "n = " << n;
    }
}

TEST(FftTest, RealLinesThroughHalfTheLength) {
    for (int64_t n : {2, 4, 6, 10, 12, 64, 134, 1000, 1024}) {
        std::vector<double> x = lcg(static_cast<uint64_t>(n) + 5, n);
        std::vector<Complex> asComplex;
        for (double v : x) asComplex.push_back({v - 0.5, 0});
        for (int64_t i = 0; i < n; ++i) x[static_cast<size_t>(i)] -= 0.5;
        FftPlan half;
        ASSERT_TRUE(half.prepare(n / 2));
        for (bool inverse : {false, true}) {
            std::vector<Complex> out(static_cast<size_t>(n));
            ASSERT_TRUE(transformReal(half, x.data(), out.data(), inverse));
            EXPECT_LT(relativeError(out, definition(asComplex, inverse)), 1e-14) << "n = " << n;
        }
    }
}

TEST(FftTest, CachedPlansServeRepeatedLengths) {
    std::shared_ptr<const FftPlan> a = fftPlanFor(360), b = fftPlanFor(360);
    ASSERT_TRUE(a);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(a->size(), 360);
}

// numpy 1.24 (pocketfft), computed once with:
//   x = lcg(seed, n) as above; X = numpy.fft.fft(x); print(k, X[k].real, X[k].imag)
struct Bin {
    int64_t k;
    double re, im;
};

void expectNumpyBins(int64_t n, uint64_t seed, const std::vector<Bin>& bins) {
    std::vector<double> values = lcg(seed, n);
    std::vector<Complex> x;
    for (double v : values) x.push_back({v, 0});
    std::vector<Complex> got = transform(x, false);
    for (const Bin& bin : bins) {
        // The spectrum's scale is n/2 at bin 0; rounding of either side is far below 1e-11.
        EXPECT_NEAR(got[static_cast<size_t>(bin.k)].re, bin.re, 1e-11) << "n = " << n << ", k = " << bin.k;
        EXPECT_NEAR(got[static_cast<size_t>(bin.k)].im, bin.im, 1e-11) << "n = " << n << ", k = " << bin.k;
    }
}

TEST(FftTest, AgreesWithNumpy) {
    expectNumpyBins(1024, 1,
                    {
                        {0, 518.3396557684243, 0.0},
                        {1, -5.264013688600706, 4.563030479498803},
                        {2, -4.019362482341631, 0.25888751920039943},
                        {3, 3.2623430071876114, 0.7336174191225888},
                        {17, -0.6799274154812771, -8.330617005872371},
                        {256, 4.931787030544484, 3.72999069910378},
                        {511, 14.199359801438387, -1.107058670968717},
                        {512, -6.85224622087199, 0.0},
                        {716, -4.031158110663652, 3.0876005946574816},
                        {1023, -5.264013688600705, -4.563030479498805},
                    });
    expectNumpyBins(1000, 2,
                    {
                        {0, 507.12308733853797, 0.0},
                        {1, -6.074703703102841, -5.389800559152104},
                        {2, -7.665402689932214, -3.0792467092899596},
                        {3, -6.274889797360103, -3.260557816184864},
                        {17, 0.8866721906810293, -0.7369782853182816},
                        {250, 5.838312166662988, -6.722653958160479},
                        {499, -7.896090814840121, -2.2235480998409214},
                        {500, -3.280345025530079, 4.440892098500626e-16},
                        {700, -4.075948096006864, -6.815320977704921},
                        {999, -6.074703703102839, 5.3898005591521025},
                    });
    expectNumpyBins(4096, 3,
                    {
                        {0, 2060.1351934460945, 0.0},
                        {1, -8.00531905923076, -2.4081327841935063},
                        {2, 3.945111929952713, -15.616921040541481},
                        {3, 2.948651402283935, 4.865724095150089},
                        {17, 2.43379249810168, 3.1342633599492613},
                        {1024, 4.102140061334012, 11.067710397683186},
                        {2047, 2.952010041377851, -3.3780741419164633},
                        {2048, -50.787766068972815, 0.0},
                        {2867, 23.292354294366007, -3.8867012802898215},
                        {4095, -8.005319059230757, 2.4081327841935076},
                    });
}

}  // namespace
}  // namespace tvx::builtins::algorithms
