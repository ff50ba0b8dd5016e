#include "interp/values/datablock.h"

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include <sanitizer/asan_interface.h>

#include "interp/errors.h"
#include "interp/values/number.h"
#include "platform/membudget.h"

namespace tvx::interp {

namespace {

// Blocks start 16-byte aligned, so the elements (32 bytes in) are too.
constexpr size_t kAlignment = 16;
// The header describes sizes in signed 32-bit fields.
constexpr int64_t kMaxCapacity = INT32_MAX - 1024;

std::atomic<uint32_t> nextMemoryHandle{1};

// Blocks from this size on come from fresh pages of the system (calloc then
// needs no clearing pass). They are not advised to huge pages: in a virtual
// machine that hands free memory back to its host, a fresh huge page
// sometimes costs many times what its small pages cost (a 100 MB text read
// and parsed took 0.25 s or 0.7 s from one run to the next, and 0.3 s
// steadily with small pages).
constexpr int64_t kLargeBlockBytes = int64_t{4} << 20;

// The last large block freed is kept back for the next request of the same
// capacity: a loop such as c = a .* b + 2 then reuses its temporary instead of
// having the system map and clear fresh pages on every pass. A request of any
// other large size first gives the kept block back, so at most one block's
// memory is held beyond what the macros hold.
struct SpareBlock {
    std::mutex mutex;
    void* memory = nullptr;
    int64_t capacity = 0;
};

SpareBlock& spare() {
    static auto* kept = new SpareBlock;  // never destroyed: blocks may be freed during exit
    return *kept;
}

// The kept block when it has exactly this capacity (poisoned for the address
// sanitizer while it waits, so a stale pointer into it is still caught).
void* takeSpare(int64_t capacity) {
    SpareBlock& s = spare();
    std::lock_guard<std::mutex> lock(s.mutex);
    void* memory = s.memory;
    if (!memory) return nullptr;
    s.memory = nullptr;
    ASAN_UNPOISON_MEMORY_REGION(memory, static_cast<size_t>(s.capacity));
    if (s.capacity == capacity) return memory;
    std::free(memory);
    return nullptr;
}

bool keepAsSpare(DataBlock* block) {
    int64_t capacity = block->capacityBytes & ~1;
    if (capacity < kLargeBlockBytes) return false;
    SpareBlock& s = spare();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.memory) {
        ASAN_UNPOISON_MEMORY_REGION(s.memory, static_cast<size_t>(s.capacity));
        std::free(s.memory);
    }
    s.memory = block;
    s.capacity = capacity;
    ASAN_POISON_MEMORY_REGION(s.memory, static_cast<size_t>(capacity));
    return true;
}

// A block of capacity bytes with a zeroed header. Everything after the header
// is zero too, except the `unset` bytes right behind it, which the caller
// promises to write.
DataBlock* allocateRaw(int64_t capacity, int64_t unset = 0) {
    void* memory = capacity >= kLargeBlockBytes ? takeSpare(capacity) : nullptr;
    if (memory) {
        int64_t from = kDataBlockHeaderBytes + unset;
        std::memset(memory, 0, kDataBlockHeaderBytes);
        std::memset(static_cast<char*>(memory) + from, 0, static_cast<size_t>(capacity - from));
    } else {
        // A huge request is refused while the machine can still answer, not after it swapped.
        if (!platform::memoryAllows(capacity)) return nullptr;
        static_assert(alignof(std::max_align_t) >= kAlignment, "calloc keeps the elements aligned");
        memory = std::calloc(1, static_cast<size_t>(capacity));
        if (!memory) return nullptr;
    }
    auto* block = static_cast<DataBlock*>(memory);
    block->memoryHandle = nextMemoryHandle.fetch_add(1, std::memory_order_relaxed);
    block->capacityBytes = static_cast<int32_t>(capacity);
    return block;
}

int normalisedType(int elementType, int existing) {
    if (elementType == 0) elementType = existing ? existing : kElemInt16;
    return elementSize(elementType) ? elementType : kElemInt16;
}

template <typename T>
T clampRounded(double value, double low, double high) {
    if (std::isnan(value)) return 0;
    if (value <= low) return static_cast<T>(low);
    if (value >= high) return static_cast<T>(high);
    return static_cast<T>(roundHalfAway(value));
}

}  // namespace

