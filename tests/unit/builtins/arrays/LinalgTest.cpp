// The dense matrix algorithms: product order and precision, the column order
// of the inverse (against a literal depth-first search), Gauss-Jordan with its
// fallback, determinants, least squares and transposition.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "builtins/arrays/linalg.h"
#include "interp/errors.h"

namespace tvx::builtins::arrays {
namespace {

using interp::kSingularMatrix;

std::vector<double> randomMatrix(std::mt19937& gen, int64_t rows, int64_t columns) {
    std::uniform_real_distribution<double> dist(-1, 1);
    std::vector<double> m(static_cast<size_t>(rows * columns));
    for (double& x : m) x = dist(gen);
    return m;
}

// The product in quadruple precision (the products of doubles are exact there).
std::vector<__float128> exactProduct(const std::vector<double>& a, const std::vector<double>& b, int64_t m,
                                     int64_t n, int64_t k) {
    std::vector<__float128> c(static_cast<size_t>(m * k));
    for (int64_t y = 0; y < m; ++y)
        for (int64_t x = 0; x < k; ++x) {
            __float128 s = 0;
            for (int64_t j = 0; j < n; ++j) s += static_cast<__float128>(a[y * n + j]) * b[j * k + x];
            c[y * k + x] = s;
        }
    return c;
}

// The product with every sum formed in long double from j = 0 upward.
std::vector<double> referenceProduct(const std::vector<double>& a, const std::vector<double>& b, int64_t m,
                                     int64_t n, int64_t k) {
    std::vector<double> c(static_cast<size_t>(m * k));
    for (int64_t y = 0; y < m; ++y)
        for (int64_t x = 0; x < k; ++x) {
            long double s = 0;
            for (int64_t j = 0; j < n; ++j) s += static_cast<long double>(a[y * n + j]) * b[j * k + x];
            c[y * k + x] = static_cast<double>(s);
        }
    return c;
}

TEST(LinalgTest, ProductIsWithinOneUnitOfTheExactValueForEveryShape) {
    std::mt19937 gen(7);
    // Odd and even sizes cover the edges of the eight-column panels and of the
    // four-column kernel; a long inner dimension makes the column tiles narrow.
    const int64_t shapes[][3] = {{1, 1, 1}, {2, 3, 2},     {5, 7, 3},  {4, 4, 9},
                                 {3, 1, 5}, {3, 20000, 5}, {9, 33, 17}};
    for (const auto& s : shapes) {
        auto a = randomMatrix(gen, s[0], s[1]);
        auto b = randomMatrix(gen, s[1], s[2]);
        auto exact = exactProduct(a, b, s[0], s[1], s[2]);
        std::vector<double> c(static_cast<size_t>(s[0] * s[2]), -99);
        multiplyReal(a.data(), b.data(), c.data(), s[0], s[1], s[2]);
        for (size_t i = 0; i < c.size(); ++i) {
            double e = static_cast<double>(exact[i]);
            EXPECT_LE(std::fabs(c[i] - e), std::nextafter(std::fabs(e), INFINITY) - std::fabs(e))
                << s[0] << "x" << s[1] << "x" << s[2] << " at " << i;
        }
        // The long double form sums in the same order as the reference.
        multiplyRealLongDouble(a.data(), b.data(), c.data(), s[0], s[1], s[2]);
        EXPECT_EQ(c, referenceProduct(a, b, s[0], s[1], s[2])) << s[0] << "x" << s[1] << "x" << s[2];
    }
}

// One element of the double-double product, one product at a time: the
// exact product split by fma, Knuth's two-sum, hi + lo where hi is finite.
double doubleDoubleElement(const double* a, const double* b, int64_t n, int64_t k) {
    double hi = 0, lo = 0;
    for (int64_t j = 0; j < n; ++j) {
        const double x = a[j], y = b[j * k];
        const double p = x * y, e = std::fma(x, y, -p);
        const double t = hi + p, z = t - hi;
        lo = lo + ((hi - (t - z)) + (p - z) + e);
        hi = t;
    }
    return hi - hi == 0 ? hi + lo : hi;
}

TEST(LinalgTest, ProductGivesTheSameBitsWhateverTheRowsAndPanels) {
    // Row counts around the groups of four rows, columns around the panels of
    // eight, and products large enough to be shared between two threads.
    if (!__builtin_cpu_supports("fma")) GTEST_SKIP() << "the long double form sums otherwise";
    std::mt19937 gen(5);
    const int64_t shapes[][3] = {{1, 3, 1},  {3, 5, 7},   {4, 2, 8},      {5, 9, 9},
                                 {7, 1, 17}, {9, 64, 23}, {130, 100, 90}, {301, 300, 13}};
    for (const auto& s : shapes) {
        const int64_t m = s[0], n = s[1], k = s[2];
        auto a = randomMatrix(gen, m, n);
        auto b = randomMatrix(gen, n, k);
        a[0] = 1e308;  // the first element overflows: infinity, not NaN
        b[0] = 4;
        std::vector<double> c(static_cast<size_t>(m * k), -99);
        multiplyReal(a.data(), b.data(), c.data(), m, n, k);
        for (int64_t y = 0; y < m; ++y) {
            for (int64_t x = 0; x < k; ++x) {
                const double expected = doubleDoubleElement(a.data() + y * n, b.data() + x, n, k);
                const double got = c[static_cast<size_t>(y * k + x)];
                ASSERT_TRUE(std::memcmp(&got, &expected, sizeof got) == 0 ||
                            (std::isnan(got) && std::isnan(expected)))
                    << m << "x" << n << "x" << k << " at " << x << ", " << y << ": " << got << " "
                    << expected;
            }
        }
    }
}

TEST(LinalgTest, ProductSumsInExtendedPrecision) {
    // 1e16 + 1 - 1e16 is 0 in doubles but 1 in either extended form.
    const double a[] = {1e16, 1, -1e16};
    const double b[] = {1, 1, 1};
    double c = -1;
    multiplyReal(a, b, &c, 1, 3, 1);
    EXPECT_EQ(c, 1);
    c = -1;
    multiplyRealLongDouble(a, b, &c, 1, 3, 1);
    EXPECT_EQ(c, 1);
    // An empty inner dimension gives zeros.
    double z[4] = {5, 5, 5, 5};
    multiplyReal(a, b, z, 2, 0, 2);
    EXPECT_EQ(z[0] + z[1] + z[2] + z[3], 0);
}

TEST(LinalgTest, ProductKeepsInfinitiesAndNaN) {
    const double big[] = {1e200, 1};
    const double ones[] = {1e200, 1};
    double c = 0;
    multiplyReal(big, ones, &c, 1, 2, 1);
    EXPECT_EQ(c, INFINITY);  // an overflow, not NaN from the error terms
    const double inf[] = {-INFINITY, 1};
    multiplyReal(inf, ones + 1, &c, 1, 1, 1);
    EXPECT_EQ(c, -INFINITY);
    const double nan[] = {NAN, 1};
    multiplyReal(nan, ones, &c, 1, 2, 1);
    EXPECT_TRUE(std::isnan(c));
}

TEST(LinalgTest, ComplexProduct) {
    // (1+2i, 3) times (i; 1-i) = (1+2i)i + 3(1-i) = -2+i + 3-3i = 1-2i
    const double a[] = {1, 2, 3, 0};
    const double b[] = {0, 1, 1, -1};
    double c[2];
    multiplyComplex(a, b, c, 1, 2, 1);
    EXPECT_EQ(c[0], 1);
    EXPECT_EQ(c[1], -2);
}

// The column order as the literal depth-first search finds it.
bool depthFirstOrder(const std::vector<double>& a, int n, std::vector<int32_t>& order) {
    std::vector<bool> used(static_cast<size_t>(n));
    order.assign(static_cast<size_t>(n), -1);
    std::function<bool(int)> place = [&](int r) {
        if (r == n) return true;
        for (int c = 0; c < n; ++c) {
            if (used[static_cast<size_t>(c)] || a[static_cast<size_t>(r * n + c)] == 0) continue;
            used[static_cast<size_t>(c)] = true;
            order[static_cast<size_t>(r)] = c;
            if (place(r + 1)) return true;
            used[static_cast<size_t>(c)] = false;
        }
        return false;
    };
    return place(0);
}

TEST(LinalgTest, ColumnOrderIsTheFirstOneADepthFirstSearchFinds) {
    std::mt19937 gen(11);
    std::bernoulli_distribution nonZero(0.35);
    int complete = 0, none = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        int n = 1 + trial % 7;
        std::vector<double> a(static_cast<size_t>(n * n));
        for (double& x : a) x = nonZero(gen) ? 1 : 0;
        std::vector<int32_t> expected, found;
        bool exists = depthFirstOrder(a, n, expected);
        ASSERT_EQ(findColumnOrder(a.data(), n, false, found), exists) << "trial " << trial;
        if (exists) {
            ASSERT_EQ(found, expected) << "trial " << trial;
            ++complete;
        } else {
            ++none;
        }
    }
    // Both outcomes were exercised, most of them past the greedy first try.
    EXPECT_GT(complete, 300);
    EXPECT_GT(none, 300);
}

TEST(LinalgTest, ColumnOrderOfAComplexMatrixLooksAtBothParts) {
    // Row 0: column 0 is (0, 0), column 1 is (0, 1); row 1: only column 0.
    const double a[] = {0, 0, 0, 1, 2, 0, 0, 0};
    std::vector<int32_t> order;
    ASSERT_TRUE(findColumnOrder(a, 2, true, order));
    EXPECT_EQ(order, (std::vector<int32_t>{1, 0}));
}

TEST(LinalgTest, StructurallySingularMatrixIsRecognisedWithoutExhaustiveSearch) {
    // A zero last row: a literal search would try 39! orders first (and this
    // test would not end).
    const int n = 40;
    std::vector<double> a(static_cast<size_t>(n * n), 1.0);
    for (int c = 0; c < n; ++c) a[static_cast<size_t>((n - 1) * n + c)] = 0;
    std::vector<int32_t> order;
    EXPECT_FALSE(findColumnOrder(a.data(), n, false, order));
    EXPECT_EQ(invertReal(a.data(), n), kSingularMatrix);
}

double identityError(const std::vector<double>& a, const std::vector<double>& inverse, int64_t n) {
    auto product = referenceProduct(a, inverse, n, n, n);
    double worst = 0;
    for (int64_t y = 0; y < n; ++y)
        for (int64_t x = 0; x < n; ++x)
            worst = std::max(worst, std::fabs(product[y * n + x] - (x == y ? 1 : 0)));
    return worst;
}

TEST(LinalgTest, InverseOfRandomMatrices) {
    std::mt19937 gen(3);
    for (int64_t n : {1, 2, 3, 8, 31}) {
        auto a = randomMatrix(gen, n, n);
        auto inverse = a;
        ASSERT_EQ(invertReal(inverse.data(), n), 0) << n;
        EXPECT_LT(identityError(a, inverse, n), 1e-9) << n;
    }
}

// Gauss-Jordan one step at a time over the whole matrix: every row i != k
// loses ri[k] times the pivot row, which was divided by its pivot first.
std::vector<double> stepByStepInverse(std::vector<double> w, int64_t n) {
    for (int64_t k = 0; k < n; ++k) {
        double* rk = w.data() + k * n;
        const double pivot = rk[k];
        rk[k] = 1;
        for (int64_t j = 0; j < n; ++j) rk[j] /= pivot;
        for (int64_t i = 0; i < n; ++i) {
            double* ri = w.data() + i * n;
            const double f = ri[k];
            if (i == k || f == 0) continue;
            ri[k] = 0;
            for (int64_t j = 0; j < n; ++j) ri[j] -= f * rk[j];
        }
    }
    return w;
}

TEST(LinalgTest, InverseGivesTheBitsOfOneStepAtATime) {
    // A non-zero diagonal keeps the column order as it is. Zeros elsewhere
    // (a third of them, or all outside a band) leave rows without some steps.
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> dist(-1, 1);
    for (int64_t n : {1, 5, 8, 9, 16, 23, 64, 67}) {
        for (int shape = 0; shape < 3; ++shape) {
            std::vector<double> a(static_cast<size_t>(n * n));
            for (int64_t y = 0; y < n; ++y) {
                for (int64_t x = 0; x < n; ++x) {
                    double v = dist(gen);
                    if (shape == 1 && x != y && v < -0.33) v = 0;
                    if (shape == 2 && std::abs(x - y) > 2) v = 0;
                    if (x == y) v += v < 0 ? -2 : 2;
                    a[static_cast<size_t>(y * n + x)] = v;
                }
            }
            auto inverse = a;
            ASSERT_EQ(invertReal(inverse.data(), n), 0) << n;
            const auto expected = stepByStepInverse(a, n);
            EXPECT_EQ(std::memcmp(inverse.data(), expected.data(), inverse.size() * sizeof(double)), 0)
                << "n " << n << ", shape " << shape;
        }
    }
}

TEST(LinalgTest, InverseWithAZeroFirstPivotUsesAnotherColumnOrder) {
    const std::vector<double> a = {0, 1, 1, 0};
    auto inverse = a;
    ASSERT_EQ(invertReal(inverse.data(), 2), 0);
    EXPECT_EQ(inverse, a);  // a permutation is its own inverse
    const std::vector<double> b = {0, 2, 0, 3, 4, 0, 0, 5, 6};
    inverse = b;
    ASSERT_EQ(invertReal(inverse.data(), 3), 0);
    EXPECT_LT(identityError(b, inverse, 3), 1e-15);
}

TEST(LinalgTest, RegularMatrixIsInvertedEvenWhenTheOrderedEliminationMeetsAZeroPivot) {
    // Every diagonal element is non-zero, but after the first step the second
    // pivot is 1 - 1 = 0; the determinant is -1.
    const std::vector<double> a = {1, 1, 0, 1, 1, 1, 0, 1, 1};
    auto inverse = a;
    ASSERT_EQ(invertReal(inverse.data(), 3), 0);
    EXPECT_LT(identityError(a, inverse, 3), 1e-15);
    double det = 0;
    ASSERT_EQ(determinantReal(a.data(), 3, det), 0);
    EXPECT_DOUBLE_EQ(det, -1);
}

TEST(LinalgTest, SingularMatricesAreReported) {
    std::vector<double> equalRows = {1, 2, 3, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(invertReal(equalRows.data(), 3), kSingularMatrix);
    std::vector<double> dependent = {1, 2, 2, 4};
    EXPECT_EQ(invertReal(dependent.data(), 2), kSingularMatrix);
    std::vector<double> complexDependent = {1, 1, 2, 2, 2, 2, 4, 4};  // row 2 = 2 * row 1
    EXPECT_EQ(invertComplex(complexDependent.data(), 2), kSingularMatrix);
}

TEST(LinalgTest, ComplexInverse) {
    // [[i, 1], [0, 2]]: inverse [[-i, i/2], [0, 1/2]]
    std::vector<double> a = {0, 1, 1, 0, 0, 0, 2, 0};
    ASSERT_EQ(invertComplex(a.data(), 2), 0);
    const std::vector<double> expected = {0, -1, 0, 0.5, 0, 0, 0.5, 0};
    for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], expected[i], 1e-15) << i;
}

