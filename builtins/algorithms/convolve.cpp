// Convolve(A, K [, mode]): the kernel laid over every element of A (centred,
// not reversed), with zero padding, mirrored or periodic borders.
#include <algorithm>
#include <cstring>

#include "builtins/algorithms/algorithmsinternal.h"
#include "builtins/algorithms/workbuffer.h"

namespace tvx::builtins::algorithms {

using namespace interp;

namespace {

enum class Border { Zero, Mirror, Wrap };

// A plane of doubles: rows by columns, row after row.
struct Plane {
    const double* data = nullptr;
    int64_t rows = 0;
    int64_t cols = 0;
};

// Where index t of a line of length n reads, or -1 when it reads nothing.
inline int64_t borderIndex(int64_t t, int64_t n, Border border) {
    if (t >= 0 && t < n) return t;
    switch (border) {
    case Border::Zero: return -1;
    case Border::Wrap: {
        int64_t r = t % n;
        return r < 0 ? r + n : r;
    }
    case Border::Mirror: {
        // Reflection that repeats the border element: -1 reads 0, n reads n - 1.
        int64_t period = 2 * n;
        int64_t r = t % period;
        if (r < 0) r += period;
        return r < n ? r : period - 1 - r;
    }
    }
    return -1;
}

// out[j] += sum over l of factor * k[l] * src[j + l - h] for one row.
void correlateRow(const double* __restrict src, int64_t n, const double* __restrict k, int64_t kn, int64_t h,
                  Border border, double factor, double* __restrict out) {
    // Interior: every tap inside the row.
    int64_t first = std::min(h, n);
    int64_t last = n - (kn - 1 - h);  // one past the last interior position
    if (last < first) last = first;
    constexpr int64_t kBlock = 512;
    for (int64_t j0 = first; j0 < last; j0 += kBlock) {
        int64_t count = std::min(kBlock, last - j0);
        double* __restrict o = out + j0;
        for (int64_t l = 0; l < kn; ++l) {
            const double c = factor * k[l];
            const double* __restrict s = src + j0 + l - h;
            for (int64_t t = 0; t < count; ++t) o[t] += c * s[t];
        }
    }
    // Borders: taps that fall outside go through the border rule.
    auto edge = [&](int64_t j) {
        for (int64_t l = 0; l < kn; ++l) {
            int64_t at = borderIndex(j + l - h, n, border);
            if (at >= 0) out[j] += factor * k[l] * src[at];
        }
    };
    for (int64_t j = 0; j < first; ++j) edge(j);
    for (int64_t j = last; j < n; ++j) edge(j);
}

// out += factor * (a correlated with k), out of a's size.
void correlateAdd(const Plane& a, const Plane& k, Border border, double factor, double* out) {
    const int64_t hr = (k.rows - 1) / 2, hc = (k.cols - 1) / 2;
    for (int64_t i = 0; i < a.rows; ++i) {
        for (int64_t kr = 0; kr < k.rows; ++kr) {
            int64_t si = borderIndex(i + kr - hr, a.rows, border);
            if (si < 0) continue;
            correlateRow(a.data + si * a.cols, a.cols, k.data + kr * k.cols, k.cols, hc, border, factor,
                         out + i * a.cols);
        }
    }
}

// The real and imaginary parts of an argument as planes.
struct Operand {
    int64_t rows = 1, cols = 1;
    bool complex = false;
    const DataBlock* block = nullptr;
    WorkBuffer<double> re, im;
    const double* plain = nullptr;  // the elements of a block of doubles
    double scalar[2] = {0, 0};

