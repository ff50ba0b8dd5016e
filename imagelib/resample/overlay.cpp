// Export: overlaying an image on another through the similarity transform that carries
// two of its points onto two points of the background.
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/pixory.h"
#include "imagelib/processing/bcg.h"
#include "imagelib/resample/resample_core.h"
#include "imagelib/slots/image_ops.h"

#include "platform/memprobe.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

using namespace tvx::imagelib;

namespace {

// The transformed source is kept in the last slot, where callers can look at it and
// where flags bit 2 finds it again.
constexpr int kTransformedSlot = 31;

enum : int {
    kBilinear = 0x01,
    kCubic = 0x02,
    kReuse = 0x04,
    kLinearBlend = 0x10,
    kDirect = 0x40,
};

bool gTransformedReady = false;

// The inverse of the similarity that carries s1 to b1 and s2 to b2: background position
// to source position. False when a pair of points coincides.
bool similarityMap(const double* p, AffineMap* map)
{
    const std::complex<double> s1(p[0], p[1]), s2(p[2], p[3]), b1(p[4], p[5]), b2(p[6], p[7]);
    const std::complex<double> ds = s2 - s1, db = b2 - b1;
    if (std::abs(ds) == 0 || std::abs(db) == 0)
        return false;
    const std::complex<double> back = ds / db;  // source difference per background difference
    const double a = back.real(), b = back.imag();
    map->dxCol = a;
    map->dxRow = -b;
    map->dyCol = b;
    map->dyRow = a;
    map->x0 = s1.real() - a * b1.real() + b * b1.imag();
    map->y0 = s1.imag() - b * b1.real() - a * b1.imag();
    for (double v : {a, b, map->x0, map->y0})
        if (!std::isfinite(v))
            return false;
    return true;
}

Interpolation interpolationOf(int flags)
{
    if (flags & kBilinear)
        return Interpolation::BilinearFixed;
    return (flags & kCubic) ? Interpolation::Cubic : Interpolation::Nearest;
}

// Whether the pixels of a destination w x h map into the source (by the same fixed-point
// test as the core): a constant source resampled with nearest pixels.
std::vector<uint8_t> coverage(const ResampleRequest& request, int sw, int sh, int w, int h)
{
    std::vector<uint8_t> ones(static_cast<size_t>(sw) * sh, 1), inside(static_cast<size_t>(w) * h, 0);
    ResampleRequest r = request;
    r.interpolation = Interpolation::Nearest;
    r.outside = Outside::Zero;
    resampleAffine(SampleView<const uint8_t>{ones.data(), sw, sw, sh, 1},
                   SampleView<uint8_t>{inside.data(), w, w, h, 1}, r);
    return inside;
}

int overlay(int source, int background, int destination, const double* points, int flags, int tint, int blend,
            int offset, double contrast, double gamma)
{
    const int s = resolveNumber(source), b = resolveNumber(background), d = resolveNumber(destination);
    if (s < 0 || b < 0 || d < 0 || slotFor(s)->empty() || slotFor(b)->empty())
        return -1;
    const Slot& src = *slotFor(s);
    const Slot& bg = *slotFor(b);
    if ((src.bits() != 8 && src.bits() != 24) || (bg.bits() != 8 && bg.bits() != 24))
        return -1;
    if (!tvx::platform::isReadable(points, 8 * sizeof(double)))
        return -2;
    double p[8];
    std::memcpy(p, points, sizeof p);
    ResampleRequest request;
    if (!similarityMap(p, &request.map))
        return -1;
    request.interpolation = interpolationOf(flags);

    const int w = bg.width(), h = bg.height(), srcBits = src.bits(), bgBits = bg.bits();
    const uint32_t bgFlags = bg.flags;
    // The source and the background are read from copies: either may be the
    // destination or the slot of the transformed image.
    SlotSamples srcSamples, bgSamples;
    takeSamples(src, true, &srcSamples);
    takeSamples(bg, true, &bgSamples);
    const int sw = srcSamples.dib.width, sh = srcSamples.dib.height;
    if (d == kTransformedSlot)
        gTransformedReady = false;

    if (flags & kDirect) {
        if (bgBits == 8 ? pxMakeRGBImageBCG(b, d, static_cast<int>(bgFlags), 0xFFFFFF, 0, 1.0, 1.0) != 0
                        : imageCopy(b, d, 0) == nullptr)
            return -1;
        const SampleView<uint8_t> out = dibView(*slotFor(d));
        request.outside = Outside::Keep;
        if (srcBits == 24)
            return resampleAffine(srcSamples.dib, out, request) ? 0 : -1;
        std::vector<uint8_t> grey(static_cast<size_t>(w) * h);
        if (!resampleAffine(srcSamples.dib, SampleView<uint8_t>{grey.data(), w, w, h, 1}, request))
            return -1;
        const std::vector<uint8_t> inside = coverage(request, sw, sh, w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t i = static_cast<size_t>(y) * w + x;
                if (inside[i])
                    std::memset(out.row(y) + 3 * x, grey[i], 3);
            }
        return 0;
    }

    Slot& transformed = *slotFor(kTransformedSlot);
    const bool reuse = (flags & kReuse) && gTransformedReady && !transformed.empty() &&
                       transformed.width() == w && transformed.height() == h && transformed.bits() == srcBits;
    if (!reuse) {
        gTransformedReady = false;
        if (!imageNew(kTransformedSlot, nullptr, w, h, srcBits, kFlagNoWindow))
            return -1;
        if (!resampleAffine(srcSamples.dib, dibView(transformed), request))
            return -1;
        gTransformedReady = true;
    }
    const SampleView<uint8_t> moved = dibView(transformed);

    // The source's colours after offset, contrast, gamma and tint, for every byte value.
    const BcgMapping mapping(offset, contrast, gamma);
    uint8_t colours[256][3];
    for (int v = 0; v < 256; ++v) {
        if (srcBits == 8)
            mapping.grey(v, tint, colours[v]);
        else
            colours[v][0] = colours[v][1] = colours[v][2] = mapping.byte(v);
    }
    // Weights in per mille.
    blend = std::clamp(blend, 0, 1000);
    int weightBg, weightSrc;
    if (flags & kLinearBlend) {
        weightBg = 1000 - blend;
        weightSrc = blend;
    } else {
        weightBg = blend <= 500 ? 1000 : 2 * (1000 - blend);
        weightSrc = blend < 500 ? 2 * blend : 1000;
    }
    std::vector<uint8_t> mixed(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const uint8_t* under = bgSamples.dib.row(y);
        const uint8_t* over = moved.row(y);
        uint8_t* out = mixed.data() + static_cast<size_t>(y) * w * 3;
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const int base = bgBits == 8 ? under[x] : under[3 * x + c];
                const int top = srcBits == 8 ? colours[over[x]][c] : colours[over[3 * x + c]][c];
                const int v = (base * weightBg + top * weightSrc + 500) / 1000;
                out[3 * x + c] = static_cast<uint8_t>(std::min(v, 255));
            }
    }
    if (!imageNew(d, windowParentOf(b), w, h, 24, bgFlags))
        return -1;
    const SampleView<uint8_t> out = dibView(*slotFor(d));
    for (int y = 0; y < h; ++y)
        std::memcpy(out.row(y), mixed.data() + static_cast<size_t>(y) * w * 3, static_cast<size_t>(w) * 3);
    if (d == kTransformedSlot)
        gTransformedReady = false;  // the mixture took the transformed picture's place
    return 0;
}

}  // namespace

PX_EXPORT int pxOverlayTransformed(int source, int background, int destination, const double* points,
                                   int flags, int tint, int blend, int offset, double contrast, double gamma)
{
    return guarded(-1, [&] {
        return overlay(source, background, destination, points, flags, tint, blend, offset, contrast, gamma);
    });
}