TEST(LinalgTest, DeterminantsWithRowExchanges) {
    double det = 0;
    const double swap[] = {0, 1, 1, 0};
    ASSERT_EQ(determinantReal(swap, 2, det), 0);
    EXPECT_EQ(det, -1);
    const double equalRows[] = {1, 2, 1, 2};
    ASSERT_EQ(determinantReal(equalRows, 2, det), 0);
    EXPECT_EQ(det, 0);
    // The pivot is the row with the largest magnitude: 2 is chosen over 1.
    const double a[] = {1, 3, 2, 4};
    ASSERT_EQ(determinantReal(a, 2, det), 0);
    EXPECT_DOUBLE_EQ(det, -2);
    const double nan[] = {NAN, 1, 1, 1};
    ASSERT_EQ(determinantReal(nan, 2, det), 0);
    EXPECT_TRUE(std::isnan(det));
    // det [[i, 0], [0, i]] = -1
    const double c[] = {0, 1, 0, 0, 0, 0, 0, 1};
    interp::Complex z;
    ASSERT_EQ(determinantComplex(c, 2, z), 0);
    EXPECT_EQ(z.re, -1);
    EXPECT_EQ(z.im, 0);
}

TEST(LinalgTest, LeastSquaresFitsAStraightLine) {
    // y = 2 + 3x at four points; columns 1 and x.
    const double x[] = {1, 0, 1, 1, 1, 2, 1, 3};
    const double y[] = {2, 5, 8, 11};
    double c[2];
    ASSERT_EQ(leastSquares(x, y, 4, 2, false, c), 0);
    EXPECT_NEAR(c[0], 2, 1e-12);
    EXPECT_NEAR(c[1], 3, 1e-12);
    // The same regressors given transposed.
    const double xt[] = {1, 1, 1, 1, 0, 1, 2, 3};
    ASSERT_EQ(leastSquares(xt, y, 4, 2, true, c), 0);
    EXPECT_NEAR(c[0], 2, 1e-12);
    EXPECT_NEAR(c[1], 3, 1e-12);
    // Collinear regressors: the normal equations are singular.
    const double same[] = {1, 1, 2, 2, 3, 3};
    EXPECT_EQ(leastSquares(same, y, 3, 2, false, c), kSingularMatrix);
}

