// Helpers shared by the array engine: element counts, shape bits, result
// blocks with a memory check, and the conversion of blocks to plain doubles.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include "interp/api.h"

namespace tvx::builtins::arrays {

using interp::DataBlock;
using interp::MCVal;

// Shape bits of matrices and results.
constexpr uint16_t kShapeBaseOne = 0x0008;                   // made while the index base was 1
constexpr uint16_t kShapeRowFirst = 0x0010;                  // made in row-first order
constexpr uint16_t kShapeFindBase = 0x0020;                  // Find reports positions plus 1
constexpr uint16_t kShapeIndex = 0x0040;                     // an index vector made by Find
constexpr uint16_t kShapeLogical = interp::kShapeTransient;  // 0/1 result of a comparison

// Runs a body that returns an error number, turning a failed allocation into
// error 813: the array code is also reached from operators, outside the
// interpreter's invoke(), and no exception may pass the evaluator.
template <typename F>
interp::Error guarded(F body) {
    try {
        return static_cast<interp::Error>(body());
    } catch (const std::bad_alloc&) {
        return interp::kOutOfMemory;
    }
}

// The element-wise inverse maps 0 to this instead of an infinity.
constexpr double kZeroReciprocal = 1e150;

inline bool isComplexBlock(const DataBlock* block) {
    return block->elementType == interp::kElemComplexMatrix;
}
// Blocks whose elements are stored as plain doubles.
inline bool isDoubleBlock(const DataBlock* block) {
    return block->elementType == interp::kElemDouble || block->elementType == interp::kElemRealMatrix ||
           block->elementType == interp::kElemComplexScalar;
}
// Elements as a macro counts them: complex pairs count once.
inline int64_t elementsOf(const DataBlock* block) {
    return isComplexBlock(block) ? block->count / 2 : block->count;
}
inline bool isSquareMatrix(const DataBlock* block) {
    return block->isMatrix() && block->xSize == block->ySize;
}
// A block that holds fewer elements than its dimensions describe (error 850).
inline bool isShortBlock(const DataBlock* block) {
    if (block->xSize < 0 || block->ySize < 0) return true;
    int64_t need = static_cast<int64_t>(block->xSize) * block->ySize;
    if (isComplexBlock(block)) need *= 2;
    return block->count < need;
}

// Allocates a zero-filled block of count elements of the type. Fails with 37
// when the size cannot be described by a block, 13 when the memory is not
// there (a request beyond the memory the system has available is refused
// before it is tried, so that a huge request cannot exhaust the machine).
// With toFill the elements are left unset: the caller writes every one.
interp::Error allocate(int elementType, int64_t count, DataBlock*& out, bool toFill = false);

// A new block of the type with the dimensions and shape flags of shape and
// elements elements (doubles for the count: twice that for complex).
interp::Error allocateLike(const DataBlock* shape, int elementType, int64_t elements, DataBlock*& out,
                           bool toFill = false);

// Sets value to the owned block, its number to the first element.
void setBlockResult(MCVal& value, DataBlock* block);

// Scratch memory that reports failure instead of throwing.
template <typename T>
class Scratch {
public:
    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() { std::free(data_); }
    bool allocate(int64_t count) {
        std::free(data_);
        data_ = nullptr;
        if (count < 0 || static_cast<uint64_t>(count) > SIZE_MAX / sizeof(T) / 2) return false;
        size_t bytes = static_cast<size_t>(count ? count : 1) * sizeof(T);
        data_ = static_cast<T*>(std::malloc(bytes));
        return data_ != nullptr;
    }
    T* data() { return data_; }
    T& operator[](int64_t i) { return data_[i]; }

private:
    T* data_ = nullptr;
};

// The elements of a real block as doubles: the block's own storage when it
// holds doubles, else a converted copy. Complex blocks give their real parts.
class RealView {
public:
    // False when the copy cannot be made.
    bool bind(const DataBlock* block);
    const double* data() const { return data_; }

private:
    const double* data_ = nullptr;
    Scratch<double> copy_;
};

// The elements of any block as interleaved complex pairs (real blocks get
// imaginary parts 0).
class ComplexView {
public:
    bool bind(const DataBlock* block);
    const double* data() const { return data_; }

private:
    const double* data_ = nullptr;
    Scratch<double> copy_;
};

}  // namespace tvx::builtins::arrays
