// Reductions of every camera pixel's LED responses to one value: weighted sums with a
// weight matrix, plain sums and maxima. Each runs over all pixels and all LEDs, so the
// inner loops are written for the vectoriser and the rows are shared among the cores.
#pragma once

#include "imagelib/ledset/caller_rows.h"
#include "imagelib/ledset/led_set.h"

#include <cstdint>
#include <vector>

namespace tvx::imagelib {

// Which LED values count in an integer weighted sum, against a threshold t.
enum class LedRule {
    All,              // every value
    AtLeast,          // values >= t, as they are
    SubtractAtLeast,  // values >= t, less t
    Binary,           // values >= t count 1 (the weight alone)
};

// The caller's matrix (rows of `pitch` weights, LED row k in matrix row k) laid over the
// blocks: one weight per byte of a block up to the last LED row the matrix covers, zero
// where the matrix is narrower than a row of LEDs. Columns beyond countX and rows beyond
// countY are left out.
std::vector<double> blockWeights(const LedLayout& layout, const double* matrix, int pitch, int rows);
std::vector<int32_t> blockWeights(const LedLayout& layout, const int32_t* matrix, int pitch, int rows);

// out(x, y) = sum of block[i] * weights[i].
void reduceWeighted(const LedSet& set, const std::vector<double>& weights, const CallerRows<double>& out);
// out(x, y) = clamp((sum - offset) >> shift, 0, 65535), the sum over rule(block[i]) * weights[i].
void reduceWeighted(const LedSet& set, const std::vector<int32_t>& weights, LedRule rule, int threshold,
                    int shift, int64_t offset, const CallerRows<uint16_t>& out);
// out(x, y) = (sum - offset) * factor, the sum as above.
void reduceWeighted(const LedSet& set, const std::vector<int32_t>& weights, LedRule rule, int threshold,
                    double factor, int64_t offset, const CallerRows<double>& out);
// out(x, y) = clamp((sum of all LED values - offset) >> shift, 0, 65535).
void reduceSum(const LedSet& set, int shift, int64_t offset, const CallerRows<uint16_t>& out);
// out(x, y) = the largest LED value.
void reduceMax(const LedSet& set, const CallerRows<uint16_t>& out);

}  // namespace tvx::imagelib
