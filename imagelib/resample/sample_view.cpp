// Views of a slot's DIB rows and 16-bit plane, top row first.
#include "imagelib/resample/sample_view.h"

#include "imagelib/core/slot.h"

#include <algorithm>

namespace tvx::imagelib {

SampleView<uint8_t> dibView(const Slot& slot)
{
    if (slot.empty() || slot.bits() < 8)
        return {};
    const bool topDown = slot.flags & kFlagTopDown;
    return bufferView(slot.pixels, static_cast<ptrdiff_t>(slot.stride()), slot.width(), slot.height(),
                      slot.geometry.bytesPerPixel(), !topDown);
}

SampleView<uint16_t> planeView(const Slot& slot)
{
    if (slot.empty() || !slot.plane)
        return {};
    const bool bottomUp = slot.flags & kFlagPlaneBottomUp;
    return bufferView(slot.plane, static_cast<ptrdiff_t>(slot.width()) * 2, slot.width(), slot.height(), 1,
                      bottomUp);
}

void takeSamples(const Slot& slot, bool copy, SlotSamples* samples)
{
    const SampleView<uint8_t> dib = dibView(slot);
    const SampleView<uint16_t> plane = planeView(slot);
    samples->dib = asConst(dib);
    samples->plane = asConst(plane);
    if (!copy)
        return;
    // Copies are kept top row first.
    if (!dib.empty()) {
        const size_t rowBytes = static_cast<size_t>(dib.width) * dib.channels;
        samples->dibCopy.resize(rowBytes * static_cast<size_t>(dib.height));
        for (int y = 0; y < dib.height; ++y)
            std::copy_n(dib.row(y), rowBytes, samples->dibCopy.data() + rowBytes * y);
        samples->dib = {samples->dibCopy.data(), static_cast<ptrdiff_t>(rowBytes), dib.width, dib.height,
                        dib.channels};
    }
    if (!plane.empty()) {
        const size_t rowValues = static_cast<size_t>(plane.width);
        samples->planeCopy.resize(rowValues * static_cast<size_t>(plane.height));
        for (int y = 0; y < plane.height; ++y)
            std::copy_n(plane.row(y), rowValues, samples->planeCopy.data() + rowValues * y);
        samples->plane = {samples->planeCopy.data(), static_cast<ptrdiff_t>(rowValues), plane.width,
                          plane.height, 1};
    }
}

}  // namespace tvx::imagelib
