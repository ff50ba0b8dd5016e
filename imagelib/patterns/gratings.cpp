// Exports: two gratings through a gamma curve, on the pixel grid or on the coordinates
// of a map, and finding a point in such a map.
#include "imagelib/core/export.h"
#include "imagelib/core/parallel_rows.h"
#include "imagelib/core/slot.h"
#include "imagelib/pixory.h"
#include "imagelib/processing/box_filter.h"

#include "platform/memprobe.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace tvx::imagelib;

namespace {

enum : int {
    kOffsetAfterGamma = 0x10,
    kPolar = 0x20,
    kMovedCentre = 0x40,
};

struct Grating {
    double fx, fy, phase, amp;
};

// The value of the two gratings at pattern coordinates (u, v) and its bytes.
class GratingFormula {
public:
    GratingFormula(int flags, double offset, double gamma, const Grating& g1, const Grating& g2)
        : kind_(flags & 0xF), g1_(g1), g2_(g2), offset_(offset)
    {
        gammaCounts_ = gamma > 0 && gamma != 1;
        gamma_ = gammaCounts_ ? gamma : 1.0;
        if (gammaCounts_ && (flags & kOffsetAfterGamma)) {
            r8_ = offset + 0.5;
            r16_ = offset * 256 + 0.5;
            offset_ = 0;
        }
        cosine_ = kind_ != 0 && kind_ != 2;
    }

    int kind() const
    {
        return kind_;
    }

    // s on the 0..255 scale for square and saw-tooth waves, on the 0..1 scale for cosines.
    double value(double u, double v) const
    {
        if (kind_ == 0)
            return square(g1_, u, v) + square(g2_, u, v) + offset_;
        if (kind_ == 2)
            return sawTooth(g1_, u, v) + sawTooth(g2_, u, v) + offset_;
        double s = ((g1_.amp + g2_.amp) / 2 + offset_) / 256 +
                   std::cos(u * g1_.fx + v * g1_.fy + g1_.phase) * g1_.amp / 512;
        if (g2_.amp != 0)
            s += std::cos(u * g2_.fx + v * g2_.fy + g2_.phase) * g2_.amp / 512;
        return s < 0 ? 0 : s;
    }

    uint8_t byte(double s) const
    {
        double b;
        if (cosine_)
            b = gammaCounts_ ? std::pow(s, gamma_) * 256 + r8_ : s * 256 + 0.5;
        else
            b = gammaCounts_ ? std::pow(s / 256, gamma_) * 256 + r8_ : s + 0.5;
        // Levels above the scale become 255; below it (or not a number) 0.
        return b >= 255 ? 255 : b >= 0 ? static_cast<uint8_t>(b) : 0;
    }

    uint16_t word(double s) const
    {
        const double w =
            cosine_ ? std::pow(s, gamma_) * 65536 + r16_ : std::pow(s / 255, gamma_) * 65535 + r16_;
        return w >= 65535 ? 65535 : w >= 0 ? static_cast<uint16_t>(w) : 0;
    }

    // Neither grating changes along y (along x with alongX).
    bool flatAlong(bool alongX) const
    {
        auto flat = [alongX](const Grating& g) {
            return std::fabs(g.amp * (alongX ? g.fx : g.fy) / 512) < 1e-12;
        };
        return flat(g1_) && flat(g2_);
    }

private:
    // trunc(...) & 1 of the square wave, for any size of the argument.
    static double square(const Grating& g, double u, double v)
    {
        const double a = std::trunc(u * g.fx / M_PI + v * g.fy / M_PI + g.phase / M_PI + 90000);
        return std::fmod(a, 2.0) != 0 ? g.amp : 0.0;
    }
    static double sawTooth(const Grating& g, double u, double v)
    {
        const double a = u * g.fx / (2 * M_PI) + v * g.fy / (2 * M_PI) + g.phase / (2 * M_PI) + 90000;
        return std::fmod(a, 1.0) * g.amp;
    }

