// Exports: resizing and rotating images, and writing a caller's buffer scaled into one.
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/display/map16.h"
#include "imagelib/pixory.h"
#include "imagelib/processing/box_filter.h"
#include "imagelib/resample/resample_core.h"
#include "imagelib/slots/image_ops.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace tvx::imagelib;

namespace {

// The core flags sit above the 12 bits that the exports' own flags keep.
int coreFlagsOf(int flags)
{
    return static_cast<int>(static_cast<uint32_t>(flags) >> 12);
}

// Resamples the samples of a source (taken from its slot, or copies) into the filled
// destination slot, which has the source's depth: in the 16-bit planes when both have
// one (then the display is mapped again), else in the DIB bytes.
int resampleInto(const SlotSamples& src, Slot& dst, double scaleX, double scaleY, double angle, double shiftX,
                 double shiftY, int flags)
{
    const int core = coreFlagsOf(flags);
    ResampleRequest request;
    request.interpolation = interpolationFromFlags(core);
    request.outside = outsideFromFlags(core);
    if (!resizeRotateMap(src.dib.width, src.dib.height, dst.width(), dst.height(), scaleX, scaleY, angle,
                         shiftX, shiftY, core & 2, &request.map))
        return -1;
    if (!src.plane.empty() && dst.plane) {
        if (!resampleAffine(src.plane, planeView(dst), request))
            return -1;
        mapPlaneToDisplay(dst);
        return 0;
    }
    return resampleAffine(src.dib, dibView(dst), request) ? 0 : -1;
}

int resizeRotate(int source, int destination, double scaleX, double scaleY, double angle, double shiftX,
                 double shiftY, int flags)
{
    const Slot* src = filledSlot(source);
    Slot* dst = filledSlot(destination);
    if (!src || !dst || src->bits() != dst->bits() || src->bits() < 8)
        return -1;
    SlotSamples samples;
    takeSamples(*src, src == dst, &samples);
    return resampleInto(samples, *dst, scaleX, scaleY, angle, shiftX, shiftY, flags);
}

int resizeImage(int source, int destination, int width, int height, int flags, double angle, double shiftX,
                double shiftY)
{
    const int s = resolveNumber(source), d = resolveNumber(destination);
    if (s < 0 || d < 0 || slotFor(s)->empty() || slotFor(s)->bits() < 8)
        return -1;
    const Slot& src = *slotFor(s);
    const int sw = src.width(), sh = src.height();
    if (width < 1)
        width = sw;
    if (height < 1)
        height = static_cast<int>(std::clamp<int64_t>(int64_t{sh} * width / sw, 1, INT32_MAX));
    // Resizing a slot into itself re-creates it: the source is read from copies.
    SlotSamples samples;
    takeSamples(src, s == d, &samples);
    Slot& dst = *slotFor(d);
    const bool fits = !dst.empty() && dst.bits() == src.bits() && dst.width() == width &&
                      dst.height() == height && (dst.plane != nullptr) == (src.plane != nullptr);
    if (!fits) {
        uint32_t flagWord = static_cast<uint32_t>(flags) & 0x7000FFFFu;
        if (flagWord == 0)
            flagWord = src.flags;
        const int bits = src.plane ? src.dataDepth : src.bits();
        if (!imageNew(d, windowParentOf(s), width, height, bits, flagWord))
            return -1;
    }
    double scaleX = static_cast<double>(width) / sw, scaleY = static_cast<double>(height) / sh;
    if (angle != 0)
        scaleX = scaleY = static_cast<double>(std::max(width, height)) / std::max(sw, sh);
    return resampleInto(samples, dst, scaleX, scaleY, angle, shiftX, shiftY, flags);
}

// A caller's rows written into a slot, scaled; see pxSetSizedBitmapRect.
template <class T>
int writeScaled(const SampleView<T>& image, const void* buffer, int pitch, int width, int height, int x,
                int y, double scale, int flags)
{
    const int C = image.channels;
    const int64_t rowBytes = int64_t{width} * C * static_cast<int64_t>(sizeof(T));
    if (pitch == 0)
        pitch = static_cast<int>(std::min<int64_t>(rowBytes, INT32_MAX));
    if (!callerSpanOk(buffer, pitch, rowBytes, height, false))
        return -2;
    const bool mirrorX = flags & 0x1000, mirrorY = flags & 0x2000;
    const SampleView<const T> rows =
        bufferView(static_cast<const T*>(buffer), pitch, width, height, C, false);
    // The rectangle the buffer covers in the image, and its part inside the image.
    const double coverW = std::max(1.0, std::round(width * scale));
    const double coverH = std::max(1.0, std::round(height * scale));
    const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    const int64_t right = static_cast<int64_t>(std::min<double>(x + coverW, image.width));
    const int64_t bottom = static_cast<int64_t>(std::min<double>(y + coverH, image.height));
    if (left >= right || top >= bottom)
        return 0;
    SampleView<T> region = image;
    region.origin = image.row(static_cast<int>(top)) + left * C;
    region.width = static_cast<int>(right - left);
    region.height = static_cast<int>(bottom - top);

    if (scale == 1.0) {
        // Rows are copied as they are (mirrored when asked).
        for (int r = 0; r < region.height; ++r) {
            const int64_t v = top - y + r;
            const T* in = rows.row(static_cast<int>(mirrorY ? height - 1 - v : v));
            T* out = region.row(r);
            for (int c = 0; c < region.width; ++c) {
                const int64_t u = left - x + c;
                const T* p = in + (mirrorX ? width - 1 - u : u) * C;
                std::memcpy(out + static_cast<ptrdiff_t>(c) * C, p, sizeof(T) * C);
            }
        }
        return 0;
    }
    ResampleRequest request;
    request.interpolation = interpolationFromFlags(flags);
    // The last covered pixels may map just past the buffer's last row or column.
    request.outside = Outside::Edge;
    const double step = 1.0 / scale;
    request.map.dxCol = mirrorX ? -step : step;
    request.map.dyRow = mirrorY ? -step : step;
    request.map.x0 = (left - x) * step;
    request.map.y0 = (top - y) * step;
    if (mirrorX)
        request.map.x0 = width - 1 - request.map.x0;
    if (mirrorY)
        request.map.y0 = height - 1 - request.map.y0;
    return resampleAffine(rows, region, request) ? 0 : -1;
}

int setSizedBitmapRect(int number, const void* buffer, int pitch, int width, int height, int x, int y,
                       double scale, int flags)
{
    const Slot* slot = filledSlot(number);
    if (!slot || !(scale > 0) || !std::isfinite(scale))
        return -1;
    if (width <= 0 || height <= 0)
        return 0;
    if (slot->plane && !(flags & 4)) {
        SampleView<uint16_t> plane = planeView(*slot);
        if (flags & 1)
            plane =
                bufferView(slot->plane, int64_t{slot->width()} * 2, slot->width(), slot->height(), 1, false);
        return writeScaled(plane, buffer, pitch, width, height, x, y, scale, flags);
    }
    if (slot->bits() < 8)
        return -1;
    SampleView<uint8_t> dib = dibView(*slot);
    if (flags & 1)
        dib = bufferView(slot->pixels, static_cast<ptrdiff_t>(slot->stride()), slot->width(), slot->height(),
                         slot->geometry.bytesPerPixel(), false);
    return writeScaled(dib, buffer, pitch, width, height, x, y, scale, flags);
}

}  // namespace

PX_EXPORT int pxResizeRotate(int source, int destination, double scaleX, double scaleY, double angle,
                             double shiftX, double shiftY, int flags)
{
    return guarded(
        -1, [&] { return resizeRotate(source, destination, scaleX, scaleY, angle, shiftX, shiftY, flags); });
}

PX_EXPORT int pxResizeImage(int source, int destination, int width, int height, int flags, double angle,
                            double shiftX, double shiftY)
{
    return guarded(
        -1, [&] { return resizeImage(source, destination, width, height, flags, angle, shiftX, shiftY); });
}

PX_EXPORT int pxSetSizedBitmapRect(int number, const void* buffer, int pitch, int width, int height, int x,
                                   int y, double scale, int flags)
{
    return guarded(
        -1, [&] { return setSizedBitmapRect(number, buffer, pitch, width, height, x, y, scale, flags); });
}
