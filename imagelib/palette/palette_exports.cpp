// Exports: palette words, reading and writing colour tables, nearest colours.
#include "imagelib/convert/colour_fit.h"
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/palette/palette.h"
#include "platform/memprobe.h"

#include <algorithm>
#include <cstring>

using namespace tvx::imagelib;
using tvx::platform::isReadable;
using tvx::platform::isWritable;

namespace {

constexpr int kMaxPaletteCopy = 0x3FFFF;

void entriesToLookup(const uint8_t* entries, uint8_t* lookup, bool* enabled)
{
    for (int i = 0; i < 256; ++i) {
        lookup[i] = entries[4 * i + 2];
        lookup[256 + i] = entries[4 * i + 1];
        lookup[512 + i] = entries[4 * i];
    }
    *enabled = lookupDiffersFromIdentity(lookup);
}

}  // namespace

PX_EXPORT int pxSetPalette(int number, int paletteWord)
{
    return guarded(-1, [&] {
        const int n = resolveNumber(number);
        if (n < 0)
            return -1;
        applyPaletteWord(n, static_cast<uint32_t>(paletteWord));
        requestRepaint(n, 0);
        return 0;
    });
}

PX_EXPORT void* pxGetPalette(int number, void* destination, int length)
{
    return guarded<void*>(nullptr, [&]() -> void* {
        Slot* slot = filledSlot(number);
        if (!slot)
            return nullptr;
        const int tableBytes = 4 * slot->geometry.colours;
        const int count = std::min(length, tableBytes);
        if (destination && count >= 1 && count <= kMaxPaletteCopy) {
            if (!isWritable(destination, static_cast<size_t>(count)))
                return nullptr;
            std::memcpy(destination, slot->colourTable(), static_cast<size_t>(count));
        }
        return slot->geometry.colours == 256 ? slot->colourTable() : nullptr;
    });
}

PX_EXPORT int pxPutPalette(int number, const void* source, int length)
{
    return guarded(0, [&] {
        if (number >= kSlotCount) {
            // The lookup beside the slots.
            if (source && length >= 1024 && isReadable(source, 1024))
                entriesToLookup(static_cast<const uint8_t*>(source), extraLookup(), &extraLookupEnabled());
            return 0;
        }
        Slot* slot = filledSlot(number);
        if (!slot)
            return 0;
        const int tableBytes = 4 * slot->geometry.colours;
        if (!source)
            return tableBytes;
        if (slot->geometry.colours == 0) {
            if (length >= 1024 && isReadable(source, 1024))
                entriesToLookup(static_cast<const uint8_t*>(source), slot->lookup, &slot->lookupEnabled);
            return tableBytes;
        }
        const int count = std::min(length, tableBytes);
        if (count >= 1 && count <= kMaxPaletteCopy && isReadable(source, static_cast<size_t>(count)))
            std::memcpy(slot->colourTable(), source, static_cast<size_t>(count));
        return tableBytes;
    });
}

PX_EXPORT int pxCopyPalette(int source, int destination)
{
    const Slot* src = filledSlot(source);
    Slot* dst = filledSlot(destination);
    if (!src || !dst)
        return 0;
    if (src != dst) {
        const int count = 4 * std::min(src->geometry.colours, dst->geometry.colours);
        if (count > 0)
            std::memmove(dst->colourTable(), src->colourTable(), static_cast<size_t>(count));
    }
    return dst->geometry.colours == 256 ? 1024 : 0;
}

PX_EXPORT int pxFitCol(int number, int rgb)
{
    const Slot* slot = filledSlot(number);
    if (!slot || slot->geometry.colours != 256)
        return 0;
    return nearestEntry(slot->colourTable(), 256, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

PX_EXPORT int pxFitRgb(int number, int red, int green, int blue)
{
    return pxFitCol(number, ((red << 16) | (green << 8) | blue) & 0xFFFFFF);
}
