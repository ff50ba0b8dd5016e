// Painting a slot's image: the library's own nearest-neighbour scaling of 8- and
// 24-bit pictures, the device's DIB calls for the rest, and the background.
#include "imagelib/window/paint.h"

#include "imagelib/core/pixel_access.h"
#include "imagelib/core/slot.h"
#include "imagelib/window/zoom.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tvx::imagelib {

using namespace tvx::platform;

namespace {

constexpr double kLargestScaledZoom = 1024.0;

// Scaled rows are built here; kept between paints so that a repaint allocates nothing.
std::vector<uint8_t>& scratch()
{
    static std::vector<uint8_t> buffer;
    return buffer;
}

// The slot's header and colour table for the device calls, from the geometry kept
// beside the block (a caller may have written over the header in the block).
std::vector<uint8_t> infoFor(const Slot& slot, int width, int height, int bits, bool withTable)
{
    const size_t colours = withTable ? static_cast<size_t>(slot.geometry.colours) : 0;
    std::vector<uint8_t> info(sizeof(BitmapInfoHeader) + 4 * std::max<size_t>(colours, 1), 0);
    BitmapInfoHeader header{};
    header.biSize = 40;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<uint16_t>(bits);
    header.biClrUsed = static_cast<uint32_t>(colours);
    std::memcpy(info.data(), &header, sizeof header);
    if (colours)
        std::memcpy(info.data() + sizeof header, slot.colourTable(), 4 * colours);
    return info;
}

const BitmapInfo* asInfo(const std::vector<uint8_t>& info)
{
    return reinterpret_cast<const BitmapInfo*>(info.data());
}

void drawScaled(Hdc dc, const Slot& slot, double zoom, int64_t x0, int64_t y0, int width, int height)
{
    const int bytes = slot.bits() == 24 ? 3 : 1;
    const size_t stride = (static_cast<size_t>(width) * bytes + 3) & ~size_t{3};
    std::vector<uint8_t>& buffer = scratch();
    if (buffer.size() < stride * static_cast<size_t>(height))
        buffer.resize(stride * static_cast<size_t>(height));
    scaleVisiblePart(slot, zoom, x0, y0, width, height, buffer.data(), stride);
    // Rows top-down: the header's height is negative.
    const std::vector<uint8_t> info = infoFor(slot, width, -height, bytes * 8, bytes == 1);
    setDIBitsToDevice(dc, static_cast<int>(x0), static_cast<int>(y0), width, height, 0, 0, 0, height,
                      buffer.data(), asInfo(info));
}

void drawThroughDevice(Hdc dc, const Slot& slot, double zoom, int64_t x0, int64_t y0, int64_t x1, int64_t y1)
{
    const bool topDown = slot.flags & kFlagTopDown;
    const int w = slot.width(), h = slot.height();
    const std::vector<uint8_t> info = infoFor(slot, w, topDown ? -h : h, slot.bits(), true);
    if (zoom == 1.0) {
        // Source rectangles count from the bottom row in a bottom-up DIB.
        const int sy = topDown ? static_cast<int>(y0) : h - static_cast<int>(y1);
        setDIBitsToDevice(dc, static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0),
                          static_cast<int>(y1 - y0), static_cast<int>(x0), sy, 0, h, slot.pixels,
                          asInfo(info));
        return;
    }
    // The whole source pixels that meet the visible part, stretched to where they lie.
    const int sx0 = static_cast<int>(std::clamp<double>(std::floor(x0 / zoom), 0, w - 1));
    const int sx1 = static_cast<int>(std::clamp<double>(std::ceil(x1 / zoom), sx0 + 1, w));
    const int sy0 = static_cast<int>(std::clamp<double>(std::floor(y0 / zoom), 0, h - 1));
    const int sy1 = static_cast<int>(std::clamp<double>(std::ceil(y1 / zoom), sy0 + 1, h));
    auto at = [zoom](int source) {
        return static_cast<int>(
            std::min<double>(std::llround(source * zoom), static_cast<double>(kMaxZoomedExtent)));
    };
    const int dx0 = at(sx0), dy0 = at(sy0);
    const int sy = topDown ? sy0 : h - sy1;
    stretchDIBits(dc, dx0, dy0, std::max(1, at(sx1) - dx0), std::max(1, at(sy1) - dy0), sx0, sy, sx1 - sx0,
                  sy1 - sy0, slot.pixels, asInfo(info));
}

void fill(Hdc dc, int64_t left, int64_t top, int64_t right, int64_t bottom, Hgdiobj brush)
{
    if (right <= left || bottom <= top)
        return;
    fillRect(
        dc,
        {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right), static_cast<int>(bottom)},
        brush);
}

