// Nearest colour search.
#include "imagelib/convert/colour_fit.h"

namespace tvx::imagelib {

int nearestEntry(const uint8_t* table, int entries, int red, int green, int blue)
{
    int best = 0;
    int bestDistance = 0x7FFFFFFF;
    for (int i = 0; i < entries; ++i) {
        const int db = table[4 * i] - blue;
        const int dg = table[4 * i + 1] - green;
        const int dr = table[4 * i + 2] - red;
        const int d = db * db + dg * dg + dr * dr;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
            if (d == 0)
                break;
        }
    }
    return best;
}

}  // namespace tvx::imagelib
