// Exports: single pixels, rectangles between an image and caller memory, rectangle fills.
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "platform/memprobe.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

using namespace tvx::imagelib;

namespace {

using tvx::platform::isReadable;
using tvx::platform::isWritable;

// Sub-byte pixels: the first pixel sits in the high-order bits of its byte.
uint32_t getSubBytePixel(const uint8_t* row, size_t rowLimit, int x, int bits)
{
    const size_t bit = static_cast<size_t>(x) * bits;
    const size_t byte = bit >> 3;
    const unsigned within = bit & 7;
    const unsigned window = (unsigned{row[byte]} << 8) | (byte + 1 < rowLimit ? row[byte + 1] : 0u);
    return (window >> (16 - bits - within)) & ((1u << bits) - 1);
}

void setSubBytePixel(uint8_t* row, size_t rowLimit, int x, int bits, uint32_t value)
{
    const size_t bit = static_cast<size_t>(x) * bits;
    const size_t byte = bit >> 3;
    const unsigned within = bit & 7;
    const unsigned shift = 16 - bits - within;
    const unsigned mask = ((1u << bits) - 1) << shift;
    const bool twoBytes = byte + 1 < rowLimit;
    unsigned window = (unsigned{row[byte]} << 8) | (twoBytes ? row[byte + 1] : 0u);
    window = (window & ~mask) | ((value << shift) & mask);
    row[byte] = static_cast<uint8_t>(window >> 8);
    if (twoBytes)
        row[byte + 1] = static_cast<uint8_t>(window);
}

// Caller addresses are plain numbers until probed; no pointer arithmetic on them before.
uint8_t* offsetAddress(void* base, long long offset)
{
    return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(base) + static_cast<uintptr_t>(offset));
}

bool usesPlane(const Slot& slot, int flags)
{
    return slot.plane && slot.bits() <= 8 && !(flags & 4);
}

// DIB row y from the top; flags bit 0 lets the caller treat the rows as top-down.
uint8_t* dibRow(const Slot& slot, int y, int flags)
{
    const bool topDown = (slot.flags & kFlagTopDown) || (flags & 1);
    const int mem = topDown ? y : slot.height() - 1 - y;
    return slot.pixels + static_cast<size_t>(mem) * slot.stride();
}

struct Clip {
    int skipX = 0, skipY = 0;  // pixels and rows of the buffer left out
    int x0 = 0, y0 = 0;        // first image pixel and row
    int rows = 0;
};

Clip clipOrigin(const Slot& slot, int height, int x, int y)
{
    Clip c;
    c.skipX = x < 0 ? (x == INT_MIN ? INT_MAX : -x) : 0;
    c.skipY = y < 0 ? (y == INT_MIN ? INT_MAX : -y) : 0;
    c.x0 = x < 0 ? 0 : x;
    c.y0 = y < 0 ? 0 : y;
    const long long rows = std::min<long long>(static_cast<long long>(height) - c.skipY,
                                               static_cast<long long>(slot.height()) - c.y0);
    c.rows = rows > 0 ? static_cast<int>(rows) : 0;
    return c;
}

int copyRect(int number, bool toImage, void* buffer, int width, int height, int x, int y, int flags)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    if (width <= 0 || height <= 0)
        return 0;
    const bool plane = usesPlane(*slot, flags);
    const int bits = slot->bits();
    const long long pixelSize = plane ? 2 : (bits <= 8 ? 1 : bits / 8);
    const long long pitch = width * pixelSize;
    const Clip c = clipOrigin(*slot, height, x, y);
    const long long cols = static_cast<long long>(width) - c.skipX;
    long long rowBytes;
    if (plane)
        rowBytes = std::min<long long>(cols, static_cast<long long>(slot->width()) - c.x0) * 2;
    else
        rowBytes =
            std::min<long long>(cols * pixelSize, static_cast<long long>(slot->stride()) - c.x0 * pixelSize);
    if (c.rows <= 0 || rowBytes <= 0)
        return 0;
    uint8_t* start = offsetAddress(buffer, c.skipY * pitch + c.skipX * pixelSize);
    const size_t span = static_cast<size_t>(rowBytes + (c.rows - 1) * pitch);
    if (toImage ? !isReadable(start, span) : !isWritable(start, span))
        return -2;
    for (int r = 0; r < c.rows; ++r) {
        uint8_t* image = plane ? reinterpret_cast<uint8_t*>(slot->planeRow(c.y0 + r) + c.x0)
                               : dibRow(*slot, c.y0 + r, flags) + c.x0 * pixelSize;
        uint8_t* mem = start + r * pitch;
        if (toImage)
            std::memcpy(image, mem, static_cast<size_t>(rowBytes));
        else
            std::memcpy(mem, image, static_cast<size_t>(rowBytes));
    }
    return 0;
}

