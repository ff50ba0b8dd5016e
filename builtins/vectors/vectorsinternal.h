// Shared pieces of the vector commands: typed access to the elements of a
// block, resizing with a memory check, the dimension rules, and the handlers.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#include "builtins/algorithms/workbuffer.h"
#include "builtins/arrays/blockutil.h"
#include "interp/api.h"

namespace tvx::builtins::vectors {

using interp::CallArgs;
using interp::DataBlock;
using interp::Interpreter;
using interp::MCVal;

using arrays::guarded;

// ---- Elements by their C++ type

// A double stored into an element: rounded half away from zero and clamped to
// the type's range for integers (NaN stores 0), narrowed for floats; the same
// rule as storing one element of a block.
template <typename T>
inline T toElement(double v) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(v);
    } else if constexpr (std::is_same_v<T, int64_t>) {
        return interp::toInt64Saturated(v);
    } else {
        if (std::isnan(v)) return 0;
        if (v <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
        if (v >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
        return static_cast<T>(interp::roundHalfAway(v));
    }
}

template <typename T>
struct ElementTag {
    using Type = T;
};

// Calls f(ElementTag<T>{}) with the C++ type of the block's elements (double
// for the three double types); returns false for a type without elements.
template <typename F>
bool withElementType(int elementType, F&& f) {
    switch (elementType) {
    case interp::kElemUInt8: f(ElementTag<uint8_t>{}); return true;
    case interp::kElemInt8: f(ElementTag<int8_t>{}); return true;
    case interp::kElemInt16: f(ElementTag<int16_t>{}); return true;
    case interp::kElemUInt16: f(ElementTag<uint16_t>{}); return true;
    case interp::kElemInt32: f(ElementTag<int32_t>{}); return true;
    case interp::kElemUInt32: f(ElementTag<uint32_t>{}); return true;
    case interp::kElemFloat: f(ElementTag<float>{}); return true;
    case interp::kElemInt64: f(ElementTag<int64_t>{}); return true;
    case interp::kElemDouble:
    case interp::kElemRealMatrix:
    case interp::kElemComplexMatrix:
    case interp::kElemComplexScalar: f(ElementTag<double>{}); return true;
    default: return false;
    }
}

template <typename T>
inline T* elementsAs(DataBlock* block) {
    return reinterpret_cast<T*>(block->bytes());
}
template <typename T>
inline const T* elementsAs(const DataBlock* block) {
    return reinterpret_cast<const T*>(block->bytes());
}

// ---- Blocks

// Resizes *block (created when null) with a memory check: 13 when the system
// lacks the memory, 37 when the block cannot be made or grown (a fixed block,
// a size beyond what a block can describe).
interp::Error resize(DataBlock** block, int elementType, int64_t count, unsigned options);

// A new block of the type (zero-filled), with the memory check.
interp::Error create(DataBlock** block, int elementType, int64_t count);

// The shape of a plain vector: count by 1.
inline void setRowShape(DataBlock* block) {
    block->xSize = block->count;
    block->ySize = 1;
}

// After a command changed the count of a real or complex matrix: a column
// vector keeps its shape, anything else becomes a row vector (complex blocks
// count two doubles per element). Other element types are left alone.
void repairDimensions(DataBlock* block);

// The 16-bit fast path of several commands: 16-bit integers in a block of
// less than 64 KiB, computed in 16.16 fixed point.
inline bool isFixedPointVector(const DataBlock* block) {
    return block->elementType == interp::kElemInt16 && (block->capacityBytes & ~1) < 65536;
}

// An empty destination (no block, or no elements) takes the source's type.
inline bool isEmpty(const DataBlock* block) { return !block || block->count == 0; }

// A copy of the source when it is the destination itself, so that a command
// can read it while it rewrites the destination.
class SourceCopy {
public:
    SourceCopy() = default;
    SourceCopy(const SourceCopy&) = delete;
    SourceCopy& operator=(const SourceCopy&) = delete;
    ~SourceCopy() { interp::freeBlock(copy_); }
    // False when the copy cannot be made.
    bool bind(const DataBlock* source, const DataBlock* destination) {
        source_ = source;
        if (source != destination) return true;
        copy_ = interp::copyBlock(source);
        source_ = copy_;
        return copy_ != nullptr;
    }
    const DataBlock* get() const { return source_; }

private:
    const DataBlock* source_ = nullptr;
    DataBlock* copy_ = nullptr;
};

// Every stored number of a block as a double, in storage order (a complex
// block gives its real and imaginary parts as separate values): the block's
// own storage for the double types, else a converted copy.
class DoubleValues {
public:
    bool bind(const DataBlock* block);
    const double* data() const { return data_; }

private:
    const double* data_ = nullptr;
    arrays::Scratch<double> copy_;
};

// Stores value into element i of a block by the element type's rule (i within count).
inline void store(DataBlock* block, int64_t i, double value) { interp::storeElement(block, i, value); }

// ---- Registration of the command groups

void registerArithmeticStatements(Interpreter& ip);
void registerElementCommands(Interpreter& ip);
void registerVectorArithmetic(Interpreter& ip);
void registerRearrangeCommands(Interpreter& ip);
void registerTextConversions(Interpreter& ip);
void registerSortAndFill(Interpreter& ip);

}  // namespace tvx::builtins::vectors
