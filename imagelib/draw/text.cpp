// Exports: text rendered with a font into the pixels of an image, the two cached fonts,
// and character cells of 8-pixel glyphs for 1-bit images.
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/draw/raster.h"
#include "imagelib/pixory.h"

#include "platform/memprobe.h"
#include "platform/window/gdi.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace tvx::imagelib;
using namespace tvx::platform;

namespace {

constexpr const char* kDefaultFace = "DejaVu Sans";
constexpr long kLongestText = 1 << 16;
// Text is rendered in pieces of at most this many pixels a side (bitmaps stay small).
constexpr int kTile = 1024;

struct CachedFont {
    LogFont description;
    Hgdiobj handle = 0;
};
CachedFont gFonts[2];

bool sameFont(const LogFont& a, const LogFont& b)
{
    return a.height == b.height && a.width == b.width && a.weight == b.weight &&
           std::strncmp(a.faceName, b.faceName, sizeof a.faceName) == 0;
}

// The font of the cache slot for the description, made anew when it differs.
Hgdiobj cachedFont(int slot, const std::string& face, int height, int width, int weight)
{
    LogFont lf;
    lf.height = height ? height : 8;
    lf.width = width;
    lf.weight = weight > 0 ? weight : 400;
    std::strncpy(lf.faceName, face.empty() ? kDefaultFace : face.c_str(), sizeof lf.faceName - 1);
    CachedFont& cached = gFonts[slot];
    if (cached.handle && sameFont(cached.description, lf))
        return cached.handle;
    if (cached.handle)
        deleteObject(cached.handle);
    cached.description = lf;
    cached.handle = createFontIndirect(lf);
    return cached.handle;
}

// A text argument: false when it cannot be read.
bool readText(const char* address, long longest, std::string* text)
{
    if (!address) {
        text->clear();
        return true;
    }
    const long length = readableStringLength(address, static_cast<size_t>(longest));
    if (length < 0)
        return false;
    text->assign(address, static_cast<size_t>(length));
    return true;
}

// value mixed into under by coverage (0..255), byte by byte (one 16-bit value in a plane;
// sub-byte pixels take it from half coverage on).
uint32_t mixed(uint32_t under, uint32_t value, int coverage, const PixelTarget& t)
{
    if (t.bits() < 8)
        return coverage >= 128 ? value : under;
    if (t.isPlane()) {
        const int u = static_cast<int>(under & 0xFFFF), v = static_cast<int>(value & 0xFFFF);
        return static_cast<uint32_t>(u + ((v - u) * coverage + 127) / 255);
    }
    uint32_t out = 0;
    for (int shift = 0; shift < t.bits(); shift += 8) {
        const int u = static_cast<int>((under >> shift) & 0xFF),
                  v = static_cast<int>((value >> shift) & 0xFF);
        out |= static_cast<uint32_t>(u + ((v - u) * coverage + (v >= u ? 127 : -127)) / 255) << shift;
    }
    return out;
}

enum class Laying { LettersOnly, OnBox, Xor, Blend };

int drawText(int number, int x, int y, const char* textAddress, int colour, int background,
             const char* fontAddress, int height, int width, int weight)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    std::string text, face;
    if (!readText(textAddress, kLongestText, &text) ||
        !readText(fontAddress, sizeof(LogFont::faceName) - 1, &face))
        return -2;
    if (text.empty())
        return 0;
    if (!startWindowSystem(false))
        return -1;  // fonts need the window system (off-screen will do)
    if (colour == 0 && background == 0)
        colour = 0xFFFFFF;
    // Below 0xFF000000 the background's bits 24-25 choose how letters are laid in;
    // -1 (and the values above) lay the letters alone.
    Laying laying = Laying::LettersOnly;
    const auto bg = static_cast<uint32_t>(background);
    if (bg < 0xFF000000u) {
        switch ((bg >> 24) & 3) {
        case 0: laying = Laying::OnBox; break;
        case 1: laying = Laying::LettersOnly; break;
        case 2: laying = Laying::Xor; break;
        default: laying = Laying::Blend; break;
        }
    }
    const uint32_t ink = static_cast<uint32_t>(colour), boxColour = bg & 0xFFFFFF;

