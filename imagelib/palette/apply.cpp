// Applying a palette word: preset, two-level fill, bounds and stretch, distribution.
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/slot.h"
#include "imagelib/palette/palette.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace tvx::imagelib {

namespace {

uint8_t gExtraLookup[768];
bool gExtraLookupEnabled = false;

// The cosine stretch curve: 0..255 over half a period of 256 steps.
int cosineCurve(long long v)
{
    const double c = (1.0 - std::cos(static_cast<double>(v) * std::numbers::pi / 256.0)) * 127.99;
    return static_cast<int>(std::trunc(c)) & 255;
}

void copyEntry(uint8_t* table, int to, const uint8_t* from, int index)
{
    std::memcpy(table + 4 * to, from + 4 * index, 4);
}

// Rebuilds the table from a copy of itself so that the lower..upper range fills it.
void stretch(uint8_t* table, uint32_t word, int lower, int upper)
{
    uint8_t copy[1024];
    std::memcpy(copy, table, sizeof copy);
    const bool cosine = word & 0x40;
    if ((word & 0x80) && upper > lower) {
        if (cosine && lower == 0) {
            const int t = ((upper / 2 + 256) / upper) / 2;
            if (t > 0 && (0x8000 / t + 128) / 256 == upper) {
                for (int n = 0; n < 256; ++n)
                    copyEntry(table, n, copy, cosineCurve(2LL * t * n));
                return;
            }
        }
        for (int k = 0; k < 256; ++k) {
            long long i = (255LL * k - 255LL * lower) / (upper - lower);
            if (cosine)
                i = cosineCurve(i);
            copyEntry(table, k, copy, static_cast<int>(i & 255));
        }
        return;
    }
    for (int e = 0; e < lower && e < 256; ++e)
        copyEntry(table, e, copy, 0);
    for (int i = lower > 0 ? lower : 0; i < upper; ++i)
        copyEntry(table, i, copy, static_cast<int>((255LL * i - 255LL * lower) / (upper - lower)));
    for (int e = upper; e < 255; ++e)
        copyEntry(table, e, copy, 255);
}

void tableToLookup(const uint8_t* table, uint8_t* lookup)
{
    for (int i = 0; i < 256; ++i) {
        lookup[i] = table[4 * i + 2];
        lookup[256 + i] = table[4 * i + 1];
        lookup[512 + i] = table[4 * i];
    }
}

}  // namespace

uint8_t* extraLookup()
{
    return gExtraLookup;
}
bool& extraLookupEnabled()
{
    return gExtraLookupEnabled;
}

bool lookupDiffersFromIdentity(const uint8_t* lookup)
{
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            if (lookup[256 * c + i] != i)
                return true;
    return false;
}

void applyPaletteWord(int number, uint32_t word)
{
    Slot* slot = slotFor(number);
    if (!slot)
        return;
    const DisplayHooks& hooks = displayHooks();
    if (word == 0xFFFFFFFFu || slot->empty()) {
        if (word != 0xFFFFFFFFu)
            slot->paletteWord = word;
        if (hooks.paletteChanged && slot->window)
            hooks.paletteChanged(resolveNumber(number));
        return;
    }
    slot->paletteWord = word;

    const int colours = slot->geometry.colours;
    uint8_t scratch[1024];
    uint8_t* table = colours == 256 ? slot->colourTable() : scratch;
    if (table == scratch) {
        if (colours > 0) {
            std::memset(scratch, 0, sizeof scratch);
            std::memcpy(scratch, slot->colourTable(), 4 * static_cast<size_t>(colours));
        } else {
            // Start from the present lookup so that "no change" presets keep it.
            for (int i = 0; i < 256; ++i) {
                const bool on = slot->lookupEnabled;
                scratch[4 * i + 2] = on ? slot->lookup[i] : static_cast<uint8_t>(i);
                scratch[4 * i + 1] = on ? slot->lookup[256 + i] : static_cast<uint8_t>(i);
                scratch[4 * i] = on ? slot->lookup[512 + i] : static_cast<uint8_t>(i);
                scratch[4 * i + 3] = 0;
            }
        }
    }

    const int preset = static_cast<int>(word & 63);
    const bool bounded = (word & ~0xFFu) != 0;
    const int upper = bounded ? static_cast<int>((word >> 8) & 0xFF) : 255;
    const int lower = bounded ? (static_cast<int32_t>(word) >> 16) : 0;
    if ((word & 0x81000000u) == 0x81000000u && (word & 0x5E000000u) == 0) {
        for (int i = 0; i < 256; ++i) {
            const uint8_t v = i < preset ? 0 : 255;
            table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = v;
            table[4 * i + 3] = 0;
        }
    }
    buildPreset(preset, table);
    if (lower >= 1 || upper < 255)
        stretch(table, word, lower, upper);

    if (colours > 0 && colours < 256) {
        std::memcpy(slot->colourTable(), table, 4 * static_cast<size_t>(colours));
    } else if (colours == 0) {
        tableToLookup(table, slot->lookup);
        slot->lookupEnabled = lookupDiffersFromIdentity(slot->lookup);
    }
    if (hooks.paletteChanged && slot->window)
        hooks.paletteChanged(resolveNumber(number));
}

}  // namespace tvx::imagelib
