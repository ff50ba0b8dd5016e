// The matrix constructors (Matrix, Array, Vector), index vectors (Index2D ..
// Index4D), element access (El, VectFind), the matrix settings commands, and
// the scalar cases of the matrix functions.
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "builtins/arrays/engine.h"
#include "builtins/numeric/random.h"
#include "interp/api.h"

namespace tvx::builtins::arrays {

using namespace interp;

namespace {

// The shape bits a new matrix gets from the current settings.
uint16_t newMatrixShape(const Interpreter& ip) {
    uint16_t shape = kShapeMatrix;
    if (ip.matrix().base == 1) shape |= kShapeBaseOne;
    if (ip.matrix().rowFirst) shape |= kShapeRowFirst;
    return shape;
}

int64_t sizeArgument(const CallArgs& args, int index, int64_t missing) {
    return args.present(index) ? toInt64Saturated(args.number(index)) : missing;
}

// ---- Matrix and Array

enum FillMode {
    kFillConstant,
    kFillDiagonal,
    kFillRampX,
    kFillRampY,
    kFillRandom,
    kFillAntiDiagonal,
    kFillRampXDown,
    kFillRampYDown
};
constexpr int kOptionCentre = 0x10;
constexpr int kOptionComplex = 0x20;
constexpr int kOptionRandom = 0x40;

Error buildMatrix(Interpreter& ip, CallArgs& args, MCVal& result, bool matrix) {
    int64_t nx = std::max<int64_t>(0, sizeArgument(args, 0, 0));
    int64_t ny = std::max<int64_t>(1, sizeArgument(args, 1, 1));
    Complex v{0, 0};
    bool complexValue = false;
    if (args.present(2)) {
        const ArgSlot& slot = args.slot(2);
        if (slot.form != kFormNumber || !slot.value) return kWrongDataType;
        v = {slot.value->re, slot.value->isComplex() ? slot.value->im : 0};
        complexValue = slot.value->isComplex();
    }
    int32_t mode = args.integer(3);
    int fill = mode & 0x0F;
    bool centre = mode & kOptionCentre;
    bool random = (mode & kOptionRandom) || fill == kFillRandom;
    if (fill > kFillRampYDown) return kBadParameters;
    bool ramp = fill == kFillRampX || fill == kFillRampY || fill == kFillRampXDown || fill == kFillRampYDown;
    bool complex = complexValue || (mode & kOptionComplex);
    if (complex && !complexValue) v.im = ramp ? v.re : 0;

    if (nx > INT32_MAX || ny > INT32_MAX) return kVectorNotCreated;
    int64_t elements = nx * ny;
    DataBlock* block = nullptr;
    Error err =
        allocate(complex ? kElemComplexMatrix : kElemRealMatrix, complex ? 2 * elements : elements, block);
    if (err) return err;
    block->xSize = static_cast<int32_t>(nx);
    block->ySize = static_cast<int32_t>(ny);
    block->shapeFlags = matrix ? newMatrixShape(ip) : 0;
    double* d = block->doubles();
    auto put = [&](int64_t x, int64_t y, double re, double im) {
        int64_t at = x + y * nx;
        if (complex) {
            d[2 * at] = re;
            d[2 * at + 1] = im;
        } else {
            d[at] = re;
        }
    };

    if (random) {
        // Every double from the shared generator; the rounded value is the
        // generator mode, the centre option asks for signed values.
        fillRandom(ip, toInt32Saturated(v.re), block->elementType, block->count, d, centre);
    } else if (fill == kFillConstant) {
        if (v.re != 0 || v.im != 0)
            for (int64_t at = 0; at < elements; ++at) put(at, 0, v.re, v.im);
    } else if (fill == kFillDiagonal || fill == kFillAntiDiagonal) {
        for (int64_t i = 0; i < std::min(nx, ny); ++i)
            put(i, fill == kFillDiagonal ? i : ny - 1 - i, v.re, v.im);
    } else {
        // Ramps: coordinate times step, a zero step counting as 1; centred,
        // the ramp is shifted by -(size - 1) * step / 2.
        double stepRe = v.re == 0 ? 1 : v.re;
        double stepIm = v.im == 0 ? 1 : v.im;
        auto term = [&](int64_t coordinate, int64_t size, double step) {
            return static_cast<double>(coordinate) * step +
                   (centre ? -static_cast<double>(size - 1) * step / 2 : 0);
        };
        for (int64_t y = 0; y < ny; ++y) {
            for (int64_t x = 0; x < nx; ++x) {
                double re = 0, im = 0;
                switch (fill) {
                case kFillRampX:
                    re = term(x, nx, stepRe);
                    im = term(y, ny, stepIm);
                    break;
                case kFillRampY:
                    re = term(y, ny, stepRe);
                    im = term(x, nx, stepIm);
                    break;
                case kFillRampXDown:
                    re = term(x, nx, stepRe);
                    im = term(ny - 1 - y, ny, stepIm);
                    break;
                default:  // kFillRampYDown
                    re = term(ny - 1 - y, ny, stepRe);
                    im = term(x, nx, stepIm);
                    break;
                }
                put(x, y, re, im);
            }
        }
    }
    setBlockResult(result, block);
    return kOk;
}

Error matrixCommand(Interpreter& ip, CallArgs& args, MCVal& result) {
    return guarded([&] { return buildMatrix(ip, args, result, true); });
}
Error arrayCommand(Interpreter& ip, CallArgs& args, MCVal& result) {
    return guarded([&] { return buildMatrix(ip, args, result, false); });
}

// Vector(n, type, value): n elements of the type, each set to value.
Error vectorCommand(Interpreter&, CallArgs& args, MCVal& result) {
    int64_t n = sizeArgument(args, 0, 0);
    if (n < 0) return kNegativeParameter;
    int type = args.present(1) ? args.integer(1) : 0;
    if (type == 0 || elementSize(type) == 0) type = kElemInt16;
    double value = args.number(2);
    bool complex = type == kElemComplexMatrix;
    DataBlock* block = nullptr;
    Error err = allocate(type, complex ? 2 * n : n, block);
    if (err) return err;
    block->xSize = static_cast<int32_t>(n);
    block->ySize = 1;
    if (complex) {
        for (int64_t i = 0; i < n; ++i) block->doubles()[2 * i] = value;
    } else {
        fillBlock(block, value);
    }
    setBlockResult(result, block);
    return kOk;
}

// ---- Index2D .. Index4D

// Index vectors: for every combination of the index values (the first index
// varying fastest) the position i1 + n1 * (i2 + n2 * (i3 + ...)). A value that
// rounds below 0 or to the size of its dimension or beyond is left out; a
// missing size sets no upper limit, which only the last dimension may lack.
Error indexVector(CallArgs& args, int dimensions, MCVal& result) {
    std::vector<std::vector<int64_t>> values(static_cast<size_t>(dimensions));
    std::vector<int64_t> sizes(static_cast<size_t>(dimensions), -1);  // -1: no limit
    for (int d = 0; d < dimensions; ++d) {
        int s = dimensions + d;
        if (!args.present(s)) continue;
        const MCVal* v = args.value(s);
        if (v && v->isBlock()) {
            if (d == 0) {
                // A block as first size gives its x size, and its y size to a
                // second size that is missing or below 1.
                sizes[0] = v->pData->xSize;
                if (dimensions > 1 && (!args.present(s + 1) || args.number(s + 1) < 0.5))
                    sizes[1] = v->pData->ySize;
                continue;
            }
            return kWrongDataType;
        }
        if (d == 1 && sizes[1] >= 0) continue;  // taken from the block
        int64_t size = toInt64Saturated(args.number(s));
        if (size < 0) return kNegativeParameter;
        sizes[static_cast<size_t>(d)] = size;
    }
    int64_t combinations = 1;
    for (int d = 0; d < dimensions; ++d) {
        std::vector<int64_t>& list = values[static_cast<size_t>(d)];
        if (!args.present(d)) {
            list.push_back(0);
            continue;
        }
        if (d > 0 && sizes[static_cast<size_t>(d - 1)] < 0) return kNotEnoughParameters;  // no stride
        const MCVal* v = args.value(d);
        int64_t limit = sizes[static_cast<size_t>(d)];
        auto consider = [&](double value) {
            if (!(value > -0.5)) return;  // also NaN
            int64_t k = toInt64Saturated(value);
            if (limit >= 0 && k >= limit) return;
            list.push_back(k);
        };
        if (v && v->isBlock()) {
            if (isShortBlock(v->pData)) return kInternalError;
            RealView view;
            if (!view.bind(v->pData)) return kOutOfMemory;
            for (int64_t i = 0; i < elementsOf(v->pData); ++i) consider(view.data()[i]);
        } else {
            consider(args.number(d));
        }
        combinations *= static_cast<int64_t>(list.size());
        if (combinations > INT32_MAX) return kVectorNotCreated;
    }
    DataBlock* block = nullptr;
    Error err = allocate(kElemInt32, combinations, block);
    if (err) return err;
    block->xSize = static_cast<int32_t>(combinations);
    block->ySize = 1;
    // Odometer over the combinations, the first index fastest. A position the
    // 32-bit elements cannot hold is an integer overflow (811), not a wrapped or
    // clamped number.
    std::vector<size_t> at(static_cast<size_t>(dimensions), 0);
    for (int64_t c = 0; c < combinations; ++c) {
        int64_t position =
            values[static_cast<size_t>(dimensions - 1)][at[static_cast<size_t>(dimensions - 1)]];
        bool overflow = false;
        for (int d = dimensions - 2; d >= 0; --d) {
            overflow = overflow || __builtin_mul_overflow(position, sizes[static_cast<size_t>(d)], &position);
            overflow = overflow ||
                       __builtin_add_overflow(position, values[static_cast<size_t>(d)][at[static_cast<size_t>(d)]],
                                              &position);
        }
        if (overflow || position > INT32_MAX) {
            freeBlock(block);
            return kIntegerOverflow;
        }
        storeElement(block, c, static_cast<double>(position));
        for (int d = 0; d < dimensions; ++d) {
            if (++at[static_cast<size_t>(d)] < values[static_cast<size_t>(d)].size()) break;
            at[static_cast<size_t>(d)] = 0;
        }
    }
    setBlockResult(result, block);
    return kOk;
}

Error index2D(Interpreter&, CallArgs& args, MCVal& result) {
    return guarded([&] { return indexVector(args, 2, result); });
}
Error index3D(Interpreter&, CallArgs& args, MCVal& result) {
    return guarded([&] { return indexVector(args, 3, result); });
}
Error index4D(Interpreter&, CallArgs& args, MCVal& result) {
    return guarded([&] { return indexVector(args, 4, result); });
}

// ---- El and VectFind

// El(v, i): element i of a block (0 outside its count, as every element read), or the
// character code at i of a string (0 beyond its end).
Error elFunction(Interpreter&, CallArgs& args, MCVal& result) {
    const ArgSlot& slot = args.slot(0);
    int64_t i = args.integer(1);
    if (slot.form == kFormString && slot.var.text) {
        const std::string& text = *slot.var.text;
        result.setReal(i >= 0 && i < static_cast<int64_t>(text.size())
                           ? static_cast<unsigned char>(text[static_cast<size_t>(i)])
                           : 0);
        return kOk;
    }
    if (slot.form != kFormBlock || !slot.var.block || !*slot.var.block) return kWrongDataType;
    const DataBlock* block = *slot.var.block;
    if (block->isText()) {
        size_t length =
            strnlen(reinterpret_cast<const char*>(block->bytes()), static_cast<size_t>(block->payloadBytes));
        result.setReal(i >= 0 && i < static_cast<int64_t>(length) ? block->bytes()[i] : 0);
        return kOk;
    }
    result.setReal(readElement(block, i));
    return kOk;
}

// The bits of element i that VectFind compares: integers of up to 4 bytes as
// stored, wider integers and floating elements rounded to an integer first.
uint32_t comparedBits(const DataBlock* block, int64_t i) {
    const unsigned char* p = block->bytes();
    switch (block->elementType) {
    case kElemUInt8:
    case kElemInt8: return p[i];
    case kElemInt16:
    case kElemUInt16: {
        uint16_t v;
        std::memcpy(&v, p + 2 * i, 2);
        return v;
    }
    case kElemInt32:
    case kElemUInt32: {
        uint32_t v;
        std::memcpy(&v, p + 4 * i, 4);
        return v;
    }
    default: return static_cast<uint32_t>(static_cast<uint64_t>(toInt64Saturated(readElement(block, i))));
    }
}

Error vectFindFunction(Interpreter&, CallArgs& args, MCVal& result) {
    result.setReal(-1);
    const DataBlock* block = args.var(0).block ? *args.var(0).block : nullptr;
    if (!block) return kOk;
    uint32_t value = static_cast<uint32_t>(args.integer(1));
    uint32_t mask = static_cast<uint32_t>(args.integer(2));
    int64_t start = args.integer(3);
    int64_t count = args.integer(4);
    if (start < 0) return kOk;
    int size = elementSize(block->elementType);
    if (mask == 0) mask = size == 1 ? 0xFFu : size == 2 ? 0xFFFFu : 0xFFFFFFFFu;
    int64_t n = block->count - start;
    if (n < 1) return kOk;
    if (count >= 1 && count < n) n = count;
    // Compared under the mask on both sides, so that a negative value finds
    // the narrow element with the same low bits.
    for (int64_t i = start; i < start + n; ++i) {
        if ((comparedBits(block, i) & mask) == (value & mask)) {
            result.setReal(static_cast<double>(i));
            return kOk;
        }
    }
    return kOk;
}

// ---- Settings

Error setMatrixBase(Interpreter& ip, CallArgs& args, MCVal&) {
    int32_t base = args.integer(0);
    if (base != 0 && base != 1) return kBadParameters;
    ip.matrix().base = base;
    std::string_view order = args.text(1);
    if (!order.empty()) {
        char c = static_cast<char>(order[0] | 0x20);
        if (c == 'r' || c == 'y')
            ip.matrix().rowFirst = true;
        else if (c == 'c' || c == 'x')
            ip.matrix().rowFirst = false;
    }
    // !MatrixBase[1] reads the order mode: 1 for row-first.
    ip.matrix().base2 = ip.matrix().rowFirst ? 1 : 0;
    return kOk;
}

Error getMatrixBase(Interpreter& ip, CallArgs& args, MCVal&) {
    if (args.var(0).number) *args.var(0).number = ip.matrix().base;
    if (args.present(1) && args.var(1).text) *args.var(1).text = ip.matrix().rowFirst ? "row,col" : "x,y";
    return kOk;
}

Error matrixInfo(Interpreter&, CallArgs& args, MCVal&) {
    const DataBlock* block = args.var(0).block ? *args.var(0).block : nullptr;
    if (!block) return kWrongDataType;
    if (args.var(1).number) *args.var(1).number = block->xSize;
    if (args.var(2).number) *args.var(2).number = block->ySize;
    if (args.present(3) && args.var(3).number)
        *args.var(3).number = isComplexBlock(block) ? 16 : elementSize(block->elementType);
    return kOk;
}

// ---- Scalar cases of the matrix functions (blocks go to the dispatcher)

void keepScalar(const CallArgs& args, MCVal& result) {
    const MCVal* v = args.value(0);
    if (v && v->isComplex())
        result.setComplex(v->re, v->im);
    else
        result.setReal(args.number(0));
}

Error scalarAsItself(Interpreter&, CallArgs& args, MCVal& result) {
    if (args.form(0) == kFormString) return kWrongDataType;
    keepScalar(args, result);
    return kOk;
}

// Det needs a square data block: a number is the wrong kind of argument.
Error detOfScalar(Interpreter&, CallArgs&, MCVal&) { return kWrongDataType; }

Error scalarDimension(Interpreter&, CallArgs& args, MCVal& result) {
    if (args.form(0) == kFormString) return kWrongDataType;
    result.setReal(1);
    return kOk;
}

Error scalarNotABlock(Interpreter&, CallArgs&, MCVal&) { return kWrongDataType; }

// Find of a scalar: the scalar as a 1 by 1 matrix.
Error scalarFind(Interpreter& ip, CallArgs& args, MCVal& result) {
    return guarded([&]() -> int {
        MCVal* v = args.value(0);
        if (!v || !v->isScalar()) return kWrongDataType;
        bool complex = v->isComplex();
        DataBlock* block = nullptr;
        Error err = allocate(complex ? kElemComplexMatrix : kElemRealMatrix, complex ? 2 : 1, block);
        if (err) return err;
        block->doubles()[0] = v->re;
        if (complex) block->doubles()[1] = v->im;
        block->xSize = block->ySize = 1;
        block->shapeFlags = kShapeMatrix;
        setBlockResult(*v, block);
        return matrixFunction(ip, cmd::Find, args, result);
    });
}

}  // namespace

constexpr CommandRow kArrayCommandsRows[] = {
    {cmd::Matrix, matrixCommand},
    {cmd::Array, arrayCommand},
    {cmd::Vector, vectorCommand},
    {cmd::Index2D, index2D},
    {cmd::Index3D, index3D},
    {cmd::Index4D, index4D},
    {cmd::El, elFunction},
    {cmd::VectFind, vectFindFunction},
    {cmd::SetMatrixBase, setMatrixBase},
    {cmd::GetMatrixBase, getMatrixBase},
    {cmd::MatrixInfo, matrixInfo},
    {cmd::Det, detOfScalar},
    {cmd::Transp, scalarAsItself},
    {cmd::CumSum, scalarAsItself},
    {cmd::CumProd, scalarAsItself},
    {cmd::MatrixRows, scalarDimension},
    {cmd::MatrixCols, scalarDimension},
    {cmd::Reshape, scalarNotABlock},
    {cmd::Find, scalarFind},
};

void registerArrayCommands(Interpreter& ip) { ip.install({"arrays/commands", kArrayCommandsRows}); }

}  // namespace tvx::builtins::arrays
