// The binary operators with a data-block operand: element-wise arithmetic,
// comparisons and integer operators, the matrix product, division and power,
// and the postfix transpose.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <utility>

#include "builtins/arrays/engine.h"
#include "builtins/arrays/linalg.h"
#include "interp/api.h"

namespace tvx::builtins::arrays {

using namespace interp;

namespace {

enum class Kind { Arithmetic, WholeEqual, Compare, Integer, Unknown };

constexpr int kOpMultiplyEach = kOpMultiply + kElementWise;
constexpr int kOpDivideEach = kOpDivide + kElementWise;
constexpr int kOpLeftDivideEach = kOpLeftDivide + kElementWise;
constexpr int kOpPowerEach = kOpPower + kElementWise;
constexpr int kOpEqualEach = kOpEqual + kElementWise;
constexpr int kOpNotEqualEach = kOpNotEqual + kElementWise;

Kind classify(int op) {
    switch (op) {
    case kOpAdd:
    case kOpSubtract:
    case kOpMultiply:
    case kOpMultiplyEach:
    case kOpDivide:
    case kOpDivideEach:
    case kOpLeftDivide:
    case kOpLeftDivideEach:
    case kOpPower:
    case kOpPowerEach: return Kind::Arithmetic;
    case kOpEqual:
    case kOpNotEqual: return Kind::WholeEqual;
    case kOpLess:
    case kOpGreater:
    case kOpLessEqual:
    case kOpGreaterEqual:
    case kOpEqualEach:
    case kOpNotEqualEach: return Kind::Compare;
    case kOpAnd:
    case kOpOr:
    case kOpXor:
    case kOpDiv:
    case kOpMod:
    case kOpMul:
    case kOpFmod: return Kind::Integer;
    default: return Kind::Unknown;
    }
}

bool isOrderComparison(int op) {
    return op == kOpLess || op == kOpGreater || op == kOpLessEqual || op == kOpGreaterEqual;
}

// The element-wise inverse: 0 becomes 1e150 instead of an infinity.
inline double reciprocal(double x) { return x == 0 ? kZeroReciprocal : 1.0 / x; }
inline Complex reciprocal(Complex z) {
    if (z.re == 0 && z.im == 0) return {kZeroReciprocal, 0};
    double d = z.re * z.re + z.im * z.im;
    return {z.re / d, -z.im / d};
}

int32_t asSigned(uint32_t v) { return static_cast<int32_t>(v); }

// The integer operators of expressions (and FMOD) on two numbers.
double integerOperation(int op, double a, double b) {
    if (op == kOpFmod) return std::fmod(a, b);
    uint32_t x = toUInt32Wrapped(a);
    uint32_t y = toUInt32Wrapped(b);
    bool bothPositive = a > 0 && b > 0;
    switch (op) {
    case kOpAnd: return asSigned(x & y);
    case kOpOr: return asSigned(x | y);
    case kOpXor: return asSigned(x ^ y);
    case kOpMul: return asSigned(x * y);
    case kOpDiv:
        if (y == 0) return 2147483647;
        if (bothPositive) return x / y;
        if (asSigned(x) == INT32_MIN && asSigned(y) == -1) return INT32_MIN;
        return asSigned(x) / asSigned(y);
    case kOpMod:
        if (y == 0) return 0;
        if (bothPositive) return x % y;
        if (asSigned(y) == -1) return 0;
        return asSigned(x) % asSigned(y);
    default: return 0;
    }
}

inline double power(double x, double y) { return y == 2 ? x * x : std::pow(x, y); }

// x op y over n elements; x or y is null where that side is the scalar xs/ys.
// d may be x or y (the operation is element by element).
template <typename F>
void loopReal(double* d, const double* x, double xs, const double* y, double ys, int64_t n, F f) {
    if (x && y) {
        for (int64_t i = 0; i < n; ++i) d[i] = f(x[i], y[i]);
    } else if (x) {
        for (int64_t i = 0; i < n; ++i) d[i] = f(x[i], ys);
    } else {
        for (int64_t i = 0; i < n; ++i) d[i] = f(xs, y[i]);
    }
}

Error computeReal(int op, double* d, const double* x, double xs, const double* y, double ys, int64_t n) {
    switch (op) {
    case kOpAdd: loopReal(d, x, xs, y, ys, n, [](double a, double b) { return a + b; }); break;
    case kOpSubtract: loopReal(d, x, xs, y, ys, n, [](double a, double b) { return a - b; }); break;
    case kOpMultiply:
    case kOpMultiplyEach: loopReal(d, x, xs, y, ys, n, [](double a, double b) { return a * b; }); break;
    case kOpDivide:
    case kOpDivideEach:
        // A block divisor goes through the element-wise inverse; a scalar one divides.
        if (y)
            loopReal(d, x, xs, y, ys, n, [](double a, double b) { return a * reciprocal(b); });
        else
            loopReal(d, x, xs, y, ys, n, [](double a, double b) { return a / b; });
        break;
    case kOpLeftDivide:
    case kOpLeftDivideEach:
        if (x)
            loopReal(d, x, xs, y, ys, n, [](double a, double b) { return b * reciprocal(a); });
        else
            loopReal(d, x, xs, y, ys, n, [](double a, double b) { return b / a; });
        break;
    case kOpPower:
    case kOpPowerEach: loopReal(d, x, xs, y, ys, n, [](double a, double b) { return power(a, b); }); break;
    // a < b is computed as not (a >= b), so that a NaN compares as less.
    case kOpLess: loopReal(d, x, xs, y, ys, n, [](double a, double b) { return a >= b ? 0.0 : 1.0; }); break;
    case kOpLessEqual:
        loopReal(d, x, xs, y, ys, n, [](double a, double b) { return a > b ? 0.0 : 1.0; });
        break;
    case kOpGreater:
        loopReal(d, x, xs, y, ys, n, [](double a, double b) { return a > b ? 1.0 : 0.0; });
        break;
    case kOpGreaterEqual:
        loopReal(d, x, xs, y, ys, n, [](double a, double b) { return a >= b ? 1.0 : 0.0; });
        break;
    case kOpEqualEach:
        loopReal(d, x, xs, y, ys, n, [](double a, double b) { return a == b ? 1.0 : 0.0; });
        break;
    case kOpNotEqualEach:
        loopReal(d, x, xs, y, ys, n, [](double a, double b) { return a == b ? 0.0 : 1.0; });
        break;
    case kOpAnd:
    case kOpOr:
    case kOpXor:
    case kOpDiv:
    case kOpMod:
    case kOpMul:
    case kOpFmod:
        loopReal(d, x, xs, y, ys, n, [op](double a, double b) { return integerOperation(op, a, b); });
        break;
    default: return kMatrixOperation;
    }
    return kOk;
}

inline Complex loadComplex(const double* p, int64_t i, Complex scalar) {
    return p ? Complex{p[2 * i], p[2 * i + 1]} : scalar;
}

template <typename F>
void loopComplex(double* d, const double* x, Complex xs, const double* y, Complex ys, int64_t n, bool clear,
                 F f) {
    for (int64_t i = 0; i < n; ++i) {
        Complex r = f(loadComplex(x, i, xs), loadComplex(y, i, ys));
        if (clear) clearNegligibleParts(r.re, r.im);
        d[2 * i] = r.re;
        d[2 * i + 1] = r.im;
    }
}

struct Sides {
    bool xRealScalar = false;  // a real number meets both parts of a complex element
    bool yRealScalar = false;
    bool realBlockMet = false;  // a complex block met a real block: imaginary parts become 0
};

Error computeComplex(int op, double* d, const double* x, Complex xs, const double* y, Complex ys, int64_t n,
                     const Sides& sides) {
    switch (op) {
    case kOpAdd: loopComplex(d, x, xs, y, ys, n, true, cadd); break;
    case kOpSubtract: loopComplex(d, x, xs, y, ys, n, true, csub); break;
    case kOpMultiply:
    case kOpMultiplyEach: loopComplex(d, x, xs, y, ys, n, true, cmul); break;
    case kOpDivide:
    case kOpDivideEach:
        if (y)
            loopComplex(d, x, xs, y, ys, n, true,
                        [](Complex a, Complex b) { return cmul(a, reciprocal(b)); });
        else
            loopComplex(d, x, xs, y, ys, n, true, cdiv);
        break;
    case kOpLeftDivide:
    case kOpLeftDivideEach:
        if (x)
            loopComplex(d, x, xs, y, ys, n, true,
                        [](Complex a, Complex b) { return cmul(b, reciprocal(a)); });
        else
            loopComplex(d, x, xs, y, ys, n, true, [](Complex a, Complex b) { return cdiv(b, a); });
        break;
    case kOpPower:
    case kOpPowerEach: loopComplex(d, x, xs, y, ys, n, true, cpow); break;
    case kOpEqualEach:
        loopComplex(d, x, xs, y, ys, n, false, [](Complex a, Complex b) {
            return Complex{a.re == b.re && a.im == b.im ? 1.0 : 0.0, 0};
        });
        break;
    case kOpNotEqualEach:
        loopComplex(d, x, xs, y, ys, n, false, [](Complex a, Complex b) {
            return Complex{a.re == b.re && a.im == b.im ? 0.0 : 1.0, 0};
        });
        break;
    case kOpAnd:
    case kOpOr:
    case kOpXor:
    case kOpDiv:
    case kOpMod:
    case kOpMul:
    case kOpFmod:
        // Real and imaginary parts are combined separately.
        loopComplex(d, x, xs, y, ys, n, false, [op, &sides](Complex a, Complex b) {
            if (sides.xRealScalar) a.im = a.re;
            if (sides.yRealScalar) b.im = b.re;
            double re = integerOperation(op, a.re, b.re);
            double im = sides.realBlockMet ? 0 : integerOperation(op, a.im, b.im);
            return Complex{re, im};
        });
        break;
    default: return kMatrixOperation;
    }
    return kOk;
}

bool storedAsDoubles(int elementType) {
    return elementType == kElemDouble || elementType == kElemRealMatrix ||
           elementType == kElemComplexMatrix || elementType == kElemComplexScalar;
}

// Where an element-wise result goes: an operand's own temporary block when it
// has the result's type, so that no extra pass over memory is made, else a
// new block (which `fresh` frees should the operation fail).
enum class ResultIn { Left, Right, Fresh };

Error placeResult(MCVal& L, MCVal& R, int type, int64_t n, MCVal& fresh, DataBlock*& dest, ResultIn& in) {
    const DataBlock* a = L.pData;
    const DataBlock* b = R.isBlock() ? R.pData : nullptr;
    if (L.ownsBlock() && a->elementType == type) {
        dest = L.pData;
        in = ResultIn::Left;
    } else if (b && R.ownsBlock() && b->elementType == type) {
        dest = R.pData;
        in = ResultIn::Right;
    } else {
        Error err = allocateLike(a, type, n, dest, /*toFill=*/true);
        if (err) return err;
        fresh.setOwnedBlock(dest);
        in = ResultIn::Fresh;
    }
    return kOk;
}

// Hands the block placeResult() chose to L as the operation's value.
void takeResult(MCVal& L, MCVal& R, MCVal& fresh, ResultIn in) {
    DataBlock* block = in == ResultIn::Left    ? L.releaseBlock()
                       : in == ResultIn::Right ? R.releaseBlock()
                                               : fresh.releaseBlock();
    setBlockResult(L, block);
}

// The element-wise operation x op y where L holds the block operand (the
// written left one unless swapped) and R the other; the result replaces L.
Error elementWise(int op, Kind kind, MCVal& L, MCVal& R, bool swapped) {
    const DataBlock* a = L.pData;
    const DataBlock* b = R.isBlock() ? R.pData : nullptr;
    int64_t n = elementsOf(a);
    if (b && elementsOf(b) != n) return kMatrixSizes;
    bool aComplex = isComplexBlock(a);
    bool bComplex = b ? isComplexBlock(b) : R.isComplex();
    bool complex = aComplex || bComplex;
    if (kind == Kind::Compare && complex && isOrderComparison(op)) return kMatrixOperation;

    int resultType;
    if (kind == Kind::Compare)
        resultType = a->elementType == kElemDouble ? kElemDouble : kElemRealMatrix;
    else if (complex)
        resultType = kElemComplexMatrix;
    else
        resultType = a->elementType;
    bool complexResult = resultType == kElemComplexMatrix;

    DataBlock* dest = nullptr;
    MCVal fresh;
    ResultIn in;
    Error err = placeResult(L, R, resultType, n, fresh, dest, in);
    if (err) return err;
    const DataBlock* xBlock = swapped ? b : a;
    const DataBlock* yBlock = swapped ? a : b;
    Complex scalar{R.re, R.isComplex() ? R.im : 0};
    Scratch<double> staging;
    double* out = nullptr;
    if (storedAsDoubles(resultType)) {
        out = dest->doubles();
    } else {
        if (!staging.allocate(n)) return kOutOfMemory;
        out = staging.data();
    }
    if (complex) {
        // Complex operands are computed in pairs; a comparison of them keeps
        // only its real 0/1 parts.
        ComplexView xv, yv;
        if ((xBlock && !xv.bind(xBlock)) || (yBlock && !yv.bind(yBlock))) return kOutOfMemory;
        Scratch<double> pairs;
        double* target = out;
        if (!complexResult) {
            if (!pairs.allocate(2 * n)) return kOutOfMemory;
            target = pairs.data();
        }
        Sides sides;
        sides.xRealScalar = !xBlock && !R.isComplex();
        sides.yRealScalar = !yBlock && !R.isComplex();
        sides.realBlockMet = b && aComplex != bComplex;
        err = computeComplex(op, target, xBlock ? xv.data() : nullptr, scalar, yBlock ? yv.data() : nullptr,
                             scalar, n, sides);
        if (!err && !complexResult)
            for (int64_t i = 0; i < n; ++i) out[i] = target[2 * i];
    } else {
        RealView xv, yv;
        if ((xBlock && !xv.bind(xBlock)) || (yBlock && !yv.bind(yBlock))) return kOutOfMemory;
        err = computeReal(op, out, xBlock ? xv.data() : nullptr, R.re, yBlock ? yv.data() : nullptr, R.re, n);
    }
    if (err) return err;
    if (!storedAsDoubles(resultType)) storeElements(dest, 0, n, out);

    // The logical mark: set by comparisons; the integer operators keep it when
    // both operands carried it; everything else clears it.
    bool mark =
        kind == Kind::Compare || (kind == Kind::Integer && op != kOpFmod && (a->shapeFlags & kShapeLogical) &&
                                  b && (b->shapeFlags & kShapeLogical));
    if (in == ResultIn::Right) {
        dest->xSize = a->xSize;
        dest->ySize = a->ySize;
        dest->shapeFlags = a->shapeFlags;
        dest->reserved = a->reserved;
    }
    dest->shapeFlags =
        static_cast<uint16_t>(mark ? dest->shapeFlags | kShapeLogical : dest->shapeFlags & ~kShapeLogical);
    takeResult(L, R, fresh, in);
    return kOk;
}

// Real elements stored as doubles, which an operation reads and writes in place.
bool isRealDoubles(const DataBlock* block) {
    return block->elementType == kElemDouble || block->elementType == kElemRealMatrix;
}

// Whether op on the block L (and R, a block or a real number) is the
// element-wise arithmetic that binary() would do, on real doubles.
bool goesElementWise(int op, const MCVal& L, const MCVal& R, bool swapped) {
    const DataBlock* a = L.pData;
    const DataBlock* b = R.isBlock() ? R.pData : nullptr;
    if (!a || isShortBlock(a) || !isRealDoubles(a)) return false;
    if (R.isBlock() ? !b || isShortBlock(b) || !isRealDoubles(b) : !R.isReal()) return false;
    switch (op) {
    case kOpAdd:
    case kOpSubtract:
    case kOpDivideEach: return true;
    case kOpMultiplyEach:
        return !(b && a->isMatrix() && b->isMatrix() && (a->xSize != b->xSize || a->ySize != b->ySize));
    case kOpMultiply: return !b;            // with two blocks it may be the matrix product
    case kOpDivide: return !b && !swapped;  // a block as divisor may be inverted
    default: return false;
    }
}

// Whether op with a real number on the right goes element by element.
bool continuesElementWise(int op) {
    return op == kOpAdd || op == kOpSubtract || op == kOpMultiply || op == kOpMultiplyEach ||
           op == kOpDivide || op == kOpDivideEach;
}

// Whether two blocks share memory (a fixed block placed at an address may
// lie anywhere; its capacity need not cover its elements).
bool overlaps(const DataBlock* p, const DataBlock* q) {
    auto start = [](const DataBlock* b) { return reinterpret_cast<uintptr_t>(b); };
    auto end = [&](const DataBlock* b) {
        int64_t extent = std::max<int64_t>(b->capacityBytes & ~1, kDataBlockHeaderBytes + b->payloadBytes);
        return start(b) + static_cast<uintptr_t>(extent);
    };
    return start(p) < end(q) && start(q) < end(p);
}

// Whether the result of n elements of type may go into the assignment's
// target: it is resized in place as the assignment would resize it, and each
// operand is either the target itself (read and written element by element)
// or elsewhere.
bool targetTakes(const DataBlock* into, int type, int64_t n, const DataBlock* a, const DataBlock* b) {
    if (!into || into->isText() || !resizeKeepsPlace(into, type, n)) return false;
    for (const DataBlock* operand : {a, b})
        if (operand && operand != into && overlaps(operand, into)) return false;
    return true;
}

// elementWise() for what goesElementWise() accepts, with the continuation
// (whose target, if any, targetTakes() accepted):
// the elements pass in runs that stay in the first-level cache, so that each
// makes one trip from memory and back however many steps it takes.
Error elementWiseOnward(int op, MCVal& L, MCVal& R, bool swapped, const ArrayContinuation& next) {
    const DataBlock* a = L.pData;
    const DataBlock* b = R.isBlock() ? R.pData : nullptr;
    int64_t n = elementsOf(a);
    if (b && elementsOf(b) != n) return kMatrixSizes;
    const int type = a->elementType;
    // The result has the left block's shape, without a logical mark (a may
    // be the target, whose header the resize rewrites).
    const DataBlock shape = *a;

    DataBlock* dest = next.into;
    MCVal fresh;
    ResultIn in = ResultIn::Fresh;
    if (dest) {
        if (!resizeBlock(&dest, type, n, kResizeOverwrite) || dest != next.into) return kInternalError;
    } else if (Error err = placeResult(L, R, type, n, fresh, dest, in)) {
        return err;
    }
    const DataBlock* xBlock = swapped ? b : a;
    const DataBlock* yBlock = swapped ? a : b;
    const double* x = xBlock ? xBlock->doubles() : nullptr;
    const double* y = yBlock ? yBlock->doubles() : nullptr;
    double* out = dest->doubles();
    constexpr int64_t kRun = 2048;
    for (int64_t i = 0; i < n; i += kRun) {
        int64_t m = std::min(kRun, n - i);
        Error err = computeReal(op, out + i, x ? x + i : nullptr, R.re, y ? y + i : nullptr, R.re, m);
        if (!err && next.op) err = computeReal(next.op, out + i, out + i, 0, nullptr, next.number, m);
        if (err) return err;  // only for an operator the callers never pass, before anything is written
    }
    dest->xSize = shape.xSize;
    dest->ySize = shape.ySize;
    dest->reserved = shape.reserved;
    dest->shapeFlags = static_cast<uint16_t>(shape.shapeFlags & ~kShapeLogical);

    if (next.into) {
        L.setBorrowedBlock(dest, false);
        L.re = readElement(dest, 0);
        L.im = 0;
    } else {
        takeResult(L, R, fresh, in);
    }
    return kOk;
}

// The operation on two borrowed blocks, as a new block.
Error elementWiseBlocks(int op, const DataBlock* x, const DataBlock* y, DataBlock*& out) {
    MCVal left, right;
    left.setBorrowedBlock(const_cast<DataBlock*>(x), false);
    right.setBorrowedBlock(const_cast<DataBlock*>(y), false);
    Error err = elementWise(op, classify(op), left, right, false);
    if (err) return err;
    out = left.releaseBlock();
    return out ? kOk : kOutOfMemory;
}

// value (a block) times a scalar, in place of value.
Error scaleBlock(MCVal& value, const MCVal& scalar) {
    MCVal factor;
    if (scalar.isComplex())
        factor.setComplex(scalar.re, scalar.im);
    else
        factor.setReal(scalar.re);
    return elementWise(kOpMultiply, Kind::Arithmetic, value, factor, false);
}

// Whole-block equality: equal dimensions and equal elements, where two NaN
// elements count as equal.
bool blocksEqual(const DataBlock* a, const DataBlock* b) {
    if (a->xSize != b->xSize || a->ySize != b->ySize) return false;
    int64_t n = elementsOf(a);
    if (elementsOf(b) != n) return false;
    auto same = [](double p, double q) { return p == q || (std::isnan(p) && std::isnan(q)); };
    if (isComplexBlock(a) || isComplexBlock(b)) {
        ComplexView av, bv;
        if (!av.bind(a) || !bv.bind(b)) return false;
        for (int64_t i = 0; i < 2 * n; ++i)
            if (!same(av.data()[i], bv.data()[i])) return false;
        return true;
    }
    RealView av, bv;
    if (!av.bind(a) || !bv.bind(b)) return false;
    for (int64_t i = 0; i < n; ++i)
        if (!same(av.data()[i], bv.data()[i])) return false;
    return true;
}

// M ^ p for a square matrix: p (real, within 1e-12 of an integer) of 1, 2, -1, -2.
Error matrixPower(const DataBlock* a, const MCVal& exponent, DataBlock*& out) {
    double im = exponent.isComplex() ? exponent.im : 0;
    double p = std::round(exponent.re);
    if (!(std::fabs(im) < 1e-12) || !(std::fabs(exponent.re - p) < 1e-12) || p == 0 || std::fabs(p) > 2)
        return kBadParameters;
    if (p == 1) {
        out = copyBlock(a);
        return out ? kOk : kOutOfMemory;
    }
    if (p == 2) return multiplyBlocks(a, a, out);
    DataBlock* inverse = nullptr;
    Error err = inverseBlock(a, inverse);
    if (err) return err;
    if (p == -1) {
        out = inverse;
        return kOk;
    }
    err = multiplyBlocks(inverse, inverse, out);
    freeBlock(inverse);
    return err;
}

// a / b = a times the inverse of b; with left, a \ b = the inverse of a times
// b. When the inverse cannot be had, the least-squares solution of the
// over-determined system where the shapes call for it.
Error divideMatrices(const DataBlock* a, const DataBlock* b, bool left, bool elementWiseForm,
                     DataBlock*& out) {
    DataBlock* inverse = nullptr;
    Error err = inverseBlock(left ? a : b, inverse);
    if (!err) {
        MCVal holder;
        holder.setOwnedBlock(inverse);
        const DataBlock* p = left ? inverse : a;
        const DataBlock* q = left ? b : inverse;
        if (p->isMatrix() && q->isMatrix() && p->xSize == q->ySize) return multiplyBlocks(p, q, out);
        return elementWiseBlocks(kOpMultiply, p, q, out);
    }
    if (elementWiseForm || isComplexBlock(a) || isComplexBlock(b)) return err;
    bool rowCase = !left && a->ySize == 1 && b->ySize < b->xSize && b->xSize == a->xSize;
    bool columnCase = left && a->ySize > a->xSize && b->xSize == 1 && b->ySize == a->ySize;
    if (!rowCase && !columnCase) return err;
    RealView av, bv;
    if (!av.bind(a) || !bv.bind(b)) return kOutOfMemory;
    int64_t k = rowCase ? b->ySize : a->xSize;
    int64_t m = rowCase ? b->xSize : a->ySize;
    err = allocateLike(a, kElemRealMatrix, k, out);
    if (err) return err;
    out->shapeFlags &= static_cast<uint16_t>(~kShapeLogical);
    out->xSize = static_cast<int32_t>(rowCase ? k : 1);
    out->ySize = static_cast<int32_t>(rowCase ? 1 : k);
    err = rowCase ? leastSquares(bv.data(), av.data(), m, k, true, out->doubles())
                  : leastSquares(av.data(), bv.data(), m, k, false, out->doubles());
    if (err) {
        freeBlock(out);
        out = nullptr;
    }
    return err;
}

// The cases where the matrix flag makes an operator a matrix operation.
// notMatrix tells that the operation is element-wise after all.
Error matrixOperation(int op, MCVal& L, MCVal& R, bool swapped, DataBlock*& out, bool& notMatrix) {
    notMatrix = false;
    auto elementWiseAfterAll = [&notMatrix] {
        notMatrix = true;
        return kOk;
    };
    const DataBlock* a = L.pData;
    const DataBlock* b = R.isBlock() ? R.pData : nullptr;
    bool bothMatrices = b && a->isMatrix() && b->isMatrix();
    switch (op) {
    case kOpPower:
        if (!isSquareMatrix(a)) return elementWiseAfterAll();
        if (b || swapped) return kBadParameters;  // a block exponent, or a scalar raised to a matrix
        return matrixPower(a, R, out);
    case kOpMultiply:
        if (bothMatrices && a->xSize == b->ySize) return multiplyBlocks(a, b, out);
        return elementWiseAfterAll();
    case kOpMultiplyEach:
        if (bothMatrices && (a->xSize != b->xSize || a->ySize != b->ySize)) return kMatrixSizes;
        return elementWiseAfterAll();
    case kOpDivide:
    case kOpLeftDivide: {
        bool left = op == kOpLeftDivide;
        if (b) return bothMatrices ? divideMatrices(a, b, left, false, out) : elementWiseAfterAll();
        // Block with scalar: the block is inverted when it is the divisor.
        bool blockDivides = left ? !swapped : swapped;
        if (!blockDivides || !a->isMatrix()) return elementWiseAfterAll();
        DataBlock* inverse = nullptr;
        Error err = inverseBlock(a, inverse);
        if (err) return err;
        MCVal scaled;
        setBlockResult(scaled, inverse);
        err = scaleBlock(scaled, R);
        if (err) return err;
        out = scaled.releaseBlock();
        return out ? kOk : kOutOfMemory;
    }
    default: return elementWiseAfterAll();
    }
}

Error binary(int op, MCVal& left, MCVal& right) {
    MCVal* L = &left;
    MCVal* R = &right;
    bool swapped = false;
    if (!L->isBlock()) {
        std::swap(L, R);
        swapped = true;
    }
    if (!L->isBlock()) return kMatrixOperation;
    if (!R->isBlock() && !R->isScalar()) return kWrongDataType;
    const DataBlock* a = L->pData;
    const DataBlock* b = R->isBlock() ? R->pData : nullptr;
    if (!a || isShortBlock(a) || (R->isBlock() && (!b || isShortBlock(b)))) return kInternalError;

    Kind kind = classify(op);
    Error err = kOk;
    switch (kind) {
    case Kind::Unknown: return kMatrixOperation;
    case Kind::WholeEqual: {
        bool equal = b && blocksEqual(a, b);
        L->setReal(op == kOpEqual ? equal : !equal);
        break;
    }
    case Kind::Arithmetic: {
        DataBlock* out = nullptr;
        bool notMatrix = false;
        err = matrixOperation(op, *L, *R, swapped, out, notMatrix);
        if (notMatrix) {
            err = elementWise(op, kind, *L, *R, swapped);
        } else if (!err) {
            out->shapeFlags &= static_cast<uint16_t>(~kShapeLogical);
            setBlockResult(*L, out);
        }
        break;
    }
    default: err = elementWise(op, kind, *L, *R, swapped); break;
    }
    if (err) return err;
    if (swapped) left = std::move(right);
    return kOk;
}

}  // namespace

Error multiplyBlocks(const DataBlock* a, const DataBlock* b, DataBlock*& out) {
    if (a->xSize != b->ySize) return kMatrixSizes;
    if (isShortBlock(a) || isShortBlock(b)) return kInternalError;
    int64_t m = a->ySize, n = a->xSize, k = b->xSize;
    bool complex = isComplexBlock(a) || isComplexBlock(b);
    Error err = allocateLike(a, complex ? kElemComplexMatrix : kElemRealMatrix, m * k, out);
    if (err) return err;
    out->xSize = static_cast<int32_t>(k);
    out->ySize = static_cast<int32_t>(m);
    out->shapeFlags &= static_cast<uint16_t>(~kShapeLogical);
    if (complex) {
        ComplexView av, bv;
        if (!av.bind(a) || !bv.bind(b))
            err = kOutOfMemory;
        else
            multiplyComplex(av.data(), bv.data(), out->doubles(), m, n, k);
    } else {
        RealView av, bv;
        if (!av.bind(a) || !bv.bind(b))
            err = kOutOfMemory;
        else
            multiplyReal(av.data(), bv.data(), out->doubles(), m, n, k);
    }
    if (err) {
        freeBlock(out);
        out = nullptr;
    }
    return err;
}

Error inverseBlock(const DataBlock* m, DataBlock*& out) {
    if (isShortBlock(m)) return kInternalError;
    bool complex = isComplexBlock(m);
    int type = complex ? kElemComplexMatrix : m->elementType == kElemDouble ? kElemDouble : kElemRealMatrix;
    int64_t nx = m->xSize, ny = m->ySize;
    if (nx == ny) {
        Error err = allocateLike(m, type, nx * ny, out);
        if (err) return err;
        int64_t doubles = (complex ? 2 : 1) * nx * ny;
        if (complex) {
            std::copy(m->doubles(), m->doubles() + doubles, out->doubles());
            err = invertComplex(out->doubles(), nx);
        } else {
            readElements(m, 0, doubles, out->doubles());
            err = invertReal(out->doubles(), nx);
        }
        if (err) {
            freeBlock(out);
            out = nullptr;
        }
        return err;
    }
    if (nx != 1 && ny != 1) return kMatrixSizes;
    int64_t n = elementsOf(m);
    Error err = allocateLike(m, type, n, out);
    if (err) return err;
    double* d = out->doubles();
    if (complex) {
        for (int64_t i = 0; i < n; ++i) {
            Complex r = reciprocal(Complex{m->doubles()[2 * i], m->doubles()[2 * i + 1]});
            d[2 * i] = r.re;
            d[2 * i + 1] = r.im;
        }
    } else {
        for (int64_t i = 0; i < n; ++i) d[i] = reciprocal(readElement(m, i));
    }
    return kOk;
}

Error transposeBlock(const DataBlock* m, DataBlock*& out) {
    if (isShortBlock(m)) return kInternalError;
    out = copyBlock(m);
    if (!out) return kOutOfMemory;
    int64_t nx = m->xSize, ny = m->ySize;
    int size = isComplexBlock(m) ? 16 : elementSize(m->elementType);
    if (nx > 1 && ny > 1) transposeCopy(m->bytes(), out->bytes(), nx, ny, size);
    out->xSize = static_cast<int32_t>(ny);
    out->ySize = static_cast<int32_t>(nx);
    return kOk;
}

Error determinantOf(const DataBlock* m, double& re, double& im, bool& complex) {
    if (isShortBlock(m)) return kInternalError;
    if (m->xSize != m->ySize) return kMatrixSizes;
    int64_t n = m->xSize;
    complex = isComplexBlock(m);
    if (complex) {
        Complex det;
        Error err = determinantComplex(m->doubles(), n, det);
        re = det.re;
        im = det.im;
        return err;
    }
    RealView view;
    if (!view.bind(m)) return kOutOfMemory;
    im = 0;
    return determinantReal(view.data(), n, re);
}

Error arrayBinary(Interpreter&, int op, MCVal& left, MCVal& right) {
    try {
        return binary(op, left, right);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

Error arrayBinaryOnward(Interpreter&, int op, MCVal& left, MCVal& right, const ArrayContinuation& next,
                        bool& handled) {
    handled = false;
    MCVal* L = &left;
    MCVal* R = &right;
    bool swapped = !left.isBlock();
    if (swapped) std::swap(L, R);
    if (!L->isBlock() || !goesElementWise(op, *L, *R, swapped)) return kOk;
    if (next.op != 0 && !continuesElementWise(next.op)) return kOk;
    ArrayContinuation onward = next;
    if (!targetTakes(onward.into, L->pData->elementType, elementsOf(L->pData), L->pData,
                     R->isBlock() ? R->pData : nullptr))
        onward.into = nullptr;
    if (onward.op == 0 && !onward.into) return kOk;  // nothing to gain over binary()
    handled = true;
    try {
        Error err = elementWiseOnward(op, *L, *R, swapped, onward);
        if (!err && swapped) left = std::move(right);
        return err;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

Error arrayTranspose(Interpreter&, MCVal& value) {
    try {
        if (!value.isBlock() || !value.pData) return kOk;
        DataBlock* block = value.pData;
        if (isShortBlock(block)) return kInternalError;
        int64_t nx = block->xSize, ny = block->ySize;
        if (value.ownsBlock() && (nx == ny || nx <= 1 || ny <= 1)) {
            // In place: a square matrix swaps across its diagonal, a vector only
            // exchanges its dimensions.
            if (nx == ny)
                transposeSquare(block->bytes(), nx,
                                isComplexBlock(block) ? 16 : elementSize(block->elementType));
            block->xSize = static_cast<int32_t>(ny);
            block->ySize = static_cast<int32_t>(nx);
            setBlockResult(value, value.releaseBlock());
            return kOk;
        }
        DataBlock* out = nullptr;
        Error err = transposeBlock(block, out);
        if (err) return err;
        setBlockResult(value, out);
        return kOk;
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    }
}

}  // namespace tvx::builtins::arrays
