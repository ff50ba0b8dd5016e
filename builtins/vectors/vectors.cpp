#include "builtins/vectors/vectors.h"

#include "builtins/algorithms/workbuffer.h"
#include "builtins/vectors/vectorsinternal.h"

namespace tvx::builtins {

namespace vectors {

using namespace interp;

Error resize(DataBlock** block, int elementType, int64_t count, unsigned options) {
    if (count < 0 || count > INT32_MAX) return kVectorNotCreated;
    int type = elementType ? elementType : (*block ? int{(*block)->elementType} : int{kElemInt16});
    int size = elementSize(type) ? elementSize(type) : 2;
    int64_t bytes = count * size;
    int64_t capacity = blockCapacityFor(bytes);
    if (capacity < 0) return kVectorNotCreated;
    bool fits = *block && ((*block)->capacityBytes & ~1) >= capacity;
    if (!fits && !memoryAllows(capacity)) return kOutOfMemory;
    return resizeBlock(block, elementType, count, options) ? kOk : kVectorNotCreated;
}

Error create(DataBlock** block, int elementType, int64_t count) {
    if (count < 0 || count > INT32_MAX) return kVectorNotCreated;
    int size = elementSize(elementType) ? elementSize(elementType) : 2;
    int64_t capacity = blockCapacityFor(count * size);
    if (capacity < 0) return kVectorNotCreated;
    if (!memoryAllows(capacity)) return kOutOfMemory;
    *block = allocateBlock(elementType, count);
    return *block ? kOk : kOutOfMemory;
}

bool DoubleValues::bind(const DataBlock* block) {
    if (arrays::isDoubleBlock(block) || block->elementType == kElemComplexMatrix) {
        data_ = block->doubles();
        return true;
    }
    if (!memoryAllows(int64_t{block->count} * 8) || !copy_.allocate(block->count)) return false;
    withElementType(block->elementType, [&](auto tag) {
        using T = typename decltype(tag)::Type;
        const T* e = elementsAs<T>(block);
        for (int64_t i = 0; i < block->count; ++i) copy_[i] = static_cast<double>(e[i]);
    });
    data_ = copy_.data();
    return true;
}

void repairDimensions(DataBlock* block) {
    if (block->elementType != kElemRealMatrix && block->elementType != kElemComplexMatrix) return;
    int32_t elements = block->elementType == kElemComplexMatrix ? block->count / 2 : block->count;
    if (block->xSize == 1 && block->ySize >= 2) {
        block->ySize = elements;
    } else {
        block->xSize = elements;
        block->ySize = 1;
    }
}

}  // namespace vectors

void registerVectorCommands(interp::Interpreter& ip) {
    vectors::registerArithmeticStatements(ip);
    vectors::registerElementCommands(ip);
    vectors::registerVectorArithmetic(ip);
    vectors::registerRearrangeCommands(ip);
    vectors::registerTextConversions(ip);
    vectors::registerSortAndFill(ip);
}

}  // namespace tvx::builtins
