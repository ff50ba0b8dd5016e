// Exports: centre of mass, spot finding, coloured spots, local variance.
#include "imagelib/core/export.h"
#include "imagelib/core/random.h"
#include "imagelib/core/slot.h"
#include "platform/memprobe.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

using namespace tvx::imagelib;
using tvx::platform::isWritable;

namespace {

struct Mass {
    double cx = 0, cy = 0, minimum = 0, maximum = 0, weight = 0, count = 0, threshold = 0, spread = 0;
};

// Centre of mass of the 8-bit pixels above a threshold in a rectangle (y from the top).
bool centreOfMass(const Slot& s, long long x, long long y, long long w, long long h, int threshold,
                  int rowStep, Mass* m)
{
    if (s.bits() != 8)
        return false;
    const long long W = s.width(), H = s.height();
    if (w == 0)
        w = W;
    if (h == 0)
        h = H;
    const long long x0 = std::max(0LL, x), y0 = std::max(0LL, y);
    const long long x1 = std::min(W, x + w), y1 = std::min(H, y + h);
    const long long step = rowStep >= 2 ? rowStep : 1;
    *m = Mass{};
    m->cx = static_cast<double>(x0) + 0.5;
    m->cy = static_cast<double>(y0) + 0.5;
    if (x1 <= x0 || y1 <= y0)
        return true;

    // Extremes, leaving out two pixels at each image edge.
    int lo = 255, hi = 0;
    for (long long yy = std::max(y0, 2LL); yy < std::min(y1, H - 2); yy += step) {
        const uint8_t* row = s.row(static_cast<int>(yy));
        for (long long xx = std::max(x0, 2LL); xx < std::min(x1, W - 2); ++xx) {
            lo = std::min<int>(lo, row[xx]);
            hi = std::max<int>(hi, row[xx]);
        }
    }
    if (lo > hi)
        lo = hi = 0;
    long long t;
    if (threshold >= -255 && threshold <= -1)
        t = -static_cast<long long>(threshold);
    else if (threshold < -255)
        t = -static_cast<long long>(threshold);
    else if (threshold == 0)
        t = lo;
    else if (threshold <= 100)
        t = lo + static_cast<long long>(threshold) * (hi - lo) / 100;
    else
        t = hi - (static_cast<long long>(threshold) - 100);

    double sw = 0, sx = 0, sy = 0, sr = 0;
    long long n = 0;
    for (long long yy = y0; yy < y1; yy += step) {
        const uint8_t* row = s.row(static_cast<int>(yy));
        const double dy = static_cast<double>(yy - y0);
        for (long long xx = x0; xx < x1; ++xx) {
            const long long weight = row[xx] - t;
            if (weight <= 0)
                continue;
            const double dx = static_cast<double>(xx - x0);
            const auto wt = static_cast<double>(weight);
            sw += wt;
            sx += dx * wt;
            sy += dy * wt;
            sr += (dx * dx + dy * dy) * wt;
            ++n;
        }
    }
    m->minimum = lo;
    m->maximum = hi;
    m->threshold = static_cast<double>(t);
    m->weight = sw;
    m->count = static_cast<double>(n);
    if (sw > 0) {
        const double mx = sx / sw, my = sy / sw;
        m->cx = mx + 0.5 + static_cast<double>(x0);
        m->cy = my + 0.5 + static_cast<double>(y0);
        // Spread: the weighted root-mean-square distance from the centre.
        m->spread = std::sqrt(std::max(0.0, sr / sw - mx * mx - my * my));
    }
    return true;
}

long long clampedFloor(double v)
{
    return static_cast<long long>(std::floor(std::clamp(v, -1e15, 1e15)));
}
long long clampedCeil(double v)
{
    return static_cast<long long>(std::ceil(std::clamp(v, -1e15, 1e15)));
}

bool store(double* target, double value)
{
    if (!target)
        return true;
    if (!isWritable(target, sizeof *target))
        return false;
    *target = value;
    return true;
}

}  // namespace

PX_EXPORT int pxCenterOfMass(int number, int x, int y, int width, int height, int threshold, int rowStep,
                             double* cx, double* cy, double* minimum, double* maximum, double* weight,
                             double* count, double* usedThreshold, double* spread)
{
    return guarded(-1, [&] {
        const Slot* slot = filledSlot(number);
        Mass m;
        if (!slot || !centreOfMass(*slot, x, y, width, height, threshold, rowStep, &m))
            return -1;
        const bool ok = store(cx, m.cx) && store(cy, m.cy) && store(minimum, m.minimum) &&
                        store(maximum, m.maximum) && store(weight, m.weight) && store(count, m.count) &&
                        store(usedThreshold, m.threshold) && store(spread, m.spread);
        return ok ? static_cast<int>(m.count) : -2;
    });
}

PX_EXPORT int pxFindSpot(int number, int threshold, double* x, double* y)
{
    return guarded(-1, [&] {
        const Slot* slot = filledSlot(number);
        Mass first, second;
        if (!slot || !centreOfMass(*slot, 0, 0, 0, 0, threshold, 4, &first))
            return -1;
        const long long side = std::max(1, std::min(slot->width(), slot->height()) / 2);
        const long long left = clampedFloor(first.cx) - side / 2;
        const long long top = clampedFloor(first.cy) - side / 2;
        centreOfMass(*slot, left, top, side, side, threshold, 1, &second);
        if (!store(x, second.cx) || !store(y, second.cy))
            return -2;
        return static_cast<int>(second.count);
    });
}