TEST(LinalgTest, TransposeEveryElementSize) {
    for (int size : {1, 2, 4, 8, 16}) {
        const int64_t nx = 37, ny = 5;
        std::vector<unsigned char> source(static_cast<size_t>(nx * ny * size)), target(source.size());
        for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<unsigned char>(i * 7 + 3);
        transposeCopy(source.data(), target.data(), nx, ny, size);
        for (int64_t y = 0; y < ny; ++y)
            for (int64_t x = 0; x < nx; ++x)
                ASSERT_EQ(
                    std::memcmp(&target[static_cast<size_t>((x * ny + y) * size)],
                                &source[static_cast<size_t>((y * nx + x) * size)], static_cast<size_t>(size)),
                    0)
                    << size;
        std::vector<unsigned char> square(static_cast<size_t>(9 * 9 * size));
        for (size_t i = 0; i < square.size(); ++i) square[i] = static_cast<unsigned char>(i);
        auto original = square;
        transposeSquare(square.data(), 9, size);
        for (int64_t y = 0; y < 9; ++y)
            for (int64_t x = 0; x < 9; ++x)
                ASSERT_EQ(std::memcmp(&square[static_cast<size_t>((y * 9 + x) * size)],
                                      &original[static_cast<size_t>((x * 9 + y) * size)],
                                      static_cast<size_t>(size)),
                          0)
                    << size;
    }
}

}  // namespace
}  // namespace tvx::builtins::arrays
