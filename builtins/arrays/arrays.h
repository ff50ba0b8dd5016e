// The vector, matrix and array engine: the binary operators on data blocks, the
// matrix function dispatcher, and the matrix constructors and settings commands.
#pragma once

namespace tvx::interp {
class Interpreter;
}

namespace tvx::builtins {

// Installs the engine in ip.arrays (binary operators, the postfix transpose,
// the matrix function dispatcher) and registers Matrix, Array, Vector, Reshape,
// Find, CumSum, CumProd, Index2D..Index4D, El, VectFind, Det, Transp,
// MatrixRows, MatrixCols, SetMatrixBase, GetMatrixBase and MatrixInfo.
void registerArrayEngine(interp::Interpreter& ip);

}  // namespace tvx::builtins
