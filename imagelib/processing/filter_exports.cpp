// Exports: low-pass and high-pass filters, on slots and on raw buffers.
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/processing/box_filter.h"

#include <algorithm>
#include <vector>

using namespace tvx::imagelib;

namespace {

// The pixels of a slot as the filter sees them: rows of bytes for 8 bits or fewer,
// whole pixels of their bytes otherwise. Padding bytes are not part of the picture.
void filterSlot(const Slot& slot, int n)
{
    const bool bytes = slot.bits() <= 8;
    const int width = bytes ? static_cast<int>(slot.geometry.rowBytes()) : slot.width();
    const int bpp = bytes ? 1 : slot.bits() / 8;
    boxFilter(slot.pixels, static_cast<ptrdiff_t>(slot.stride()), width, slot.height(), bpp, n, 1, true);
}

}  // namespace

PX_EXPORT int pxImgLowPass(int number, int n)
{
    return guarded(-1, [&] {
        const Slot* slot = filledSlot(number);
        if (!slot)
            return -1;
        filterSlot(*slot, n);
        return 0;
    });
}

PX_EXPORT int pxImgHighPass(int number, int n, int offset)
{
    return guarded(-1, [&] {
        const Slot* slot = filledSlot(number);
        if (!slot)
            return -1;
        const size_t bytes = slot->geometry.imageBytes();
        std::vector<uint8_t> smooth(slot->pixels, slot->pixels + bytes);
        Slot copy = Slot();
        copy.geometry = slot->geometry;
        copy.pixels = smooth.data();
        filterSlot(copy, n);
        const size_t rowBytes = slot->geometry.rowBytes();
        for (int y = 0; y < slot->height(); ++y) {
            uint8_t* p = slot->pixels + static_cast<size_t>(y) * slot->stride();
            const uint8_t* s = smooth.data() + static_cast<size_t>(y) * slot->stride();
            for (size_t i = 0; i < rowBytes; ++i)
                p[i] = static_cast<uint8_t>(
                    std::clamp<long long>(static_cast<long long>(p[i]) + offset - s[i], 0, 255));
        }
        copy.pixels = nullptr;
        return 0;
    });
}

PX_EXPORT int pxLowPassVarB(void* buffer, int pitch, int width, int height, int bytesPerPixel, int n,
                            int passes, int fillBorder)
{
    return guarded(-1, [&] {
        if (bytesPerPixel < 1 || bytesPerPixel > 4)
            return -1;
        if (width <= 0 || height <= 0)
            return 0;
        if (!callerSpanOk(buffer, pitch, static_cast<long long>(width) * bytesPerPixel, height, true))
            return -2;
        boxFilter(static_cast<uint8_t*>(buffer), pitch, width, height, bytesPerPixel, n, passes,
                  fillBorder != 0);
        return 0;
    });
}
