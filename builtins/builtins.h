// The built-in statements and functions beyond the interpreter core.
#pragma once

namespace tvx::interp {
class Interpreter;
}

namespace tvx::builtins {

// Registers every built-in command, status variable and engine with the interpreter.
void registerBuiltins(interp::Interpreter& ip);

}  // namespace tvx::builtins