// Adds a round spot of a colour, fading out like a Gaussian (sigma = radius / 2), with
// noise (generator state AND noiseMask) on every byte it touches. Returns the number of
// pixels changed; -1 for an empty slot or sub-byte pixels.
PX_EXPORT int pxAddColSpot(int number, double x, double y, double radius, int colour, int noiseMask)
{
    return guarded(-1, [&] {
        const Slot* slot = filledSlot(number);
        if (!slot || slot->bits() < 8 || !(radius > 0) || !std::isfinite(x) || !std::isfinite(y))
            return -1;
        const int bpp = slot->bits() / 8;
        const double sigma2 = 2.0 * (radius / 2) * (radius / 2);
        const long long x0 = std::max(0LL, clampedFloor(x - radius));
        const long long x1 = std::min<long long>(slot->width() - 1, clampedCeil(x + radius));
        const long long y0 = std::max(0LL, clampedFloor(y - radius));
        const long long y1 = std::min<long long>(slot->height() - 1, clampedCeil(y + radius));
        PixRandom random;
        int changed = 0;
        for (long long yy = y0; yy <= y1; ++yy) {
            uint8_t* row = slot->row(static_cast<int>(yy));
            for (long long xx = x0; xx <= x1; ++xx) {
                const double d2 = (xx - x) * (xx - x) + (yy - y) * (yy - y);
                if (d2 > radius * radius)
                    continue;
                const double f = std::exp(-d2 / sigma2);
                uint8_t* p = row + xx * bpp;
                for (int b = 0; b < bpp; ++b) {
                    const double add = f * ((static_cast<uint32_t>(colour) >> (8 * (b % 4))) & 0xFF) +
                                       (random.state() & static_cast<uint32_t>(noiseMask));
                    random.advance();
                    p[b] = static_cast<uint8_t>(std::min(255.0, p[b] + std::round(add)));
                }
                ++changed;
            }
        }
        return changed;
    });
}

PX_EXPORT int pxGetVarianzImgRectW(int number, uint16_t* out, int width, int height, int x, int y, int n,
                                   double factor)
{
    return guarded(-1, [&] {
        const Slot* slot = filledSlot(number);
        if (!slot)
            return -1;
        if (slot->bits() != 8 || n <= 0 || static_cast<long long>(n) * n < 2 || width <= 0 || height <= 0)
            return 0;
        if (!isWritable(out, static_cast<size_t>(width) * static_cast<size_t>(height) * 2))
            return -2;
        const long long W = slot->width(), H = slot->height();
        if (n > W || n > H)
            return 0;
        if (factor == 0)
            factor = 1;
        const bool plane = slot->plane != nullptr;
        // Rows in memory order.
        auto value = [&](long long r, long long c) -> long long {
            return plane ? slot->plane[r * W + c] : slot->pixels[static_cast<size_t>(r) * slot->stride() + c];
        };
        const double N = static_cast<double>(n) * n;
        const long long half = n / 2;
        const long long colA = std::max(0LL, static_cast<long long>(x) - half);
        const long long colB = std::min(W - 1, static_cast<long long>(x) + width - 1 - half + n - 1);
        if (colB < colA)
            return 0;
        const size_t cols = static_cast<size_t>(colB - colA + 1);
        std::vector<long long> sum(cols), sq(cols), prefix(cols + 1), prefixSq(cols + 1);
        double best = 0;
        long long prevTop = LLONG_MIN;
        for (long long j = 0; j < height; ++j) {
            const long long top = static_cast<long long>(y) + j - half;
            if (top < 0 || top + n - 1 >= H)
                continue;
            if (prevTop == top - 1) {
                for (size_t c = 0; c < cols; ++c) {
                    const long long out1 = value(top - 1, colA + static_cast<long long>(c));
                    const long long in1 = value(top + n - 1, colA + static_cast<long long>(c));
                    sum[c] += in1 - out1;
                    sq[c] += in1 * in1 - out1 * out1;
                }
            } else {
                std::fill(sum.begin(), sum.end(), 0);
                std::fill(sq.begin(), sq.end(), 0);
                for (long long r = top; r < top + n; ++r)
                    for (size_t c = 0; c < cols; ++c) {
                        const long long v = value(r, colA + static_cast<long long>(c));
                        sum[c] += v;
                        sq[c] += v * v;
                    }
            }
            prevTop = top;
            for (size_t c = 0; c < cols; ++c) {
                prefix[c + 1] = prefix[c] + sum[c];
                prefixSq[c + 1] = prefixSq[c] + sq[c];
            }
            for (long long i = 0; i < width; ++i) {
                const long long left = static_cast<long long>(x) + i - half;
                if (left < 0 || left + n - 1 >= W)
                    continue;
                const size_t a = static_cast<size_t>(left - colA);
                const auto s = static_cast<double>(prefix[a + static_cast<size_t>(n)] - prefix[a]);
                const auto s2 = static_cast<double>(prefixSq[a + static_cast<size_t>(n)] - prefixSq[a]);
                const double var = (N * s2 - s * s) / ((N - 1) * N);
                const double product = (factor < 0 ? -std::sqrt(std::max(0.0, var)) : var) * factor;
                out[j * width + i] = static_cast<uint16_t>(
                    static_cast<long long>(std::trunc(std::clamp(product, -9.0e18, 9.0e18))));
                best = std::max(best, product);
            }
        }
        return static_cast<int>(std::min(std::trunc(best), static_cast<double>(INT_MAX)));
    });
}