    Error bind(const MCVal& value) {
        if (!value.isBlock()) {
            complex = value.isComplex();
            scalar[0] = value.re;
            scalar[1] = complex ? value.im : 0;
            return kOk;
        }
        block = value.pData;
        if (arrays::isShortBlock(block)) return kInternalError;
        rows = block->ySize;
        cols = block->xSize;
        complex = arrays::isComplexBlock(block);
        int64_t n = rows * cols;
        if (arrays::isDoubleBlock(block)) {
            plain = block->doubles();  // read in place
            return kOk;
        }
        if (!re.allocate(n) || (complex && !im.allocate(n))) return kOutOfMemory;
        if (complex) {
            const double* d = block->doubles();
            for (int64_t i = 0; i < n; ++i) {
                re[i] = d[2 * i];
                im[i] = d[2 * i + 1];
            }
        } else {
            readElements(block, 0, n, re.data());
        }
        return kOk;
    }
    Plane real() const { return {plain ? plain : block ? re.data() : &scalar[0], rows, cols}; }
    Plane imaginary() const { return {block ? im.data() : &scalar[1], rows, cols}; }
};

Error convolve(const MCVal& av, const MCVal& kv, int32_t mode, MCVal& result) {
    Border border = (mode & 3) == 0 ? Border::Zero : (mode & 3) == 1 ? Border::Mirror : Border::Wrap;
    Operand a, k;
    Error err = a.bind(av);
    if (!err) err = k.bind(kv);
    if (err) return err;
    // A real block with a complex kernel is no defined mix.
    if (!a.complex && k.complex) return kWrongDataType;
    const int64_t n = a.rows * a.cols;
    const bool any = n > 0 && k.rows * k.cols > 0;
    if (!a.block) {
        // One number: the kernel's centre element times it.
        double re = 0, im = 0;
        if (any) {
            correlateAdd(a.real(), k.real(), border, 1, &re);
            if (a.complex) {
                correlateAdd(a.imaginary(), k.real(), border, 1, &im);
                if (k.complex) {
                    correlateAdd(a.imaginary(), k.imaginary(), border, -1, &re);
                    correlateAdd(a.real(), k.imaginary(), border, 1, &im);
                }
            }
        }
        if (a.complex)
            result.setComplex(re, im);
        else
            result.setReal(re);
        return kOk;
    }
    if (!a.complex) {
        // Real data: summed straight into the (zero-filled) result block.
        DataBlock* out = nullptr;
        if ((err = arrays::allocateLike(a.block, realResultType(a.block), n, out))) return err;
        out->shapeFlags &= static_cast<uint16_t>(~(arrays::kShapeLogical | arrays::kShapeIndex));
        if (any) correlateAdd(a.real(), k.real(), border, 1, out->doubles());
        arrays::setBlockResult(result, out);
        return kOk;
    }
    WorkBuffer<double> outRe, outIm;
    if (!outRe.allocate(n) || !outIm.allocate(n)) return kOutOfMemory;
    std::fill(outRe.data(), outRe.data() + n, 0.0);
    std::fill(outIm.data(), outIm.data() + n, 0.0);
    if (any) {
        correlateAdd(a.real(), k.real(), border, 1, outRe.data());
        correlateAdd(a.imaginary(), k.real(), border, 1, outIm.data());
        if (k.complex) {
            correlateAdd(a.imaginary(), k.imaginary(), border, -1, outRe.data());
            correlateAdd(a.real(), k.imaginary(), border, 1, outIm.data());
        }
    }
    DataBlock* out = nullptr;
    if ((err = arrays::allocateLike(a.block, kElemComplexMatrix, n, out))) return err;
    out->shapeFlags &= static_cast<uint16_t>(~(arrays::kShapeLogical | arrays::kShapeIndex));
    double* d = out->doubles();
    for (int64_t i = 0; i < n; ++i) {
        d[2 * i] = outRe[i];
        d[2 * i + 1] = outIm[i];
    }
    arrays::setBlockResult(result, out);
    return kOk;
}

}  // namespace

Error convolveFunction(Interpreter&, CallArgs& args, MCVal& result) {
    return guarded([&]() -> int {
        if (!args.present(0) || !args.present(1) || !args.value(0) || !args.value(1))
            return kNotEnoughParameters;
        return convolve(*args.value(0), *args.value(1), args.integer(2), result);
    });
}

}  // namespace tvx::builtins::algorithms
