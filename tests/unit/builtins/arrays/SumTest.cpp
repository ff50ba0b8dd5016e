// Sum on a variable adds in double precision from the last element to the
// first; the fast ways of getting there must give that result bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "builtins/arrays/sums.h"

namespace tvx::builtins::arrays {
namespace {

template <typename T>
double chainOfRoundings(const std::vector<T>& v) {
    double sum = 0;
    for (size_t i = v.size(); i-- > 0;) sum += static_cast<double>(v[i]);
    return sum;
}

template <typename T>
double fast(const std::vector<T>& v) {
    return sumBackwardExact<T>(reinterpret_cast<const unsigned char*>(v.data()), static_cast<int64_t>(v.size()));
}

template <typename T>
void expectSame(const std::vector<T>& v, const char* what) {
    double a = chainOfRoundings(v), b = fast(v);
    if (std::isnan(a)) {
        EXPECT_TRUE(std::isnan(b)) << what;
        return;
    }
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << what << ": " << a << " against " << b;
}

// Long enough for the two halves, with odd lengths so that pieces and
// registers do not come out even.
constexpr size_t kLong = (size_t{1} << 20) + 4099;

TEST(SumBackwardExact, WholeNumbersFractionsAndLargeValuesAnywhere) {
    std::mt19937_64 gen(7);
    std::uniform_int_distribution<int64_t> small(-1000000, 1000000);
    std::vector<double> whole(kLong);
    for (double& x : whole) x = static_cast<double>(small(gen));
    expectSame(whole, "whole numbers");

    for (size_t at : {kLong - 1, kLong - 3000, kLong / 2 + 10, kLong / 2 - 10, size_t{5}, size_t{0}}) {
        std::vector<double> v = whole;
        v[at] = 0.1;
        expectSame(v, "a fraction");
        v[at] = std::ldexp(1.0, 60);  // whole, but no exact sums beyond it
        expectSame(v, "a value of 2^60");
        v[at] = NAN;
        expectSame(v, "NaN");
        v[at] = INFINITY;
        expectSame(v, "an infinity");
    }
    // Each half on its own stays below 2^52, both together do not.
    std::vector<double> big(kLong, std::ldexp(1.0, 32));
    expectSame(big, "sums of 2^32 past 2^52");
    std::vector<double> zeros(kLong, -0.0);
    expectSame(zeros, "negative zeros");
    std::uniform_real_distribution<double> real(-1, 1);
    std::vector<double> fractions(kLong);
    for (double& x : fractions) x = real(gen);
    expectSame(fractions, "fractions everywhere");
    std::vector<double> shortOne{1.5, 2, 3};
    expectSame(shortOne, "three elements");
    expectSame(std::vector<double>{}, "no elements");
}

TEST(SumBackwardExact, EveryElementType) {
    std::mt19937 gen(3);
    std::vector<uint8_t> bytes(kLong);
    for (auto& x : bytes) x = static_cast<uint8_t>(gen());
    expectSame(bytes, "bytes");
    std::vector<int16_t> words(kLong);
    for (auto& x : words) x = static_cast<int16_t>(gen());
    expectSame(words, "16-bit");
    std::vector<uint32_t> longs(kLong);
    for (auto& x : longs) x = static_cast<uint32_t>(gen());
    expectSame(longs, "32-bit without sign");
    std::vector<int64_t> huge(kLong);
    for (auto& x : huge) x = (static_cast<int64_t>(gen()) << 31) ^ gen();
    expectSame(huge, "64-bit");
    std::vector<float> floats(kLong);
    for (auto& x : floats) x = static_cast<float>(gen() % 2000) / 8;
    expectSame(floats, "floats in eighths");
}

}  // namespace
}  // namespace tvx::builtins::arrays
