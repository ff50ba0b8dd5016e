// Numeric evaluation: operands, binary operators by level, scalar arithmetic.
#include "interp/eval/evaluator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "interp/eval/scanner.h"
#include "interp/exec/linecache.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "interp/values/complexmath.h"
#include "interp/values/number.h"

namespace tvx::interp {

namespace {

int32_t asSigned(uint32_t v) { return static_cast<int32_t>(v); }

}  // namespace

Evaluator::Evaluator(Interpreter& ip) : ip_(ip), expressions_(std::make_unique<ExpressionCache>()) {}
Evaluator::~Evaluator() = default;

Error Evaluator::numeric(const char*& p, int limit, MCVal& out) {
    // Only the outermost evaluation of an assignment's right side knows its target.
    const Designator* target = std::exchange(assignmentTarget_, nullptr);
    // Blank-separated matrix elements end where a sign follows a blank: not for the cache.
    bool cached = compileExpressions_ && limit != kLimitMatrixElement;
    if (cached && expressions_->evaluate(ip_, p, limit, out)) return kOk;
    const char* start = p;
    ScannedOperator stop;
    const char* stopAt = nullptr;
    Error err = numericUntil(p, limit, out, stop, stopAt, target);
    if (err == kOk && cached && out.isReal()) expressions_->learn(ip_, start, p, limit);
    return err;
}

Error Evaluator::assignedValue(const char*& p, const Designator& target, MCVal& out) {
    assignmentTarget_ = &target;
    Error err = numeric(p, kLimitAssignment, out);
    assignmentTarget_ = nullptr;
    return err;
}

// An operation with a data block, op, about to combine out and right, may
// take more into its pass over the elements (ArrayContinuation): a following
// `+ 2` (an operator and a plain number that nothing binds more strongly),
// and, when nothing follows in the text, the target of the assignment. next
// and nextAt are the operator that ended right; when the number is taken they
// and p move past it. False when the engine left the operation to combine().
bool Evaluator::combineOnward(int op, MCVal& out, MCVal& right, int limit, const Designator* target,
                              const char*& p, ScannedOperator& next, const char*& nextAt, Error& err) {
    if (!ip_.arrays().binaryOnward || limit == kLimitMatrixElement) return false;
    ArrayContinuation more;
    const char* rest = nextAt ? nextAt : p;  // the text after the operation (and the number)
    ScannedOperator after = next;
    if (nextAt && next.code != 0 && next.level < limit) {
        // The number is the whole right operand of next when what follows it
        // binds no more strongly (as numericUntil would find).
        const char* number = skipBlanks(nextAt + next.length);
        if (isDigit(*number)) {
            double value = 0;
            const char* end = scanNumber(number, value);
            const char* q = skipBlanks(end);
            ScannedOperator following;
            if (*end != '\'' && scanOperator(q, following) &&
                (following.code == 0 || following.level >= next.level)) {
                more.op = next.code;
                more.number = value;
                rest = q;
                after = following;
            }
        }
    }
    if (target && target->form == Designator::kVariable && target->slot && after.code == 0 &&
        *skipBlanks(rest) == '\0') {
        // Read now: the evaluation of the operands may have replaced the block.
        Variable& var = target->slot.var();
        if (var.valueKind() == kKindBlock) more.into = var.block;
    }
    if (!more.op && !more.into) return false;
    bool handled = false;
    err = ip_.arrays().binaryOnward(ip_, op, out, right, more, handled);
    if (!handled || err || !more.op) return handled;
    p = rest;
    next = after;
    nextAt = rest;
    return true;
}

// The numeric evaluation proper. An operator that ends the expression because
// it binds less strongly than limit is handed back (stop, at stopAt), so that
// the caller continues with it instead of scanning it again.
Error Evaluator::numericUntil(const char*& p, int limit, MCVal& out, ScannedOperator& stop,
                              const char*& stopAt, const Designator* target) {
    // Nested evaluations (brackets, signs, arguments, macro functions) are
    // bounded by the stack that is left, so that no input can exhaust it.
    if (stackNearlyExhausted()) {
        ip_.setErrorPosition(p);
        return kOutOfMemory;
    }
    out.clear();
    p = skipBlanks(p);
    const char* start = p;
    Error err = operand(p, limit, out);
    if (err == kStringOperand) {
        p = start;
        return kStringOperand;
    }
    if (err) return err;
    if (out.isEmpty()) return kOk;
    ScannedOperator next;
    const char* nextAt = nullptr;
    while (true) {
        const char* q = skipBlanks(p);
        // Blank-separated elements: " -x" starts the next element.
        if (limit == kLimitMatrixElement && *q == '-' && q > p && !isBlank(q[1]) && q[1] != '\0') break;
        ScannedOperator op;
        if (q == nextAt) {
            op = next;
        } else if (!scanOperator(q, op)) {
            ip_.setErrorPosition(q);
            return kUnknownOperator;
        }
        if (op.code == 0 || op.level >= limit) {
            stop = op;
            stopAt = q;
            break;
        }
        q += op.length;
        MCVal right;
        nextAt = nullptr;
        err = numericUntil(q, op.level, right, next, nextAt);
        if (err == kStringOperand) {
            ip_.setErrorPosition(q);
            return kWrongDataType;
        }
        if (err) return err;
        if (right.isEmpty()) {
            ip_.setErrorPosition(q);
            return kNotEnoughParameters;
        }
        const char* end = q;
        // Only an operation with a data block may go further than its own step.
        if (!(out.isBlock() || right.isBlock()) ||
            !combineOnward(op.code, out, right, limit, target, end, next, nextAt, err))
            err = combine(op.code, out, right);
        if (err) {
            ip_.setErrorPosition(q);
            return err;
        }
        p = end;
    }
    return kOk;
}

Error Evaluator::real(const char*& p, int limit, double& out) {
    MCVal value;
    Error err = numeric(p, limit, value);
    if (err == kStringOperand) return kWrongDataType;
    if (err) return err;
    if (value.isEmpty()) return kNotEnoughParameters;
    if (!value.isReal()) return kWrongDataType;
    out = value.re;
    return kOk;
}

Error Evaluator::operand(const char*& p, int limit, MCVal& out) {
    const char* start = p;
    Error err = kOk;
    char c = *p;
    if (c == '(') {
        ++p;
        err = numeric(p, kLimitBracket, out);
        if (err == kStringOperand) err = kWrongDataType;
        if (err) return err;
        p = skipBlanks(p);
        if (*p != ')') {
            ip_.setErrorPosition(p);
            return kBracket;
        }
        ++p;
    } else if (c == '-') {
        ++p;
        err = numeric(p, kLimitUnary, out);
        if (err == kStringOperand) err = kWrongDataType;
        if (err) return err;
        if (out.isEmpty()) {
            ip_.setErrorPosition(p);
            return kNotEnoughParameters;
        }
        err = negate(out);
        if (err) return err;
    } else if (c == '+') {
        ++p;
        p = skipBlanks(p);
        return operand(p, limit, out);
    } else if (isDigit(c)) {
        double value;
        p = scanNumber(p, value);
        out.setReal(value);
    } else if (c == '\'') {
        // 'c': a character code
        if (p[1] == '\0' || p[2] != '\'') {
            ip_.setErrorPosition(p);
            return kWrongDataType;
        }
        out.setReal(static_cast<unsigned char>(p[1]));
        p += 3;
    } else if (c == '[') {
        err = matrixLiteral(p, out);
        if (err) return err;
    } else if (c == '&') {
        err = addressOperand(p, out);
        if (err) return err;
    } else if (c == '"' || c == '#' || c == '$') {
        return stringOperandOrComparison(p, out);
    } else if (c == '!' || isNameChar(c)) {
        err = nameOperand(p, limit, out);
        if (err == kStringOperand) {
            p = start;
            return stringOperandOrComparison(p, out);
        }
        if (err) return err;
    } else {
        // End of the expression, or a character no operand starts with: empty.
        return kOk;
    }
    // Postfix transpose.
    if (*p == '\'') {
        if (out.isBlock()) {
            if (!ip_.arrays().transpose) return kMatrixOperation;
            err = ip_.arrays().transpose(ip_, out);
            if (err) return err;
        }
        ++p;
    }
    return kOk;
}

Error Evaluator::nameOperand(const char*& p, int limit, MCVal& out) {
    const char* start = p;
    if (*p != '!') {
        // name(...) or object.name(...) is a call.
        uint16_t hash;
        const char* end = scanName(p, hash);
        const char* nameEnd = end;
        while (*nameEnd == '.' && isNameChar(nameEnd[1]) && !isDigit(nameEnd[1])) {
            uint16_t ignored;
            nameEnd = scanName(nameEnd + 1, ignored);
        }
        const char* afterName = nameEnd;
        bool direct = *afterName == '(';
        if (!direct && limit != kLimitMatrixElement) afterName = skipBlanks(afterName);
        if (nameEnd == end && *end == '[') {
            // A declared name with an index, "cos[1](x)".
            std::string indexed(start, static_cast<size_t>(end - start));
            const char* after = nullptr;
            if (declaredIndexName(end, indexed, after) && *after == '(') {
                if (const Variable* declaration = declarationOf(indexed)) {
                    p = after + 1;
                    return callDeclared(p, indexed, *declaration, true, out);
                }
            }
        }
        if (*afterName == '(') {
            std::string_view name(start, static_cast<size_t>(nameEnd - start));
            int code = nameEnd == end ? ip_.commands().lookup(name, hash) : -1;
            if (code >= 0 && isFunctionCode(code)) {
                p = afterName;
                return callBuiltin(p, code, out);
            }
            if (code < 0 && nameEnd == end) {
                // A function that Decl declared.
                if (const Variable* declaration = declarationOf(name)) {
                    p = afterName + 1;
                    return callDeclared(p, name, *declaration, true, out);
                }
            }
            {
                // A macro function (or an object's method): the raw text between
                // the brackets is handed over. As for built-in functions, blanks
                // may stand before the '(' (not inside a matrix literal, where a
                // blank separates elements).
                const char* q = closingBracket(afterName);
                if (*q != ')') {
                    ip_.setErrorPosition(q);
                    return kBracket;
                }
                std::string_view arguments(afterName + 1, static_cast<size_t>(q - afterName - 1));
                p = q + 1;
                out.setReal(0);
                return ip_.runner().callFunction(name, arguments, out);
            }
        }
    }
    Designator d;
    Error err = designate(p, ip_.symbols().lookupOnly ? Creation::Find : Creation::Create, d);
    if (err) return err;
    err = readValue(d, out);
    if (err == kUndefinedVariable) ip_.setErrorPosition(start);
    return err;
}

Error Evaluator::addressOperand(const char*& p, MCVal& out) {
    const char* start = p;
    ++p;
    Designator d;
    Error err = designate(p, Creation::Create, d);
    if (err) return err;
    uintptr_t address = 0;
    Variable* var = d.slot ? &d.slot.var() : nullptr;
    switch (d.form) {
    case Designator::kVariable:
        if (var->valueKind() == kKindBlock && var->block) {
            address = reinterpret_cast<uintptr_t>(var->block->bytes());
        } else if (var->valueKind() == kKindString) {
            address = reinterpret_cast<uintptr_t>(var->text.data());
        } else {
            address = reinterpret_cast<uintptr_t>(&var->number);
        }
        break;
    case Designator::kElement: {
        DataBlock* block = var->block;
        int size = elementSize(block->elementType);
        if (block->elementType == kElemComplexMatrix) size = 16;
        address = reinterpret_cast<uintptr_t>(block->bytes() + d.position * size);
        break;
    }
    case Designator::kCharacter: address = reinterpret_cast<uintptr_t>(var->text.data() + d.position); break;
    default: ip_.setErrorPosition(start); return kWrongDataType;
    }
    out.setReal(static_cast<double>(address));
    return kOk;
}

Error Evaluator::negate(MCVal& value) {
    if (value.isReal()) {
        value.re = -value.re;
        return kOk;
    }
    if (value.isComplex()) {
        value.re = -value.re;
        value.im = -value.im;
        return kOk;
    }
    if (!value.isBlock()) return kWrongDataType;
    if (!value.makeBlockOwned()) return kOutOfMemory;
    DataBlock* block = value.pData;
    constexpr int64_t kRun = 1024;  // converted a run at a time
    double run[kRun];
    for (int64_t from = 0; from < block->count; from += kRun) {
        int64_t count = std::min(kRun, block->count - from);
        readElements(block, from, count, run);
        for (int64_t i = 0; i < count; ++i) run[i] = -run[i];
        storeElements(block, from, count, run);
    }
    value.re = readElement(block, 0);
    return kOk;
}

Error Evaluator::combine(int op, MCVal& left, MCVal& right) {
    if (left.isReal() && right.isReal()) return combineReal(op, left.re, right.re, left.re);
    if (left.isBlock() || right.isBlock()) {
        if (!ip_.arrays().binary) return kMatrixOperation;
        return ip_.arrays().binary(ip_, op, left, right);
    }
    return combineComplex(op, left, right);
}

Error Evaluator::combineReal(int op, double a, double b, double& result) {
    switch (op) {
    case kOpPower:
    case kOpPower + kElementWise: result = b == 2 ? a * a : std::pow(a, b); return kOk;
    case kOpMultiply:
    case kOpMultiply + kElementWise: result = a * b; return kOk;
    case kOpDivide:
    case kOpDivide + kElementWise: result = a / b; return kOk;
    case kOpLeftDivide:
    case kOpLeftDivide + kElementWise: result = b / a; return kOk;
    case kOpAdd: result = a + b; return kOk;
    case kOpSubtract: result = a - b; return kOk;
    case kOpLess: result = a < b; return kOk;
    case kOpGreater: result = a > b; return kOk;
    case kOpLessEqual: result = a <= b; return kOk;
    case kOpGreaterEqual: result = a >= b; return kOk;
    case kOpEqual:
    case kOpEqual + kElementWise: result = a == b; return kOk;
    case kOpNotEqual:
    case kOpNotEqual + kElementWise: result = a != b; return kOk;
    case kOpFmod: result = std::fmod(a, b); return kOk;
    default: break;
    }
    // The integer operators work on the low 32 bits of the rounded operands.
    uint32_t x = toUInt32Wrapped(a);
    uint32_t y = toUInt32Wrapped(b);
    bool bothPositive = a > 0 && b > 0;
    switch (op) {
    case kOpAnd: result = asSigned(x & y); return kOk;
    case kOpOr: result = asSigned(x | y); return kOk;
    case kOpXor: result = asSigned(x ^ y); return kOk;
    case kOpMul: result = asSigned(x * y); return kOk;
    case kOpDiv:
        if (y == 0)
            result = 2147483647;
        else if (bothPositive)
            result = x / y;
        else if (asSigned(x) == INT32_MIN && asSigned(y) == -1)
            result = INT32_MIN;  // wraps
        else
            result = asSigned(x) / asSigned(y);
        return kOk;
    case kOpMod:
        if (y == 0)
            result = 0;
        else if (bothPositive)
            result = x % y;
        else if (asSigned(y) == -1)
            result = 0;
        else
            result = asSigned(x) % asSigned(y);
        return kOk;
    case kOpShiftLeft: result = y >= 32 ? 0 : asSigned(x << y); return kOk;
    case kOpShiftRight:
        if (y >= 32)
            result = 0;
        else if (a > 0)
            result = x >> y;
        else
            result = asSigned(x) >> y;
        return kOk;
    default: return kUnknownOperator;
    }
}

Error Evaluator::combineComplex(int op, MCVal& left, const MCVal& right) {
    Complex a{left.re, left.isComplex() ? left.im : 0};
    Complex b{right.re, right.isComplex() ? right.im : 0};
    Complex r;
    switch (op) {
    case kOpAdd: r = cadd(a, b); break;
    case kOpSubtract: r = csub(a, b); break;
    case kOpMultiply:
    case kOpMultiply + kElementWise: r = cmul(a, b); break;
    case kOpDivide:
    case kOpDivide + kElementWise: r = cdiv(a, b); break;
    case kOpLeftDivide:
    case kOpLeftDivide + kElementWise: r = cdiv(b, a); break;
    case kOpPower:
    case kOpPower + kElementWise: r = cpow(a, b); break;
    case kOpEqual:
    case kOpEqual + kElementWise: left.setReal(a.re == b.re && a.im == b.im); return kOk;
    case kOpNotEqual:
    case kOpNotEqual + kElementWise: left.setReal(a.re != b.re || a.im != b.im); return kOk;
    case kOpLess:
    case kOpGreater:
    case kOpLessEqual:
    case kOpGreaterEqual: return kMatrixOperation;  // complex numbers have no order
    default: {
        // Integer operators and FMOD act on the real and imaginary parts
        // separately; a real operand meets both parts.
        if (!left.isComplex()) a.im = a.re;
        if (!right.isComplex()) b.im = b.re;
        Error err = combineReal(op, a.re, b.re, r.re);
        if (!err) err = combineReal(op, a.im, b.im, r.im);
        if (err) return err;
        break;
    }
    }
    clearNegligibleParts(r.re, r.im);
    left.setComplex(r.re, r.im);
    return kOk;
}

}  // namespace tvx::interp
