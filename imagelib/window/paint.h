// Painting a slot's image into a device context at a zoom and scroll position.
#pragma once

#include "platform/window/gdi.h"

#include <cstdint>
#include <vector>

namespace tvx::imagelib {

struct Slot;

// Which source pixel a zoomed coordinate shows: nearest neighbour, in 16.16 fixed
// point with a step of 65536 / zoom, or for a whole zoom k exactly X / k, so that
// every source pixel covers k destination pixels starting at a multiple of k.
class AxisMap {
public:
    AxisMap(double zoom, int size);
    int source(int64_t zoomed) const
    {
        const int64_t s = whole_ ? zoomed / factor_ : (zoomed * step_) >> 16;
        return s < 0 ? 0 : s >= size_ ? size_ - 1 : static_cast<int>(s);
    }

private:
    bool whole_ = false;
    int64_t factor_ = 1;
    int64_t step_ = 65536;
    int size_ = 1;
};

// What is shown: the zoomed picture's top-left corner at -scroll of a client area.
struct PaintView {
    int64_t scrollX = 0;
    int64_t scrollY = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    double zoom = 1.0;
};

// Whether the library scales the picture itself (8- and 24-bit images up to zoom
// 1024, when the zoom is not 1 or a 24-bit image needs its lookup or grey).
bool scalesItself(const Slot& slot, double zoom);

// The rows of the zoomed picture from zoomed (x0, y0), width x height, scaled by
// the library: one byte per pixel for 8-bit images (colour-table indexes), three
// (blue, green, red) for 24-bit ones after the channel lookup and the grey flag.
// Rows are stride bytes apart, top row first.
void scaleVisiblePart(const Slot& slot, double zoom, int64_t x0, int64_t y0, int width, int height,
                      uint8_t* out, size_t stride);

// Paints the client area: the picture where it lies, the rest in the background
// colour. With offscreenBitmap and no scroll offset, through a bitmap of the
// client size that is copied in one piece.
void paintSlot(platform::Hdc dc, const Slot& slot, const PaintView& view, bool offscreenBitmap);

// The whole picture unscaled at (0, 0), as the device shows it (for bitmaps made
// from a slot).
void drawPicture(platform::Hdc dc, const Slot& slot);

// The background outside the picture.
constexpr platform::ColorRef kBackground = platform::rgb(96, 96, 96);

}  // namespace tvx::imagelib
