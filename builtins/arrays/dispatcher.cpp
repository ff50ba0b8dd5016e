// The matrix function dispatcher: built-in functions called with a data block.
// The functions of the vector engine work on the whole block; every other
// scalar function is applied element by element through its own handler.
#include <cmath>
#include <new>
#include <vector>

#include "builtins/arrays/engine.h"
#include "builtins/arrays/sums.h"
#include "interp/api.h"

namespace tvx::builtins::arrays {

using namespace interp;

namespace {

using Wide = long double;

bool isBlockArgument(const CallArgs& args, int index) {
    return args.present(index) && args.slot(index).value && args.slot(index).value->isBlock() &&
           args.slot(index).value->pData;
}
bool isComplexArgument(const CallArgs& args, int index) {
    if (!args.present(index) || !args.slot(index).value) return false;
    const MCVal& v = *args.slot(index).value;
    return v.isComplex() || (v.isBlock() && v.pData && isComplexBlock(v.pData));
}

// The result element type when nothing decides otherwise: real, except that a
// plain vector of doubles stays one.
int realResultType(const DataBlock* block) {
    return block->elementType == kElemDouble ? kElemDouble : kElemRealMatrix;
}

// The result type of a function applied to the block: complex for the
// functions that keep complex values when an argument is complex (the code
// range Power..Transp of the table), and for those whose result is always
// complex (FFT..ComplexRad).
int resultTypeFor(int code, const CallArgs& args, const DataBlock* block) {
    bool anyComplex = false;
    for (int k = 0; k < args.count; ++k) anyComplex = anyComplex || isComplexArgument(args, k);
    if ((code >= cmd::Power && code <= cmd::Transp && anyComplex) ||
        (code >= cmd::FFT && code <= cmd::ComplexRad))
        return kElemComplexMatrix;
    return realResultType(block);
}

// Builds the result block from separate real and imaginary parts.
Error finishParts(const DataBlock* shape, int type, const std::vector<double>& re,
                  const std::vector<double>* im, MCVal& result) {
    int64_t n = static_cast<int64_t>(re.size());
    DataBlock* out = nullptr;
    Error err = allocateLike(shape, type, n, out);
    if (err) return err;
    out->shapeFlags &= static_cast<uint16_t>(~(kShapeLogical | kShapeIndex));
    double* d = out->doubles();
    if (type == kElemComplexMatrix) {
        for (int64_t i = 0; i < n; ++i) {
            d[2 * i] = re[static_cast<size_t>(i)];
            d[2 * i + 1] = im ? (*im)[static_cast<size_t>(i)] : 0;
        }
    } else {
        std::copy(re.begin(), re.end(), d);
    }
    setBlockResult(result, out);
    return kOk;
}

// Reads element i of a block argument as a complex number.
struct Elements {
    const DataBlock* block = nullptr;
    ComplexView view;
    bool bind(const DataBlock* b) {
        block = b;
        return view.bind(b);
    }
    Complex at(int64_t i) const { return {view.data()[2 * i], view.data()[2 * i + 1]}; }
};

Error setSlotNumber(ArgSlot& slot, MCVal& value, Complex z, bool complex) {
    if (complex)
        value.setComplex(z.re, z.im);
    else
        value.setReal(z.re);
    slot.value = &value;
    slot.present = true;
    slot.form = kFormNumber;
    slot.number = z.re;
    // An element out of an integer argument's range fails as the parser would (811).
    if (slot.letter == 'i' || slot.letter == 'b') {
        int16_t v = 0;
        Error err = toInt16Arg(z.re, v);
        slot.i = v;
        slot.l = v;
        return err;
    }
    if (slot.letter == 'l') {
        int32_t v = 0;
        Error err = toInt32Arg(z.re, v);
        slot.l = v;
        return err;
    }
    return kOk;
}

// Applies the scalar case of a function to every element: each element takes
// the place of its block argument (several block arguments are paired element
// by element); the other arguments are passed as given. The first failing
// element stops the loop.
Error applyEachElement(Interpreter& ip, int code, CallArgs& args, int blockIndex, MCVal& result) {
    if (!ip.hasHandler(code)) return kUndefinedFunction;
    const DataBlock* block = args.slot(blockIndex).value->pData;
    int64_t n = elementsOf(block);

    std::vector<Elements> sources(static_cast<size_t>(args.count));
    std::vector<int> blockArgs;
    for (int k = 0; k < args.count; ++k) {
        if (!isBlockArgument(args, k)) continue;
        const DataBlock* b = args.slot(k).value->pData;
        if (isShortBlock(b)) return kInternalError;
        if (elementsOf(b) != n) return kMatrixSizes;
        if (!sources[static_cast<size_t>(k)].bind(b)) return kOutOfMemory;
        blockArgs.push_back(k);
    }

    ArgsLease lease(ip);
    CallArgs& call = *lease;
    call.reset(code);
    call.count = args.count;
    call.valueCount = args.count;
    for (int k = 0; k < args.count; ++k) {
        call.slot(k) = args.slot(k);
        call.slot(k).value = nullptr;
        if (args.slot(k).value && args.slot(k).value->isScalar()) {
            const MCVal& v = *args.slot(k).value;
            Error err =
                setSlotNumber(call.slot(k), call.values[static_cast<size_t>(k)], {v.re, v.im}, v.isComplex());
            if (err) return err;
        }
    }

    int type = resultTypeFor(code, args, block);
    std::vector<double> re(static_cast<size_t>(n)), im;
    bool anyComplex = false;
    MCVal value;
    for (int64_t i = 0; i < n; ++i) {
        for (int k : blockArgs) {
            const Elements& e = sources[static_cast<size_t>(k)];
            Error err = setSlotNumber(call.slot(k), call.values[static_cast<size_t>(k)], e.at(i),
                                      isComplexBlock(e.block));
            if (err) return err;
        }
        value.setReal(0);
        Error err = ip.invoke(code, call, value);
        if (err) return err;
        re[static_cast<size_t>(i)] = value.re;
        if (value.isComplex() && value.im != 0) {
            // A function that keeps complex values makes the result complex
            // rather than lose the imaginary parts.
            if (!anyComplex) im.assign(static_cast<size_t>(n), 0.0);
            anyComplex = true;
        }
        if (anyComplex) im[static_cast<size_t>(i)] = value.isComplex() ? value.im : 0;
    }
    if (anyComplex) type = kElemComplexMatrix;
    return finishParts(block, type, re, anyComplex ? &im : nullptr, result);
}

// ---- Reductions

double sumReal(const double* d, int64_t n) {
    return sumExtended<double>(reinterpret_cast<const unsigned char*>(d), n);
}

Complex sumComplex(const double* d, int64_t n) {
    Wide re = 0, im = 0;
    for (int64_t i = n - 1; i >= 0; --i) {
        re += d[2 * i];
        im += d[2 * i + 1];
    }
    Complex z{static_cast<double>(re), static_cast<double>(im)};
    clearNegligibleParts(z.re, z.im);
    return z;
}

// Sum(M), Sum(M, 1): one sum per column, Sum(M, 2): one sum per row.
Error sumFunction(const MCVal& arg, const CallArgs& args, MCVal& result) {
    // A variable named directly (type 33) is summed by the function
    // evaluator itself; here the block is a computed one.
    const DataBlock* block = arg.pData;
    if (args.present(2)) return kTooManyParameters;
    int32_t dimension = args.integer(1);
    if (dimension < 0 || dimension > 2) return kTooManyParameters;
    bool complex = isComplexBlock(block);
    if (dimension == 0) {
        if (complex) {
            Complex z = sumComplex(block->doubles(), elementsOf(block));
            result.setComplex(z.re, z.im);
            return kOk;
        }
        RealView view;
        if (!view.bind(block)) return kOutOfMemory;
        result.setReal(sumReal(view.data(), elementsOf(block)));
        return kOk;
    }
    ComplexView view;
    if (!view.bind(block)) return kOutOfMemory;
    int64_t nx = block->xSize, ny = block->ySize;
    int64_t outer = dimension == 1 ? nx : ny;  // one sum per column, or per row
    int64_t inner = dimension == 1 ? ny : nx;
    std::vector<double> re(static_cast<size_t>(outer)), im(static_cast<size_t>(outer));
    for (int64_t o = 0; o < outer; ++o) {
        Wide sr = 0, si = 0;
        for (int64_t j = 0; j < inner; ++j) {
            int64_t at = dimension == 1 ? o + j * nx : j + o * nx;
            sr += view.data()[2 * at];
            si += view.data()[2 * at + 1];
        }
        re[static_cast<size_t>(o)] = static_cast<double>(sr);
        im[static_cast<size_t>(o)] = static_cast<double>(si);
        if (complex) clearNegligibleParts(re[static_cast<size_t>(o)], im[static_cast<size_t>(o)]);
    }
    DataBlock* out = nullptr;
    int type = complex ? kElemComplexMatrix : realResultType(block);
    Error err = finishParts(block, type, re, &im, result);
    if (err) return err;
    out = result.pData;
    out->xSize = static_cast<int32_t>(outer);
    out->ySize = 1;
    return kOk;
}

// The position of the first largest (smallest) element met by a search from
// start upward, or, for a negative start counted from the end, downward to 0.
// Complex blocks compare their real parts; NaN elements are never chosen.
double extremePosition(const DataBlock* block, int32_t start, bool largest) {
    int64_t n = elementsOf(block);
    int64_t from = start, step = 1, to = n;
    if (start < 0) {
        from = static_cast<int64_t>(start) + n;
        step = -1;
        to = -1;
        if (from < 0) return -1;
    }
    if (from >= n) return -1;
    RealView view;
    if (!view.bind(block)) return -1;
    int64_t best = -1;
    double bestValue = 0;
    for (int64_t i = from; i != to; i += step) {
        double v = view.data()[i];
        if (std::isnan(v)) continue;
        if (best < 0 || (largest ? v > bestValue : v < bestValue)) {
            best = i;
            bestValue = v;
        }
    }
    return static_cast<double>(best);
}

// Max(a, b) keeps b when b >= a; Min(a, b) keeps a when b > a.
inline double maxRule(double a, double b) { return b >= a ? b : a; }
inline double minRule(double a, double b) { return b > a ? a : b; }

Error maxMinFunction(int code, CallArgs& args, int blockIndex, MCVal& result) {
    bool largest = code == cmd::Max;
    const DataBlock* block = args.slot(blockIndex).value->pData;
    RealView view;
    if (!view.bind(block)) return kOutOfMemory;
    int64_t n = elementsOf(block);
    if (blockIndex == 0 && !args.present(1)) {
        double m = n ? view.data()[0] : 0;
        for (int64_t i = 1; i < n; ++i) m = largest ? maxRule(m, view.data()[i]) : minRule(m, view.data()[i]);
        result.setReal(m);
        return kOk;
    }
    int other = 1 - blockIndex;
    std::vector<double> out(static_cast<size_t>(n));
    if (isBlockArgument(args, other)) {
        const DataBlock* second = args.slot(other).value->pData;
        if (isShortBlock(second)) return kInternalError;
        if (isComplexBlock(block) || isComplexBlock(second)) return kWrongDataType;
        if (elementsOf(second) != n) return kMatrixSizes;
        RealView secondView;
        if (!secondView.bind(second)) return kOutOfMemory;
        for (int64_t i = 0; i < n; ++i) {
            double a = view.data()[i], b = secondView.data()[i];
            out[static_cast<size_t>(i)] = largest ? maxRule(a, b) : minRule(a, b);
        }
    } else {
        double s = args.number(other);
        for (int64_t i = 0; i < n; ++i) {
            double a = blockIndex == 0 ? view.data()[i] : s;
            double b = blockIndex == 0 ? s : view.data()[i];
            out[static_cast<size_t>(i)] = largest ? maxRule(a, b) : minRule(a, b);
        }
    }
    return finishParts(block, realResultType(block), out, nullptr, result);
}

Error getLimFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    if (isBlockArgument(args, 1) || isBlockArgument(args, 2) || isComplexArgument(args, 1) ||
        isComplexArgument(args, 2))
        return applyEachElement(ip, cmd::GetLim, args, 0, result);
    const DataBlock* block = args.slot(0).value->pData;
    double low = args.number(1), high = args.number(2);
    RealView view;
    if (!view.bind(block)) return kOutOfMemory;
    int64_t n = elementsOf(block);
    std::vector<double> out(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        double y = view.data()[i];
        if (y > high) y = high;
        out[static_cast<size_t>(i)] = y >= low ? y : low;
    }
    return finishParts(block, realResultType(block), out, nullptr, result);
}

// Running sums (products): along y when dimension is 1 and there is more than
// one row, along x when it is 2 and there is more than one column, else over
// all elements in storage order.
Error cumulative(bool product, const DataBlock* block, int32_t dimension, MCVal& result) {
    bool complex = isComplexBlock(block);
    ComplexView view;
    if (!view.bind(block)) return kOutOfMemory;
    int64_t n = elementsOf(block), nx = block->xSize, ny = block->ySize;
    std::vector<double> re(static_cast<size_t>(n)), im(static_cast<size_t>(n));
    auto run = [&](int64_t first, int64_t count, int64_t stride) {
        Complex acc = product ? Complex{1, 0} : Complex{0, 0};
        for (int64_t j = 0; j < count; ++j) {
            int64_t at = first + j * stride;
            Complex e{view.data()[2 * at], view.data()[2 * at + 1]};
            if (!complex)
                acc.re = product ? acc.re * e.re : acc.re + e.re;
            else
                acc = product ? cmul(acc, e) : cadd(acc, e);
            re[static_cast<size_t>(at)] = acc.re;
            im[static_cast<size_t>(at)] = acc.im;
        }
    };
    if (dimension == 1 && ny > 1) {
        for (int64_t x = 0; x < nx; ++x) run(x, ny, nx);
        for (int64_t at = nx * ny; at < n; ++at) re[static_cast<size_t>(at)] = view.data()[2 * at];
    } else if (dimension == 2 && nx > 1) {
        for (int64_t y = 0; y < ny; ++y) run(y * nx, nx, 1);
        for (int64_t at = nx * ny; at < n; ++at) re[static_cast<size_t>(at)] = view.data()[2 * at];
    } else {
        run(0, n, 1);
    }
    int type = complex ? kElemComplexMatrix : realResultType(block);
    return finishParts(block, type, re, complex ? &im : nullptr, result);
}

// Positions of the non-zero elements as 32-bit integers.
Error findFunction(const DataBlock* block, const CallArgs& args, MCVal& result) {
    int32_t limit = args.integer(1);
    bool complex = isComplexBlock(block);
    int64_t n = elementsOf(block);
    int offset = (block->shapeFlags & kShapeFindBase) ? 1 : 0;
    auto nonZero = [&](int64_t i) {
        if (complex) return block->doubles()[2 * i] != 0 && block->doubles()[2 * i + 1] != 0;
        return readElement(block, i) != 0;
    };
    if (limit == 1 || limit == -1) {
        double position = -1;
        if (limit == 1) {
            for (int64_t i = 0; i < n && position < 0; ++i)
                if (nonZero(i)) position = static_cast<double>(i + offset);
        } else {
            for (int64_t i = n - 1; i >= 0 && position < 0; --i)
                if (nonZero(i)) position = static_cast<double>(i + offset);
        }
        result.setReal(position);
        return kOk;
    }
    std::vector<int32_t> positions;
    for (int64_t i = 0; i < n; ++i) {
        if (!nonZero(i)) continue;
        if (limit > 1 && static_cast<int64_t>(positions.size()) >= limit) break;
        positions.push_back(static_cast<int32_t>(i + offset));
    }
    DataBlock* out = nullptr;
    Error err = allocate(kElemInt32, static_cast<int64_t>(positions.size()), out);
    if (err) return err;
    for (size_t i = 0; i < positions.size(); ++i) storeElement(out, static_cast<int64_t>(i), positions[i]);
    out->xSize = static_cast<int32_t>(positions.size());
    out->ySize = 1;
    out->shapeFlags = kShapeIndex;
    setBlockResult(result, out);
    return kOk;
}

Error boolFunction(const DataBlock* block, MCVal& result) {
    ComplexView view;
    if (!view.bind(block)) return kOutOfMemory;
    int64_t n = elementsOf(block);
    std::vector<double> out(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        double re = view.data()[2 * i], im = view.data()[2 * i + 1];
        out[static_cast<size_t>(i)] = std::fabs(re) >= 0.5 || std::fabs(im) >= 0.5 ? 1 : 0;
    }
    return finishParts(block, realResultType(block), out, nullptr, result);
}

// Cond(M, a, b): both alternatives are evaluated; each element of the result is
// the first alternative's where the condition element is non-zero, else the
// second's.
Error condFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    const DataBlock* block = args.slot(0).value->pData;
    std::string_view text = args.text(1);
    if (text.empty()) return kBadParameters;
    const char* p = text.data();
    const char* end = text.data() + text.size();
    MCVal alternatives[2];
    for (int k = 0; k < 2; ++k) {
        if (k == 1) {
            p = skipBlanks(p);
            if (p >= end || *p != ',') {
                ip.setErrorPosition(p);
                return kNotEnoughParameters;
            }
            ++p;
        }
        Error err = ip.evaluate(p, kLimitArgument, alternatives[k]);
        if (err == kStringOperand) err = kWrongDataType;
        if (err) return err;
        if (alternatives[k].isEmpty()) return kNotEnoughParameters;
    }
    int64_t n = elementsOf(block);
    bool complex = isComplexBlock(block);
    Elements sources[2];
    for (int k = 0; k < 2; ++k) {
        const MCVal& v = alternatives[k];
        complex = complex || v.isComplex();
        if (v.isBlock()) {
            if (isShortBlock(v.pData)) return kInternalError;
            if (elementsOf(v.pData) != n) return kMatrixSizes;
            complex = complex || isComplexBlock(v.pData);
            if (!sources[k].bind(v.pData)) return kOutOfMemory;
        }
    }
    Elements condition;
    if (!condition.bind(block)) return kOutOfMemory;
    std::vector<double> re(static_cast<size_t>(n)), im(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        Complex c = condition.at(i);
        int k = c.re != 0 || c.im != 0 ? 0 : 1;
        const MCVal& v = alternatives[k];
        Complex z = v.isBlock() ? sources[k].at(i) : Complex{v.re, v.isComplex() ? v.im : 0};
        re[static_cast<size_t>(i)] = z.re;
        im[static_cast<size_t>(i)] = z.im;
    }
    return finishParts(block, complex ? kElemComplexMatrix : realResultType(block), re, &im, result);
}

