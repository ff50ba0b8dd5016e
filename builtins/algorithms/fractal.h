// The escape-time iteration behind Fractal, and the pool of worker threads
// that computes large matrices in parts.
#pragma once

#include <cstdint>
#include <functional>

#include "interp/api.h"

namespace tvx::builtins::algorithms {

using interp::Complex;

// A four-component value (the quaternion families).
struct Quad {
    double a = 0, b = 0, c = 0, d = 0;
};

enum FractalFlags : uint32_t {
    kFractalFamilyMask = 0xFF,
    kFractalMatrixIsConstant = 0x01,  // families 0 and 1: the matrix supplies c
    kFractalSwapRoles = 0x800,        // z and c exchange their roles
    kFractalSecondOutput = 0x2000,    // complex result: imaginary part = final |z|
    kFractalShift = 0x10000000,       // quaternion families: offset from the parameter block
    kFractalRotate = 0x20000000,      // quaternion families: rotation from the parameter block
};

// Family 2 (quaternions) takes its parameters from a block given as the constant:
// elements 0..3 the quaternion constant, 4..7 the offset (with kFractalShift),
// 8 and 9 the rotation angles in the (a, c) and (b, d) planes (with kFractalRotate).
struct FractalParameters {
    int family = 0;                // 0/1: complex iteration, 2: quaternion iteration
    bool pointIsConstant = false;  // the matrix element is c (else z0)
    Complex other;                 // the fixed one of z0 and c
    Complex exponent{2, 0};
    int integerPower = 2;  // 2..80 for the fast paths, 0 for the general power
    int64_t limit = 100;
    double bailoutSquared = 4;
    bool secondOutput = false;
    Quad constant;  // family 2
    Quad offset;
    double angle1 = 0, angle2 = 0;
    bool shift = false, rotate = false;
};

// The number of iterations until |z| exceeds the bailout radius (at most the
// limit); finalModulus receives |z| at that point.
int64_t escapeCount(const FractalParameters& p, Complex point, double& finalModulus);

class WorkerPool;

// Runs part(begin, end) over [0, count): a matrix of 1000 elements or more in
// eight parts on the worker pool and the calling thread, a smaller one on the
// calling thread. part must write only its own range of results.
void runInParts(WorkerPool& pool, int64_t count, const std::function<void(int64_t, int64_t)>& part);

// Workers currently alive in the interpreter's pool (for tests).
int fractalWorkerCount(interp::Interpreter& ip);

}  // namespace tvx::builtins::algorithms