    const Hgdiobj font = cachedFont(0, face, height, width, weight);
    const Hdc dc = createCompatibleDC(0);
    if (!dc)
        return -1;
    const Hgdiobj oldFont = selectObject(dc, font);
    int textWidth = 0, textHeight = 0;
    textExtent(dc, text, textWidth, textHeight);
    const PixelTarget target(*slot);
    const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(int64_t{x} + textWidth, target.width());
    const int64_t bottom = std::min<int64_t>(int64_t{y} + textHeight, target.height());
    int result = 0;
    for (int64_t ty = top; ty < bottom && result == 0; ty += kTile)
        for (int64_t tx = left; tx < right && result == 0; tx += kTile) {
            const int tw = static_cast<int>(std::min<int64_t>(kTile, right - tx));
            const int th = static_cast<int>(std::min<int64_t>(kTile, bottom - ty));
            const Hgdiobj bitmap = createCompatibleBitmap(dc, tw, th);  // black
            if (!bitmap) {
                result = -1;
                break;
            }
            const Hgdiobj oldBitmap = selectObject(dc, bitmap);
            setBkMode(dc, 1);
            setTextColor(dc, rgb(255, 255, 255));
            textOut(dc, static_cast<int>(x - tx), static_cast<int>(y - ty), text);
            for (int j = 0; j < th; ++j)
                for (int i = 0; i < tw; ++i) {
                    const int coverage = static_cast<int>(getPixel(dc, i, j) & 0xFF);
                    const int px = static_cast<int>(tx + i), py = static_cast<int>(ty + j);
                    switch (laying) {
                    case Laying::OnBox: target.set(px, py, mixed(boxColour, ink, coverage, target)); break;
                    case Laying::Blend:
                        if (coverage)
                            target.set(px, py, mixed(target.get(px, py), ink, coverage, target));
                        break;
                    case Laying::Xor:
                        if (coverage >= 128)
                            target.set(px, py, target.get(px, py) ^ ink);
                        break;
                    case Laying::LettersOnly:
                        if (coverage >= 128)
                            target.set(px, py, ink);
                        break;
                    }
                }
            selectObject(dc, oldBitmap);
            deleteObject(bitmap);
        }
    selectObject(dc, oldFont);
    deleteDC(dc);
    return result;
}

void* getFont(const char* fontAddress, int height, int width, int weight, int slot)
{
    std::string face;
    if ((slot != 0 && slot != 1) || !readText(fontAddress, sizeof(LogFont::faceName) - 1, &face))
        return nullptr;
    return reinterpret_cast<void*>(static_cast<uintptr_t>(cachedFont(slot, face, height, width, weight)));
}

// Each bit of a byte twice: the 16 bits of a doubled glyph row.
struct DoubledBits {
    uint16_t table[256];
    DoubledBits()
    {
        for (int b = 0; b < 256; ++b) {
            uint16_t v = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (b & (1 << bit))
                    v |= static_cast<uint16_t>(3u << (2 * bit));
            table[b] = v;
        }
    }
};

int charGen(int number, const char* text, int columns, int rows, const uint8_t* font, int glyphWidth,
            int glyphHeight, int glyphBits, int scale)
{
    const Slot* slot = filledSlot(number);
    if (!slot)
        return -1;
    if (glyphWidth != 8 || glyphBits != 1 || slot->bits() != 1 || columns <= 0 || rows <= 0 ||
        glyphHeight <= 0)
        return 0;
    const int64_t cells = int64_t{columns} * rows;
    if (!isReadable(text, static_cast<size_t>(cells)) ||
        !isReadable(font, static_cast<size_t>(256) * glyphHeight))
        return -2;
    static const DoubledBits doubled;
    const int factor = scale == 2 ? 2 : 1;
    const int64_t cellBytes = factor, cellRows = int64_t{glyphHeight} * factor;
    const auto stride = static_cast<int64_t>(slot->stride());
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j) {
            const int64_t byte = j * cellBytes;
            if (byte + cellBytes > stride)
                break;  // the cell lies beyond the row
            const uint8_t* glyph =
                font +
                static_cast<size_t>(static_cast<uint8_t>(text[int64_t{i} * columns + j])) * glyphHeight;
            for (int64_t r = 0; r < cellRows; ++r) {
                const int64_t y = i * cellRows + r;
                if (y >= slot->height())
                    break;
                uint8_t* out = slot->row(static_cast<int>(y)) + byte;
                const uint8_t bits = glyph[r / factor];
                if (factor == 1) {
                    out[0] = bits;
                } else {
                    const uint16_t wide = doubled.table[bits];
                    out[0] = static_cast<uint8_t>(wide >> 8);  // the left half is the high-order byte
                    out[1] = static_cast<uint8_t>(wide);
                }
            }
        }
    return 0;
}

}  // namespace

PX_EXPORT int pxDrawText(int number, int x, int y, const char* text, int colour, int background,
                         const char* font, int height, int width, int weight)
{
    return guarded(
        -1, [&] { return drawText(number, x, y, text, colour, background, font, height, width, weight); });
}

PX_EXPORT void* pxGetFont(const char* font, int height, int width, int weight, int slot)
{
    return guarded<void*>(nullptr, [&] { return getFont(font, height, width, weight, slot); });
}

PX_EXPORT int pxCharGen(int number, const char* text, int columns, int rows, const void* font, int glyphWidth,
                        int glyphHeight, int glyphBits, int scale)
{
    return guarded(-1, [&] {
        return charGen(number, text, columns, rows, static_cast<const uint8_t*>(font), glyphWidth,
                       glyphHeight, glyphBits, scale);
    });
}
