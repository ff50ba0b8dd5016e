// Nearest colour-table entry, with the colour cache used during one conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tvx::imagelib {

// Index of the entry of table (entries x blue, green, red, 0) nearest to the colour by
// the sum of squared channel differences; the first of equals wins.
int nearestEntry(const uint8_t* table, int entries, int red, int green, int blue);

// Caches answers by a 17-bit key (5 bits blue, 6 green, 6 red), as conversions always
// did: a colour whose key was seen before gets that earlier answer without a search.
class ColourFitter {
public:
    explicit ColourFitter(const uint8_t* table) : table_(table), cache_(131072, -1) {}

    int fit(int red, int green, int blue)
    {
        const int key = (blue >> 3) | ((green >> 2) << 5) | ((red >> 2) << 11);
        int16_t& cached = cache_[static_cast<size_t>(key)];
        if (cached < 0)
            cached = static_cast<int16_t>(nearestEntry(table_, 256, red, green, blue));
        return cached;
    }

    // Blue, green, red of an entry.
    const uint8_t* entry(int index) const
    {
        return table_ + 4 * index;
    }

private:
    const uint8_t* table_;
    std::vector<int16_t> cache_;
};

}  // namespace tvx::imagelib
