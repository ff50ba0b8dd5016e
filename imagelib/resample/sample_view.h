// A view of an image's samples as rows from the top: DIB rows (each byte of a pixel
// its own channel), 16-bit planes, or a caller's buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tvx::imagelib {

struct Slot;

template <class T>
struct SampleView {
    T* origin = nullptr;  // the first sample of the top row
    ptrdiff_t pitch = 0;  // samples from one row to the row below it (negative: bottom-up memory)
    int width = 0;        // pixels
    int height = 0;
    int channels = 1;  // samples per pixel

    T* row(int y) const
    {
        return origin + static_cast<ptrdiff_t>(y) * pitch;
    }
    bool empty() const
    {
        return !origin || width <= 0 || height <= 0;
    }
};

// The DIB rows of a filled slot of 8 bits or more, one channel per byte of a pixel,
// in the slot's row order turned so that row 0 is the top row.
SampleView<uint8_t> dibView(const Slot& slot);
// The slot's 16-bit plane (empty view without one).
SampleView<uint16_t> planeView(const Slot& slot);
// rows of a buffer: first row at memory, pitch in bytes, bottomUp when the first row
// in memory is the bottom row.
template <class T>
SampleView<T> bufferView(T* memory, ptrdiff_t pitchBytes, int width, int height, int channels, bool bottomUp)
{
    SampleView<T> v;
    const ptrdiff_t pitch = pitchBytes / static_cast<ptrdiff_t>(sizeof(T));
    v.origin = bottomUp && height > 0 ? memory + static_cast<ptrdiff_t>(height - 1) * pitch : memory;
    v.pitch = bottomUp ? -pitch : pitch;
    v.width = width;
    v.height = height;
    v.channels = channels;
    return v;
}

template <class T>
SampleView<const T> asConst(const SampleView<T>& v)
{
    return {v.origin, v.pitch, v.width, v.height, v.channels};
}

// A slot's samples as views: of the slot itself, or with copy of copies taken now, which
// stay readable while the slot is re-created or written (source and destination the
// same slot).
struct SlotSamples {
    SampleView<const uint8_t> dib;
    SampleView<const uint16_t> plane;
    std::vector<uint8_t> dibCopy;
    std::vector<uint16_t> planeCopy;
};
void takeSamples(const Slot& slot, bool copy, SlotSamples* samples);

}  // namespace tvx::imagelib
