// The vector commands: element and range setting, initialisation, assignment,
// arithmetic statements on numbers and vectors, element-wise vector
// arithmetic, copying and rearranging, matrix products and inverses over
// series of matrices, text conversion, sorting, random fills.
#pragma once

namespace tvx::interp {
class Interpreter;
}

namespace tvx::builtins {

// Registers the Vect... statements, SetEl, SetRange, Limit, SetBits, SetSBits,
// SetComplex, and Add, Subtract, Multiply, Divide, AddPtr and the power
// assignment in place of the core's number-only forms (their variable may
// also be a vector).
void registerVectorCommands(interp::Interpreter& ip);

}  // namespace tvx::builtins
