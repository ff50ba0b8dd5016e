// Creating, copying, swapping and closing images.
#include "imagelib/slots/image_ops.h"

#include "imagelib/core/display_hooks.h"
#include "imagelib/core/slot.h"
#include "imagelib/diagram/diagram_window.h"
#include "imagelib/palette/palette.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace tvx::imagelib {

namespace {

bool depthSupported(int bits)
{
    return (bits >= 1 && bits <= 16) || bits == 24 || bits == 32;
}

}  // namespace

void reverseRows(uint8_t* pixels, size_t stride, int height)
{
    std::vector<uint8_t> tmp(stride);
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        uint8_t* a = pixels + static_cast<size_t>(top) * stride;
        uint8_t* b = pixels + static_cast<size_t>(bottom) * stride;
        std::memcpy(tmp.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, tmp.data(), stride);
    }
}

void* imageNew(int number, void* parent, int width, int height, int bits, uint32_t flags)
{
    const int n = resolveNumber(number);
    if (n < 0)
        return nullptr;
    Slot& slot = *slotFor(n);
    if (!depthSupported(bits))
        return nullptr;
    slot.flags = flags | kFlagCreating;
    const bool hadWindow = slot.window != nullptr;
    const DisplayHooks& hooks = displayHooks();

    const int dibBits = bits > 8 && bits <= 16 ? 8 : bits;
    const int planeDepth = bits > 8 && bits <= 16 ? bits : 0;
    DibGeometry geometry;
    bool fresh = false;
    const bool keep = !slot.empty() && slot.width() == width && slot.height() == height &&
                      slot.bits() == dibBits && slot.dataDepth == planeDepth &&
                      (planeDepth == 0 || slot.plane);
    if (!keep) {
        freeDib(slot);
        freePlane(slot);
        uint8_t* block = makeGeometry(width, height, dibBits, &geometry) ? allocateDib(geometry) : nullptr;
        if (!block) {
            slot.flags = flags;
            return nullptr;
        }
        adoptDib(slot, block, geometry);
        slot.lookupEnabled = false;
        applyPaletteWord(n, slot.paletteWord);
        fresh = true;
    }
    if (planeDepth && !slot.plane) {
        slot.plane = allocatePlane(width, height);
        if (!slot.plane) {
            freeDib(slot);
            slot.flags = flags;
            return nullptr;
        }
        slot.dataDepth = planeDepth;
        slot.dataMax = 0;
    }
    if (hadWindow && fresh && !(flags & kFlagNoWindow) && hooks.adoptDib)
        hooks.adoptDib(n);

    slot.flags = flags;
    if (!(flags & kFlagNoWindow)) {
        char title[32];
        std::snprintf(title, sizeof title, "Image %d", n + 1);
        if (!hadWindow && hooks.openWindow)
            hooks.openWindow(n, parent, title);
        if (hooks.recomputeLayout && slot.window)
            hooks.recomputeLayout(n);
    }
    slot.flags &= ~kFlagNoScrollRange;
    return planeDepth ? static_cast<void*>(slot.plane) : static_cast<void*>(slot.pixels);
}

uint8_t* imageCopy(int source, int destination, int flags)
{
    const int s = resolveNumber(source);
    const int d = resolveNumber(destination);
    if (s < 0 || d < 0)
        return nullptr;
    Slot& src = *slotFor(s);
    Slot& dst = *slotFor(d);
    if (src.empty())
        return nullptr;

    const bool only8 = flags == -8 || (static_cast<uint32_t>(flags) & kFlagCopy8Only);
    const int depth = src.plane && !only8 ? 16 : src.bits();
    uint32_t flagWord;
    switch (flags) {
    case -2: flagWord = 0; break;
    case 0: flagWord = src.flags; break;
    case -1: flagWord = dst.flags; break;
    default: flagWord = static_cast<uint32_t>(flags); break;
    }

    // Copying a slot onto itself may re-create it; take the data aside first.
    std::vector<uint8_t> rowsAside;
    std::vector<uint16_t> planeAside;
    const uint8_t* srcRows = src.pixels;
    const uint16_t* srcPlane = src.plane;
    const uint32_t srcFlags = src.flags;
    const size_t rowBytes = src.geometry.imageBytes();
    if (s == d) {
        rowsAside.assign(src.pixels, src.pixels + rowBytes);
        srcRows = rowsAside.data();
        if (src.plane) {
            planeAside.assign(src.plane, src.plane + static_cast<size_t>(src.width()) * src.height());
            srcPlane = planeAside.data();
        }
    }
    const int width = src.width();
    const int height = src.height();
    if (!imageNew(d, windowParentOf(s), width, height, depth, flagWord))
        return nullptr;
    std::memcpy(dst.pixels, srcRows, rowBytes);
    if (srcPlane && dst.plane) {
        std::memcpy(dst.plane, srcPlane, static_cast<size_t>(width) * height * 2);
        if (s != d)
            dst.dataMax = src.dataMax;
    }
    if ((srcFlags ^ dst.flags) & kFlagTopDown)
        reverseRows(dst.pixels, dst.stride(), height);
    requestRepaint(d, 1);
    return dst.pixels;
}

void swapImages(int a, int b, int mode)
{
    Slot* sa = slotFor(a);
    Slot* sb = slotFor(b);
    if (!sa || !sb || sa == sb)
        return;
    std::swap(sa->dib, sb->dib);
    std::swap(sa->pixels, sb->pixels);
    std::swap(sa->geometry, sb->geometry);
    std::swap(sa->plane, sb->plane);
    std::swap(sa->dataDepth, sb->dataDepth);
    std::swap(sa->dataMax, sb->dataMax);
    if (mode & 1) {
        std::swap(sa->paletteWord, sb->paletteWord);
        std::swap(sa->screenPalette, sb->screenPalette);
        std::swap(sa->zoom, sb->zoom);
        std::swap(sa->changeFactor, sb->changeFactor);
        const uint32_t oldA = sa->flags;
        sa->flags = sb->flags;
        sb->flags = oldA & 0xFF;
    }
}

void closeAll()
{
    const DisplayHooks& hooks = displayHooks();
    if (hooks.closeAll)
        hooks.closeAll();
    closeAllDiagrams();
    for (int n = 0; n < kSlotCount; ++n) {
        Slot& slot = *slotFor(n);
        freeDib(slot);
        freePlane(slot);
    }
}

}  // namespace tvx::imagelib