int copyRectPlane(int number, bool toImage, void* buffer, int width, int height, int x, int y, int channel,
                  int flags)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    if (slot->bits() <= 8)
        return copyRect(number, toImage, buffer, width, height, x, y, flags);
    if (width <= 0 || height <= 0)
        return 0;
    const int bpp = slot->bits() / 8;
    const int ch = ((channel % bpp) + bpp) % bpp;
    const Clip c = clipOrigin(*slot, height, x, y);
    const long long cols = std::min<long long>(static_cast<long long>(width) - c.skipX,
                                               static_cast<long long>(slot->width()) - c.x0);
    if (c.rows <= 0 || cols <= 0)
        return 0;
    uint8_t* start = offsetAddress(buffer, static_cast<long long>(c.skipY) * width + c.skipX);
    const size_t span = static_cast<size_t>(cols + static_cast<long long>(c.rows - 1) * width);
    if (toImage ? !isReadable(start, span) : !isWritable(start, span))
        return -2;
    for (int r = 0; r < c.rows; ++r) {
        uint8_t* image = dibRow(*slot, c.y0 + r, flags) + static_cast<size_t>(c.x0) * bpp + ch;
        uint8_t* mem = start + static_cast<long long>(r) * width;
        if (toImage)
            for (long long k = 0; k < cols; ++k)
                image[k * bpp] = mem[k];
        else
            for (long long k = 0; k < cols; ++k)
                mem[k] = image[k * bpp];
    }
    return 0;
}

}  // namespace

PX_EXPORT int pxGetPixelValue(int number, int x, int y)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(slot->width()) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(slot->height()))
        return -1;
    const int bits = slot->bits();
    if (bits <= 8) {
        if (slot->plane)
            return slot->planeRow(y)[x];
        const uint8_t* row = slot->row(y);
        return bits == 8 ? row[x] : static_cast<int>(getSubBytePixel(row, slot->stride(), x, bits));
    }
    const int bytes = bits / 8;
    const uint8_t* p = slot->row(y) + static_cast<size_t>(x) * bytes;
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return static_cast<int>(bits >= 32 ? v : v & ((1u << bits) - 1));
}

PX_EXPORT int pxSetPixelValue(int number, int x, int y, int value)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    if (static_cast<unsigned>(x) >= static_cast<unsigned>(slot->width()) ||
        static_cast<unsigned>(y) >= static_cast<unsigned>(slot->height()))
        return 0;
    const int bits = slot->bits();
    const auto v = static_cast<uint32_t>(value);
    if (bits > 8) {
        // Three bytes (blue, green, red) at most, and never more than the pixel has.
        const int bytes = std::min(bits / 8, 3);
        uint8_t* p = slot->row(y) + static_cast<size_t>(x) * (bits / 8);
        for (int i = 0; i < bytes; ++i)
            p[i] = static_cast<uint8_t>(v >> (8 * i));
    } else if (slot->plane) {
        slot->planeRow(y)[x] = static_cast<uint16_t>(v);
    } else if (bits == 8) {
        slot->row(y)[x] = static_cast<uint8_t>(v);
    } else {
        setSubBytePixel(slot->row(y), slot->stride(), x, bits, v);
    }
    return 0;
}

PX_EXPORT int pxCopyBitmapRect(int number, int toImage, void* buffer, int width, int height, int x, int y,
                               int flags)
{
    return guarded(-1, [&] { return copyRect(number, toImage != 0, buffer, width, height, x, y, flags); });
}

PX_EXPORT int pxSetBitmapRect(int number, void* buffer, int width, int height, int x, int y, int flags)
{
    return guarded(-1, [&] { return copyRect(number, true, buffer, width, height, x, y, flags); });
}

PX_EXPORT int pxGetBitmapRect(int number, void* buffer, int width, int height, int x, int y, int flags)
{
    return guarded(-1, [&] { return copyRect(number, false, buffer, width, height, x, y, flags); });
}

PX_EXPORT int pxCopyBitmapRectPlane(int number, int toImage, void* buffer, int width, int height, int x,
                                    int y, int channel, int flags)
{
    return guarded(
        -1, [&] { return copyRectPlane(number, toImage != 0, buffer, width, height, x, y, channel, flags); });
}

PX_EXPORT int pxSetBitmapRectPlane(int number, void* buffer, int width, int height, int x, int y, int channel,
                                   int flags)
{
    return guarded(-1,
                   [&] { return copyRectPlane(number, true, buffer, width, height, x, y, channel, flags); });
}

PX_EXPORT int pxGetBitmapRectPlane(int number, void* buffer, int width, int height, int x, int y, int channel,
                                   int flags)
{
    return guarded(-1,
                   [&] { return copyRectPlane(number, false, buffer, width, height, x, y, channel, flags); });
}

