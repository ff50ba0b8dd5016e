// A sprite as it is drawn: its size after turning, and where each drawn pixel comes from.
#pragma once

#include "imagelib/sprites/sprite_table.h"

#include <cstddef>
#include <cstdint>

namespace tvx::imagelib {

struct Slot;

struct SpritePicture {
    const uint8_t* origin = nullptr;  // source of drawn pixel (0, 0)
    ptrdiff_t rowStep = 0;            // source bytes from one drawn row to the next
    ptrdiff_t columnStep = 0;         // source bytes from one drawn column to the next
    int width = 0;                    // drawn size
    int height = 0;
    int bytesPerPixel = 1;
    uint32_t transparent = 0;  // masked to the pixel size
    bool opaque = false;
    bool generalPath = false;
    int frameRows = 0;  // rows at the top and at the bottom filled with the frame value

    const uint8_t* at(int row, int column) const
    {
        return origin + row * rowStep + column * columnStep;
    }
    bool isFrameRow(int row) const
    {
        return row < frameRows || row >= height - frameRows;
    }
    // Whether drawn pixel (row, column) is painted: not transparent, or opaque, or frame.
    bool solid(int row, int column) const
    {
        if (opaque || isFrameRow(row))
            return true;
        const uint8_t* p = at(row, column);
        const uint32_t value =
            bytesPerPixel == 1 ? p[0] : p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
        return value != transparent;
    }
};

// The picture of sprite `index` drawn with `flags`: the index step of the flags picks the
// sprite whose pixels are shown (its current animation frame), the turn and mirror bits
// its orientation. False when that sprite is unused or its pixels cannot be read.
bool spritePicture(SpriteState& state, int index, uint16_t flags, SpritePicture* picture);

// Draws the picture with its top-left corner at (x, y) of an image of the same pixel
// size, clipped to the image.
void drawPicture(const Slot& target, const SpritePicture& picture, int x, int y, uint8_t frameValue);

// Whether two pictures at their positions have a painted pixel in the same place.
bool picturesTouch(const SpritePicture& a, int ax, int ay, const SpritePicture& b, int bx, int by);

}  // namespace tvx::imagelib
