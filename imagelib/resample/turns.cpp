// Exports: quarter turns and mirrors of a slot, and shrinking raw 8-bit rows by block maxima.
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/export.h"
#include "imagelib/core/pixel_access.h"
#include "imagelib/core/slot.h"
#include "imagelib/pixory.h"
#include "imagelib/processing/box_filter.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace tvx::imagelib;

namespace {

// A turn or mirror as the picture is seen (top row first): where the pixel of the
// result at (x, y) comes from in the source, for a source of width w and height h.
enum class Turn {
    None,
    Clockwise,
    CounterClockwise,
    Half,
    Transpose,
    AntiTranspose,
    MirrorLeftRight,
    MirrorTopBottom
};

Turn turnOfKind(int kind)
{
    switch (kind) {
    case 1: return Turn::Clockwise;
    case 3:
    case -1: return Turn::CounterClockwise;
    case 2:
    case -2: return Turn::Half;
    case 4: return Turn::Transpose;
    case 5: return Turn::MirrorLeftRight;
    case 6: return Turn::MirrorTopBottom;
    case 7: return Turn::AntiTranspose;
    default: return Turn::None;
    }
}

// The same turn of an array whose rows lie bottom-up in memory, as it is seen: the
// kinds act on the rows as stored, and reading them upside down mirrors the turn.
Turn seenUpsideDown(Turn t)
{
    switch (t) {
    case Turn::Clockwise: return Turn::CounterClockwise;
    case Turn::CounterClockwise: return Turn::Clockwise;
    case Turn::Transpose: return Turn::AntiTranspose;
    case Turn::AntiTranspose: return Turn::Transpose;
    default: return t;
    }
}

bool swapsSides(Turn t)
{
    return t == Turn::Clockwise || t == Turn::CounterClockwise || t == Turn::Transpose ||
           t == Turn::AntiTranspose;
}

struct Point {
    int x, y;
};

// Source pixel of result pixel (x, y); w and h are the source's sides.
inline Point sourceOf(Turn t, int x, int y, int w, int h)
{
    switch (t) {
    case Turn::Clockwise: return {y, h - 1 - x};
    case Turn::CounterClockwise: return {w - 1 - y, x};
    case Turn::Half: return {w - 1 - x, h - 1 - y};
    case Turn::Transpose: return {y, x};
    case Turn::AntiTranspose: return {w - 1 - y, h - 1 - x};
    case Turn::MirrorLeftRight: return {w - 1 - x, y};
    case Turn::MirrorTopBottom: return {x, h - 1 - y};
    default: return {x, y};
    }
}

// Rows of fixed-size elements (pixels of whole bytes or plane values), top row first.
struct Rows {
    uint8_t* origin;
    ptrdiff_t pitch;
    int width, height;
    size_t element;
    uint8_t* at(int x, int y) const
    {
        return origin + y * pitch + static_cast<ptrdiff_t>(x) * element;
    }
};

// Writes the turned picture of from into to, in tiles so that both stay in the cache.
void turnRows(Turn t, const Rows& from, const Rows& to)
{
    constexpr int kTile = 64;
    for (int ty = 0; ty < to.height; ty += kTile)
        for (int tx = 0; tx < to.width; tx += kTile)
            for (int y = ty; y < std::min(ty + kTile, to.height); ++y)
                for (int x = tx; x < std::min(tx + kTile, to.width); ++x) {
                    const Point p = sourceOf(t, x, y, from.width, from.height);
                    std::memcpy(to.at(x, y), from.at(p.x, p.y), from.element);
                }
}

Rows dibRows(const Slot& s)
{
    const bool topDown = s.flags & kFlagTopDown;
    const auto stride = static_cast<ptrdiff_t>(s.stride());
    uint8_t* origin = topDown ? s.pixels : s.pixels + (s.height() - 1) * stride;
    return {origin, topDown ? stride : -stride, s.width(), s.height(), static_cast<size_t>(s.bits() / 8)};
}

Rows planeRows(const Slot& s)
{
    const bool bottomUp = s.flags & kFlagPlaneBottomUp;
    const ptrdiff_t pitch = static_cast<ptrdiff_t>(s.width()) * 2;
    auto* base = reinterpret_cast<uint8_t*>(s.plane);
    return {bottomUp ? base + (s.height() - 1) * pitch : base, bottomUp ? -pitch : pitch, s.width(),
            s.height(), 2};
}

int rotate90(int number, int kind)
{
    Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    Turn turn = turnOfKind(kind);
    if (turn == Turn::None)
        return 0;
    // The kinds turn the main data as it lies in memory: the plane when there is one
    // (top-down unless flag bit 1), else the DIB (bottom-up unless flag bit 0).
    const bool mainBottomUp =
        slot->plane ? (slot->flags & kFlagPlaneBottomUp) != 0 : (slot->flags & kFlagTopDown) == 0;
    if (mainBottomUp)
        turn = seenUpsideDown(turn);

    const int w = slot->width(), h = slot->height();
    const int nw = swapsSides(turn) ? h : w, nh = swapsSides(turn) ? w : h;
    // Everything is turned from copies into new blocks, so a refused allocation
    // leaves the image as it was.
    DibGeometry geometry;
    if (!makeGeometry(nw, nh, slot->bits(), &geometry))
        return -1;
    uint8_t* block = allocateDib(geometry);
    if (!block)
        return -1;
    std::memcpy(block + geometry.tableOffset, slot->colourTable(), 4 * static_cast<size_t>(geometry.colours));
    uint16_t* plane = nullptr;
    if (slot->plane && !(plane = allocatePlane(nw, nh))) {
        std::free(block);
        return -1;
    }
    Slot turned = *slot;  // the geometry and flags of the result, for its row accessors
    turned.dib = block;
    turned.geometry = geometry;
    turned.pixels = block + geometry.pixelOffset;
    turned.plane = plane;
    if (slot->bits() >= 8) {
        turnRows(turn, dibRows(*slot), dibRows(turned));
    } else {
        for (int y = 0; y < nh; ++y)
            for (int x = 0; x < nw; ++x) {
                const Point p = sourceOf(turn, x, y, w, h);
                writePixel(turned, x, y, readPixel(*slot, p.x, p.y));
            }
    }
    if (plane) {
        turnRows(turn, planeRows(*slot), planeRows(turned));
        std::free(slot->plane);
        slot->plane = plane;
    }
    adoptDib(*slot, block, geometry);
    if (hasWindow(number) && (nw != w || nh != h) && displayHooks().recomputeLayout)
        displayHooks().recomputeLayout(resolveNumber(number));
    return 0;
}

int shrink(const uint8_t* source, int width, int height, uint8_t* destination, int newWidth, int newHeight)
{
    if (width <= 0 || height <= 0 || newWidth <= 0 || newHeight <= 0)
        return -1;
    if (!callerSpanOk(source, width, width, height, false) ||
        !callerSpanOk(destination, newWidth, newWidth, newHeight, true))
        return -2;
    const int bw = (width + newWidth - 1) / newWidth, bh = (height + newHeight - 1) / newHeight;
    std::vector<uint8_t> column(static_cast<size_t>(newWidth));
    for (int j = 0; j < newHeight; ++j) {
        uint8_t* out = destination + static_cast<size_t>(j) * newWidth;
        std::fill(column.begin(), column.end(), 0);
        const int64_t y0 = int64_t{j} * bh, y1 = std::min<int64_t>(y0 + bh, height);
        for (int64_t y = y0; y < y1; ++y) {
            const uint8_t* in = source + static_cast<size_t>(y) * width;
            for (int i = 0; i < newWidth; ++i) {
                const int64_t x0 = int64_t{i} * bw, x1 = std::min<int64_t>(x0 + bw, width);
                uint8_t m = column[static_cast<size_t>(i)];
                for (int64_t x = x0; x < x1; ++x)
                    m = std::max(m, in[x]);
                column[static_cast<size_t>(i)] = m;
            }
        }
        std::copy(column.begin(), column.end(), out);
    }
    return 0;
}

}  // namespace

PX_EXPORT int pxRotate90(int number, int kind)
{
    return guarded(-1, [&] { return rotate90(number, kind); });
}

PX_EXPORT int pxShrink(const void* source, int width, int height, void* destination, int newWidth,
                       int newHeight)
{
    return guarded(-1, [&] {
        return shrink(static_cast<const uint8_t*>(source), width, height, static_cast<uint8_t*>(destination),
                      newWidth, newHeight);
    });
}
