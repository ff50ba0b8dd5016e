// Setting elements, ranges and whole vectors: SetEl, SetRange, VectInit,
// VectSet, VectSetLen, VectSetType, Limit, SetBits, SetSBits, SetComplex.
#include <algorithm>
#include <string>

#include "builtins/vectors/vectorsinternal.h"
#include "interp/api.h"

namespace tvx::builtins::vectors {

using namespace interp;

namespace {

constexpr size_t kMaxString = 4095;

// The low byte of a value's integer round (the character it stands for).
unsigned char characterOf(double value) { return static_cast<unsigned char>(toUInt32Wrapped(value) & 0xFF); }

// Writes value into element i of a block (a complex block gets the pair),
// growing the block as needed (with the memory check).
Error setElement(DataBlock** block, int64_t i, const MCVal& value) {
    if (i < 0) return kNegativeIndex;
    const bool complex = (*block)->elementType == kElemComplexMatrix;
    const int64_t end = complex ? 2 * i + 2 : i + 1;
    if (end > (*block)->count) {
        const bool plain = (*block)->ySize <= 1;
        Error err = resize(block, 0, end, kResizeKeep | kResizeZeroFill);
        if (err) return err == kOutOfMemory ? err : kVectorNotCreated;
        if (plain) setRowShape(*block);
    }
    if (complex) {
        (*block)->doubles()[2 * i] = value.re;
        (*block)->doubles()[2 * i + 1] = value.isComplex() ? value.im : 0;
        return kOk;
    }
    storeElement(*block, i, value.re);
    return kOk;
}

// SetEl v, i, value: an element of a vector or a character of a string.
Error setEl(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        ArgSlot& target = args.slot(0);
        const int64_t i = args.l(1);
        if (!args.value(2)) return kNotEnoughParameters;
        const MCVal& value = *args.value(2);
        if (target.form == kFormBlock && target.var.block && *target.var.block) {
            if (value.isBlock()) return kWrongDataType;
            return setElement(target.var.block, i, value);
        }
        if (target.form == kFormString && target.var.text) {
            if (i < 0) return kNegativeIndex;
            std::string& text = *target.var.text;
            unsigned char c = characterOf(value.re);
            if (c == 0) {
                // A NUL ends the string there.
                if (static_cast<size_t>(i) < text.size()) text.resize(static_cast<size_t>(i));
                return kOk;
            }
            if (static_cast<size_t>(i) >= kMaxString) return kStringOverflow;
            if (static_cast<size_t>(i) >= text.size()) text.resize(static_cast<size_t>(i) + 1, ' ');
            text[static_cast<size_t>(i)] = static_cast<char>(c);
            return kOk;
        }
        return kWrongDataType;
    });
}

// SetRange v, start, count, value
Error setRange(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        ArgSlot& target = args.slot(0);
        const int64_t start = args.l(1), count = args.l(2);
        if (!args.value(3)) return kNotEnoughParameters;
        const MCVal& value = *args.value(3);
        if (start < 0) return kNegativeIndex;
        if (target.form == kFormBlock && target.var.block && *target.var.block) {
            if (value.isBlock()) return kWrongDataType;
            if (count < 1) return kOk;
            DataBlock** block = target.var.block;
            const bool complex = (*block)->elementType == kElemComplexMatrix;
            const int64_t width = complex ? 2 : 1;
            const int64_t end = (start + count) * width;
            if (end > (*block)->count) {
                const bool plain = (*block)->ySize <= 1;
                Error err = resize(block, 0, end, kResizeKeep | kResizeZeroFill);
                if (err) return err == kOutOfMemory ? err : kVectorNotCreated;
                if (plain) setRowShape(*block);
            }
            DataBlock* b = *block;
            if (complex) {
                double* d = b->doubles();
                for (int64_t i = start; i < start + count; ++i) {
                    d[2 * i] = value.re;
                    d[2 * i + 1] = value.isComplex() ? value.im : 0;
                }
            } else {
                withElementType(b->elementType, [&](auto tag) {
                    using T = typename decltype(tag)::Type;
                    std::fill(elementsAs<T>(b) + start, elementsAs<T>(b) + start + count,
                              toElement<T>(value.re));
                });
            }
            return kOk;
        }
        if (target.form == kFormString && target.var.text) {
            if (start >= 256 || count < 1) return kOk;
            std::string& text = *target.var.text;
            unsigned char c = characterOf(value.re);
            if (c == 0) {
                if (static_cast<size_t>(start) < text.size()) text.resize(static_cast<size_t>(start));
                return kOk;
            }
            const auto end = static_cast<size_t>(start + count);
            if (end > kMaxString) return kStringOverflow;
            if (text.size() < end) text.resize(end, ' ');
            std::fill(text.begin() + start, text.begin() + static_cast<std::ptrdiff_t>(end),
                      static_cast<char>(c));
            return kOk;
        }
        return kWrongDataType;
    });
}