// Complex(a, b) with a block: real parts from the first, imaginary parts from
// the second argument, either of which may be a scalar.
Error complexFunction(CallArgs& args, int blockIndex, MCVal& result) {
    const DataBlock* block = args.slot(blockIndex).value->pData;
    int64_t n = elementsOf(block);
    Elements parts[2];
    for (int k = 0; k < 2; ++k) {
        if (!isBlockArgument(args, k)) continue;
        const DataBlock* b = args.slot(k).value->pData;
        if (isShortBlock(b)) return kInternalError;
        if (elementsOf(b) != n) return kMatrixSizes;
        if (!parts[k].bind(b)) return kOutOfMemory;
    }
    std::vector<double> re(static_cast<size_t>(n)), im(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        re[static_cast<size_t>(i)] = parts[0].block ? parts[0].at(i).re : args.number(0);
        im[static_cast<size_t>(i)] = parts[1].block ? parts[1].at(i).re : args.number(1);
    }
    return finishParts(block, kElemComplexMatrix, re, &im, result);
}

Error reshapeFunction(Interpreter& ip, const DataBlock* block, const CallArgs& args, MCVal& result) {
    int64_t nx = args.integer(1), ny = args.integer(2), offset = args.integer(3);
    int64_t flags = args.integer(4);
    if (nx < 0 || ny < 0 || offset < 0) return kBadParameters;
    bool complex = isComplexBlock(block);
    int64_t width = complex ? 2 : 1;
    if ((nx * ny + offset) * width > block->count) return kBadParameters;
    int type = complex ? kElemComplexMatrix : realResultType(block);
    DataBlock* out = nullptr;
    Error err = allocateLike(block, type, nx * ny, out);
    if (err) return err;
    double* d = out->doubles();
    if (complex)
        std::copy(block->doubles() + 2 * offset, block->doubles() + 2 * (offset + nx * ny), d);
    else
        readElements(block, offset, nx * ny, d);
    out->xSize = static_cast<int32_t>(nx);
    out->ySize = static_cast<int32_t>(ny);
    if (flags != 0) {
        out->shapeFlags = static_cast<uint16_t>(flags & 0xFFFC);
    } else {
        out->shapeFlags |= kShapeMatrix;
        if (ip.matrix().base == 1) out->shapeFlags |= kShapeBaseOne;
        if (ip.matrix().rowFirst) out->shapeFlags |= kShapeRowFirst;
    }
    setBlockResult(result, out);
    return kOk;
}

