// SolveLinEqu and LeastSqrDev: linear systems and normal equations on arrays
// of doubles that the macro passes by address.
#include "builtins/algorithms/linear.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "builtins/algorithms/algorithmsinternal.h"
#include "builtins/algorithms/workbuffer.h"
#include "builtins/files/fileinternal.h"

namespace tvx::builtins::algorithms {

using namespace interp;
using builtins::Access;
using builtins::checkMemory;

SolveResult solveLinearSystem(double* m, double* x, int64_t n) {
    for (int64_t k = 0; k < n; ++k) {
        int64_t pivotRow = k;
        double largest = std::fabs(m[k * n + k]);
        for (int64_t i = k + 1; i < n; ++i) {
            double v = std::fabs(m[i * n + k]);
            if (v > largest) {
                largest = v;
                pivotRow = i;
            }
        }
        // Every candidate is 0 (or the column is not a number): no solution.
        if (!(largest > 0) || !std::isfinite(largest)) return kSingularSystem;
        if (pivotRow != k) {
            for (int64_t j = 0; j < n; ++j) std::swap(m[k * n + j], m[pivotRow * n + j]);
            std::swap(x[k], x[pivotRow]);
        }
        const double pivot = m[k * n + k];
        const double* rowK = m + k * n;
        for (int64_t i = k + 1; i < n; ++i) {
            double* rowI = m + i * n;
            const double f = rowI[k] / pivot;
            rowI[k] = f;
            if (f == 0) continue;
            for (int64_t j = k + 1; j < n; ++j) rowI[j] -= f * rowK[j];
            x[i] -= f * x[k];
        }
    }
    for (int64_t i = n - 1; i >= 0; --i) {
        double s = x[i];
        const double* row = m + i * n;
        for (int64_t j = i + 1; j < n; ++j) s -= row[j] * x[j];
        x[i] = s / row[i];
    }
    return kSolved;
}

void accumulateNormalEquations(const double* x, const double* y, int64_t n, int64_t k, double* normal,
                               double* r) {
    // Observation by observation, so that two calls with halves of the data
    // give exactly what one call with all of it gives.
    for (int64_t i = 0; i < n; ++i) {
        const double* row = x + i * k;
        for (int64_t p = 0; p < k; ++p) {
            const double xp = row[p];
            double* target = normal + p * k;
            for (int64_t q = p; q < k; ++q) target[q] += xp * row[q];
            r[p] += xp * y[i];
        }
    }
    for (int64_t p = 0; p < k; ++p)
        for (int64_t q = 0; q < p; ++q) normal[p * k + q] = normal[q * k + p];
}

namespace {

// The bytes of n doubles, or -1 when they do not fit in memory at all.
int64_t doubleBytes(int64_t n) {
    return n < 0 || n > (INT64_MAX / 16) ? -1 : n * static_cast<int64_t>(sizeof(double));
}

// An array at a macro's address (checked: a vector named directly, or an
// address inside a variable's block, is bounded by the block's elements),
// copied into aligned memory and written back when asked.
class MappedArray {
public:
    Error map(Interpreter& ip, const interp::ArgSlot& arg, int64_t bytes, Access access) {
        if (bytes < 0) return kBadAddress;
        bytes_ = bytes;
        return checkMemory(ip, arg, static_cast<uint64_t>(bytes), access, address_);
    }
    bool load() {
        if (!copy_.allocate(bytes_ / static_cast<int64_t>(sizeof(double)))) return false;
        std::memcpy(copy_.data(), address_, static_cast<size_t>(bytes_));
        return true;
    }
    void store() { std::memcpy(address_, copy_.data(), static_cast<size_t>(bytes_)); }
    double* data() { return copy_.data(); }

private:
    unsigned char* address_ = nullptr;
    int64_t bytes_ = 0;
    WorkBuffer<double> copy_;
};

}  // namespace

// SolveLinEqu pA, pB, n: A x = b in place; !Error 0 solved, 1 singular, 2 no memory.
Error solveLinEquStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        const int64_t n = static_cast<uint16_t>(args.i(2));
        if (n == 0) {
            ip.results().error = kSolved;
            return kOk;
        }
        // Both are rewritten: the factors into A, the solution into b.
        MappedArray a, b;
        Error err = a.map(ip, args.slot(0), doubleBytes(n * n), Access::Write);
        if (!err) err = b.map(ip, args.slot(1), doubleBytes(n), Access::Write);
        if (err) return err;
        if (!a.load() || !b.load()) {
            ip.results().error = kSolveNoMemory;
            return kOk;
        }
        SolveResult outcome = solveLinearSystem(a.data(), b.data(), n);
        if (outcome == kSolved) {
            a.store();
            b.store();
        }
        ip.results().error = outcome;
        return kOk;
    });
}

// LeastSqrDev pX, pY, pN, pR, k, n: N += X'X, r += X'y.
Error leastSqrDevStatement(Interpreter& ip, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        // 16-bit arguments above 32767 arrive as their bit patterns.
        const int64_t k = static_cast<uint16_t>(args.i(4));
        int64_t n = static_cast<uint16_t>(args.i(5));
        if (n < 1) n = 1;
        if (k < 1) return kBadParameters;
        MappedArray x, y, normal, r;
        Error err = x.map(ip, args.slot(0), doubleBytes(n * k), Access::Read);
        if (!err) err = y.map(ip, args.slot(1), doubleBytes(n), Access::Read);
        if (!err) err = normal.map(ip, args.slot(2), doubleBytes(k * k), Access::Write);
        if (!err) err = r.map(ip, args.slot(3), doubleBytes(k), Access::Write);
        if (err) return err;
        if (!x.load() || !y.load() || !normal.load() || !r.load()) return kOutOfMemory;
        accumulateNormalEquations(x.data(), y.data(), n, k, normal.data(), r.data());
        normal.store();
        r.store();
        return kOk;
    });
}

}  // namespace tvx::builtins::algorithms
