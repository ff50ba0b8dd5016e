// The 16-bit display mapping.
#include "imagelib/display/map16.h"

#include "imagelib/core/slot.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace tvx::imagelib {

namespace {

// The automatic shift is one value for all images, kept from one mapping to the next.
int gAutoShift = 0;

enum Kind : uint8_t { kNoScale = 0, kScale12 = 1, kScale20 = 2, kScale4 = 3 };

long long shiftBy(long long v, int shift)
{
    return shift >= 0 ? v >> shift : v << -shift;
}

struct Mapping {
    uint8_t method = 0;  // 2 and 3 shift, others scale
    long long lower = 0;
    long long upper = 0;
    long long range = 16;
    Kind kind = kNoScale;
    long long scale = 0;
    int shift = 0;

    int apply(long long v) const
    {
        if (method == 2 || method == 3)
            return static_cast<int>(shiftBy(v - lower, shift) & 0xFF);
        long long out;
        switch (kind) {
        case kScale12: out = ((v - lower) * scale) >> 12; break;
        case kScale20: out = ((v - lower) * scale) >> 20; break;
        case kScale4: out = ((v - lower) * scale) >> 4; break;
        default:
            if (v > upper)
                return 255;
            if (v < lower)
                return 0;
            out = (v - lower) * 255 / range;
            break;
        }
        return static_cast<int>(std::clamp<long long>(out, 0, 255));
    }
};

void histogramBounds(const Slot& slot, uint32_t mask, int largest, long long* lower, long long* upper)
{
    const int s = (largest & 0x8000) ? 2 : largest > 0x3FFF ? 1 : 0;
    std::vector<uint32_t> bins(16384, 0);
    const bool sparse = slot.displayMode & 0x200;
    const int rowStep = sparse ? 5 : 1;
    const int colStep = sparse ? 7 : 1;
    uint64_t samples = 0;
    for (int y = 0; y < slot.height(); y += rowStep) {
        const uint16_t* row = slot.planeRow(y);
        for (int x = 2; x < slot.width(); x += colStep) {
            ++bins[((row[x] & mask) >> s) & 16383];
            ++samples;
        }
    }
    const auto lowTarget = static_cast<uint64_t>(slot.lowPercent * static_cast<double>(samples) * 0.01);
    const auto highTarget =
        static_cast<uint64_t>(static_cast<double>(samples) * (100.0 - slot.highPercent) * 0.01);
    uint64_t running = 0;
    int lowBin = 16383;
    for (int b = 0; b < 16384; ++b) {
        running += bins[static_cast<size_t>(b)];
        if (running > lowTarget) {
            lowBin = b;
            break;
        }
    }
    int highBin = 16383;
    for (int b = lowBin + 1; b < 16384; ++b) {
        running += bins[static_cast<size_t>(b)];
        if (running >= highTarget) {
            highBin = b;
            break;
        }
    }
    *lower = static_cast<long long>(lowBin) << s;
    *upper = static_cast<long long>(highBin) << s;
}

}  // namespace

int mapPlaneToDisplay(Slot& slot)
{
    if (!slot.plane || !slot.dib || slot.bits() != 8)
        return 0;
    const int depth = slot.dataDepth >= 9 && slot.dataDepth <= 16 ? slot.dataDepth : 16;
    const uint32_t mask = (1u << depth) - 1;
    Mapping m;
    m.method = static_cast<uint8_t>(slot.displayMode & 0xFF);
    if (m.method > 4)
        m.method = 0;
    const int mode = slot.displayMode;
    long long smallest = 0;

    if (m.method == 3) {
        m.lower = 0;
        m.upper = mask;
        m.shift = depth - 8;
    } else if (m.method == 4) {
        m.lower = slot.mode4Low;
        m.upper = slot.mode4High;
    } else {
        const int rowStep = (m.method == 2 || (mode & 0x100)) ? 8 : 1;
        const int firstColumn = slot.width() > 3 ? 3 : 0;
        uint32_t lo = 0xFFFF, hi = 0;
        for (int y = 0; y < slot.height(); y += rowStep) {
            const uint16_t* row = slot.planeRow(y);
            for (int x = firstColumn; x < slot.width(); ++x) {
                const uint32_t v = row[x] & mask;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
        if (lo > hi)
            lo = hi = 0;
        smallest = lo;
        m.lower = lo;
        m.upper = hi;
        if ((m.method == 0 || m.method == 1) && (slot.lowPercent > 0 || slot.highPercent > 0))
            histogramBounds(slot, mask, static_cast<int>(hi), &m.lower, &m.upper);
        if (m.lower == 1 || m.lower == 65535)
            m.lower = 0;
    }
    m.range = m.upper - m.lower > 16 ? m.upper - m.lower : 16;

    if (m.method == 2) {
        m.lower = smallest < 6 ? 0 : smallest - 4;
        const long long shifted = shiftBy(m.upper - m.lower, gAutoShift);
        if (shifted < 110 || shifted > 255) {
            if (10 * m.lower < m.upper)
                m.lower = 0;
            const long long span = m.upper - m.lower;
            int shift = 0;
            if (span > 255)
                for (shift = 1; (span >> shift) > 255; ++shift) {}
            if (m.upper < 15)
                shift = -4;
            else if (m.upper < 30)
                shift = -3;
            else if (m.upper < 60)
                shift = -2;
            else if (m.upper < 120)
                shift = -1;
            gAutoShift = shift;
        }
        m.shift = gAutoShift;
    } else if (m.method != 3) {
        bool scaled = false;
        if (mode & 0x400) {
            m.scale = 0xFF000 / m.range;
            scaled = true;
        }
        if (mode & 0x800) {
            m.scale = static_cast<long long>(mode >> 16) * 16;
            scaled = true;
        }
        if (mode & 0x1000)
            m.lower = 0;
        if (m.method == 4) {
            m.scale = 0xFFFFF / m.range;
            scaled = true;
        }
        if (scaled) {
            if (std::llabs(m.scale) < 256) {
                m.scale = 0xFFFFFFF / m.range;
                m.kind = kScale20;
            } else if (std::llabs(m.scale) > 0xFFFF) {
                m.scale = 4095 / m.range;
                m.kind = kScale4;
            } else {
                m.kind = kScale12;
            }
        }
    }

    std::vector<uint8_t> table(mask + 1);
    for (uint32_t v = 0; v <= mask; ++v)
        table[v] = static_cast<uint8_t>(m.apply(v));
    for (int y = 0; y < slot.height(); ++y) {
        const uint16_t* in = slot.planeRow(y);
        uint8_t* out = slot.row(y);
        for (int x = 0; x < slot.width(); ++x)
            out[x] = table[in[x] & mask];
    }

    slot.lastOffset = static_cast<int>(m.lower);
    slot.lastMethod = m.method;
    slot.lastKind = m.kind;
    slot.lastScale =
        (m.method == 2 || m.method == 3) ? m.shift : static_cast<int>(m.kind ? m.scale : m.range);
    return static_cast<int>(m.upper);
}

int translatePixel16To8(const Slot& slot, int value)
{
    Mapping m;
    m.method = slot.lastMethod;
    m.lower = slot.lastOffset;
    m.kind = static_cast<Kind>(slot.lastKind);
    if (m.method == 2 || m.method == 3) {
        m.shift = slot.lastScale;
    } else if (m.kind == kNoScale) {
        m.range = slot.lastScale > 0 ? slot.lastScale : 16;
        m.upper = m.lower + m.range;
    } else {
        m.scale = slot.lastScale;
    }
    return m.apply(value < 0 ? 0 : value);
}

}  // namespace tvx::imagelib