PX_EXPORT int pxCopyBitmapReshape(int number, int toImage, void* buffer, int rowPitch, int step,
                                  int planeOffset, int width, int height, int x, int y, int flags)
{
    return guarded(-1, [&] {
        const Slot* slot = filledSlot(number);
        if (!slot)
            return -1;
        if (width <= 0 || height <= 0)
            return 0;
        const bool plane = usesPlane(*slot, flags);
        const int bits = slot->bits();
        const Clip c = clipOrigin(*slot, height, x, y);
        // Units per row: pixels, or bytes for sub-byte depths.
        const long long unitsLeft = bits < 8 && !plane
                                        ? static_cast<long long>(slot->geometry.rowBytes()) - c.x0
                                        : static_cast<long long>(slot->width()) - c.x0;
        const long long cols = std::min<long long>(static_cast<long long>(width) - c.skipX, unitsLeft);
        if (c.rows <= 0 || cols <= 0)
            return 0;
        const int channels = plane || bits <= 8 ? 1 : bits / 8;
        const long long elementBytes = plane ? 2 : 1;

        // Span of the buffer elements touched, for the probe.
        auto extent = [](long long count, long long stepSize, long long* lo, long long* hi) {
            const long long far = (count - 1) * stepSize;
            *lo += std::min(0LL, far);
            *hi += std::max(0LL, far);
        };
        long long base = static_cast<long long>(c.skipY) * rowPitch + static_cast<long long>(c.skipX) * step;
        long long lo = base, hi = base;
        extent(c.rows, rowPitch, &lo, &hi);
        extent(cols, step, &lo, &hi);
        extent(channels, planeOffset, &lo, &hi);
        auto* bytes = static_cast<uint8_t*>(buffer);
        uint8_t* spanStart = offsetAddress(buffer, lo * elementBytes);
        const size_t spanBytes = static_cast<size_t>((hi - lo + 1) * elementBytes);
        if (toImage ? !isReadable(spanStart, spanBytes) : !isWritable(spanStart, spanBytes))
            return -2;

        for (int r = 0; r < c.rows; ++r) {
            const long long rowBase = base + static_cast<long long>(r) * rowPitch;
            if (plane) {
                uint16_t* image = slot->planeRow(c.y0 + r) + c.x0;
                auto* mem = reinterpret_cast<uint16_t*>(bytes);
                for (long long k = 0; k < cols; ++k) {
                    uint16_t* e = mem + rowBase + k * step;
                    if (toImage)
                        std::memcpy(image + k, e, 2);
                    else
                        std::memcpy(e, image + k, 2);
                }
                continue;
            }
            uint8_t* image = dibRow(*slot, c.y0 + r, flags) + static_cast<size_t>(c.x0) * channels;
            if (channels == 1 && step == 1) {
                if (toImage)
                    std::memcpy(image, bytes + rowBase, static_cast<size_t>(cols));
                else
                    std::memcpy(bytes + rowBase, image, static_cast<size_t>(cols));
                continue;
            }
            for (long long k = 0; k < cols; ++k)
                for (int ch = 0; ch < channels; ++ch) {
                    uint8_t* e = bytes + rowBase + k * step + static_cast<long long>(ch) * planeOffset;
                    uint8_t* p = image + k * channels + ch;
                    if (toImage)
                        *p = *e;
                    else
                        *e = *p;
                }
        }
        return 0;
    });
}

PX_EXPORT int pxFillRectValue(int number, int value, int width, int height, int x, int y, int flags)
{
    return guarded(-1, [&] {
        const Slot* slot = filledSlot(number);
        if (!slot)
            return -1;
        const Clip c = clipOrigin(*slot, height, x, y);
        const long long cols = static_cast<long long>(width) - c.skipX;
        if (c.rows <= 0 || cols <= 0)
            return 0;
        const auto low = static_cast<uint8_t>(value);
        if (usesPlane(*slot, flags)) {
            const long long span = std::min<long long>(cols, 2LL * (slot->width() - c.x0));
            if (span <= 0)
                return 0;
            for (int r = 0; r < c.rows; ++r)
                std::memset(slot->planeRow(c.y0 + r) + c.x0, low, static_cast<size_t>(span));
            return 0;
        }
        const int bits = slot->bits();
        const long long bpp = bits <= 8 ? 1 : bits / 8;
        const long long startByte = c.x0 * bpp;
        const long long span =
            std::min<long long>(cols * bpp, static_cast<long long>(slot->stride()) - startByte);
        if (span <= 0)
            return 0;
        const auto blue = static_cast<uint8_t>(value);
        const auto green = static_cast<uint8_t>(value >> 8);
        const auto red = static_cast<uint8_t>(value >> 16);
        const bool perPixel = bits == 24 && !(blue == green && green == red);
        for (int r = 0; r < c.rows; ++r) {
            uint8_t* p = dibRow(*slot, c.y0 + r, flags) + startByte;
            if (!perPixel) {
                std::memset(p, low, static_cast<size_t>(span));
                continue;
            }
            for (long long k = 0; k + 3 <= span; k += 3) {
                p[k] = blue;
                p[k + 1] = green;
                p[k + 2] = red;
            }
        }
        return 0;
    });
}