int elementSize(int elementType) {
    switch (elementType) {
    case kElemUInt8:
    case kElemInt8: return 1;
    case kElemInt16:
    case kElemUInt16: return 2;
    case kElemInt32:
    case kElemFloat:
    case kElemUInt32: return 4;
    case kElemDouble:
    case kElemInt64:
    case kElemRealMatrix:
    case kElemComplexMatrix:
    case kElemComplexScalar: return 8;
    default: return 0;
    }
}

bool isFloatElement(int elementType) {
    return elementType == kElemFloat || elementType == kElemDouble || elementType == kElemRealMatrix ||
           elementType == kElemComplexMatrix || elementType == kElemComplexScalar;
}

int64_t blockCapacityFor(int64_t payloadBytes) {
    if (payloadBytes < 0 || payloadBytes > kMaxCapacity - 320) return -1;
    // Floor division, so that an empty payload rounds down to -256 as well.
    int64_t r = payloadBytes == 0 ? -256 : ((payloadBytes - 1) / 256) * 256;
    int64_t capacity = r + 256;
    if (capacity - payloadBytes < 40) capacity = r + 320;
    return capacity;
}

int64_t clampToElement(int elementType, double value) {
    switch (elementType) {
    case kElemUInt8: return clampRounded<int64_t>(value, 0, 255);
    case kElemInt8: return clampRounded<int64_t>(value, -128, 127);
    case kElemInt16: return clampRounded<int64_t>(value, -32768, 32767);
    case kElemUInt16: return clampRounded<int64_t>(value, 0, 65535);
    case kElemInt32: return clampRounded<int64_t>(value, -2147483648.0, 2147483647.0);
    case kElemUInt32: return clampRounded<int64_t>(value, 0, 4294967295.0);
    case kElemInt64: return toInt64Saturated(value);
    default: return 0;
    }
}

namespace {

DataBlock* newBlock(int elementType, int64_t count, bool elementsSet) {
    elementType = normalisedType(elementType, 0);
    if (count < 0) return nullptr;
    int64_t payload = count * elementSize(elementType);
    int64_t capacity = blockCapacityFor(payload);
    if (capacity < 0) return nullptr;
    DataBlock* block = allocateRaw(capacity, elementsSet ? payload : 0);
    if (!block) return nullptr;
    block->elementType = static_cast<uint16_t>(elementType);
    block->count = static_cast<int32_t>(count);
    block->payloadBytes = static_cast<int32_t>(payload);
    block->xSize = static_cast<int32_t>(count);
    block->ySize = 1;
    return block;
}

}  // namespace

DataBlock* allocateBlock(int elementType, int64_t count) { return newBlock(elementType, count, false); }

DataBlock* allocateBlockToFill(int elementType, int64_t count) { return newBlock(elementType, count, true); }

namespace {

// Whether a block of oldCapacity bytes stays where it is when resized to
// capacity: it is large enough, and not so much larger that it is shrunk by
// a copy (a resize that keeps the contents never shrinks).
bool keptInPlace(int64_t oldCapacity, int64_t capacity, bool keep) {
    bool shrinkByCopy = !keep && oldCapacity - capacity > 512 && oldCapacity > 576;
    return oldCapacity >= capacity && !shrinkByCopy;
}

}  // namespace

bool resizeKeepsPlace(const DataBlock* block, int elementType, int64_t count) {
    if (!block || (block->blockFlags & kBlockFixed) || count < 0) return false;
    elementType = normalisedType(elementType, block->elementType);
    int64_t capacity = blockCapacityFor(count * elementSize(elementType));
    return capacity >= 0 && keptInPlace(block->capacityBytes & ~1, capacity, false);
}

