// Clipped Bresenham lines and gap-free ellipse outlines.
#include "imagelib/draw/raster.h"

#include "imagelib/core/pixel_access.h"
#include "imagelib/core/slot.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tvx::imagelib {

namespace {

__extension__ typedef __int128 Wide;

// Minor-axis steps after i major steps of a Bresenham line with major extent a and
// minor extent b (a >= b >= 0, a > 0): i b / a rounded, halves up.
inline int64_t minorSteps(int64_t i, int64_t a, int64_t b)
{
    return static_cast<int64_t>((2 * static_cast<Wide>(i) * b + a) / (2 * static_cast<Wide>(a)));
}

// The first i in [lo, hi] with f(i) true for a predicate that turns from false to true
// (hi + 1 when none).
template <class F>
int64_t firstTrue(int64_t lo, int64_t hi, F f)
{
    while (lo <= hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (f(mid))
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return lo;
}

}  // namespace

int PixelTarget::width() const
{
    return slot_.width();
}
int PixelTarget::height() const
{
    return slot_.height();
}
int PixelTarget::bits() const
{
    return slot_.plane ? 16 : slot_.bits();
}
bool PixelTarget::isPlane() const
{
    return slot_.plane != nullptr;
}

uint32_t PixelTarget::get(int x, int y) const
{
    return slot_.plane ? slot_.planeRow(y)[x] : readPixel(slot_, x, y);
}

void PixelTarget::set(int x, int y, uint32_t value) const
{
    if (slot_.plane)
        slot_.planeRow(y)[x] = static_cast<uint16_t>(value);
    else
        writePixel(slot_, x, y, value);
}

void drawLine(const PixelTarget& t, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t value, int width)
{
    const int W = t.width(), H = t.height();
    const int64_t dx = x2 - x1, dy = y2 - y1;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    // In (major, minor) terms: the major coordinate steps by one per pixel.
    const int64_t m1 = xMajor ? x1 : y1, n1 = xMajor ? y1 : x1;
    const int64_t a = std::llabs(xMajor ? dx : dy), b = std::llabs(xMajor ? dy : dx);
    const int64_t sm = (xMajor ? dx : dy) < 0 ? -1 : 1, sn = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const int64_t majorSize = xMajor ? W : H, minorSize = xMajor ? H : W;
    auto minorAt = [&](int64_t i) { return n1 + sn * (a ? minorSteps(i, a, b) : 0); };
    auto plot = [&](int64_t major, int64_t minor) {
        if (xMajor)
            t.set(static_cast<int>(major), static_cast<int>(minor), value);
        else
            t.set(static_cast<int>(minor), static_cast<int>(major), value);
    };
    // Steps whose major coordinate lies inside.
    int64_t iLo = sm > 0 ? -m1 : m1 - (majorSize - 1);
    int64_t iHi = sm > 0 ? majorSize - 1 - m1 : m1;
    iLo = std::max<int64_t>(iLo, 0);
    iHi = std::min(iHi, a);
    if (iLo > iHi)
        return;
    // Parallel lines: k across the minor direction, and only those that can come inside.
    const int64_t lines = std::max(width, 1);
    int64_t kLo = -(lines - 1) / 2, kHi = lines / 2;
    const int64_t na = minorAt(iLo), nb = minorAt(iHi);
    kLo = std::max(kLo, -std::max(na, nb));
    kHi = std::min(kHi, minorSize - 1 - std::min(na, nb));
    for (int64_t k = kLo; k <= kHi; ++k) {
        // The minor coordinate moves monotonically with i (in the direction sn): the
        // steps where it lies inside form one run, found by bisection.
        auto belowTop = [&](int64_t i) {
            return sn > 0 ? minorAt(i) + k >= 0 : minorAt(i) + k <= minorSize - 1;
        };
        auto pastBottom = [&](int64_t i) {
            return sn > 0 ? minorAt(i) + k > minorSize - 1 : minorAt(i) + k < 0;
        };
        const int64_t first = firstTrue(iLo, iHi, belowTop);
        const int64_t last = firstTrue(first, iHi, pastBottom) - 1;
        for (int64_t i = first; i <= last; ++i)
            plot(m1 + sm * i, minorAt(i) + k);
    }
}

void drawEllipse(const PixelTarget& t, int64_t cx, int64_t cy, int64_t rx, int64_t ry, uint32_t value)
{
    const int W = t.width(), H = t.height();
    rx = std::llabs(rx);
    ry = std::llabs(ry);
    auto put = [&](int64_t x, int64_t y) {
        if (x >= 0 && y >= 0 && x < W && y < H)
            t.set(static_cast<int>(x), static_cast<int>(y), value);
    };
    // Every column of the curve: its rows above and below the centre.
    const int64_t x0 = std::max(cx - rx, int64_t{0}), x1 = std::min(cx + rx, int64_t{W} - 1);
    for (int64_t x = x0; x <= x1; ++x) {
        const double u = rx ? static_cast<double>(x - cx) / static_cast<double>(rx) : 0.0;
        const auto d =
            static_cast<int64_t>(std::llround(static_cast<double>(ry) * std::sqrt(std::max(0.0, 1 - u * u))));
        put(x, cy - d);
        put(x, cy + d);
    }
    // Every row: its columns left and right of the centre (fills the steep parts).
    const int64_t y0 = std::max(cy - ry, int64_t{0}), y1 = std::min(cy + ry, int64_t{H} - 1);
    for (int64_t y = y0; y <= y1; ++y) {
        const double v = ry ? static_cast<double>(y - cy) / static_cast<double>(ry) : 0.0;
        const auto d =
            static_cast<int64_t>(std::llround(static_cast<double>(rx) * std::sqrt(std::max(0.0, 1 - v * v))));
        put(cx - d, y);
        put(cx + d, y);
    }
}

void drawEllipses(const PixelTarget& t, int64_t cx, int64_t cy, int64_t rx, int64_t ry, uint32_t value,
                  int count)
{
    rx = std::llabs(rx);
    ry = std::llabs(ry);
    if (count < 1) {
        drawEllipse(t, cx, cy, rx, ry, value);
        return;
    }
    // Ring k has radii rx - k and ry - k; after the first, both stay 2 or more.
    const int64_t rings = std::min<int64_t>(count, std::max<int64_t>(1, std::min(rx, ry) - 1));
    // The image (one pixel wider all round) relative to the centre.
    const double left = -1.0 - static_cast<double>(cx), right = static_cast<double>(t.width()) - cx;
    const double top = -1.0 - static_cast<double>(cy), bottom = static_cast<double>(t.height()) - cy;
    auto f = [](double x, double y, double a, double b) { return (x / a) * (x / a) + (y / b) * (y / b); };
    // Ring k lies within a pixel of its curve: it misses the image when the image lies
    // inside the curve one pixel smaller, or outside the curve one pixel larger.
    auto imageInside = [&](int64_t k) {
        const double a = static_cast<double>(rx - k) - 1, b = static_cast<double>(ry - k) - 1;
        if (a <= 0 || b <= 0)
            return false;
        for (double x : {left, right})
            for (double y : {top, bottom})
                if (f(x, y, a, b) >= 1)
                    return false;
        return true;
    };
    auto imageOutside = [&](int64_t k) {
        const double a = static_cast<double>(rx - k) + 1, b = static_cast<double>(ry - k) + 1;
        const double nx = std::clamp(0.0, left, right), ny = std::clamp(0.0, top, bottom);
        return f(nx, ny, a, b) > 1;
    };
    const int64_t first = firstTrue(0, rings - 1, [&](int64_t k) { return !imageInside(k); });
    const int64_t last = firstTrue(first, rings - 1, imageOutside) - 1;
    for (int64_t k = first; k <= last; ++k)
        drawEllipse(t, cx, cy, rx - k, ry - k, value);
}

}  // namespace tvx::imagelib
