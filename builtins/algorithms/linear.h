// Dense linear systems on arrays of doubles in memory (row after row).
#pragma once

#include <cstdint>

namespace tvx::builtins::algorithms {

enum SolveResult : int {
    kSolved = 0,
    kSingularSystem = 1,  // a column without any non-zero pivot candidate
    kSolveNoMemory = 2,
};

// Solves a x = b for the n by n matrix a: LU decomposition with partial
// pivoting (in each column the row with the largest magnitude, the first of
// equals), in place. On success a holds the factors of the row-exchanged
// matrix (L below the diagonal with unit diagonal, U on and above it) and b
// the solution; after kSingularSystem both hold intermediate values.
SolveResult solveLinearSystem(double* a, double* b, int64_t n);

// Adds x'x to the k by k matrix normal (the upper triangle accumulated
// observation by observation, then copied to the lower one) and x'y to r, for
// n observations of k regressors (x: n rows of k values).
void accumulateNormalEquations(const double* x, const double* y, int64_t n, int64_t k, double* normal,
                               double* r);

}  // namespace tvx::builtins::algorithms
