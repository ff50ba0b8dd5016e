// Exports: fills, masks, planes, byte and row order, cyclic shifts, test patterns.
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/export.h"
#include "imagelib/core/pixel_access.h"
#include "imagelib/core/slot.h"
#include "imagelib/slots/image_ops.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace tvx::imagelib;

namespace {

int fill(int number, int value)
{
    Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    const auto v = static_cast<uint32_t>(value);
    const int bits = slot->bits();
    const size_t bytes = slot->geometry.imageBytes();
    if (bits <= 8 || v == 0 || (v & 0xFFFFFF) == 0xFFFFFF) {
        std::memset(slot->pixels, static_cast<uint8_t>(v), bytes);
    } else {
        // First row pixel by pixel, then copied down.
        uint8_t* first = slot->row(0);
        for (int x = 0; x < slot->width(); ++x)
            writePixel(*slot, x, 0, v);
        for (int y = 1; y < slot->height(); ++y)
            std::memcpy(slot->row(y), first, slot->stride());
    }
    if (slot->plane)
        std::fill(slot->plane, slot->plane + static_cast<size_t>(slot->width()) * slot->height(),
                  static_cast<uint16_t>(v));
    return 0;
}

int mask(int source, int maskNumber, int result, int outside, int test, int maskBits)
{
    const int s = resolveNumber(source), m = resolveNumber(maskNumber), r = resolveNumber(result);
    if (s < 0 || m < 0 || r < 0 || m == r || slotFor(s)->empty())
        return -1;
    // A result (or mask) that is not there yet starts as a copy of the source.
    if (s != r && (slotFor(m)->empty() || slotFor(r)->empty()))
        imageCopy(s, r, 0);
    const Slot& src = *slotFor(s);
    const Slot& msk = *slotFor(m);
    const Slot& res = *slotFor(r);
    if (msk.empty() || res.empty() || msk.width() != src.width() || msk.height() != src.height() ||
        res.width() != src.width() || res.height() != src.height() || res.bits() != src.bits() ||
        res.stride() != src.stride() || msk.bits() != 8)
        return -2;
    const uint32_t bitsOfMask = maskBits ? static_cast<uint32_t>(maskBits) : 255u;
    const uint32_t wanted = static_cast<uint32_t>(test) >> 8;
    const bool takeWhenEqual = test & 1;
    const bool keepOutside = outside == -1;
    const auto out = static_cast<uint32_t>(outside);
    const int bpp = src.bits() >= 8 ? src.bits() / 8 : 0;
    for (int y = 0; y < src.height(); ++y) {
        const uint8_t* mrow = msk.row(y);
        const uint8_t* srow = src.row(y);
        uint8_t* rrow = res.row(y);
        for (int x = 0; x < src.width(); ++x) {
            const bool equal = (mrow[x] & bitsOfMask) == wanted;
            if (equal == takeWhenEqual) {
                if (bpp)
                    std::memmove(rrow + static_cast<size_t>(x) * bpp, srow + static_cast<size_t>(x) * bpp,
                                 static_cast<size_t>(bpp));
                else
                    writePixel(res, x, y, readPixel(src, x, y));
            } else if (!keepOutside) {
                writePixel(res, x, y, out);
            }
        }
    }
    if (src.plane && res.plane) {
        for (int y = 0; y < src.height(); ++y) {
            const uint8_t* mrow = msk.row(y);
            const uint16_t* sp = src.planeRow(y);
            uint16_t* rp = res.planeRow(y);
            for (int x = 0; x < src.width(); ++x) {
                const bool equal = (mrow[x] & bitsOfMask) == wanted;
                if (equal == takeWhenEqual)
                    rp[x] = sp[x];
                else if (!keepOutside)
                    rp[x] = static_cast<uint16_t>(out);
            }
        }
    }
    return 0;
}

int getPlane(int source, int destination, int channel)
{
    const int s = resolveNumber(source), d = resolveNumber(destination);
    if (s < 0 || d < 0 || s == d || slotFor(s)->empty())
        return -1;
    const Slot& src = *slotFor(s);
    const Slot& dst = *slotFor(d);
    if (dst.empty() || dst.bits() != 8 || dst.width() != src.width() || dst.height() != src.height()) {
        const uint32_t flags = dst.flags ? dst.flags : src.flags;
        imageNew(d, windowParentOf(s), src.width(), src.height(), 8, flags);
    }
    if (dst.empty() || dst.bits() != 8)
        return -1;
    if (dst.height() != src.height())
        return -2;
    const int bpp = src.bits() <= 8 ? 1 : src.bits() / 8;
    const int ch = ((channel % bpp) + bpp) % bpp;
    const int width = std::min(src.width(), dst.width());
    for (int y = 0; y < src.height(); ++y) {
        const uint8_t* in = src.row(y) + ch;
        uint8_t* out = dst.row(y);
        for (int x = 0; x < width; ++x)
            out[x] = in[static_cast<size_t>(x) * bpp];
    }
    return 0;
}

// Rotates each row so that pixel x goes to x + shift.
template <class T>
void rollRow(T* row, int width, int units, long long s)
{
    std::rotate(row, row + s * units, row + static_cast<long long>(width) * units);
}

int roll(int number, int shift)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    const long long w = slot->width();
    const long long s = ((w - static_cast<long long>(shift)) % w + w) % w;
    if (s == 0)
        return 0;
    const int bits = slot->bits();
    std::vector<uint32_t> unpacked;
    for (int y = 0; y < slot->height(); ++y) {
        if (bits >= 8) {
            rollRow(slot->row(y), slot->width(), bits / 8, s);
        } else {
            unpacked.resize(static_cast<size_t>(w));
            for (int x = 0; x < w; ++x)
                unpacked[static_cast<size_t>(x)] = readPixel(*slot, x, y);
            rollRow(unpacked.data(), slot->width(), 1, s);
            for (int x = 0; x < w; ++x)
                writePixel(*slot, x, y, unpacked[static_cast<size_t>(x)]);
        }
        if (slot->plane)
            rollRow(slot->planeRow(y), slot->width(), 1, s);
    }
    return 0;
}

