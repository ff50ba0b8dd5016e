// Exports: conversions between 8-bit colour-table images and 24-bit images.
#include "imagelib/convert/colour_fit.h"
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/export.h"
#include "imagelib/core/random.h"
#include "imagelib/core/slot.h"
#include "imagelib/palette/palette.h"
#include "imagelib/slots/image_ops.h"
#include "platform/memprobe.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

using namespace tvx::imagelib;

namespace {

// A palette argument: numbers up to 256 select a preset (0: the colour cube 16), larger
// ones are the address of 256 entries. Returns false for an address that cannot be read.
bool paletteArgumentValid(const void* palette)
{
    const auto value = reinterpret_cast<uintptr_t>(palette);
    return value < 257 || tvx::platform::isReadable(palette, 1024);
}

void installPalette(int number, const void* palette)
{
    const auto value = reinterpret_cast<uintptr_t>(palette);
    if (value < 257) {
        applyPaletteWord(number, value ? static_cast<uint32_t>(value) : 16u);
        return;
    }
    Slot* slot = slotFor(number);
    std::memcpy(slot->colourTable(), palette, 1024);
    if (displayHooks().paletteChanged && slot->window)
        displayHooks().paletteChanged(resolveNumber(number));
}

// Makes destination an image of the source's size at bits unless it already is one.
bool prepareDestination(int source, int destination, int bits, int flags)
{
    const Slot& src = *slotFor(source);
    const Slot& dst = *slotFor(destination);
    if (!dst.empty() && dst.bits() == bits && dst.width() == src.width() && dst.height() == src.height())
        return true;
    const uint32_t flagWord = flags ? static_cast<uint32_t>(flags) : src.flags;
    return imageNew(destination, windowParentOf(source), src.width(), src.height(), bits, flagWord) !=
           nullptr;
}

void reduceRow(const uint8_t* in, uint8_t* out, int width, ColourFitter& fitter, bool dither,
               PixRandom& random)
{
    if (!dither) {
        for (int x = 0; x < width; ++x, in += 3)
            out[x] = static_cast<uint8_t>(fitter.fit(in[2], in[1], in[0]));
        return;
    }
    int errBlue = 0, errGreen = 0, errRed = 0;  // errors stay within the row
    for (int x = 0; x < width; ++x, in += 3) {
        const int blue = std::clamp(in[0] + errBlue, 0, 255);
        const int green = std::clamp(in[1] + errGreen, 0, 255);
        const int red = std::clamp(in[2] + errRed, 0, 255);
        const int index = fitter.fit(red, green, blue);
        out[x] = static_cast<uint8_t>(index);
        const uint8_t* entry = fitter.entry(index);
        const uint32_t s = random.state();
        errBlue = (((blue - entry[0]) * 7) >> 3) + static_cast<int>(s & 3);
        errGreen = (((green - entry[1]) * 7) >> 3) + static_cast<int>((s >> 2) & 3);
        errRed = (((red - entry[2]) * 7) >> 3) + static_cast<int>((s >> 5) & 3);
        random.advance();
    }
}

}  // namespace

PX_EXPORT void* pxConvertImg8ToPalette(int /*ignored*/, int number)
{
    const Slot* slot = filledSlot(number);
    return slot ? slot->pixels : nullptr;
}

PX_EXPORT void* pxConvertImg8ToRGB(int source, int destination, int flags)
{
    return guarded<void*>(nullptr, [&]() -> void* {
        const int s = resolveNumber(source);
        const int d = resolveNumber(destination);
        if (s < 0 || d < 0 || s == d || slotFor(s)->empty())
            return nullptr;
        const Slot& src = *slotFor(s);
        if (src.bits() == 24)
            return imageCopy(s, d, flags);
        if (src.bits() != 8 || !prepareDestination(s, d, 24, flags))
            return nullptr;
        const Slot& dst = *slotFor(d);
        const uint8_t* table = src.colourTable();
        for (int y = 0; y < src.height(); ++y) {
            const uint8_t* in = src.row(y);
            uint8_t* out = dst.row(y);
            for (int x = 0; x < src.width(); ++x, out += 3)
                std::memcpy(out, table + 4 * in[x], 3);
        }
        return dst.pixels;
    });
}

PX_EXPORT void* pxConvertRGBToImg8(int source, int destination, const void* palette, int dither, int flags)
{
    return guarded<void*>(nullptr, [&]() -> void* {
        const int s = resolveNumber(source);
        const int d = resolveNumber(destination);
        if (s < 0 || d < 0 || s == d || slotFor(s)->empty() || !paletteArgumentValid(palette))
            return nullptr;
        const Slot& src = *slotFor(s);
        if (src.bits() == 8)
            return imageCopy(s, d, flags);
        if (src.bits() != 24 || !prepareDestination(s, d, 8, flags))
            return nullptr;
        installPalette(d, palette);
        const Slot& dst = *slotFor(d);
        ColourFitter fitter(dst.colourTable());
        PixRandom random;
        for (int y = 0; y < src.height(); ++y)
            reduceRow(src.row(y), dst.row(y), src.width(), fitter, dither != 0, random);
        return dst.pixels;
    });
}

PX_EXPORT void* pxMapNewPalette(int number, const void* palette)
{
    return guarded<void*>(nullptr, [&]() -> void* {
        const int n = resolveNumber(number);
        Slot* slot = filledSlot(number);
        if (!slot || slot->bits() != 8 || !paletteArgumentValid(palette))
            return nullptr;
        uint8_t old[1024];
        std::memcpy(old, slot->colourTable(), sizeof old);
        installPalette(n, palette);
        // 256 searches settle every pixel; no cache, whose shared keys would blur them.
        uint8_t map[256];
        for (int i = 0; i < 256; ++i)
            map[i] = static_cast<uint8_t>(
                nearestEntry(slot->colourTable(), 256, old[4 * i + 2], old[4 * i + 1], old[4 * i]));
        for (int y = 0; y < slot->height(); ++y) {
            uint8_t* row = slot->row(y);
            for (int x = 0; x < slot->width(); ++x)
                row[x] = map[row[x]];
        }
        return slot->pixels;
    });
}
