// Two real numbers combined by a binary operator, as the evaluator combines
// them: the common operators inline, for the compiled forms' inner loops.
#pragma once

#include "interp/command.h"

namespace tvx::interp {

class Interpreter;

// a = a op b for the operators combine() leaves to the evaluator. False on an
// error (the text then reports it).
bool combineByEvaluator(Interpreter& ip, int code, double& a, double b);

// The operators worked out inline, numbered densely (a form that keeps this
// number beside the operator code switches on it through a table).
enum class InlineOperator : uint8_t {
    kAdd,
    kSubtract,
    kMultiply,
    kDivide,
    kLess,
    kGreater,
    kLessEqual,
    kGreaterEqual,
    kEqual,
    kNotEqual,
    kOther,  // the evaluator's
};

constexpr InlineOperator inlineOperator(int code) {
    switch (code) {
    case kOpAdd: return InlineOperator::kAdd;
    case kOpSubtract: return InlineOperator::kSubtract;
    case kOpMultiply: return InlineOperator::kMultiply;
    case kOpDivide: return InlineOperator::kDivide;
    case kOpLess: return InlineOperator::kLess;
    case kOpGreater: return InlineOperator::kGreater;
    case kOpLessEqual: return InlineOperator::kLessEqual;
    case kOpGreaterEqual: return InlineOperator::kGreaterEqual;
    case kOpEqual: return InlineOperator::kEqual;
    case kOpNotEqual: return InlineOperator::kNotEqual;
    default: return InlineOperator::kOther;
    }
}

// a = a op b, op given both ways.
[[gnu::always_inline]] inline bool combine(Interpreter& ip, InlineOperator op, int code, double& a,
                                           double b) {
    switch (op) {
    case InlineOperator::kAdd: a += b; return true;
    case InlineOperator::kSubtract: a -= b; return true;
    case InlineOperator::kMultiply: a *= b; return true;
    case InlineOperator::kDivide: a /= b; return true;
    case InlineOperator::kLess: a = a < b; return true;
    case InlineOperator::kGreater: a = a > b; return true;
    case InlineOperator::kLessEqual: a = a <= b; return true;
    case InlineOperator::kGreaterEqual: a = a >= b; return true;
    case InlineOperator::kEqual: a = a == b; return true;
    case InlineOperator::kNotEqual: a = a != b; return true;
    case InlineOperator::kOther: break;
    }
    return combineByEvaluator(ip, code, a, b);
}

// a = a op b: arithmetic and comparisons here, every other operator as the
// evaluator has it.
[[gnu::always_inline]] inline bool combine(Interpreter& ip, int code, double& a, double b) {
    return combine(ip, inlineOperator(code), code, a, b);
}

}  // namespace tvx::interp