bool resizeBlock(DataBlock** blockSlot, int elementType, int64_t count, unsigned options) {
    DataBlock* old = *blockSlot;
    if (!old) {
        DataBlock* fresh = allocateBlock(elementType, count);
        if (!fresh) return false;
        *blockSlot = fresh;
        return true;
    }
    if (old->blockFlags & kBlockFixed) return false;
    elementType = normalisedType(elementType, old->elementType);
    if (count < 0) return false;
    int64_t payload = count * elementSize(elementType);
    int64_t capacity = blockCapacityFor(payload);
    if (capacity < 0) return false;
    const bool keep = options & kResizeKeep;
    const bool zeroFill = options & kResizeZeroFill;
    const int64_t oldCapacity = old->capacityBytes & ~1;

    if (keptInPlace(oldCapacity, capacity, keep)) {
        if (!keep) {
            int64_t from = options & kResizeOverwrite ? payload : 0;
            std::memset(old->bytes() + from, 0,
                        static_cast<size_t>(oldCapacity - kDataBlockHeaderBytes - from));
        } else if (zeroFill && payload > old->payloadBytes) {
            std::memset(old->bytes() + old->payloadBytes, 0,
                        static_cast<size_t>(payload - old->payloadBytes));
        }
        old->elementType = static_cast<uint16_t>(elementType);
        old->count = static_cast<int32_t>(count);
        old->payloadBytes = static_cast<int32_t>(payload);
        old->capacityBytes = static_cast<int32_t>(oldCapacity);
        if (!keep) {
            old->xSize = static_cast<int32_t>(count);
            old->ySize = 1;
        }
        return true;
    }

    DataBlock* fresh = allocateRaw(capacity);  // zero-filled
    if (!fresh) return false;
    fresh->elementType = static_cast<uint16_t>(elementType);
    fresh->blockFlags = old->blockFlags;
    fresh->count = static_cast<int32_t>(count);
    fresh->payloadBytes = static_cast<int32_t>(payload);
    if (keep) {
        std::memcpy(fresh->bytes(), old->bytes(),
                    static_cast<size_t>(std::min<int64_t>(payload, old->payloadBytes)));
        fresh->reserved = old->reserved;
        fresh->shapeFlags = old->shapeFlags;
        fresh->xSize = old->xSize;
        fresh->ySize = old->ySize;
    } else {
        fresh->xSize = static_cast<int32_t>(count);
        fresh->ySize = 1;
    }
    freeBlock(old);
    *blockSlot = fresh;
    return true;
}

void freeBlock(DataBlock* block) {
    if (block && keepAsSpare(block)) return;
    std::free(block);
}

void releaseSpareBlock() {
    takeSpare(-1);  // no block has this capacity: the kept one is freed
}

DataBlock* copyBlock(const DataBlock* block) {
    if (!block) return nullptr;
    int64_t capacity = blockCapacityFor(block->payloadBytes);
    if (capacity < 0) return nullptr;
    DataBlock* copy = allocateRaw(capacity, block->payloadBytes);
    if (!copy) return nullptr;
    uint32_t handle = copy->memoryHandle;
    std::memcpy(copy, block, kDataBlockHeaderBytes + static_cast<size_t>(block->payloadBytes));
    copy->memoryHandle = handle;
    copy->capacityBytes = static_cast<int32_t>(capacity);
    copy->blockFlags &= ~kBlockFixed;
    return copy;
}

double readElement(const DataBlock* block, int64_t index) {
    if (!block || index < 0 || index >= block->count) return 0;
    const unsigned char* p = block->bytes();
    switch (block->elementType) {
    case kElemUInt8: return p[index];
    case kElemInt8: return static_cast<int8_t>(p[index]);
    case kElemInt16: {
        int16_t v;
        std::memcpy(&v, p + index * 2, 2);
        return v;
    }
    case kElemUInt16: {
        uint16_t v;
        std::memcpy(&v, p + index * 2, 2);
        return v;
    }
    case kElemInt32: {
        int32_t v;
        std::memcpy(&v, p + index * 4, 4);
        return v;
    }
    case kElemUInt32: {
        uint32_t v;
        std::memcpy(&v, p + index * 4, 4);
        return v;
    }
    case kElemFloat: {
        float v;
        std::memcpy(&v, p + index * 4, 4);
        return v;
    }
    case kElemInt64: {
        int64_t v;
        std::memcpy(&v, p + index * 8, 8);
        return static_cast<double>(v);
    }
    case kElemDouble:
    case kElemRealMatrix:
    case kElemComplexMatrix:
    case kElemComplexScalar: {
        double v;
        std::memcpy(&v, p + index * 8, 8);
        return v;
    }
    default: return 0;
    }
}