// The shape bits a new matrix gets from the current settings.
uint16_t newMatrixShape(const Interpreter& ip) {
    uint16_t shape = kShapeMatrix;
    if (ip.matrix().base == 1) shape |= arrays::kShapeBaseOne;
    if (ip.matrix().rowFirst) shape |= arrays::kShapeRowFirst;
    return shape;
}

// Fills every element: complex blocks with (re, im) pairs, the others by the
// fill rule of vectors.
void fillWith(DataBlock* block, const MCVal& value) {
    if (block->elementType == kElemComplexMatrix ||
        (block->elementType == kElemComplexScalar && block->count == 2)) {
        double* d = block->doubles();
        for (int64_t i = 0; i + 1 < block->count; i += 2) {
            d[i] = value.re;
            d[i + 1] = value.isComplex() ? value.im : 0;
        }
        return;
    }
    fillBlock(block, value.re);
}

// VectInit v, n [, value, type]
Error vectInit(Interpreter& ip, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        DataBlock** block = args.var(0).block;
        const int64_t n = args.l(1);
        if (n < 0) return kVectorNotCreated;
        int type = args.present(3) ? args.i(3) : 0;
        if (type != 0 && elementSize(type) == 0) type = kElemInt16;
        if (type == 0) type = *block ? int{(*block)->elementType} : int{kElemInt16};
        const int64_t count = type == kElemComplexMatrix ? 2 * n : n;
        Error err = resize(block, type, count, 0);
        if (err) return err;
        DataBlock* b = *block;
        b->xSize = static_cast<int32_t>(n);
        b->ySize = 1;
        b->shapeFlags = type == kElemRealMatrix || type == kElemComplexMatrix ? newMatrixShape(ip) : 0;
        MCVal value;
        if (args.present(2) && args.value(2) && args.value(2)->isComplex())
            value.setComplex(args.value(2)->re, args.value(2)->im);
        else
            value.setReal(args.number(2));
        fillWith(b, value);
        return kOk;
    });
}

// VectSet v, value: a number fills, a string gives one element per character,
// a block is copied (the destination takes its type unless the line says keep).
Error vectSet(Interpreter& ip, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        DataBlock** block = args.var(0).block;
        const ArgSlot& source = args.slot(1);
        if (source.form == kFormString) {
            std::string text(source.text);
            return assignToVector(*block, nullptr, &text, false);
        }
        if (!source.value) return kNotEnoughParameters;
        const MCVal& value = *source.value;
        if (!value.isBlock()) {
            fillWith(*block, value);
            return kOk;
        }
        if (value.pData && value.pData->count > 0 &&
            !memoryAllows(static_cast<int64_t>(value.pData->payloadBytes) * 2))
            return kOutOfMemory;
        return assignToVector(*block, &value, nullptr, ip.lineMayChangeType());
    });
}

// VectSetLen v, n: shortened in place or grown; matrices keep whole rows.
Error vectSetLen(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        DataBlock** block = args.var(0).block;
        const int64_t n = args.l(1);
        if (n < 0) return kVectorNotCreated;
        DataBlock* b = *block;
        const int type = b->elementType;
        const bool matrix = type == kElemRealMatrix || type == kElemComplexMatrix;
        const int64_t width = type == kElemComplexMatrix ? 2 : 1;
        const bool plain = b->ySize <= 1;
        int32_t oldX = b->xSize;
        Error err = resize(block, 0, n * width, kResizeKeep | kResizeZeroFill);
        if (err) return err;
        b = *block;
        if (!matrix) {
            if (plain) setRowShape(b);
            return kOk;
        }
        if (n == 0) {
            b->xSize = 0;
            b->ySize = 1;
            return kOk;
        }
        // Whole rows of the old width, as many as the block can hold.
        int64_t x = oldX > 0 ? std::min<int64_t>(oldX, n) : n;
        int64_t y = (n + x - 1) / x;
        const int64_t room = ((b->capacityBytes & ~1) - kDataBlockHeaderBytes) / (8 * width);
        while (y > 1 && x * y > room) --y;
        if ((err = resize(block, 0, x * y * width, kResizeKeep | kResizeZeroFill))) return err;
        b = *block;
        b->xSize = static_cast<int32_t>(x);
        b->ySize = static_cast<int32_t>(y);
        return kOk;
    });
}