    int kind_;
    Grating g1_, g2_;
    double offset_;
    bool gammaCounts_ = false;
    bool cosine_ = true;
    double gamma_ = 1;
    double r8_ = 0.5, r16_ = 0.5;
};

// The bytes of DIB rows (all stride bytes, x counting bytes, y counting memory rows)
// and the values of a 16-bit plane (its own memory rows, the first width values).
struct FillTarget {
    uint8_t* pixels;
    size_t stride;
    uint16_t* plane;
    int width;
    int height;
};

int fillGratings(int number, int flags, double offset, double gamma, const Grating& g1, const Grating& g2,
                 double cx, double cy)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    const GratingFormula f(flags, offset, gamma, g1, g2);
    const FillTarget t{slot->pixels, slot->stride(), slot->plane, slot->width(), slot->height()};
    const bool polar = (flags & kPolar) || f.kind() == 3;
    double cx0 = static_cast<double>(static_cast<int64_t>(t.stride) / 2), cy0 = t.height / 2;
    if ((flags & (kPolar | kMovedCentre)) == (kPolar | kMovedCentre)) {
        cx0 += cx;
        cy0 += cy;
    }
    auto valueAt = [&](int x, int y) {
        if (!polar)
            return f.value(x, y);
        return f.value(std::atan2(y - cy0, x - cx0), std::hypot(x - cx0, y - cy0));
    };
    const int bytes = static_cast<int>(t.stride);
    auto fillRow = [&](int y, const double* values) {
        uint8_t* row = t.pixels + static_cast<size_t>(y) * t.stride;
        for (int x = 0; x < bytes; ++x)
            row[x] = f.byte(values[x]);
        if (t.plane) {
            uint16_t* words = t.plane + static_cast<size_t>(y) * t.width;
            for (int x = 0; x < t.width; ++x)
                words[x] = f.word(values[x]);
        }
    };
    if (!polar && f.flatAlong(false)) {
        // Every row is the first one.
        std::vector<double> values(static_cast<size_t>(bytes));
        for (int x = 0; x < bytes; ++x)
            values[static_cast<size_t>(x)] = valueAt(x, 0);
        fillRow(0, values.data());
        for (int y = 1; y < t.height; ++y) {
            std::memcpy(t.pixels + static_cast<size_t>(y) * t.stride, t.pixels, t.stride);
            if (t.plane)
                std::memcpy(t.plane + static_cast<size_t>(y) * t.width, t.plane, sizeof(uint16_t) * t.width);
        }
        return 0;
    }
    const bool flatX = !polar && f.flatAlong(true);
    parallelRows(t.height, int64_t{bytes} * (flatX ? 1 : 40), [&](int y0, int y1) {
        std::vector<double> values(static_cast<size_t>(bytes));
        for (int y = y0; y < y1; ++y) {
            if (flatX)
                std::fill(values.begin(), values.end(), valueAt(0, y));  // the first column's value holds
            else
                for (int x = 0; x < bytes; ++x)
                    values[static_cast<size_t>(x)] = valueAt(x, y);
            fillRow(y, values.data());
        }
    });
    return 0;
}

int fillGratingsMap(int number, int flags, double offset, double gamma, const Grating& g1, const Grating& g2,
                    const double* mapU, const double* mapV, int mapPitch)
{
    const Slot* slot = filledSlot(number);
    if (!slot || slot->bits() < 8)
        return -1;
    const int w = slot->width(), h = slot->height();
    const int64_t rowBytes = int64_t{w} * 8, pitch = mapPitch == 0 ? rowBytes : mapPitch;
    if (!callerSpanOk(mapU, pitch, rowBytes, h, false) || !callerSpanOk(mapV, pitch, rowBytes, h, false))
        return -2;
    // The map holds the coordinates themselves: the polar flags have nothing to do.
    const GratingFormula f(flags & ~(kPolar | kMovedCentre), offset, gamma, g1, g2);
    const int pixelBytes = slot->geometry.bytesPerPixel();
    parallelRows(h, int64_t{w} * 40, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const auto* u = reinterpret_cast<const uint8_t*>(mapU) + y * pitch;
            const auto* v = reinterpret_cast<const uint8_t*>(mapV) + y * pitch;
            uint8_t* row = slot->pixels + static_cast<size_t>(y) * slot->stride();
            uint16_t* words = slot->plane ? slot->plane + static_cast<size_t>(y) * w : nullptr;
            for (int x = 0; x < w; ++x) {
                double pu, pv;
                std::memcpy(&pu, u + 8 * static_cast<size_t>(x), 8);
                std::memcpy(&pv, v + 8 * static_cast<size_t>(x), 8);
                const double s = f.value(pu, pv);
                const uint8_t b = f.byte(s);
                std::memset(row + static_cast<size_t>(x) * pixelBytes, b, static_cast<size_t>(pixelBytes));
                if (words)
                    words[x] = f.word(s);
            }
        }
    });
    return 0;
}

