#include "builtins/numeric/numeric.h"

#include "builtins/numeric/numericinternal.h"

namespace tvx::builtins {

void registerNumericFunctions(interp::Interpreter& ip) {
    registerElementaryFunctions(ip);
    registerRoundingFunctions(ip);
    registerBitFunctions(ip);
    registerSpecialFunctions(ip);
    registerRandomFunctions(ip);
    registerEvaluationFunctions(ip);
    registerVariableFunctions(ip);
    registerTimeStatus(ip);
}

}  // namespace tvx::builtins
