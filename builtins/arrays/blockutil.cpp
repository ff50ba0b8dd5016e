#include "builtins/arrays/blockutil.h"

#include <algorithm>

#include "builtins/algorithms/workbuffer.h"

namespace tvx::builtins::arrays {

using namespace interp;

namespace {

// Blocks above this size are checked against the memory the system reports as
// available (memoryAllows); smaller ones are simply tried.
constexpr int64_t kCheckedBytes = int64_t{256} << 20;

}  // namespace

Error allocate(int elementType, int64_t count, DataBlock*& out, bool toFill) {
    out = nullptr;
    int size = elementSize(elementType);
    if (count < 0 || size == 0) return kVectorNotCreated;
    if (count > INT32_MAX / size || blockCapacityFor(count * size) < 0) return kVectorNotCreated;
    int64_t bytes = count * size;
    if (bytes > kCheckedBytes && !memoryAllows(bytes)) return kOutOfMemory;
    out = toFill ? allocateBlockToFill(elementType, count) : allocateBlock(elementType, count);
    return out ? kOk : kOutOfMemory;
}

Error allocateLike(const DataBlock* shape, int elementType, int64_t elements, DataBlock*& out, bool toFill) {
    int64_t count = elementType == kElemComplexMatrix ? 2 * elements : elements;
    Error err = allocate(elementType, count, out, toFill);
    if (err) return err;
    out->reserved = shape->reserved;
    out->shapeFlags = shape->shapeFlags;
    out->xSize = shape->xSize;
    out->ySize = shape->ySize;
    return kOk;
}

void setBlockResult(MCVal& value, DataBlock* block) {
    value.setOwnedBlock(block);
    if (isComplexBlock(block)) {
        value.re = block->count >= 2 ? block->doubles()[0] : 0;
        value.im = block->count >= 2 ? block->doubles()[1] : 0;
    } else {
        value.re = readElement(block, 0);
        value.im = 0;
    }
}

bool RealView::bind(const DataBlock* block) {
    if (isDoubleBlock(block)) {
        data_ = block->doubles();
        return true;
    }
    int64_t n = elementsOf(block);
    if (!copy_.allocate(n)) return false;
    if (isComplexBlock(block)) {
        const double* d = block->doubles();
        for (int64_t i = 0; i < n; ++i) copy_[i] = d[2 * i];
    } else {
        readElements(block, 0, n, copy_.data());
    }
    data_ = copy_.data();
    return true;
}

bool ComplexView::bind(const DataBlock* block) {
    if (isComplexBlock(block)) {
        data_ = block->doubles();
        return true;
    }
    int64_t n = elementsOf(block);
    if (!copy_.allocate(2 * n)) return false;
    // Real parts read a run at a time, then spread over the pairs.
    constexpr int64_t kRun = 1024;
    double run[kRun];
    for (int64_t from = 0; from < n; from += kRun) {
        int64_t count = std::min(kRun, n - from);
        readElements(block, from, count, run);
        for (int64_t i = 0; i < count; ++i) {
            copy_[2 * (from + i)] = run[i];
            copy_[2 * (from + i) + 1] = 0;
        }
    }
    data_ = copy_.data();
    return true;
}

}  // namespace tvx::builtins::arrays
