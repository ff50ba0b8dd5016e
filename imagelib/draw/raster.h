// Lines and ellipse outlines drawn into the pixels of a slot, clipped to the image
// before any pixel is walked, so that coordinates far outside cost no more than the
// pixels that land inside.
#pragma once

#include <cstdint>

namespace tvx::imagelib {

struct Slot;

// The pixels drawing writes: the 16-bit plane when the slot has one, else the DIB at
// its depth. A value gives one byte per byte of a pixel (little-endian: for 24 bits
// blue = bits 0-7), the low 16 bits in a plane, the low bits of a sub-byte pixel.
class PixelTarget {
public:
    explicit PixelTarget(const Slot& slot) : slot_(slot) {}
    int width() const;
    int height() const;
    // Bits of a value: 16 for a plane, else the DIB's depth.
    int bits() const;
    bool isPlane() const;
    uint32_t get(int x, int y) const;
    void set(int x, int y, uint32_t value) const;

private:
    const Slot& slot_;
};

// The Bresenham line from (x1, y1) to (x2, y2), both ends included; width > 1 adds
// parallel lines beside it across its minor direction (width lines in all, centred).
void drawLine(const PixelTarget& target, int64_t x1, int64_t y1, int64_t x2, int64_t y2, uint32_t value,
              int width);

// The outline of the ellipse centred on (cx, cy) with radii rx, ry: for every column
// the nearest row of the curve and for every row the nearest column, so that it has
// no gaps whatever its shape.
void drawEllipse(const PixelTarget& target, int64_t cx, int64_t cy, int64_t rx, int64_t ry, uint32_t value);

// count outlines (one when count < 1), both radii one less each time, ending when a
// radius would fall below 2. Rings that cannot touch the image are passed over.
void drawEllipses(const PixelTarget& target, int64_t cx, int64_t cy, int64_t rx, int64_t ry, uint32_t value,
                  int count);

}  // namespace tvx::imagelib