Error dispatch(Interpreter& ip, int code, CallArgs& args, MCVal& result) {
    int blockIndex = 0;
    if (!isBlockArgument(args, 0)) {
        if (!isBlockArgument(args, 1)) return kWrongDataType;
        blockIndex = 1;  // a scalar first argument: the operand order is reversed
    }
    MCVal& arg = *args.slot(blockIndex).value;
    const DataBlock* block = arg.pData;
    if (code == cmd::Len) {
        result.setReal(block->count);
        return kOk;
    }
    if (isShortBlock(block)) return kInternalError;
    switch (code) {
    case cmd::Det: {
        double re = 0, im = 0;
        bool complex = false;
        Error err = determinantOf(block, re, im, complex);
        if (err) return err;
        if (complex)
            result.setComplex(re, im);
        else
            result.setReal(re);
        return kOk;
    }
    case cmd::Transp: result = std::move(arg); return arrayTranspose(ip, result);
    case cmd::Reshape: return reshapeFunction(ip, block, args, result);
    case cmd::CumSum:
    case cmd::CumProd: return cumulative(code == cmd::CumProd, block, args.integer(1), result);
    case cmd::Find: return findFunction(block, args, result);
    case cmd::Sum: return sumFunction(arg, args, result);
    case cmd::MaxLoc:
    case cmd::MinLoc:
        result.setReal(extremePosition(block, args.integer(1), code == cmd::MaxLoc));
        return kOk;
    case cmd::Max:
    case cmd::Min: return maxMinFunction(code, args, blockIndex, result);
    case cmd::GetLim:
        if (blockIndex != 0) return applyEachElement(ip, code, args, blockIndex, result);
        return getLimFunction(ip, args, result);
    case cmd::MatrixRows: result.setReal(block->xSize == 0 ? 0 : block->ySize); return kOk;
    case cmd::MatrixCols: result.setReal(block->xSize); return kOk;
    case cmd::Bool: return boolFunction(block, result);
    case cmd::Cond: return condFunction(ip, args, result);
    case cmd::Complex: return complexFunction(args, blockIndex, result);
    case cmd::ComplexRad: return kBadParameters;
    case cmd::Convolve:
    case cmd::FFT:
    case cmd::Fractal: {
        // The numerical algorithms take the block themselves.
        return ip.hasHandler(code) ? ip.invoke(code, args, result) : kUndefinedFunction;
    }
    default: return applyEachElement(ip, code, args, blockIndex, result);
    }
}

}  // namespace

Error matrixFunction(Interpreter& ip, int code, CallArgs& args, MCVal& result) {
    try {
        return dispatch(ip, code, args, result);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

}  // namespace tvx::builtins::arrays
