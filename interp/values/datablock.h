// Data blocks: the storage of vectors, matrices, arrays, complex variables and
// long strings. One allocation holds a 32-byte header and then the elements;
// macros see the address of the first element and may compute with it, so the
// header layout and the 32-byte distance are fixed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "interp/errors.h"

namespace tvx::interp {

enum ElementType : uint16_t {
    kElemUInt8 = 1,
    kElemInt16 = 2,
    kElemUInt16 = 3,
    kElemInt32 = 4,
    kElemFloat = 5,
    kElemUInt32 = 6,
    kElemInt8 = 7,
    kElemDouble = 8,
    kElemInt64 = 9,
    kElemRealMatrix = 13,
    kElemComplexMatrix = 14,  // pairs of doubles (real, imaginary)
    kElemComplexScalar = 15,  // double; 2 elements make a complex scalar variable
};

// Block flags
constexpr uint16_t kBlockFixed = 0x0001;  // never resized or moved

// Shape flags
constexpr uint16_t kShapeMatrix = 0x0004;     // rows by columns; clear: array (x by y)
constexpr uint16_t kShapeTransient = 0x0080;  // mark used while an element-wise operation runs
constexpr uint16_t kShapeText = 0x0100;       // the block holds the text of a string

struct DataBlock {
    uint32_t memoryHandle;
    uint16_t elementType;
    uint16_t blockFlags;
    int32_t count;          // elements (for type 14: doubles, two per complex element)
    int32_t payloadBytes;   // count * element size
    int32_t capacityBytes;  // allocated size of the whole block; bit 0 is a flag
    uint16_t reserved;
    uint16_t shapeFlags;
    int32_t xSize;  // columns
    int32_t ySize;  // rows

    unsigned char* bytes() { return reinterpret_cast<unsigned char*>(this + 1); }
    const unsigned char* bytes() const { return reinterpret_cast<const unsigned char*>(this + 1); }
    double* doubles() { return reinterpret_cast<double*>(this + 1); }
    const double* doubles() const { return reinterpret_cast<const double*>(this + 1); }
    bool isMatrix() const { return (shapeFlags & kShapeMatrix) != 0; }
    bool isText() const { return (shapeFlags & kShapeText) != 0; }
};
static_assert(sizeof(DataBlock) == 32, "the element data starts 32 bytes after the block");

constexpr int kDataBlockHeaderBytes = sizeof(DataBlock);

// Size of one element in bytes; 0 for a code that is not an element type.
int elementSize(int elementType);
bool isFloatElement(int elementType);  // 5, 8, 13, 14, 15

// Capacity for a payload of the given bytes: r + 256 with r = (bytes - 1)
// rounded down to a multiple of 256, or r + 320 when that leaves less than 40
// bytes beyond the payload. -1 when the size cannot be represented.
int64_t blockCapacityFor(int64_t payloadBytes);

enum ResizeOptions : unsigned {
    kResizeKeep = 1,      // keep the contents (and dimensions)
    kResizeZeroFill = 2,  // zero the part beyond the old payload
    // Without kResizeKeep: the caller writes every element of the new payload,
    // so only what lies beyond it is zeroed (the same contents in the end,
    // without a clearing pass over the elements).
    kResizeOverwrite = 4,
};

// Allocates a zero-filled block of count elements (type 0 means type 2; a type
// whose element size is not 1, 2, 4 or 8 is created as type 2). The dimensions
// are count by 1. Returns nullptr when the memory cannot be had or the size is
// beyond what a block can describe.
DataBlock* allocateBlock(int elementType, int64_t count);
// The same, with the elements left unset: for a result the caller fills
// completely (no clearing pass over memory that is written at once).
DataBlock* allocateBlockToFill(int elementType, int64_t count);

// Resizes *block in place or by reallocation (the rules of data blocks: a
// fixed block is never resized; a large enough block is kept, unless it is far
// too large and its contents need not be kept). *block may be null (a new
// block is made). Returns false (and leaves *block untouched) on failure.
bool resizeBlock(DataBlock** block, int elementType, int64_t count, unsigned options);
// True when resizeBlock(block, elementType, count, kResizeOverwrite) would
// leave the block where it is (a block that is not fixed, with the capacity).
bool resizeKeepsPlace(const DataBlock* block, int elementType, int64_t count);

// Frees a block. The last large block freed is kept back for a following
// request of the same size (a temporary in a loop);
// releaseSpareBlock gives it back to the system, as at the end of a run.
void freeBlock(DataBlock* block);
void releaseSpareBlock();
DataBlock* copyBlock(const DataBlock* block);

// Reading converts to double; an index below 0 or at or beyond count reads 0.
double readElement(const DataBlock* block, int64_t index);
// Stores a double into element index by the element type's rule (rounding,
// clamping). The index must be within count.
void storeElement(DataBlock* block, int64_t index, double value);
// The same for n elements from `from` on (all within count), with one choice
// of element type for the whole run instead of one per element.
void readElements(const DataBlock* block, int64_t from, int64_t n, double* out);
void storeElements(DataBlock* block, int64_t from, int64_t n, const double* values);
// Stores with growth: a negative index fails with 16 (Negative Index); an index
// at or beyond count grows the block to index + 1 elements (zero fill) and
// fails with 37 (Vector cannot be created) when that is impossible.
Error writeElement(DataBlock** block, int64_t index, double value);

// Converts a double into the stored form of an integer element type (rounded
// half away from zero, clamped to the type's range; NaN stores 0).
int64_t clampToElement(int elementType, double value);

}  // namespace tvx::interp
