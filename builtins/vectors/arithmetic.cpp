// Add, Subtract, Multiply, Divide and the power assignment: on a number
// variable the plain arithmetic, on a vector element by element in place with
// the element type's rounding and saturation. Matrix products and quotients,
// complex values and powers of square matrices go through the array engine,
// so that "M *= N" means what "M = M * N" means.
#include <cmath>

#include "builtins/files/fileinternal.h"
#include "builtins/vectors/vectorsinternal.h"
#include "interp/api.h"

namespace tvx::builtins::vectors {

using namespace interp;
using builtins::Access;
using builtins::checkAddress;

namespace {

inline double combine(int code, double a, double b) {
    switch (code) {
    case cmd::Add: return a + b;
    case cmd::Subtract: return a - b;
    case cmd::Multiply: return a * b;
    case cmd::Divide: return a / b;  // no check: infinity or NaN, as the C library gives
    default: return std::pow(a, b);
    }
}

int operatorFor(int code) {
    switch (code) {
    case cmd::Add: return kOpAdd;
    case cmd::Subtract: return kOpSubtract;
    case cmd::Multiply: return kOpMultiply;
    case cmd::Divide: return kOpDivide;
    default: return kOpPower;
    }
}

template <typename T, typename Op>
void eachWithScalar(T* d, int64_t n, double x, Op op) {
    for (int64_t i = 0; i < n; ++i) d[i] = toElement<T>(op(static_cast<double>(d[i]), x));
}

template <typename T, typename Op>
void eachWithBlock(T* d, int64_t n, const double* x, Op op) {
    for (int64_t i = 0; i < n; ++i) d[i] = toElement<T>(op(static_cast<double>(d[i]), x[i]));
}

// d op= x for a real vector and a real number or block of as many elements.
void inPlace(int code, DataBlock* d, double scalar, const double* block) {
    const int64_t n = d->count;
    withElementType(d->elementType, [&](auto tag) {
        using T = typename decltype(tag)::Type;
        T* e = elementsAs<T>(d);
        auto run = [&](auto op) {
            if (block)
                eachWithBlock(e, n, block, op);
            else
                eachWithScalar(e, n, scalar, op);
        };
        switch (code) {
        case cmd::Add: run([](double a, double b) { return a + b; }); break;
        case cmd::Subtract: run([](double a, double b) { return a - b; }); break;
        case cmd::Multiply: run([](double a, double b) { return a * b; }); break;
        case cmd::Divide: run([](double a, double b) { return a / b; }); break;
        default: run([](double a, double b) { return std::pow(a, b); }); break;
        }
    });
}

bool isComplexScalarBlock(const DataBlock* b) {
    return b->elementType == kElemComplexScalar && b->count == 2;
}

// The general path: the array engine (or, for a complex variable, the value
// arithmetic) computes the result, which is stored back into the variable.
Error throughEngine(Interpreter& ip, int code, DataBlock** slot, MCVal& operand) {
    DataBlock* d = *slot;
    MCVal left;
    if (isComplexScalarBlock(d)) {
        left.setComplex(d->doubles()[0], d->doubles()[1]);
        Error err = ip.combine(operatorFor(code), left, operand);
        if (err) return err;
        if (left.isScalar()) {
            d->doubles()[0] = left.re;
            d->doubles()[1] = left.isComplex() ? left.im : 0;
            return kOk;
        }
        return assignToVector(*slot, &left, nullptr, false);
    }
    if (!ip.arrays().binary) return kMatrixOperation;
    left.setBorrowedBlock(d, false);
    Error err = ip.arrays().binary(ip, operatorFor(code), left, operand);
    if (err) return err;
    if (!left.isBlock()) return kMatrixSizes;
    const int resultType = left.pData->elementType;
    const bool doubleVariable = d->elementType == kElemRealMatrix || d->elementType == kElemComplexMatrix ||
                                d->elementType == kElemDouble;
    if (resultType == kElemComplexMatrix && !doubleVariable) return kWrongDataType;
    if (!doubleVariable || (d->blockFlags & kBlockFixed))
        return assignToVector(*slot, &left, nullptr, true);  // keeps the element type
    DataBlock* fresh = left.releaseBlock();
    if (!fresh) return kOutOfMemory;
    if (fresh != d) {
        freeBlock(d);
        *slot = fresh;
    }
    return kOk;
}

Error vectorArithmetic(Interpreter& ip, int code, DataBlock** slot, MCVal& operand) {
    DataBlock* d = *slot;
    const bool realVariable = d->elementType != kElemComplexMatrix && !isComplexScalarBlock(d);
    const bool squareMatrix = arrays::isSquareMatrix(d);
    if (realVariable && operand.isReal() && !(code == cmd::PowerAssign && squareMatrix)) {
        inPlace(code, d, operand.re, nullptr);
        return kOk;
    }
    if (realVariable && operand.isBlock() && operand.pData && !arrays::isComplexBlock(operand.pData)) {
        const DataBlock* x = operand.pData;
        const bool matrixProduct =
            (code == cmd::Multiply || code == cmd::Divide) && d->isMatrix() && x->isMatrix();
        const bool matrixPower = code == cmd::PowerAssign && squareMatrix;
        if (!matrixProduct && !matrixPower) {
            if (arrays::elementsOf(x) != d->count) return kMatrixSizes;
            arrays::RealView values;
            if (!values.bind(x)) return kOutOfMemory;
            inPlace(code, d, 0, values.data());
            return kOk;
        }
    }
    return throughEngine(ip, code, slot, operand);
}

Error arithmeticStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        ArgSlot& variable = args.slot(0);
        if (!args.value(1)) return kNotEnoughParameters;
        if (variable.form == kFormBlock && variable.var.block && *variable.var.block)
            return vectorArithmetic(ip, args.code, variable.var.block, *args.value(1));
        if (!variable.var.number) return kWrongDataType;
        double& v = *variable.var.number;
        v = combine(args.code, v, args.number(1));
        return kOk;
    });
}

// AddPtr v, n: moves the address in v by n bytes, when the new address is readable.
Error addPtrStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    if (!args.var(0).number) return kWrongDataType;
    double& v = *args.var(0).number;
    double moved = v + static_cast<double>(args.l(1));
    if (!(moved >= 1 && moved < 18446744073709551616.0)) return kBadAddress;
    unsigned char* p = nullptr;
    Error err = checkAddress(ip, static_cast<uint64_t>(moved), 1, Access::Read, p);
    if (err) return err;
    v = moved;
    return kOk;
}

}  // namespace

// The arithmetic statements also take a vector as their variable.
constexpr CommandRow kArithmeticStatementsRows[] = {
    {cmd::Add, arithmeticStatement, kVariableTakesBlocks},
    {cmd::Subtract, arithmeticStatement, kVariableTakesBlocks},
    {cmd::Multiply, arithmeticStatement, kVariableTakesBlocks},
    {cmd::Divide, arithmeticStatement, kVariableTakesBlocks},
    {cmd::PowerAssign, arithmeticStatement, kVariableTakesBlocks},
    {cmd::AddPtr, addPtrStatement},
};

void registerArithmeticStatements(Interpreter& ip) {
    ip.install({"vectors/arithmetic", kArithmeticStatementsRows});
}

}  // namespace tvx::builtins::vectors
