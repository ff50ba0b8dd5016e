// Storage of the LED image set: the chunk plan, the memory check, reuse of the chunks.
#include "imagelib/ledset/led_set.h"

#include "imagelib/core/parallel_rows.h"
#include "platform/membudget.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tvx::imagelib {

namespace {

constexpr size_t kChunkBytes = 0x2000000;  // 32 MiB: what one allocation should stay within
constexpr size_t kMaxChunks = 256;

}  // namespace

LedSet::~LedSet()
{
    release();
}

LedSet& ledSet()
{
    static LedSet set;
    return set;
}

size_t LedSet::rowsPerChunkFor(const LedLayout& layout)
{
    const auto rows = static_cast<size_t>(layout.sourceY);
    const size_t fewest = rows / kMaxChunks + 1;
    const size_t byBytes = layout.rowBytes() ? kChunkBytes / layout.rowBytes() : rows;
    return std::min(rows, std::max(fewest, byBytes));
}

void LedSet::release()
{
    for (uint8_t* chunk : chunks_)
        std::free(chunk);
    chunks_.clear();
    layout_ = LedLayout{};
    rowsPerChunk_ = 0;
}

bool LedSet::allocate(const LedLayout& layout)
{
    const size_t perChunk = rowsPerChunkFor(layout);
    const size_t rows = static_cast<size_t>(layout.sourceY);
    const size_t count = (rows + perChunk - 1) / perChunk;
    chunks_.reserve(count);
    for (size_t first = 0; first < rows; first += perChunk) {
        const size_t bytes = std::min(perChunk, rows - first) * layout.rowBytes();
        auto* chunk = static_cast<uint8_t*>(std::calloc(bytes, 1));
        if (!chunk) {
            release();
            return false;
        }
        chunks_.push_back(chunk);
    }
    layout_ = layout;
    rowsPerChunk_ = perChunk;
    return true;
}

void LedSet::clearAll()
{
    const size_t rowBytes = layout_.rowBytes();
    parallelRows(layout_.sourceY, static_cast<int64_t>(rowBytes / 16), [&](int first, int end) {
        for (int y = first; y < end; ++y)
            std::memset(row(y), 0, rowBytes);
    });
}

LedSet::Storage LedSet::prepare(const LedLayout& layout, uint64_t extraBytes)
{
    if (layout.countX <= 0 || layout.countY <= 0 || layout.sourceX <= 0 || layout.sourceY <= 0 ||
        layout.leds() > INT32_MAX)
        return Storage::Refused;
    const uint64_t total = layout.totalBytes();
    // Same row size and total: the chunks fit as they are.
    if (loaded() && layout.rowBytes() == layout_.rowBytes() && total == layout_.totalBytes()) {
        if (!platform::memoryAllows(static_cast<int64_t>(extraBytes)))
            return Storage::Refused;
        if (layout == layout_)
            return Storage::Kept;
        layout_ = layout;
        clearAll();
        return Storage::Zeroed;
    }
    // The old chunks are given back before the new ones are taken, so they count as free.
    const uint64_t held = loaded() ? layout_.totalBytes() : 0;
    const uint64_t wanted = total + extraBytes;
    if (total / layout.rowBytes() != static_cast<uint64_t>(layout.sourceY) || wanted < total ||
        wanted > static_cast<uint64_t>(INT64_MAX) ||
        !platform::memoryAllows(static_cast<int64_t>(wanted - std::min(held, wanted))))
        return Storage::Refused;
    release();
    return allocate(layout) ? Storage::Zeroed : Storage::Refused;
}

}  // namespace tvx::imagelib
