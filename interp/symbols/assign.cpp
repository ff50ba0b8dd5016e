#include "interp/symbols/assign.h"

#include <algorithm>
#include <cstring>

#include "interp/errors.h"
#include "interp/values/number.h"

namespace tvx::interp {

namespace {

// Storage classes of element types: the double types form one, and so do the
// two 16-bit types.
int storageClass(int elementType) {
    switch (elementType) {
    case kElemDouble:
    case kElemRealMatrix:
    case kElemComplexMatrix: return kElemDouble;
    case kElemUInt16: return kElemInt16;
    default: return elementType;
    }
}

}  // namespace

void fillBlock(DataBlock* block, double value) {
    bool realType = isFloatElement(block->elementType);
    double used = realType ? value : static_cast<double>(toInt64Saturated(value));
    if (used != 0 && block->elementType != kElemUInt8) {
        for (int64_t i = 0; i < block->count; ++i) storeElement(block, i, used);
        return;
    }
    auto low = static_cast<unsigned char>(static_cast<uint64_t>(toInt64Saturated(used)) & 0xFF);
    std::memset(block->bytes(), low, static_cast<size_t>(block->payloadBytes));
}

Error assignToVector(DataBlock*& destination, const MCVal* value, const std::string* text, bool keepType) {
    if (text) {
        int type = destination ? static_cast<int>(destination->elementType) : static_cast<int>(kElemInt16);
        if (!resizeBlock(&destination, type, static_cast<int64_t>(text->size()), kResizeOverwrite))
            return kVectorNotCreated;
        for (size_t i = 0; i < text->size(); ++i)
            storeElement(destination, static_cast<int64_t>(i), static_cast<unsigned char>((*text)[i]));
        return kOk;
    }
    if (!value->isBlock()) {
        if (!destination) return kVectorNotCreated;
        fillBlock(destination, value->re);
        return kOk;
    }
    const DataBlock* source = value->pData;
    if (source == destination) return kOk;
    int type = destination && keepType ? destination->elementType : source->elementType;
    if (destination && (destination->blockFlags & kBlockFixed)) {
        int64_t n = std::min<int64_t>(destination->count, source->count);
        for (int64_t i = 0; i < n; ++i) storeElement(destination, i, readElement(source, i));
        return kOk;
    }
    if (!resizeBlock(&destination, type, source->count, kResizeOverwrite)) return kVectorNotCreated;
    if (storageClass(type) == storageClass(source->elementType) &&
        elementSize(type) == elementSize(source->elementType)) {
        std::memcpy(destination->bytes(), source->bytes(), static_cast<size_t>(source->payloadBytes));
        if (type == source->elementType) {
            destination->shapeFlags = source->shapeFlags;
            destination->reserved = source->reserved;
        }
    } else {
        // Converted a run at a time, with one choice of types per run.
        constexpr int64_t kRun = 1024;
        double run[kRun];
        for (int64_t from = 0; from < source->count; from += kRun) {
            int64_t count = std::min(kRun, source->count - from);
            readElements(source, from, count, run);
            storeElements(destination, from, count, run);
        }
    }
    destination->xSize = source->xSize;
    destination->ySize = source->ySize;
    return kOk;
}

Error setComplex(Variable& var, double re, double im) {
    if (var.valueKind() == kKindBlock && var.block && var.block->elementType == kElemComplexScalar &&
        var.block->count == 2) {
        var.block->doubles()[0] = re;
        var.block->doubles()[1] = im;
        return kOk;
    }
    DataBlock* block = allocateBlock(kElemComplexScalar, 2);
    if (!block) return kOutOfMemory;
    block->xSize = 1;
    block->ySize = 1;
    block->doubles()[0] = re;
    block->doubles()[1] = im;
    var.clearValue();
    var.setValueKind(kKindBlock);
    var.block = block;
    return kOk;
}

Error replaceValue(Variable& var, MCVal& value) {
    if (value.isReal()) {
        var.clearValue();
        var.setValueKind(kKindNumber);
        var.number = value.re;
        return kOk;
    }
    if (value.isComplex()) return setComplex(var, value.re, value.im);
    if (value.isBlock()) {
        DataBlock* copy = value.releaseBlock();  // the temporary itself, or a copy of a borrowed block
        if (!copy) return kOutOfMemory;
        copy->blockFlags &= ~kBlockFixed;  // as any copy: a variable's own block may be resized
        var.clearValue();
        var.setValueKind(kKindBlock);
        var.block = copy;
        return kOk;
    }
    return kWrongDataType;
}

}  // namespace tvx::interp
