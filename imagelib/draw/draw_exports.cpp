// Exports: lines and ellipse outlines drawn into the pixels of an image.
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/draw/raster.h"
#include "imagelib/pixory.h"

using namespace tvx::imagelib;

PX_EXPORT int pxDrawLine(int number, int x1, int y1, int x2, int y2, int value, int width)
{
    return guarded(-1, [&] {
        const Slot* slot = filledSlot(number);
        if (!slot)
            return -1;
        drawLine(PixelTarget(*slot), x1, y1, x2, y2, static_cast<uint32_t>(value), width);
        return 0;
    });
}

PX_EXPORT int pxDrawEllipse(int number, int x, int y, int radiusX, int radiusY, int value, int count)
{
    return guarded(-1, [&] {
        const Slot* slot = filledSlot(number);
        if (!slot)
            return -1;
        drawEllipses(PixelTarget(*slot), x, y, radiusX, radiusY, static_cast<uint32_t>(value), count);
        return 0;
    });
}
