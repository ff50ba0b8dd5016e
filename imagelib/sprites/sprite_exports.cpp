// Exports: the sprite table, drawing sprites and tile maps, collisions, map neighbours.
#include "imagelib/core/export.h"
#include "imagelib/core/slot.h"
#include "imagelib/sprites/sprite_picture.h"
#include "imagelib/sprites/sprite_table.h"
#include "platform/memprobe.h"

#include <algorithm>
#include <cstring>

using namespace tvx::imagelib;
using tvx::platform::isReadable;
using tvx::platform::isWritable;

namespace {

// A filled slot whose pixels have the sprites' size, or null.
const Slot* spriteTarget(int number)
{
    const Slot* slot = filledSlot(number);
    return slot && slot->bits() == 8 * spriteState().bytesPerPixel ? slot : nullptr;
}

// Advances a drawn sprite's animation by one step.
void animate(SpriteRecord& record, int frames)
{
    if (frames <= 1 || record.frameDelay <= 0)
        return;
    if (--record.delayCounter > 0)
        return;
    record.frame = static_cast<int16_t>((((record.frame % frames) + frames) % frames + 1) % frames);
    record.delayCounter = record.frameDelay;
}

int putSprites(int number)
{
    const Slot* target = spriteTarget(number);
    if (!target)
        return -1;
    SpriteState& state = spriteState();
    for (int i = 0; i < state.count; ++i) {
        Sprite& sprite = state.table[static_cast<size_t>(i)];
        if (!sprite.used() || !(sprite.record.state & kSpriteVisible))
            continue;
        SpritePicture picture;
        if (spritePicture(state, i, sprite.record.flags, &picture) &&
            picture.bytesPerPixel == state.bytesPerPixel)
            drawPicture(*target, picture, sprite.record.x, sprite.record.y, state.frameValue);
        animate(sprite.record, sprite.shape.frameCount());
    }
    return 0;
}

struct MapRequest {
    const uint8_t* map;
    int columns, rows, tileWidth, tileHeight, mapFlags;
    const uint16_t* translate;
    int translateCount;
    uint16_t* tileFlags;
};

int putSpriteMap(int number, const MapRequest& m)
{
    const Slot* target = spriteTarget(number);
    if (!target)
        return -1;
    if (m.columns <= 0 || m.rows <= 0)
        return 0;
    const bool wide = m.mapFlags & 1, flagsPerCell = m.mapFlags & 2, flagsPerEntry = m.mapFlags & 4;
    const bool transparent = m.mapFlags & 8;
    const size_t cells = static_cast<size_t>(m.columns) * static_cast<size_t>(m.rows);
    if (!m.map || !isReadable(m.map, cells * (wide ? 2 : 1)))
        return -2;
    const bool translated = m.translate && m.translateCount > 0;
    if (translated && !isReadable(m.translate, static_cast<size_t>(m.translateCount) * 2))
        return -2;
    auto entryAt = [&](size_t i) -> int {
        if (!wide)
            return m.map[i];
        uint16_t v;
        std::memcpy(&v, m.map + 2 * i, 2);
        return v;
    };
    const uint16_t* tileFlags = flagsPerCell || flagsPerEntry ? m.tileFlags : nullptr;
    if (tileFlags) {
        int largest = 0;
        for (size_t i = 0; flagsPerEntry && !flagsPerCell && i < cells; ++i)
            largest = std::max(largest, entryAt(i));
        const size_t count = flagsPerCell ? cells : static_cast<size_t>(largest) + 1;
        const bool ok = flagsPerCell ? isWritable(m.tileFlags, count * 2) : isReadable(tileFlags, count * 2);
        if (!ok)
            return -2;
    }
    SpriteState& state = spriteState();
    for (size_t i = 0; i < cells; ++i) {
        const int entry = entryAt(i);
        uint16_t flags = 0;
        if (tileFlags) {
            flags = flagsPerCell ? tileFlags[i] : tileFlags[entry];
            // Passing a cell clears bit 15 of its flags in the caller's table.
            if (flagsPerCell)
                m.tileFlags[i] = static_cast<uint16_t>(flags & 0x7FFF);
        }
        int index = entry;
        if (translated) {
            if (entry >= m.translateCount)
                continue;
            index = m.translate[entry];
        }
        if (!transparent)
            flags |= kSpriteOpaque;
        SpritePicture picture;
        if (!spritePicture(state, index, flags, &picture) || picture.bytesPerPixel != state.bytesPerPixel)
            continue;
        const auto column = static_cast<int64_t>(i % static_cast<size_t>(m.columns));
        const auto row = static_cast<int64_t>(i / static_cast<size_t>(m.columns));
        const int64_t x = column * m.tileWidth, y = row * m.tileHeight;
        if (x > INT32_MAX || y > INT32_MAX || x < INT32_MIN || y < INT32_MIN)
            continue;
        drawPicture(*target, picture, static_cast<int>(x), static_cast<int>(y), state.frameValue);
    }
    return 0;
}

// Whether two visible sprites have a painted pixel in the same place.
bool spritesTouch(SpriteState& state, int a, int b)
{
    if (a == b)
        return false;
    Sprite* first = state.find(a);
    Sprite* second = state.find(b);
    if (!first || !second || !(first->record.state & kSpriteVisible) ||
        !(second->record.state & kSpriteVisible))
        return false;
    SpritePicture p, q;
    return spritePicture(state, a, first->record.flags, &p) &&
           spritePicture(state, b, second->record.flags, &q) &&
           picturesTouch(p, first->record.x, first->record.y, q, second->record.x, second->record.y);
}

}  // namespace