// VectSetType v, type [, x, y]: the same bytes read as another element type.
Error vectSetType(Interpreter&, CallArgs& args, MCVal&) {
    DataBlock* b = *args.var(0).block;
    int type = args.l(1);
    if (type < 1 || type > 32) return kBadParameters;
    if (elementSize(type) == 0) type = kElemInt16;  // a type without a size holds 16-bit integers
    if (b->blockFlags & kBlockFixed && elementSize(type) != elementSize(b->elementType))
        return kVectorNotCreated;
    const int size = elementSize(type);
    b->elementType = static_cast<uint16_t>(type);
    b->count = b->payloadBytes / size;
    b->payloadBytes = b->count * size;
    b->shapeFlags &= static_cast<uint16_t>(~(kShapeMatrix | arrays::kShapeBaseOne | arrays::kShapeRowFirst));
    if (type != kElemRealMatrix && type != kElemComplexMatrix) {
        setRowShape(b);
        return kOk;
    }
    const int64_t width = type == kElemComplexMatrix ? 2 : 1;
    int64_t x = args.integer(2), y = args.integer(3);
    const bool ySizeGiven = y != 0;
    if (x == 0 && y == 0) {
        x = b->count / width;
        y = 1;
    }
    if (y == 0) y = 1;
    if (x < 0 || y < 0) return kMatrixSizes;
    if (b->count < x * y * width) {
        if (ySizeGiven) return kMatrixSizes;
        x = 0;
    }
    b->xSize = static_cast<int32_t>(x);
    b->ySize = static_cast<int32_t>(y);
    return kOk;
}

// Limit v, low, high: a number is limited to high, then raised to low (low
// wins when crossed); vector elements below low become low, else those above
// high become high.
Error limit(Interpreter&, CallArgs& args, MCVal&) {
    ArgSlot& target = args.slot(0);
    double low = args.number(1), high = args.number(2);
    if (target.form == kFormBlock && target.var.block && *target.var.block) {
        DataBlock* b = *target.var.block;
        if (isFixedPointVector(b)) {
            low = static_cast<double>(toInt64Saturated(low));
            high = static_cast<double>(toInt64Saturated(high));
        }
        withElementType(b->elementType, [&](auto tag) {
            using T = typename decltype(tag)::Type;
            T* e = elementsAs<T>(b);
            const T lowElement = toElement<T>(low), highElement = toElement<T>(high);
            for (int64_t i = 0; i < b->count; ++i) {
                auto v = static_cast<double>(e[i]);
                if (v < low)
                    e[i] = lowElement;
                else if (v > high)
                    e[i] = highElement;
            }
        });
        return kOk;
    }
    if (target.form == kFormNumber && target.var.number) {
        double& v = *target.var.number;
        double y = v > high ? high : v;
        v = y >= low ? y : low;
        return kOk;
    }
    return kWrongDataType;
}

// SetBits v, start, count, value (SetSBits: the result read as signed).
Error setBits(Interpreter&, CallArgs& args, MCVal&, bool signedResult) {
    double& v = *args.var(0).number;
    const int32_t start = args.i(1);
    int32_t n = args.i(2);
    if (start < 0) return kBadParameters;
    if (start >= 32) return kOk;
    if (n < 1) n = 1;
    const uint32_t mask = n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1;
    const auto value = static_cast<uint32_t>(args.l(3));
    uint32_t word = toUInt32Wrapped(v);
    word = (word & ~(mask << start)) | ((value & mask) << start);
    v = signedResult ? static_cast<double>(static_cast<int32_t>(word)) : static_cast<double>(word);
    return kOk;
}
Error setBitsUnsigned(Interpreter& ip, CallArgs& args, MCVal& r) { return setBits(ip, args, r, false); }
Error setBitsSigned(Interpreter& ip, CallArgs& args, MCVal& r) { return setBits(ip, args, r, true); }

// SetComplex v, re, im: v becomes a complex scalar variable.
Error setComplexStatement(Interpreter&, CallArgs& args, MCVal&) {
    const VarSlot& slot = args.var(0).slot;
    if (!slot) return kUndefinedVariable;
    return setComplex(slot.var(), args.number(1), args.number(2)) ? kVectorNotCreated : kOk;
}

}  // namespace

constexpr CommandRow kElementCommandsRows[] = {
    {cmd::SetEl, setEl},
    {cmd::SetRange, setRange},
    {cmd::VectInit, vectInit},
    {cmd::VectSet, vectSet},
    {cmd::VectSetLen, vectSetLen},
    {cmd::VectSetType, vectSetType},
    {cmd::Limit, limit},
    {cmd::SetBits, setBitsUnsigned},
    {cmd::SetSBits, setBitsSigned},
    {cmd::SetComplex, setComplexStatement},
};

void registerElementCommands(Interpreter& ip) { ip.install({"vectors/elements", kElementCommandsRows}); }

}  // namespace tvx::builtins::vectors
