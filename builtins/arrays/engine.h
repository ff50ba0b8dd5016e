// Internal interfaces of the array engine: the entries installed in
// ip.arrays, the block-level matrix operations they share with the matrix
// functions, and the registration of the commands.
#pragma once

#include <cstdint>

#include "builtins/arrays/blockutil.h"
#include "interp/api.h"

namespace tvx::interp {
class Interpreter;
}

namespace tvx::builtins::arrays {

using interp::CallArgs;
using interp::Interpreter;

// left = left op right, where at least one operand is a data block (the
// operator codes of the scanner). Returns 0 or an error number.
interp::Error arrayBinary(Interpreter& ip, int op, MCVal& left, MCVal& right);
// The same, continued in the same pass as next says (see ArrayContinuation);
// handled false where the steps must be taken one by one.
interp::Error arrayBinaryOnward(Interpreter& ip, int op, MCVal& left, MCVal& right,
                                const interp::ArrayContinuation& next, bool& handled);
// The postfix transpose of a block value.
interp::Error arrayTranspose(Interpreter& ip, MCVal& value);
// A built-in function whose first (or, reversed, second) argument is a block.
interp::Error matrixFunction(Interpreter& ip, int code, CallArgs& args, MCVal& result);

// The matrix product a times b (a's x size equals b's y size).
interp::Error multiplyBlocks(const DataBlock* a, const DataBlock* b, DataBlock*& out);
// The inverse: a square matrix by Gauss-Jordan, a vector (one dimension 1)
// element by element; 43 for any other shape, 45 when singular.
interp::Error inverseBlock(const DataBlock* m, DataBlock*& out);
// The transpose of a block as a new block.
interp::Error transposeBlock(const DataBlock* m, DataBlock*& out);
// The determinant of a square block.
interp::Error determinantOf(const DataBlock* m, double& re, double& im, bool& complex);

// Commands and functions that are not reached through the dispatcher.
void registerArrayCommands(Interpreter& ip);

}  // namespace tvx::builtins::arrays
