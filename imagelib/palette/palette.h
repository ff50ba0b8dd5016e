// Colour-table presets and the palette word.
#pragma once

#include <cstdint>

namespace tvx::imagelib {

struct Slot;

// Fills table (256 entries of blue, green, red, 0) with preset 0..63. Returns false for
// the numbers that have no preset (12-15, 20-63); the table is then left as it was.
bool buildPreset(int preset, uint8_t* table);

// Applies a palette word to the slot (number already resolved): presets, two-level fill,
// bounds and stretch, then distribution to the colour table or the channel lookup, and
// a rebuilt screen palette. The word 0xFFFFFFFF is not stored and changes no entry.
void applyPaletteWord(int number, uint32_t word);

// The lookup kept beside the 32 slots (addressed by palette numbers 32 and above).
uint8_t* extraLookup();
bool& extraLookupEnabled();

// True when the 768-byte channel lookup (red, green, blue lists) is not the identity.
bool lookupDiffersFromIdentity(const uint8_t* lookup);

}  // namespace tvx::imagelib
