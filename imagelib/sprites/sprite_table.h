// The sprite table: rectangles of pixels in image slots (or in a caller's memory) with a
// position, visibility, drawing flags and animation frames, and the settings they share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tvx::imagelib {

// Drawing flags of a sprite, or of a tile of a map.
enum : uint16_t {
    kSpriteTranspose = 0x0001,    // rows and columns exchanged
    kSpriteMirrorX = 0x0002,      // left-right
    kSpriteMirrorY = 0x0004,      // top-bottom
    kSpriteTurn = 0x0008,         // with kSpriteTranspose: the mirrors apply before it (a turn)
    kSpriteIndexStep = 0x00F0,    // added to the sprite index before drawing (>> 4)
    kSpriteFrameRows = 0x0300,    // the first and last n rows get the frame value (>> 8)
    kSpriteOpaque = 0x0400,       // no transparent colour
    kSpriteGeneralPath = 0x4000,  // the pixel-by-pixel path even without a transform
};
constexpr uint16_t kSpriteVisible = 0x0001;  // state bit

constexpr int kMaxSpriteIndex = 65535;
constexpr int kMaxCollisions = 8;

// The record pxGetSpriteInfo hands out. Callers read it by address, so its fields keep
// this order and these sizes; the library draws from its own copy of the geometry
// (SpriteShape), so a record changed through that address cannot make it read outside
// the pixels.
struct SpriteRecord {
    const uint8_t* pixels = nullptr;  // top-left pixel of frame 0
    int16_t width = 0;
    int16_t height = 0;
    int16_t pitch = 0;  // bytes from one source row to the next, may be negative
    uint16_t state = 0;
    uint16_t flags = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t transparent = 0;
    int16_t frames = 0;  // > 0 side by side, < 0 one below the other
    int16_t frame = 0;
    int16_t frameDelay = 0;  // steps between frames; 0 none, -1 stopped
    int16_t delayCounter = 0;
};

// Where a sprite's pixels are and how they are laid out.
struct SpriteShape {
    int width = 0;
    int height = 0;
    ptrdiff_t pitch = 0;
    int frames = 0;
    int bytesPerPixel = 0;  // 0: the record is unused
    // The pixels lie in image slot `slot` at `offset` bytes into its DIB block; the
    // address is taken afresh from the slot each time, so a slot re-created since does not
    // leave the sprite pointing at freed memory. -1: the caller's memory at `pixels`.
    int slot = -1;
    size_t offset = 0;
    const uint8_t* pixels = nullptr;
    // All frames' bytes, relative to the top-left pixel: [low, high).
    ptrdiff_t low = 0;
    ptrdiff_t high = 0;

    int frameCount() const
    {
        return frames < 0 ? -frames : frames > 0 ? frames : 1;
    }
};

struct Sprite {
    SpriteRecord record;
    SpriteShape shape;
    bool used() const
    {
        return shape.bytesPerPixel != 0;
    }
};

// The neighbourhood of a tile map for pxSprNextPos.
struct TileMap {
    int steps[4] = {1, 0, -1, 0};
    int columns = 0;
    int rows = 0;
};

struct SpriteState {
    std::vector<Sprite> table;  // grows to the highest index set (at most 65536 records)
    int count = 0;              // highest index set + 1
    int bytesPerPixel = 1;
    int transparent = 0;
    uint8_t frameValue = 0;
    int collisions[kMaxCollisions] = {};
    int collisionCount = 0;
    TileMap map;

    // The sprite at index when it is in use, else null.
    Sprite* find(int index);
    // The record for index, the table grown to hold it; null beyond kMaxSpriteIndex.
    Sprite* grow(int index);
};

SpriteState& spriteState();

// Sets sprite index (< 0: the next free one) to the pixels; shape.slot/offset are found
// here when the pixels lie in an image slot. Position, state, flags and animation are
// cleared. Returns the index, or -1 for a bad index, size or pitch, or pixels that cannot
// be read.
int setSprite(int index, const uint8_t* pixels, int width, int height, ptrdiff_t pitch, int frames);

// The address of a sprite's pixels now, or null when they can no longer be read (the
// slot was emptied or made smaller, the caller's memory went away).
const uint8_t* currentPixels(Sprite& sprite);

}  // namespace tvx::imagelib