void drawAll(Hdc dc, const Slot& slot, const PaintView& view)
{
    const double zoom = usableZoom(view.zoom);
    const int64_t zw = slot.empty() ? 512 : zoomedExtent(slot.width(), zoom);
    const int64_t zh = slot.empty() ? 512 : zoomedExtent(slot.height(), zoom);
    const int64_t left = view.scrollX, top = view.scrollY;
    const int64_t right = left + view.clientWidth, bottom = top + view.clientHeight;
    Point origin;
    setViewportOrg(dc, static_cast<int>(-left), static_cast<int>(-top), &origin);
    const int64_t x1 = std::min(right, zw), y1 = std::min(bottom, zh);
    if (!slot.empty() && x1 > left && y1 > top) {
        if (scalesItself(slot, zoom))
            drawScaled(dc, slot, zoom, left, top, static_cast<int>(x1 - left), static_cast<int>(y1 - top));
        else
            drawThroughDevice(dc, slot, zoom, left, top, x1, y1);
    }
    Hgdiobj brush = createSolidBrush(kBackground);
    const int64_t pictureRight = slot.empty() ? left : zw, pictureBottom = slot.empty() ? top : zh;
    fill(dc, std::max(left, pictureRight), top, right, bottom, brush);
    fill(dc, left, std::max(top, pictureBottom), std::min(right, std::max(left, pictureRight)), bottom,
         brush);
    deleteObject(brush);
    setViewportOrg(dc, origin.x, origin.y);
}

}  // namespace

AxisMap::AxisMap(double zoom, int size) : size_(std::max(1, size))
{
    const double z = usableZoom(zoom);
    if (z >= 1 && z == std::floor(z)) {
        whole_ = true;
        factor_ = static_cast<int64_t>(z);
    } else {
        step_ = std::max<int64_t>(1, std::llround(65536.0 / z));
    }
}

bool scalesItself(const Slot& slot, double zoom)
{
    if (slot.empty() || zoom > kLargestScaledZoom)
        return false;
    if (slot.bits() == 8)
        return zoom != 1.0;
    if (slot.bits() == 24)
        return zoom != 1.0 || slot.lookupEnabled || (slot.flags & kFlagGreyDisplay);
    return false;
}

void scaleVisiblePart(const Slot& slot, double zoom, int64_t x0, int64_t y0, int width, int height,
                      uint8_t* out, size_t stride)
{
    if (slot.empty() || width <= 0 || height <= 0)
        return;
    const AxisMap columns(zoom, slot.width()), rows(zoom, slot.height());
    std::vector<int> from(static_cast<size_t>(width));
    for (int i = 0; i < width; ++i)
        from[static_cast<size_t>(i)] = columns.source(x0 + i);
    const bool colour = slot.bits() == 24;
    const size_t rowBytes = static_cast<size_t>(width) * (colour ? 3 : 1);
    const bool grey = slot.flags & kFlagGreyDisplay;
    const bool lookup = slot.lookupEnabled;
    const uint8_t* red = slot.lookup;
    const uint8_t* green = slot.lookup + 256;
    const uint8_t* blue = slot.lookup + 512;
    int previous = -1;
    const uint8_t* previousRow = nullptr;
    for (int r = 0; r < height; ++r) {
        uint8_t* o = out + static_cast<size_t>(r) * stride;
        const int sy = rows.source(y0 + r);
        if (sy == previous) {
            std::memcpy(o, previousRow, rowBytes);
            continue;
        }
        const uint8_t* src = slot.row(sy);
        if (!colour) {
            for (int i = 0; i < width; ++i)
                o[i] = src[from[static_cast<size_t>(i)]];
        } else {
            for (int i = 0; i < width; ++i) {
                const uint8_t* p = src + 3 * static_cast<size_t>(from[static_cast<size_t>(i)]);
                uint8_t* q = o + 3 * static_cast<size_t>(i);
                if (grey) {
                    const uint8_t v = greyOf(p);
                    q[0] = lookup ? blue[v] : v;
                    q[1] = lookup ? green[v] : v;
                    q[2] = lookup ? red[v] : v;
                } else if (lookup) {
                    q[0] = blue[p[0]];
                    q[1] = green[p[1]];
                    q[2] = red[p[2]];
                } else {
                    q[0] = p[0];
                    q[1] = p[1];
                    q[2] = p[2];
                }
            }
        }
        previous = sy;
        previousRow = o;
    }
}

void drawPicture(Hdc dc, const Slot& slot)
{
    if (slot.empty())
        return;
    if (scalesItself(slot, 1.0))
        drawScaled(dc, slot, 1.0, 0, 0, slot.width(), slot.height());
    else
        drawThroughDevice(dc, slot, 1.0, 0, 0, slot.width(), slot.height());
}

void paintSlot(Hdc dc, const Slot& slot, const PaintView& view, bool offscreenBitmap)
{
    if (view.clientWidth <= 0 || view.clientHeight <= 0)
        return;
    if (offscreenBitmap && view.scrollX == 0 && view.scrollY == 0) {
        Hdc memory = createCompatibleDC(dc);
        Hgdiobj bitmap = createCompatibleBitmap(memory, view.clientWidth, view.clientHeight);
        if (memory && bitmap) {
            Hgdiobj old = selectObject(memory, bitmap);
            drawAll(memory, slot, view);
            bitBlt(dc, 0, 0, view.clientWidth, view.clientHeight, memory, 0, 0);
            selectObject(memory, old);
            deleteDC(memory);
            deleteObject(bitmap);
            return;
        }
        if (memory)
            deleteDC(memory);
        if (bitmap)
            deleteObject(bitmap);
    }
    drawAll(dc, slot, view);
}

}  // namespace tvx::imagelib