void storeElement(DataBlock* block, int64_t index, double value) {
    unsigned char* p = block->bytes();
    switch (block->elementType) {
    case kElemUInt8:
    case kElemInt8: {
        auto v = static_cast<uint8_t>(clampToElement(block->elementType, value));
        p[index] = v;
        break;
    }
    case kElemInt16:
    case kElemUInt16: {
        auto v = static_cast<uint16_t>(clampToElement(block->elementType, value));
        std::memcpy(p + index * 2, &v, 2);
        break;
    }
    case kElemInt32:
    case kElemUInt32: {
        auto v = static_cast<uint32_t>(clampToElement(block->elementType, value));
        std::memcpy(p + index * 4, &v, 4);
        break;
    }
    case kElemFloat: {
        auto v = static_cast<float>(value);
        std::memcpy(p + index * 4, &v, 4);
        break;
    }
    case kElemInt64: {
        int64_t v = clampToElement(block->elementType, value);
        std::memcpy(p + index * 8, &v, 8);
        break;
    }
    default: std::memcpy(p + index * 8, &value, 8); break;
    }
}

namespace {

template <typename T>
void readRun(const unsigned char* p, int64_t n, double* out) {
    for (int64_t i = 0; i < n; ++i) {
        T v;
        std::memcpy(&v, p + i * static_cast<int64_t>(sizeof(T)), sizeof(T));
        out[i] = static_cast<double>(v);
    }
}

// Whole-number elements: rounded half away from zero and clamped to the range
// of T, NaN stored as 0 (as clampToElement does one at a time).
template <typename T>
void storeRun(unsigned char* p, int64_t n, const double* values) {
    constexpr double low = static_cast<double>(std::numeric_limits<T>::min());
    constexpr double high = static_cast<double>(std::numeric_limits<T>::max());
    for (int64_t i = 0; i < n; ++i) {
        T v = clampRounded<T>(values[i], low, high);
        std::memcpy(p + i * static_cast<int64_t>(sizeof(T)), &v, sizeof(T));
    }
}

}  // namespace

void readElements(const DataBlock* block, int64_t from, int64_t n, double* out) {
    const unsigned char* p = block->bytes() + from * elementSize(block->elementType);
    switch (block->elementType) {
    case kElemUInt8: return readRun<uint8_t>(p, n, out);
    case kElemInt8: return readRun<int8_t>(p, n, out);
    case kElemInt16: return readRun<int16_t>(p, n, out);
    case kElemUInt16: return readRun<uint16_t>(p, n, out);
    case kElemInt32: return readRun<int32_t>(p, n, out);
    case kElemUInt32: return readRun<uint32_t>(p, n, out);
    case kElemFloat: return readRun<float>(p, n, out);
    case kElemInt64: return readRun<int64_t>(p, n, out);
    default: return readRun<double>(p, n, out);
    }
}

void storeElements(DataBlock* block, int64_t from, int64_t n, const double* values) {
    unsigned char* p = block->bytes() + from * elementSize(block->elementType);
    switch (block->elementType) {
    case kElemUInt8: return storeRun<uint8_t>(p, n, values);
    case kElemInt8: return storeRun<int8_t>(p, n, values);
    case kElemInt16: return storeRun<int16_t>(p, n, values);
    case kElemUInt16: return storeRun<uint16_t>(p, n, values);
    case kElemInt32: return storeRun<int32_t>(p, n, values);
    case kElemUInt32: return storeRun<uint32_t>(p, n, values);
    case kElemInt64:
        for (int64_t i = 0; i < n; ++i) {
            int64_t v = toInt64Saturated(values[i]);
            std::memcpy(p + i * 8, &v, 8);
        }
        return;
    case kElemFloat:
        for (int64_t i = 0; i < n; ++i) {
            auto v = static_cast<float>(values[i]);
            std::memcpy(p + i * 4, &v, 4);
        }
        return;
    default: std::memcpy(p, values, static_cast<size_t>(n) * sizeof(double)); return;
    }
}

Error writeElement(DataBlock** block, int64_t index, double value) {
    if (index < 0) return kNegativeIndex;
    if (index >= (*block)->count) {
        if (index >= INT32_MAX) return kVectorNotCreated;
        bool plainVector = (*block)->ySize <= 1;
        if (!resizeBlock(block, 0, index + 1, kResizeKeep | kResizeZeroFill)) return kVectorNotCreated;
        if (plainVector) {
            (*block)->xSize = (*block)->count;
            (*block)->ySize = 1;
        }
    }
    storeElement(*block, index, value);
    return kOk;
}

}  // namespace tvx::interp