PX_EXPORT int pxSpritesInit(int capacity, int bits, int transparent)
{
    return guarded(-1, [&] {
        SpriteState& state = spriteState();
        if (capacity >= 0) {
            state.table.clear();
            state.table.shrink_to_fit();
            state.table.reserve(static_cast<size_t>(std::min(capacity, kMaxSpriteIndex + 1)));
            state.count = 0;
            state.collisionCount = 0;
        }
        if (bits == 8 || bits == 24)
            state.bytesPerPixel = bits / 8;
        state.transparent = transparent;
        return 0;
    });
}

PX_EXPORT int pxSetSprite(int index, const void* pixels, int width, int height, int pitch, int frames)
{
    return guarded(-1, [&] {
        return setSprite(index, static_cast<const uint8_t*>(pixels), width, height, pitch, frames);
    });
}

PX_EXPORT int pxSetSpriteImg(int number, int index, int width, int height, int x, int y, int frames)
{
    return guarded(-1, [&] {
        const Slot* slot = spriteTarget(number);
        if (!slot || width <= 0 || height <= 0 || x < 0 || y < 0)
            return -1;
        // The rectangle and every frame beside or below it lie in the image.
        const int64_t across = int64_t{width} * (frames > 0 ? frames : 1);
        const int64_t down = int64_t{height} * (frames < 0 ? -int64_t{frames} : 1);
        if (x + across > slot->width() || y + down > slot->height())
            return -1;
        const auto stride = static_cast<ptrdiff_t>(slot->stride());
        const ptrdiff_t pitch = (slot->flags & kFlagTopDown) ? stride : -stride;
        return setSprite(index, slot->row(y) + static_cast<size_t>(x) * spriteState().bytesPerPixel, width,
                         height, pitch, frames);
    });
}

PX_EXPORT int pxSetSpriteImgRaster(int number, int firstIndex, int count, int perRow, int width, int height,
                                   int top, int frames)
{
    return guarded(-1, [&] {
        if (!spriteTarget(number) || perRow <= 0)
            return -1;
        if (firstIndex < 0)
            firstIndex = spriteState().count;
        // A cell holds a sprite with all its frames.
        const int64_t cellWidth = int64_t{width} * (frames > 0 ? frames : 1);
        const int64_t cellHeight = int64_t{height} * (frames < 0 ? -int64_t{frames} : 1);
        int cut = 0;
        for (; cut < count && int64_t{firstIndex} + cut <= kMaxSpriteIndex; ++cut) {
            const int64_t x = (cut % perRow) * cellWidth, y = top + (cut / perRow) * cellHeight;
            if (x > INT32_MAX || y > INT32_MAX)
                break;
            const int made = pxSetSpriteImg(number, firstIndex + cut, width, height, static_cast<int>(x),
                                            static_cast<int>(y), frames);
            if (made < 0)
                break;
        }
        return cut;
    });
}

PX_EXPORT int pxCopySprite(int source, int index)
{
    return guarded(-1, [&] {
        SpriteState& state = spriteState();
        const Sprite* from = state.find(source);
        if (!from)
            return -1;
        if (index < 0)
            index = state.count;
        const bool fresh = !state.find(index);
        const Sprite copied = *from;  // the table may move as it grows
        Sprite* to = state.grow(index);
        if (!to)
            return -1;
        // The frame layout goes with the pixels it describes.
        to->shape = copied.shape;
        to->record.pixels = copied.record.pixels;
        to->record.width = copied.record.width;
        to->record.height = copied.record.height;
        to->record.pitch = copied.record.pitch;
        to->record.frames = copied.record.frames;
        if (fresh) {
            to->record.x = copied.record.x;
            to->record.y = copied.record.y;
            to->record.state = copied.record.state;
            to->record.transparent = copied.record.transparent;
            to->record.flags = 0;
            to->record.frame = to->record.frameDelay = to->record.delayCounter = 0;
        }
        state.count = std::max(state.count, index + 1);
        return index;
    });
}

