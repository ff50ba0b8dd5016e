#include "builtins/arrays/arrays.h"

#include "builtins/arrays/engine.h"
#include "interp/api.h"

namespace tvx::builtins {

// The operators and functions on data blocks for the evaluator.
constexpr interp::ArrayEngine kArrayEngine{.binary = arrays::arrayBinary,
                                           .binaryOnward = arrays::arrayBinaryOnward,
                                           .transpose = arrays::arrayTranspose,
                                           .matrixFunction = arrays::matrixFunction};

void registerArrayEngine(interp::Interpreter& ip) {
    ip.install({.name = "arrays/engine", .commands = {}, .arrays = &kArrayEngine});
    arrays::registerArrayCommands(ip);
}

}  // namespace tvx::builtins
