// Dense matrix algorithms on row-major arrays of doubles (complex matrices as
// interleaved real/imaginary pairs): product, inverse, determinant, the
// normal-equation least squares, transpose. Element (x, y) of a matrix with
// nx columns lies at x + y * nx. Functions return 0 or an error number.
#pragma once

#include <cstdint>
#include <vector>

#include "interp/api.h"

namespace tvx::builtins::arrays {

using interp::Complex;

// c (m rows, k columns) = a (m by n) times b (n by k). Every element is summed
// in extended precision from j = 0 upward: on processors with FMA the exact
// products are added as double-double pairs (about 106 bits), elsewhere in the
// x87 long double (64 bits). c must not overlap a or b.
void multiplyReal(const double* a, const double* b, double* c, int64_t m, int64_t n, int64_t k);
// The long double form alone (what processors without FMA use).
void multiplyRealLongDouble(const double* a, const double* b, double* c, int64_t m, int64_t n, int64_t k);
void multiplyComplex(const double* a, const double* b, double* c, int64_t m, int64_t n, int64_t k);

// The column order of the inverse: order[r] is the column whose element in row
// r is used as pivot; every such element of a is exactly non-zero. Of all such
// orders the lexicographically first (rows in turn taking the lowest column
// that still allows a complete order). False when none exists (a singular
// matrix). complex: a holds interleaved pairs.
bool findColumnOrder(const double* a, int64_t n, bool complex, std::vector<int32_t>& order);

// Inverts the n by n matrix in place: Gauss-Jordan elimination in the column
// order above, without further pivoting. Should that meet a pivot that is
// exactly 0 although a complete order exists, the matrix is inverted with row
// pivoting instead, so that a regular matrix is never reported singular.
// 45 when the matrix is singular, 13 when scratch memory fails.
interp::Error invertReal(double* a, int64_t n);
interp::Error invertComplex(double* a, int64_t n);

// Determinant by Gaussian elimination with partial pivoting (the row with the
// largest squared magnitude, the first of equals); a is left unchanged.
interp::Error determinantReal(const double* a, int64_t n, double& det);
interp::Error determinantComplex(const double* a, int64_t n, Complex& det);

// Solves the n by n system a x = b in place by LU decomposition without
// pivoting (a is overwritten, b receives x); 45 on a zero pivot.
interp::Error solveInPlace(double* a, double* b, int64_t n);

// Least squares for x (m rows, k columns, k < m) and y (m values): the
// normal equations x'x c = x'y are accumulated and solved; c gets k values.
// transposed: x is given as its transpose (k rows, m columns).
interp::Error leastSquares(const double* x, const double* y, int64_t m, int64_t k, bool transposed,
                           double* c);

// Transposes the ny rows of nx elements of size bytes each from source into
// destination (which must not overlap it).
void transposeCopy(const unsigned char* source, unsigned char* destination, int64_t nx, int64_t ny, int size);
// Transposes an n by n matrix of elements of size bytes in place.
void transposeSquare(unsigned char* data, int64_t n, int size);

}  // namespace tvx::builtins::arrays
