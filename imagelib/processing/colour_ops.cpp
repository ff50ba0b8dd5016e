// Exports: tilt removal on 16-bit planes, colour images with brightness, contrast, gamma.
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/processing/bcg.h"
#include "imagelib/slots/image_ops.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace tvx::imagelib;

namespace {

uint32_t fixed16(double v)
{
    const double scaled = std::round(std::clamp(v, -1.0e12, 1.0e12) * 65536.0);
    return static_cast<uint32_t>(static_cast<int64_t>(scaled));
}

int subtractTilt(int source, int result, double c, double dx, double dy, int mode)
{
    const Slot* src = filledSlot(source);
    const Slot* res = filledSlot(result);
    if (!src || !res || !src->plane || !res->plane)
        return -1;
    if (src->width() != res->width() || src->height() != res->height())
        return -2;
    if (!(mode & 1))
        return -3;
    const uint32_t C = fixed16(c), DX = fixed16(dx), DY = fixed16(dy);
    const int w = src->width();
    for (int y = 0; y < src->height(); ++y) {
        const uint16_t* in = src->plane + static_cast<size_t>(y) * w;
        uint16_t* out = res->plane + static_cast<size_t>(y) * w;
        const uint32_t rowBase = C + DY * static_cast<uint32_t>(y);
        for (int x = 0; x < w; ++x) {
            const uint32_t tilt = (rowBase + DX * static_cast<uint32_t>(x)) >> 16;
            out[x] = static_cast<uint16_t>(in[x] - tilt);
        }
    }
    return 0;
}

int makeRgbBcg(int source, int destination, int flags, int tint, int offset, double contrast, double gamma)
{
    const int s = resolveNumber(source), d = resolveNumber(destination);
    if (s < 0 || d < 0 || slotFor(s)->empty())
        return -1;
    const Slot& src = *slotFor(s);
    const int bits = src.bits();
    if (bits != 8 && bits != 24)
        return -1;
    const int width = src.width(), height = src.height();
    const uint32_t srcFlags = src.flags;
    // The source is re-created when it is also the destination: take it aside.
    std::vector<uint8_t> aside(src.pixels, src.pixels + src.geometry.imageBytes());
    const size_t srcStride = src.stride();
    if (!imageNew(d, windowParentOf(s), width, height, 24, static_cast<uint32_t>(flags)))
        return -1;
    const Slot& dst = *slotFor(d);

    const BcgMapping mapping(offset, contrast, gamma);
    for (int y = 0; y < height; ++y) {
        const int mem = (srcFlags & kFlagTopDown) ? y : height - 1 - y;
        const uint8_t* in = aside.data() + static_cast<size_t>(mem) * srcStride;
        uint8_t* out = dst.row(y);
        for (int x = 0; x < width; ++x, out += 3) {
            if (bits == 8) {
                mapping.grey(in[x], tint, out);
            } else {
                for (int b = 0; b < 3; ++b)
                    out[b] = mapping.byte(in[3 * x + b]);
            }
        }
    }
    return 0;
}

}  // namespace

PX_EXPORT int pxSubtractTilt(int source, int result, double c, double dx, double dy, int mode)
{
    return guarded(-1, [&] { return subtractTilt(source, result, c, dx, dy, mode); });
}

PX_EXPORT int pxMakeRGBImageBCG(int source, int destination, int flags, int tint, int offset, double contrast,
                                double gamma)
{
    return guarded(-1, [&] { return makeRgbBcg(source, destination, flags, tint, offset, contrast, gamma); });
}
