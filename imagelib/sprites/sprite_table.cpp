// The sprite table and where sprite pixels come from.
#include "imagelib/sprites/sprite_table.h"

#include "imagelib/core/slot.h"
#include "platform/memprobe.h"

#include <algorithm>
#include <cstdint>

namespace tvx::imagelib {

namespace {

// The record keeps sizes and pitch in 16 bits.
constexpr int kMaxSide = INT16_MAX;

// The image slot whose pixel rows hold [first, end), or -1.
int slotHolding(uintptr_t first, uintptr_t end)
{
    for (int n = 0; n < kSlotCount; ++n) {
        const Slot* slot = filledSlot(n);
        if (!slot)
            continue;
        const auto rows = reinterpret_cast<uintptr_t>(slot->pixels);
        if (first >= rows && end <= rows + slot->geometry.imageBytes())
            return n;
    }
    return -1;
}

}  // namespace

SpriteState& spriteState()
{
    static SpriteState state;
    return state;
}

Sprite* SpriteState::find(int index)
{
    if (index < 0 || index >= count)
        return nullptr;
    Sprite& sprite = table[static_cast<size_t>(index)];
    return sprite.used() ? &sprite : nullptr;
}

Sprite* SpriteState::grow(int index)
{
    if (index < 0 || index > kMaxSpriteIndex)
        return nullptr;
    if (static_cast<size_t>(index) >= table.size())
        table.resize(std::max<size_t>(static_cast<size_t>(index) + 1,
                                      std::min<size_t>(table.size() * 2, kMaxSpriteIndex + 1)));
    return &table[static_cast<size_t>(index)];
}

int setSprite(int index, const uint8_t* pixels, int width, int height, ptrdiff_t pitch, int frames)
{
    SpriteState& state = spriteState();
    const int bpp = state.bytesPerPixel;
    if (index < 0)
        index = state.count;
    if (!pixels || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || frames < INT16_MIN ||
        frames > INT16_MAX)
        return -1;
    if (pitch == 0)
        pitch = static_cast<ptrdiff_t>(width) * bpp;
    if (pitch < -kMaxSide || pitch > kMaxSide)
        return -1;
    SpriteShape shape;
    shape.width = width;
    shape.height = height;
    shape.pitch = pitch;
    shape.frames = frames;
    shape.bytesPerPixel = bpp;
    shape.pixels = pixels;
    // Every frame: side by side to the right, or one below the other.
    const int64_t columns = static_cast<int64_t>(width) * (frames > 0 ? frames : 1);
    const int64_t rows = static_cast<int64_t>(height) * (frames < 0 ? -static_cast<int64_t>(frames) : 1);
    const int64_t lastRow = (rows - 1) * pitch;
    shape.low = static_cast<ptrdiff_t>(std::min<int64_t>(0, lastRow));
    shape.high = static_cast<ptrdiff_t>(std::max<int64_t>(0, lastRow) + columns * bpp);
    const auto at = reinterpret_cast<uintptr_t>(pixels);
    if (static_cast<uintptr_t>(-shape.low) > at || at + static_cast<uintptr_t>(shape.high) < at)
        return -1;
    shape.slot =
        slotHolding(at - static_cast<uintptr_t>(-shape.low), at + static_cast<uintptr_t>(shape.high));
    if (shape.slot >= 0) {
        shape.offset = static_cast<size_t>(pixels - filledSlot(shape.slot)->dib);
    } else if (!platform::isReadable(pixels + shape.low, static_cast<size_t>(shape.high - shape.low))) {
        return -1;
    }
    Sprite* sprite = state.grow(index);
    if (!sprite)
        return -1;
    sprite->shape = shape;
    sprite->record = SpriteRecord{};
    sprite->record.pixels = pixels;
    sprite->record.width = static_cast<int16_t>(width);
    sprite->record.height = static_cast<int16_t>(height);
    sprite->record.pitch = static_cast<int16_t>(pitch);
    sprite->record.frames = static_cast<int16_t>(frames);
    sprite->record.transparent = state.transparent;
    state.count = std::max(state.count, index + 1);
    return index;
}

const uint8_t* currentPixels(Sprite& sprite)
{
    SpriteShape& shape = sprite.shape;
    if (shape.slot < 0) {
        const bool readable =
            platform::isReadable(shape.pixels + shape.low, static_cast<size_t>(shape.high - shape.low));
        return readable ? shape.pixels : nullptr;
    }
    const Slot* slot = filledSlot(shape.slot);
    if (!slot)
        return nullptr;
    const auto rowsStart = static_cast<ptrdiff_t>(slot->geometry.pixelOffset);
    const auto rowsEnd = rowsStart + static_cast<ptrdiff_t>(slot->geometry.imageBytes());
    const auto offset = static_cast<ptrdiff_t>(shape.offset);
    if (offset + shape.low < rowsStart || offset + shape.high > rowsEnd)
        return nullptr;
    shape.pixels = slot->dib + shape.offset;
    sprite.record.pixels = shape.pixels;
    return shape.pixels;
}

}  // namespace tvx::imagelib
