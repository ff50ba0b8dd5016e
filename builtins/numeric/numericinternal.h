// Shared by the files of the numeric functions: reading scalar arguments that
// may be complex, and the registration of each family.
#pragma once

#include "interp/api.h"

namespace tvx::interp {
class Interpreter;
}

namespace tvx::builtins {

// A scalar argument: its real value, and the imaginary part when the argument
// record says Complex. A slot without a record (a direct call) is real.
struct ScalarArg {
    interp::Complex z;
    bool complex = false;
};

inline ScalarArg scalarArg(const interp::CallArgs& args, int index) {
    if (!args.present(index)) return {};
    const interp::ArgSlot& slot = args.slot(index);
    if (slot.value && slot.value->isComplex()) return {{slot.value->re, slot.value->im}, true};
    return {{slot.number, 0}, false};
}

// A complex result of an arithmetic step, its negligible parts cleared.
inline void setComplexResult(interp::MCVal& result, interp::Complex z) {
    interp::clearNegligibleParts(z.re, z.im);
    result.setComplex(z.re, z.im);
}

void registerElementaryFunctions(interp::Interpreter& ip);
void registerRoundingFunctions(interp::Interpreter& ip);
void registerBitFunctions(interp::Interpreter& ip);
void registerSpecialFunctions(interp::Interpreter& ip);
void registerRandomFunctions(interp::Interpreter& ip);
void registerEvaluationFunctions(interp::Interpreter& ip);
void registerVariableFunctions(interp::Interpreter& ip);
void registerTimeStatus(interp::Interpreter& ip);

}  // namespace tvx::builtins
