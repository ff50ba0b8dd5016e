#include "builtins/arrays/arrays.h"

#include "builtins/arrays/engine.h"
#include "interp/interpreter.h"

namespace tvx::builtins {

void registerArrayEngine(interp::Interpreter& ip) {
    ip.arrays.binary = arrays::arrayBinary;
    ip.arrays.transpose = arrays::arrayTranspose;
    ip.arrays.matrixFunction = arrays::matrixFunction;
    arrays::registerArrayCommands(ip);
}

}  // namespace tvx::builtins
