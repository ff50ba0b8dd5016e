#include "builtins/builtins.h"

#include "builtins/algorithms/algorithms.h"
#include "builtins/arrays/arrays.h"
#include "builtins/files/files.h"
#include "builtins/numeric/numeric.h"
#include "builtins/strings/strings.h"
#include "builtins/vectors/vectors.h"

namespace tvx::builtins {

// One line per area of the built-ins (each area's register function is declared
// in its folder's header).
void registerBuiltins(interp::Interpreter& ip) {
    registerNumericFunctions(ip);
    registerArrayEngine(ip);
    registerStringCommands(ip);
    registerFileCommands(ip);
    registerVectorCommands(ip);
    registerNumericAlgorithms(ip);
}

}  // namespace tvx::builtins
