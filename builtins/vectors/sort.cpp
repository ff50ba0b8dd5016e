#include "builtins/vectors/sort.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "builtins/algorithms/workbuffer.h"

namespace tvx::builtins::vectors {

namespace {

constexpr int kDigitBits = 11;
constexpr int kBuckets = 1 << kDigitBits;
constexpr int kPasses = (64 + kDigitBits - 1) / kDigitBits;
// Below this count a comparison sort is quicker than the passes.
constexpr int64_t kSmallCount = 512;

}  // namespace

bool sortIndexes(uint64_t* keys, int64_t n, uint32_t* order) {
    if (n < kSmallCount) {
        std::vector<std::pair<uint64_t, uint32_t>> pairs(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i) pairs[static_cast<size_t>(i)] = {keys[i], static_cast<uint32_t>(i)};
        std::stable_sort(pairs.begin(), pairs.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (int64_t i = 0; i < n; ++i) {
            keys[i] = pairs[static_cast<size_t>(i)].first;
            order[i] = pairs[static_cast<size_t>(i)].second;
        }
        return true;
    }
    WorkBuffer<uint64_t> otherKeys;
    WorkBuffer<uint32_t> otherOrder;
    if (!otherKeys.allocate(n) || !otherOrder.allocate(n)) return false;
    // Every digit's histogram in one pass.
    std::vector<int64_t> counts(static_cast<size_t>(kPasses) * kBuckets, 0);
    for (int64_t i = 0; i < n; ++i) {
        uint64_t k = keys[i];
        for (int d = 0; d < kPasses; ++d, k >>= kDigitBits)
            ++counts[static_cast<size_t>(d * kBuckets) + (k & (kBuckets - 1))];
    }
    for (int64_t i = 0; i < n; ++i) order[i] = static_cast<uint32_t>(i);
    uint64_t* fromKeys = keys;
    uint32_t* fromOrder = order;
    uint64_t* toKeys = otherKeys.data();
    uint32_t* toOrder = otherOrder.data();
    for (int d = 0; d < kPasses; ++d) {
        const int shift = d * kDigitBits;
        int64_t* count = counts.data() + static_cast<size_t>(d) * kBuckets;
        // A digit that all keys share leaves the order as it is.
        if (count[(fromKeys[0] >> shift) & (kBuckets - 1)] == n) continue;
        int64_t sum = 0;
        for (int b = 0; b < kBuckets; ++b) {
            int64_t c = count[b];
            count[b] = sum;
            sum += c;
        }
        for (int64_t i = 0; i < n; ++i) {
            const uint64_t k = fromKeys[i];
            const int64_t at = count[(k >> shift) & (kBuckets - 1)]++;
            toKeys[at] = k;
            toOrder[at] = fromOrder[i];
        }
        std::swap(fromKeys, toKeys);
        std::swap(fromOrder, toOrder);
    }
    if (fromOrder != order) {
        std::memcpy(order, fromOrder, static_cast<size_t>(n) * sizeof(uint32_t));
        std::memcpy(keys, fromKeys, static_cast<size_t>(n) * sizeof(uint64_t));
    }
    return true;
}

}  // namespace tvx::builtins::vectors
