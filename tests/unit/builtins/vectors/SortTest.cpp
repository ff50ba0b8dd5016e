// The radix sort behind VectSort against a comparison sort, on the keys that
// break sorts: NaN, both zeros, infinities, denormals, long runs of equal values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

#include "builtins/vectors/sort.h"

namespace tvx::builtins::vectors {
namespace {

std::vector<double> awkwardValues(int64_t n, uint64_t seed) {
    const double specials[] = {std::numeric_limits<double>::quiet_NaN(),
                               -std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               0.0,
                               -0.0,
                               5e-324,
                               -5e-324,
                               1.0,
                               -1.0,
                               1e308,
                               -1e308};
    std::vector<double> v;
    uint64_t s = seed;
    for (int64_t i = 0; i < n; ++i) {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        switch ((s >> 60) & 3) {
        case 0: v.push_back(specials[(s >> 32) % std::size(specials)]); break;
        case 1: v.push_back(static_cast<double>((s >> 40) % 7)); break;  // many ties
        default: v.push_back((static_cast<double>(s >> 11) * 0x1p-53 - 0.5) * 1e6); break;
        }
    }
    return v;
}

// The order a comparison sort gives: ascending (or descending) numbers, NaN last.
std::vector<uint32_t> expectedOrder(const std::vector<double>& v, bool descending) {
    std::vector<uint32_t> order(v.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        double x = v[a], y = v[b];
        if (std::isnan(x) || std::isnan(y)) return !std::isnan(x) && std::isnan(y);
        if (x == y)
            return !descending ? std::signbit(x) && !std::signbit(y) : !std::signbit(x) && std::signbit(y);
        return descending ? x > y : x < y;
    });
    return order;
}

void expectSorted(int64_t n, bool descending) {
    std::vector<double> v = awkwardValues(n, static_cast<uint64_t>(n) * 7 + descending);
    std::vector<uint64_t> keys;
    for (double x : v) keys.push_back(sortKey(x, descending));
    std::vector<uint32_t> order(static_cast<size_t>(n));
    ASSERT_TRUE(sortIndexes(keys.data(), n, order.data()));
    // Equal keys keep their positions' order, so the comparison sort's stable
    // order is the only right answer.
    EXPECT_EQ(order, expectedOrder(v, descending)) << "n = " << n;
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
}

TEST(SortTest, SmallAndLargeCountsInBothDirections) {
    for (int64_t n : {0, 1, 2, 3, 100, 511, 512, 513, 5000, 200000}) {
        expectSorted(n, false);
        expectSorted(n, true);
    }
}

TEST(SortTest, KeysOrderLikeTheNumbers) {
    const double ascending[] = {
        -std::numeric_limits<double>::infinity(), -1e308, -1, -5e-324, -0.0, 0.0, 5e-324, 1, 1e308,
        std::numeric_limits<double>::infinity()};
    for (size_t i = 0; i + 1 < std::size(ascending); ++i) {
        EXPECT_LT(sortKey(ascending[i], false), sortKey(ascending[i + 1], false)) << ascending[i];
        EXPECT_GT(sortKey(ascending[i], true), sortKey(ascending[i + 1], true)) << ascending[i];
    }
    // NaN is last either way.
    for (bool descending : {false, true})
        for (double x : ascending) EXPECT_LT(sortKey(x, descending), sortKey(std::nan(""), descending));
}

TEST(SortTest, KeysThatShareDigitsSkipPassesButStillSort) {
    // All values share their top bits (one exponent): the top passes are skipped.
    const int64_t n = 10000;
    std::vector<uint64_t> keys;
    for (int64_t i = 0; i < n; ++i)
        keys.push_back(sortKey(1.0 + static_cast<double>((i * 7919) % n) / n, false));
    std::vector<uint32_t> order(static_cast<size_t>(n));
    ASSERT_TRUE(sortIndexes(keys.data(), n, order.data()));
    for (int64_t k = 0; k < n; ++k)
        EXPECT_EQ(static_cast<int64_t>(order[static_cast<size_t>(k)]) * 7919 % n, k);
}

}  // namespace
}  // namespace tvx::builtins::vectors