PX_EXPORT void* pxGetSpriteInfo(int index, int* width, int* height, int* x, int* y, int* state, int* flags,
                                void** pixels)
{
    return guarded<void*>(nullptr, [&]() -> void* {
        Sprite* sprite = spriteState().find(index);
        if (!sprite)
            return nullptr;
        currentPixels(*sprite);
        const SpriteRecord& r = sprite->record;
        storeResult(width, int{r.width});
        storeResult(height, int{r.height});
        storeResult(x, r.x);
        storeResult(y, r.y);
        storeResult(state, int{r.state});
        storeResult(flags, int{r.flags});
        storeResult(pixels, const_cast<void*>(static_cast<const void*>(r.pixels)));
        return &sprite->record;
    });
}

PX_EXPORT int pxSpriteSizeX(int index)
{
    const Sprite* sprite = spriteState().find(index);
    return sprite ? sprite->shape.width : 0;
}

PX_EXPORT int pxSpriteSizeY(int index)
{
    const Sprite* sprite = spriteState().find(index);
    return sprite ? sprite->shape.height : 0;
}

PX_EXPORT int pxSetSpritePos(int index, int x, int y, int flags)
{
    Sprite* sprite = spriteState().find(index);
    if (!sprite)
        return -1;
    sprite->record.x = x;
    sprite->record.y = y;
    if (flags != -1)
        sprite->record.state = static_cast<uint16_t>((sprite->record.state & ~kSpriteVisible) |
                                                     (flags != 0 ? kSpriteVisible : 0));
    if (flags > 1)
        sprite->record.flags = static_cast<uint16_t>(flags);
    return 0;
}

PX_EXPORT int pxSetSpriteAnim(int index, int frame, int delay)
{
    Sprite* sprite = spriteState().find(index);
    if (!sprite)
        return -1;
    SpriteRecord& r = sprite->record;
    if (frame >= 0 && frame < sprite->shape.frameCount())
        r.frame = static_cast<int16_t>(frame);
    // -1 stops; a negative delay could never count down to 0, so it stops too.
    if (delay < 0) {
        r.frameDelay = -1;
    } else if (delay > 0) {
        r.frameDelay = static_cast<int16_t>(std::min(delay, int{INT16_MAX}));
        r.delayCounter = r.frameDelay;
    }
    return 0;
}

PX_EXPORT int pxPutSprites(int number)
{
    return guarded(-1, [&] { return putSprites(number); });
}

PX_EXPORT int pxPutSpriteMap(int number, const void* map, int columns, int rows, int tileWidth,
                             int tileHeight, int mapFlags, const uint16_t* translate, int translateCount,
                             uint16_t* tileFlags)
{
    return guarded(-1, [&] {
        return putSpriteMap(number, MapRequest{static_cast<const uint8_t*>(map), columns, rows, tileWidth,
                                               tileHeight, mapFlags, translate, translateCount, tileFlags});
    });
}

PX_EXPORT int pxCollisionTestSprite(int index, int other)
{
    return guarded(-1, [&] {
        SpriteState& state = spriteState();
        if (!state.find(index) || !state.find(other))
            return -1;
        return spritesTouch(state, index, other) ? 1 : 0;
    });
}

PX_EXPORT int pxCollisionTestSprites(int index)
{
    return guarded(-1, [&] {
        SpriteState& state = spriteState();
        if (!state.find(index))
            return -1;
        int found = 0;
        for (int other = 0; other < state.count; ++other) {
            if (!spritesTouch(state, index, other))
                continue;
            if (found < kMaxCollisions)
                state.collisions[found] = other;
            ++found;
        }
        state.collisionCount = std::min(found, kMaxCollisions);
        return found;
    });
}

PX_EXPORT int pxGetLastCollision(int n)
{
    const SpriteState& state = spriteState();
    return n >= 0 && n < state.collisionCount ? state.collisions[n] : 0;
}

PX_EXPORT int pxSetSpriteMaps(int a, int b, int c, int d, int columns, int rows)
{
    TileMap& map = spriteState().map;
    map.columns = std::max(columns, 0);
    map.rows = std::max(rows, 0);
    // Right, down, left, up, unless the caller names other steps.
    map.steps[0] = a ? a : 1;
    map.steps[1] = b ? b : map.columns;
    map.steps[2] = c ? c : -1;
    map.steps[3] = d ? d : -map.columns;
    return 0;
}

PX_EXPORT int pxSprNextPos(int position, int direction)
{
    const TileMap& map = spriteState().map;
    if (map.columns <= 0)
        return position;
    const int64_t p = int64_t{position} + map.steps[direction & 3];
    const int64_t cells = int64_t{map.columns} * map.rows;
    if (p < 0 || p >= cells)
        return position;
    const int64_t columnNow = ((int64_t{position} % map.columns) + map.columns) % map.columns;
    const int64_t drift = p % map.columns - columnNow;
    return drift > -2 && drift < 2 ? static_cast<int>(p) : position;
}

PX_EXPORT int pxSetParam(int selector, int value)
{
    if (selector != 1)
        return 0;
    SpriteState& state = spriteState();
    const int previous = state.frameValue;
    state.frameValue = static_cast<uint8_t>(value);
    return previous;
}
