// The colour-table presets: anchor ramps (0-11) and colour cubes (16-19).
#include "imagelib/palette/palette.h"

#include <algorithm>
#include <initializer_list>

namespace tvx::imagelib {

namespace {

struct Anchor {
    int index;
    int red, green, blue;
};

void setEntry(uint8_t* table, int i, int red, int green, int blue)
{
    table[4 * i] = static_cast<uint8_t>(blue);
    table[4 * i + 1] = static_cast<uint8_t>(green);
    table[4 * i + 2] = static_cast<uint8_t>(red);
    table[4 * i + 3] = 0;
}

int interpolate(int c0, int c1, int i0, int i1, int k)
{
    const int v = c1 + (c0 - c1) * (i1 - k) / (i1 - i0);  // truncates toward zero
    return std::clamp(v, 0, 255);
}

void buildRamp(uint8_t* table, std::initializer_list<Anchor> anchors)
{
    const Anchor* a = anchors.begin();
    const size_t n = anchors.size();
    for (size_t s = 0; s + 1 < n; ++s) {
        const Anchor& p = a[s];
        const Anchor& q = a[s + 1];
        for (int k = p.index; k <= q.index; ++k)
            setEntry(table, k, interpolate(p.red, q.red, p.index, q.index, k),
                     interpolate(p.green, q.green, p.index, q.index, k),
                     interpolate(p.blue, q.blue, p.index, q.index, k));
    }
}

uint32_t rgbAt(const uint8_t* table, int i)
{
    return (uint32_t{table[4 * i + 2]} << 16) | (uint32_t{table[4 * i + 1]} << 8) | table[4 * i];
}

bool contains(const uint8_t* table, int count, uint32_t rgb)
{
    for (int i = 0; i < count; ++i)
        if (rgbAt(table, i) == rgb)
            return true;
    return false;
}

// Appends rgb at *next when it is not yet among the first *next entries and room is left.
void appendIfAbsent(uint8_t* table, int* next, uint32_t rgb)
{
    if (*next >= 256 || contains(table, *next, rgb))
        return;
    setEntry(table, *next, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    ++*next;
}

int cubeStep(int step, int top, int unit)
{
    return step == top ? 255 : step * unit;
}

}  // namespace

bool buildPreset(int preset, uint8_t* t)
{
    switch (preset) {
    case 0: buildRamp(t, {{0, 0, 0, 0}, {255, 255, 255, 255}}); return true;
    case 1: buildRamp(t, {{0, 0, 0, 255}, {1, 1, 1, 1}, {254, 254, 254, 254}, {255, 255, 0, 0}}); return true;
    case 2:
        buildRamp(t, {{0, 0, 0, 0}, {102, 255, 0, 0}, {204, 255, 255, 0}, {255, 255, 255, 255}});
        return true;
    case 3:
        buildRamp(t, {{0, 0, 0, 0},
                      {10, 0, 0, 159},
                      {32, 0, 0, 255},
                      {80, 0, 255, 255},
                      {128, 0, 255, 0},
                      {160, 255, 255, 0},
                      {208, 255, 159, 0},
                      {240, 255, 0, 0},
                      {253, 255, 0, 255},
                      {255, 255, 255, 255}});
        return true;
    case 4: buildRamp(t, {{0, 0, 0, 0}, {128, 255, 255, 255}, {255, 255, 255, 255}}); return true;
    case 5: buildRamp(t, {{0, 0, 0, 0}, {64, 255, 255, 255}, {255, 255, 255, 255}}); return true;
    case 6: buildRamp(t, {{0, 0, 0, 0}, {32, 255, 255, 255}, {255, 255, 255, 255}}); return true;
    case 7: buildRamp(t, {{0, 0, 0, 0}, {16, 255, 255, 255}, {255, 255, 255, 255}}); return true;
    case 8: buildRamp(t, {{0, 255, 255, 255}, {255, 0, 0, 0}}); return true;
    case 9:
        buildRamp(t, {{0, 0, 0, 255},
                      {16, 0, 0, 0},
                      {193, 255, 255, 255},
                      {194, 0, 127, 0},
                      {240, 0, 255, 0},
                      {241, 127, 0, 0},
                      {255, 255, 0, 0}});
        return true;
    case 10:
        buildRamp(t, {{0, 0, 0, 0},
                      {1, 0, 0, 128},
                      {64, 0, 128, 128},
                      {128, 0, 128, 0},
                      {160, 128, 128, 0},
                      {208, 160, 96, 0},
                      {249, 128, 0, 0},
                      {250, 255, 255, 255},
                      {255, 255, 255, 255}});
        return true;
    case 11:
        buildRamp(t, {{0, 0, 0, 0},
                      {1, 0, 0, 95},
                      {8, 0, 0, 159},
                      {32, 0, 0, 255},
                      {80, 0, 255, 255},
                      {104, 0, 255, 96},
                      {112, 0, 255, 0},
                      {120, 96, 255, 0},
                      {144, 255, 255, 0},
                      {192, 255, 159, 0},
                      {232, 255, 0, 0},
                      {236, 255, 0, 96},
                      {253, 255, 0, 255},
                      {255, 255, 255, 255}});
        return true;
    case 16:
    case 18: {
        for (int i = 0; i < 225; ++i)
            setEntry(t, i, cubeStep(i % 5, 4, 64), cubeStep((i / 5) % 9, 8, 32),
                     cubeStep((i / 45) % 5, 4, 64));
        int next = 225;
        for (uint32_t grey = 0x080808; grey < 0x01010100; grey += 0x080808)
            appendIfAbsent(t, &next, grey);
        for (uint32_t extra : {0x200000u, 0x000020u, 0xFFFFFEu})
            appendIfAbsent(t, &next, extra);
        for (; next < 256; ++next)
            setEntry(t, next, 0, 0, 0);
        return true;
    }
    case 17:
        for (int i = 0; i < 256; ++i)
            setEntry(t, i, cubeStep((i >> 5) & 7, 7, 32), cubeStep((i >> 2) & 7, 7, 32),
                     cubeStep(i & 3, 3, 64));
        return true;
    case 19: {
        for (int i = 0; i < 245; ++i)
            setEntry(t, i, ((i / 35) % 7) * 255 / 6, ((i / 5) % 7) * 255 / 6, (i % 5) * 255 / 4);
        int next = 245;
        for (uint32_t grey = 0x101010; grey < 0x1F1F1F0 && next < 256; grey += 0x101010)
            appendIfAbsent(t, &next, grey & 0xFFFFFF);
        return true;
    }
    default: return false;
    }
}

}  // namespace tvx::imagelib