int findMapPoint(const double* mapU, const double* mapV, int pitch, int width, int height, double u, double v,
                 double* x, double* y)
{
    if (width <= 0 || height <= 0 || !std::isfinite(u) || !std::isfinite(v))
        return -1;
    const int64_t rowBytes = int64_t{width} * 8, step = pitch == 0 ? rowBytes : pitch;
    if (!callerSpanOk(mapU, step, rowBytes, height, false) ||
        !callerSpanOk(mapV, step, rowBytes, height, false))
        return -2;
    auto at = [&](const double* map, int i, int j) {
        double value;
        std::memcpy(&value, reinterpret_cast<const uint8_t*>(map) + j * step + 8 * static_cast<int64_t>(i),
                    8);
        return value;
    };
    double best = INFINITY;
    int bi = -1, bj = -1;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            const double du = at(mapU, i, j) - u, dv = at(mapV, i, j) - v;
            const double d = du * du + dv * dv;
            if (d < best) {
                best = d;
                bi = i;
                bj = j;
            }
        }
    if (bi < 0)
        return -1;  // no cell holds a number
    // A fraction of a cell from the local slopes of the map (central differences,
    // one-sided at its edges): solve J (dx, dy) = (u, v) - map(bi, bj).
    auto slope = [&](const double* map, bool alongX) {
        const int n = alongX ? width : height, k = alongX ? bi : bj;
        if (n < 2)
            return 0.0;
        const int lo = std::max(k - 1, 0), hi = std::min(k + 1, n - 1);
        const double a = alongX ? at(map, lo, bj) : at(map, bi, lo),
                     b = alongX ? at(map, hi, bj) : at(map, bi, hi);
        return (b - a) / (hi - lo);
    };
    const double uX = slope(mapU, true), uY = slope(mapU, false), vX = slope(mapV, true),
                 vY = slope(mapV, false);
    const double det = uX * vY - uY * vX;
    double fx = 0, fy = 0;
    if (std::isfinite(det) && std::fabs(det) > 1e-300) {
        const double ru = u - at(mapU, bi, bj), rv = v - at(mapV, bi, bj);
        fx = std::clamp((ru * vY - uY * rv) / det, -1.0, 1.0);
        fy = std::clamp((uX * rv - ru * vX) / det, -1.0, 1.0);
        if (!std::isfinite(fx) || !std::isfinite(fy))
            fx = fy = 0;
    }
    storeResult(x, bi + fx);
    storeResult(y, bj + fy);
    return 0;
}

}  // namespace

PX_EXPORT int pxFillGammaSinus2(int number, int flags, double offset, double gamma, double fx1, double fy1,
                                double phase1, double amp1, double fx2, double fy2, double phase2,
                                double amp2, double cx, double cy)
{
    return guarded(-1, [&] {
        return fillGratings(number, flags, offset, gamma, {fx1, fy1, phase1, amp1}, {fx2, fy2, phase2, amp2},
                            cx, cy);
    });
}

PX_EXPORT int pxFillGammaSinus2Map(int number, int flags, double offset, double gamma, double fx1, double fy1,
                                   double phase1, double amp1, double fx2, double fy2, double phase2,
                                   double amp2, const double* mapU, const double* mapV, int mapPitch)
{
    return guarded(-1, [&] {
        return fillGratingsMap(number, flags, offset, gamma, {fx1, fy1, phase1, amp1},
                               {fx2, fy2, phase2, amp2}, mapU, mapV, mapPitch);
    });
}

PX_EXPORT int pxFindMapPoint(const double* mapU, const double* mapV, int pitch, int width, int height,
                             double u, double v, double* x, double* y)
{
    return guarded(-1, [&] { return findMapPoint(mapU, mapV, pitch, width, height, u, v, x, y); });
}
