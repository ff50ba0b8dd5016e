#include "builtins/builtins.h"

namespace tvx::builtins {

// One line per area of the built-ins (each area's register function is declared
// in its folder's header).
void registerBuiltins(interp::Interpreter& ip) {
    (void)ip;
}

}  // namespace tvx::builtins