int testImage(int number, int pattern)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    if (slot->bits() != 8)
        return 0;
    const long long w = slot->width(), h = slot->height();
    for (long long y = 0; y < h; ++y) {
        uint8_t* row = slot->row(static_cast<int>(y));
        for (long long x = 0; x < w; ++x) {
            long long v;
            switch (pattern) {
            case 0: {
                const long long band = h / 8;
                if (band > 0 && y < 4 * band)
                    v = ((8 * x / w) * 4 + y / band) * 8;
                else if (band > 0 && y < 5 * band)
                    v = 256 * x / w;
                else
                    v = x < w / 2 ? 0 : 255;
                break;
            }
            case 1: {
                const long long band = std::max(1LL, h / 16);
                v = (16 * x / w) * 16 + std::min(15LL, y / band);
                break;
            }
            case 2: v = 256 * x / w; break;
            case 3: v = 256 * y / h; break;
            default: return 0;
            }
            row[x] = static_cast<uint8_t>(v);
        }
    }
    return 0;
}

}  // namespace

PX_EXPORT int pxImgFill(int number, int value)
{
    return guarded(-1, [&] { return fill(number, value); });
}

PX_EXPORT int pxImgMask(int source, int maskNumber, int result, int outside, int test, int maskBits)
{
    return guarded(-1, [&] { return mask(source, maskNumber, result, outside, test, maskBits); });
}

PX_EXPORT int pxImgGetPlane(int source, int destination, int channel)
{
    return guarded(-1, [&] { return getPlane(source, destination, channel); });
}

PX_EXPORT int pxImgSwapRGB(int number)
{
    const Slot* slot = filledSlot(number);
    if (!slot || slot->bits() < 16)
        return -1;
    const int bpp = slot->bits() / 8;
    for (int y = 0; y < slot->height(); ++y) {
        uint8_t* p = slot->row(y);
        for (int x = 0; x < slot->width(); ++x, p += bpp) {
            if (bpp == 2) {
                // 5-5-5 pixels: exchange the red and blue fields.
                const unsigned v = p[0] | (unsigned{p[1]} << 8);
                const unsigned swapped = (v & 0x83E0) | ((v & 0x1F) << 10) | ((v >> 10) & 0x1F);
                p[0] = static_cast<uint8_t>(swapped);
                p[1] = static_cast<uint8_t>(swapped >> 8);
            } else {
                std::swap(p[0], p[2]);
            }
        }
    }
    return 0;
}

PX_EXPORT int pxImgSwapLines(int number)
{
    return guarded(-1, [&] {
        const Slot* slot = filledSlot(number);
        if (!slot)
            return -1;
        reverseRows(slot->pixels, slot->stride(), slot->height());
        return 0;
    });
}

PX_EXPORT int pxImgCompactLines(int number)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    const size_t packed = slot->geometry.rowBytes();
    for (int y = 1; y < slot->height(); ++y)
        std::memmove(slot->pixels + static_cast<size_t>(y) * packed,
                     slot->pixels + static_cast<size_t>(y) * slot->stride(), packed);
    return 0;
}

PX_EXPORT int pxImgExpandLines(int number)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    const size_t packed = slot->geometry.rowBytes();
    const size_t stride = slot->stride();
    for (int y = slot->height() - 1; y >= 0; --y) {
        uint8_t* target = slot->pixels + static_cast<size_t>(y) * stride;
        std::memmove(target, slot->pixels + static_cast<size_t>(y) * packed, packed);
        std::memset(target + packed, 0, stride - packed);
    }
    return 0;
}

PX_EXPORT int pxImgRoll(int number, int shift)
{
    return guarded(-1, [&] { return roll(number, shift); });
}

PX_EXPORT int pxTestImage(int number, int pattern)
{
    return guarded(-1, [&] { return testImage(number, pattern); });
}
