// Linear systems with partial pivoting and the normal equations of least
// squares: against numpy, on systems that need row exchanges or have tiny
// pivots, and on the NIST reference data sets with their certified values.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "builtins/algorithms/linear.h"

namespace tvx::builtins::algorithms {
namespace {

std::vector<double> lcg(uint64_t seed, int64_t n) {
    std::vector<double> out;
    uint64_t s = seed;
    for (int64_t i = 0; i < n; ++i) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        out.push_back(static_cast<double>(s >> 11) * 0x1p-53);
    }
    return out;
}

TEST(LinearTest, FiftyByFiftyAgreesWithNumpy) {
    // numpy.linalg.solve (LAPACK, partial pivoting), computed once with
    //   v = lcg(4, 2550); A = v[:2500].reshape(50, 50) - 0.5; b = v[2500:] - 0.5
    //   A[0][0] = 0; x = numpy.linalg.solve(A, b)      (condition number 219)
    const double numpy[50] = {
        0.4436466139230437,   1.1097221990760455,    -0.46273851491730694, -0.487510254698542,
        -0.4893127851839829,  -0.25639929225663616,  -1.4886915442516178,  -0.03736710278728314,
        0.7197256486888638,   0.20453792711711236,   -0.938779208515863,   0.2159734545104601,
        -0.2622435423660797,  -0.001400106442307334, 0.5614638085273399,   0.13494892739968256,
        0.15267582372538313,  0.25566237445825585,   -1.0210367052718172,  -0.31166026059400204,
        0.6121428119831509,   0.06300438420435857,   -0.6852065914142579,  0.01262556631314221,
        0.9403118715488356,   0.4835489974909633,    -0.06647348619861326, 0.8631811703496061,
        -0.24476146150153508, 0.46434557389516,      0.20567719851923572,  0.9028527544920778,
        0.12015008866095554,  -0.9220615507420753,   -0.06970010905789277, 0.07498600228042122,
        -1.2096853473857365,  0.49183086260493863,   0.010339750913315193, -0.26775897695681616,
        -0.3221585988790559,  0.6081229599218735,    -0.7401971488803958,  0.24373954102136566,
        0.11671472841163989,  0.2571257087212513,    -0.2014619506707059,  0.2236442747333253,
        1.0598814330831838,   0.49731950002801467};
    const int n = 50;
    std::vector<double> v = lcg(4, n * n + n);
    std::vector<double> a(v.begin(), v.begin() + n * n), b(v.begin() + n * n, v.end());
    for (double& x : a) x -= 0.5;
    for (double& x : b) x -= 0.5;
    a[0] = 0;  // the first pivot must come from another row
    const std::vector<double> original = a, rhs = b;
    ASSERT_EQ(solveLinearSystem(a.data(), b.data(), n), kSolved);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(b[static_cast<size_t>(i)], numpy[i], 1e-13) << i;
    // The factors: L (unit diagonal) times U is the row-exchanged matrix, so each of
    // its rows is a row of the original and every original row is used once.
    std::vector<bool> used(n, false);
    for (int i = 0; i < n; ++i) {
        std::vector<double> row(n, 0.0);
        for (int j = 0; j < n; ++j)
            for (int k = 0; k <= std::min(i, j); ++k)
                row[static_cast<size_t>(j)] +=
                    (k == i ? 1.0 : a[static_cast<size_t>(i * n + k)]) * a[static_cast<size_t>(k * n + j)];
        int match = -1;
        for (int r = 0; r < n && match < 0; ++r) {
            bool same = !used[static_cast<size_t>(r)];
            for (int j = 0; j < n && same; ++j)
                same =
                    std::fabs(row[static_cast<size_t>(j)] - original[static_cast<size_t>(r * n + j)]) < 1e-12;
            if (same) match = r;
        }
        ASSERT_GE(match, 0) << "row " << i << " of L U is no row of A";
        used[static_cast<size_t>(match)] = true;
    }
}

TEST(LinearTest, RegularSystemsThatNeedRowExchangesAreSolved) {
    // A zero first pivot.
    double a[4] = {0, 1, 1, 0}, b[2] = {2, 3};
    ASSERT_EQ(solveLinearSystem(a, b, 2), kSolved);
    EXPECT_EQ(b[0], 3);
    EXPECT_EQ(b[1], 2);
    // A tiny first pivot: without exchanging rows x0 comes out 0 instead of 1.
    double c[4] = {1e-20, 1, 1, 1}, d[2] = {1, 2};
    ASSERT_EQ(solveLinearSystem(c, d, 2), kSolved);
    EXPECT_DOUBLE_EQ(d[0], 1);
    EXPECT_DOUBLE_EQ(d[1], 1);
}

TEST(LinearTest, OnlyTrulySingularSystemsAreRefused) {
    double twoEqualRows[9] = {1, 2, 3, 1, 2, 3, 0, 1, 4}, b[3] = {1, 2, 3};
    EXPECT_EQ(solveLinearSystem(twoEqualRows, b, 3), kSingularSystem);
    double zeroColumn[4] = {0, 1, 0, 2}, c[2] = {1, 1};
    EXPECT_EQ(solveLinearSystem(zeroColumn, c, 2), kSingularSystem);
    double notANumber[4] = {NAN, 1, NAN, 2}, d[2] = {1, 1};
    EXPECT_EQ(solveLinearSystem(notANumber, d, 2), kSingularSystem);
    double one[1] = {4}, e[1] = {2};
    ASSERT_EQ(solveLinearSystem(one, e, 1), kSolved);
    EXPECT_EQ(e[0], 0.5);
}

TEST(LinearTest, NormalEquationsAccumulateAndStaySymmetric) {
    // x rows (1, t), y = 2 + 3t: the normal equations of a straight line.
    const double x[8] = {1, 0, 1, 1, 1, 2, 1, 3}, y[4] = {2, 5, 8, 11};
    double normal[4] = {0, 0, 7, 0}, r[2] = {0, 0};  // the lower triangle is overwritten
    accumulateNormalEquations(x, y, 4, 2, normal, r);
    EXPECT_EQ(normal[0], 4);
    EXPECT_EQ(normal[1], 6);
    EXPECT_EQ(normal[2], 6);
    EXPECT_EQ(normal[3], 14);
    EXPECT_EQ(r[0], 26);
    EXPECT_EQ(r[1], 54);
    // Halves of the data give bit for bit what all of it gives.
    std::vector<double> data = lcg(9, 3 * 40), all(9, 0.0), halves(9, 0.0), ra(3, 0.0), rh(3, 0.0);
    std::vector<double> obs = lcg(10, 40);
    accumulateNormalEquations(data.data(), obs.data(), 40, 3, all.data(), ra.data());
    accumulateNormalEquations(data.data(), obs.data(), 17, 3, halves.data(), rh.data());
    accumulateNormalEquations(data.data() + 17 * 3, obs.data() + 17, 23, 3, halves.data(), rh.data());
    EXPECT_EQ(all, halves);
    EXPECT_EQ(ra, rh);
    ASSERT_EQ(solveLinearSystem(normal, r, 2), kSolved);
    EXPECT_NEAR(r[0], 2, 1e-14);
    EXPECT_NEAR(r[1], 3, 1e-14);
}

// ---- NIST StRD linear regression data (read from the shared reference folder)

struct Dataset {
    std::vector<double> certified;          // B0, B1, ...
    std::vector<std::vector<double>> rows;  // y, x1, x2, ...
};

std::string referenceFolder() { return TOLVEX_SOURCE_DIR "/../shared/refdata/numeric/nist_strd_lls"; }

// Certified values follow "Parameter ... Estimate"; the data follow "Data:" in
// the second such header (the first one describes the variables).
bool readDataset(const std::string& name, Dataset& out) {
    std::ifstream in(referenceFolder() + "/" + name);
    if (!in) return false;
    std::string line;
    int dataHeaders = 0;
    bool inData = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (first == "Data:") {
            inData = ++dataHeaders == 2;
            continue;
        }
        if (inData) {
            std::istringstream values(line);
            std::vector<double> row;
            double v;
            while (values >> v) row.push_back(v);
            if (!row.empty()) out.rows.push_back(row);
            continue;
        }
        if (first.size() >= 2 && first[0] == 'B' && std::isdigit(static_cast<unsigned char>(first[1]))) {
            double estimate;
            if (words >> estimate) out.certified.push_back(estimate);
        }
    }
    return !out.rows.empty() && !out.certified.empty();
}

