// The in-memory DIB block: a 40-byte BITMAPINFOHEADER, the colour table, then the rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tvx::imagelib {

constexpr size_t kInfoHeaderBytes = 40;
// Every block is stride x height plus this many bytes, whatever the depth (header plus
// a full 256-entry table), so that callers which assume the largest layout stay inside.
constexpr size_t kDibExtraBytes = 1078;
// No block may exceed this: the header's size fields are 32-bit and so are many callers'
// offsets. Larger requests are refused like any other size the limits refuse.
constexpr uint64_t kMaxDibBytes = 0x7FFFFFFFull;

struct BitmapInfoHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

inline BitmapInfoHeader readInfoHeader(const uint8_t* block)
{
    BitmapInfoHeader h;
    std::memcpy(&h, block, sizeof h);
    return h;
}

inline void writeInfoHeader(uint8_t* block, const BitmapInfoHeader& h)
{
    std::memcpy(block, &h, sizeof h);
}

// Shape of a DIB: what the allocator and every pixel loop work from. It is kept in the
// slot beside the block, so a caller who scribbles over the header through the pointer
// it was given cannot make the library walk outside the block.
struct DibGeometry {
    int width = 0;
    int height = 0;
    int bits = 0;
    size_t stride = 0;  // bytes per row, a multiple of 4
    int colours = 0;    // colour-table entries
    size_t tableOffset = kInfoHeaderBytes;
    size_t pixelOffset = 0;
    size_t blockBytes = 0;

    size_t imageBytes() const
    {
        return stride * static_cast<size_t>(height);
    }
    int bytesPerPixel() const
    {
        return bits <= 8 ? 1 : bits / 8;
    }
    // Bytes of pixel data in a row, without padding.
    size_t rowBytes() const
    {
        return (static_cast<size_t>(width) * bits + 7) / 8;
    }
};

// Colour-table entries for a depth: 256, 16 and 2 for 8, 4 and 1 bits; none otherwise.
int colourEntriesFor(int bits);

// Geometry for width x height at bits per pixel; false for sizes that cannot be laid out
// (not positive, or a block above kMaxDibBytes). Does not look at the settings limits.
bool makeGeometry(int width, int height, int bits, DibGeometry* geometry);

}  // namespace tvx::imagelib
