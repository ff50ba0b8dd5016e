// Turning, mirroring, framing and drawing sprites, and the pixel-exact overlap test.
#include "imagelib/sprites/sprite_picture.h"

#include "imagelib/core/slot.h"

#include <algorithm>
#include <cstring>

namespace tvx::imagelib {

namespace {

// One drawn row of n pixels from src (columnStep apart) into dst.
template <int Bpp>
void copyRow(uint8_t* dst, const uint8_t* src, ptrdiff_t columnStep, int n, const SpritePicture& p)
{
    const bool contiguous = columnStep == Bpp && !p.generalPath;
    if (p.opaque) {
        if (contiguous) {
            std::memmove(dst, src, static_cast<size_t>(n) * Bpp);
            return;
        }
        for (int i = 0; i < n; ++i, src += columnStep, dst += Bpp)
            std::memcpy(dst, src, Bpp);
        return;
    }
    if constexpr (Bpp == 1) {
        const auto t = static_cast<uint8_t>(p.transparent);
        if (contiguous) {
            // Written as a select over every byte, so that it vectorises.
            for (int i = 0; i < n; ++i)
                dst[i] = src[i] == t ? dst[i] : src[i];
            return;
        }
        for (int i = 0; i < n; ++i, src += columnStep)
            if (*src != t)
                dst[i] = *src;
    } else {
        for (int i = 0; i < n; ++i, src += columnStep, dst += 3) {
            const uint32_t v = src[0] | (uint32_t{src[1]} << 8) | (uint32_t{src[2]} << 16);
            if (v != p.transparent) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            }
        }
    }
}

}  // namespace

bool spritePicture(SpriteState& state, int index, uint16_t flags, SpritePicture* picture)
{
    Sprite* sprite = state.find(index + ((flags & kSpriteIndexStep) >> 4));
    if (!sprite)
        return false;
    const uint8_t* pixels = currentPixels(*sprite);
    if (!pixels)
        return false;
    const SpriteShape& s = sprite->shape;
    const int bpp = s.bytesPerPixel;
    // The current frame; the record's number is kept within the frames there are.
    const int frames = s.frameCount();
    const int frame = ((sprite->record.frame % frames) + frames) % frames;
    if (s.frames > 0)
        pixels += static_cast<ptrdiff_t>(frame) * s.width * bpp;
    else if (s.frames < 0)
        pixels += static_cast<ptrdiff_t>(frame) * s.height * s.pitch;

    const bool transpose = flags & kSpriteTranspose;
    const bool mirrorX = flags & kSpriteMirrorX, mirrorY = flags & kSpriteMirrorY;
    const ptrdiff_t lastRow = static_cast<ptrdiff_t>(s.height - 1) * s.pitch;
    const ptrdiff_t lastColumn = static_cast<ptrdiff_t>(s.width - 1) * bpp;
    SpritePicture& p = *picture;
    if (!transpose) {
        p.width = s.width;
        p.height = s.height;
        p.origin = pixels + (mirrorY ? lastRow : 0) + (mirrorX ? lastColumn : 0);
        p.rowStep = mirrorY ? -s.pitch : s.pitch;
        p.columnStep = mirrorX ? -bpp : bpp;
    } else {
        // Drawn columns walk the source rows, drawn rows the source columns. The mirrors
        // act on the drawn picture, or with kSpriteTurn on the source before the
        // transposition, which exchanges what they do.
        const bool turn = flags & kSpriteTurn;
        const bool reverseSourceRows = turn ? mirrorY : mirrorX;
        const bool reverseSourceColumns = turn ? mirrorX : mirrorY;
        p.width = s.height;
        p.height = s.width;
        p.origin = pixels + (reverseSourceRows ? lastRow : 0) + (reverseSourceColumns ? lastColumn : 0);
        p.columnStep = reverseSourceRows ? -s.pitch : s.pitch;
        p.rowStep = reverseSourceColumns ? -bpp : bpp;
    }
    p.bytesPerPixel = bpp;
    p.transparent = static_cast<uint32_t>(sprite->record.transparent) & (bpp == 1 ? 0xFFu : 0xFFFFFFu);
    p.opaque = flags & kSpriteOpaque;
    p.generalPath = flags & kSpriteGeneralPath;
    p.frameRows = (flags & kSpriteFrameRows) >> 8;
    return true;
}

void drawPicture(const Slot& target, const SpritePicture& p, int x, int y, uint8_t frameValue)
{
    const int64_t c0 = std::max<int64_t>(0, -static_cast<int64_t>(x));
    const int64_t c1 = std::min<int64_t>(p.width, static_cast<int64_t>(target.width()) - x);
    const int64_t r0 = std::max<int64_t>(0, -static_cast<int64_t>(y));
    const int64_t r1 = std::min<int64_t>(p.height, static_cast<int64_t>(target.height()) - y);
    if (c0 >= c1 || r0 >= r1)
        return;
    const int n = static_cast<int>(c1 - c0);
    const size_t bytes = static_cast<size_t>(n) * p.bytesPerPixel;
    for (auto r = static_cast<int>(r0); r < r1; ++r) {
        uint8_t* dst = target.row(static_cast<int>(y + r)) + static_cast<size_t>(x + c0) * p.bytesPerPixel;
        if (p.isFrameRow(r)) {
            std::memset(dst, frameValue, bytes);
            continue;
        }
        const uint8_t* src = p.at(r, static_cast<int>(c0));
        if (p.bytesPerPixel == 1)
            copyRow<1>(dst, src, p.columnStep, n, p);
        else
            copyRow<3>(dst, src, p.columnStep, n, p);
    }
}

bool picturesTouch(const SpritePicture& a, int ax, int ay, const SpritePicture& b, int bx, int by)
{
    const int64_t left = std::max<int64_t>(ax, bx),
                  right = std::min<int64_t>(int64_t{ax} + a.width, int64_t{bx} + b.width);
    const int64_t top = std::max<int64_t>(ay, by),
                  bottom = std::min<int64_t>(int64_t{ay} + a.height, int64_t{by} + b.height);
    for (int64_t y = top; y < bottom; ++y)
        for (int64_t x = left; x < right; ++x)
            if (a.solid(static_cast<int>(y - ay), static_cast<int>(x - ax)) &&
                b.solid(static_cast<int>(y - by), static_cast<int>(x - bx)))
                return true;
    return false;
}

}  // namespace tvx::imagelib