// The model y = B0 + B1 x1 + ... fitted through the normal equations.
std::vector<double> fit(const Dataset& d) {
    const int64_t k = static_cast<int64_t>(d.certified.size());
    std::vector<double> x, y;
    for (const std::vector<double>& row : d.rows) {
        y.push_back(row[0]);
        x.push_back(1);
        for (size_t j = 1; j < row.size(); ++j) x.push_back(row[j]);
    }
    std::vector<double> normal(static_cast<size_t>(k * k), 0.0), r(static_cast<size_t>(k), 0.0);
    accumulateNormalEquations(x.data(), y.data(), static_cast<int64_t>(y.size()), k, normal.data(), r.data());
    EXPECT_EQ(solveLinearSystem(normal.data(), r.data(), k), kSolved);
    return r;
}

// Correct significant digits of got against a certified value.
double digits(double got, double certified) {
    double e = std::fabs(got - certified) / std::fabs(certified);
    return e == 0 ? 17 : -std::log10(e);
}

TEST(LinearTest, NistNorrisCertifiedCoefficients) {
    Dataset d;
    if (!readDataset("Norris.dat", d)) GTEST_SKIP() << "no NIST reference data in " << referenceFolder();
    ASSERT_EQ(d.rows.size(), 36u);
    std::vector<double> b = fit(d);
    // x'x has condition number 7e5 (8 with its columns scaled): all but the
    // last few digits of a double hold; B0 (-0.26 beside y up to 1000) is the
    // weaker of the two at about 12 correct digits.
    for (size_t i = 0; i < b.size(); ++i) EXPECT_GT(digits(b[i], d.certified[i]), 11.5) << "B" << i;
}

TEST(LinearTest, NistLongleyCertifiedCoefficients) {
    Dataset d;
    if (!readDataset("Longley.dat", d)) GTEST_SKIP() << "no NIST reference data in " << referenceFolder();
    ASSERT_EQ(d.rows.size(), 16u);
    ASSERT_EQ(d.certified.size(), 7u);
    std::vector<double> b = fit(d);
    // The regressors are nearly collinear: x'x has condition number 2e19, and
    // still 1.9e9 with its columns scaled, so the normal equations (which is
    // what LeastSqrDev accumulates) can hold about 16 - 9.3 digits in double;
    // the fit reaches 7.4 to 8.6 of the 15 certified ones.
    for (size_t i = 0; i < b.size(); ++i) EXPECT_GT(digits(b[i], d.certified[i]), 7) << "B" << i;
}

}  // namespace
}  // namespace tvx::builtins::algorithms
