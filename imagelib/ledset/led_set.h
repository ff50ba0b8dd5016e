// The LED image set: for every camera pixel the responses of all LEDs, one byte each.
//
// A set is a series of camera images, one per LED of a countX x countY array, turned
// around so that the block of one pixel holds LED (u, v) at offset u + v * countX and the
// blocks of a camera row lie side by side (x fastest). Callers get block addresses and
// read them with that layout, so it is fixed. Rows are kept in at most 256 chunks of
// whole rows; a set of the same row size and total reuses the chunks of the last one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tvx::imagelib {

struct LedLayout {
    int countX = 0;
    int countY = 0;
    int sourceX = 0;  // camera pixels per row taken from each image
    int sourceY = 0;  // camera rows

    size_t leds() const
    {
        return static_cast<size_t>(countX) * static_cast<size_t>(countY);
    }
    size_t rowBytes() const
    {
        return static_cast<size_t>(sourceX) * leds();
    }
    uint64_t totalBytes() const
    {
        return uint64_t{rowBytes()} * static_cast<uint64_t>(sourceY);
    }
    bool operator==(const LedLayout&) const = default;
};

class LedSet {
public:
    LedSet() = default;
    ~LedSet();
    LedSet(const LedSet&) = delete;
    LedSet& operator=(const LedSet&) = delete;

    // What prepare() found: no memory for the layout (the previous set is kept), storage
    // that is all zero, or the previous set's storage with the same layout, contents kept.
    enum class Storage { Refused, Zeroed, Kept };

    // Makes room for a set of this layout. The memory is checked against what the system
    // can give (plus extraBytes that the caller will need beside the set) before anything
    // is allocated, so a set too large for the machine is refused instead of ending the
    // process when its pages are touched.
    Storage prepare(const LedLayout& layout, uint64_t extraBytes);

    bool loaded() const
    {
        return !chunks_.empty();
    }
    const LedLayout& layout() const
    {
        return layout_;
    }

    // The blocks of camera row y (0 <= y < sourceY), sourceX blocks side by side.
    uint8_t* row(int y) const
    {
        const size_t r = static_cast<size_t>(y);
        return chunks_[r / rowsPerChunk_] + (r % rowsPerChunk_) * layout_.rowBytes();
    }
    // The block of camera pixel (x, y), which must lie in the source region.
    uint8_t* block(int x, int y) const
    {
        return row(y) + static_cast<size_t>(x) * layout_.leds();
    }

    // The chunk plan for a layout: rows per chunk, at least sourceY / 256 + 1 so that 256
    // chunks always suffice, and more while a chunk stays within 32 MiB.
    static size_t rowsPerChunkFor(const LedLayout& layout);

    size_t chunkCount() const
    {
        return chunks_.size();
    }
    size_t rowsPerChunk() const
    {
        return rowsPerChunk_;
    }

    void release();

private:
    bool allocate(const LedLayout& layout);
    void clearAll();

    LedLayout layout_;
    size_t rowsPerChunk_ = 0;
    std::vector<uint8_t*> chunks_;
};

// The library's one LED image set.
LedSet& ledSet();

}  // namespace tvx::imagelib
