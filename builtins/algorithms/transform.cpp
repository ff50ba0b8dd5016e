// FFT(M [, options]): the discrete Fourier transform of the rows, the columns,
// or both dimensions of a block, with optional half swaps before and after.
#include <algorithm>
#include <cstring>

#include "builtins/algorithms/algorithmsinternal.h"
#include "builtins/algorithms/fft.h"
#include "builtins/algorithms/workbuffer.h"

namespace tvx::builtins::algorithms {

using namespace interp;

namespace {

enum FftOptions : int32_t {
    kFftInverse = 0x01,
    kFftSwapAfter = 0x02,
    kFftSwapBefore = 0x04,
    kFftColumns = 0x10,
    kFftBoth = 0x20,
    kFftNoTransform = 0x40,
};

// Lines longer than this get no definition-based fallback when their plan
// cannot be had (it would take hours): they report 813 instead.
constexpr int64_t kLongestDirectLine = 4096;

enum class Lines { Rows, Columns, Both };

// Exchanges the halves of the rows, of the columns, or the quadrants across
// the diagonals; a dimension of odd length leaves the data as it is.
void swapHalves(Complex* d, int64_t nx, int64_t ny, Lines lines) {
    if (lines == Lines::Both) {
        if (nx % 2 != 0 || ny % 2 != 0) return;
        for (int64_t y = 0; y < ny / 2; ++y)
            for (int64_t x = 0; x < nx; ++x)
                std::swap(d[y * nx + x], d[(y + ny / 2) * nx + (x + nx / 2) % nx]);
    } else if (lines == Lines::Columns) {
        if (ny % 2 != 0) return;
        for (int64_t y = 0; y < ny / 2; ++y)
            std::swap_ranges(d + y * nx, d + (y + 1) * nx, d + (y + ny / 2) * nx);
    } else {
        if (nx % 2 != 0) return;
        for (int64_t y = 0; y < ny; ++y)
            std::swap_ranges(d + y * nx, d + y * nx + nx / 2, d + y * nx + nx / 2);
    }
}

// Transforms lines of length n at start, start + spacing, ...: each line's
// elements are stride apart. source null: in place in d.
class LineTransformer {
public:
    Error prepare(int64_t n) {
        n_ = n;
        if (n < 2) return kOk;
        plan_ = fftPlanFor(n);
        if (!plan_ && n > kLongestDirectLine) return kOutOfMemory;
        if (!spectrum_.allocate(n)) return kOutOfMemory;
        return kOk;
    }
    // One line: from (source, sourceStride) into (target, targetStride).
    void run(const Complex* source, int64_t sourceStride, Complex* target, int64_t targetStride,
             bool inverse) {
        if (n_ < 2) {
            if (n_ == 1) target[0] = source[0];
            return;
        }
        Complex* out = targetStride == 1 && target != source ? target : spectrum_.data();
        if (plan_)
            plan_->transform(source, sourceStride, out, inverse);
        else
            directDft(source, sourceStride, out, n_, inverse);
        if (out != target)
            for (int64_t i = 0; i < n_; ++i) target[i * targetStride] = out[i];
    }

private:
    int64_t n_ = 0;
    std::shared_ptr<const FftPlan> plan_;
    WorkBuffer<Complex> spectrum_;
};

bool isPowerOfTwo(int64_t n) { return n > 0 && (n & (n - 1)) == 0; }

// The inverse transform divides by the length of each transformed line.
void scale(Complex* d, int64_t count, int64_t length) {
    if (length < 2) return;
    if (isPowerOfTwo(length)) {
        const double factor = 1.0 / static_cast<double>(length);  // exact
        for (int64_t i = 0; i < count; ++i) d[i] = {d[i].re * factor, d[i].im * factor};
    } else {
        const auto divisor = static_cast<double>(length);
        for (int64_t i = 0; i < count; ++i) d[i] = {d[i].re / divisor, d[i].im / divisor};
    }
}

Error transformBlock(const DataBlock* block, int32_t options, MCVal& result) {
    const int64_t nx = block->xSize, ny = block->ySize;
    const int64_t count = nx * ny;
    const bool inverse = (options & kFftInverse) != 0;
    const Lines lines = (options & kFftBoth)      ? Lines::Both
                        : (options & kFftColumns) ? Lines::Columns
                                                  : Lines::Rows;
    DataBlock* out = nullptr;
    Error err = arrays::allocateLike(block, kElemComplexMatrix, count, out);
    if (err) return err;
    MCVal owner;
    owner.setOwnedBlock(out);  // released on an error below
    out->shapeFlags &= static_cast<uint16_t>(~(arrays::kShapeLogical | arrays::kShapeIndex));
    auto* d = reinterpret_cast<Complex*>(out->doubles());

    const bool transform = !(options & kFftNoTransform) && count > 0;
    const bool rowsOnly = transform && lines == Lines::Rows && !(options & kFftSwapBefore);
    if (rowsOnly && !arrays::isComplexBlock(block) && nx % 2 == 0) {
        // Real rows of even length: one complex transform of half the length each.
        arrays::RealView real;
        if (!real.bind(block)) return kOutOfMemory;
        std::shared_ptr<const FftPlan> half = fftPlanFor(nx / 2);
        bool done = static_cast<bool>(half);
        for (int64_t y = 0; y < ny && done; ++y)
            done = transformReal(*half, real.data() + y * nx, d + y * nx, inverse);
        if (done) {
            if (inverse) scale(d, count, nx);
            if (options & kFftSwapAfter) swapHalves(d, nx, ny, lines);
            arrays::setBlockResult(result, owner.releaseBlock());
            return kOk;
        }
    }
    arrays::ComplexView source;
    if (!source.bind(block)) return kOutOfMemory;
    const auto* in = reinterpret_cast<const Complex*>(source.data());
    bool filled = false;
    if (rowsOnly) {
        // The common case reads the argument directly.
        LineTransformer rows;
        if ((err = rows.prepare(nx))) return err;
        for (int64_t y = 0; y < ny; ++y) rows.run(in + y * nx, 1, d + y * nx, 1, inverse);
        filled = true;
    } else {
        std::memcpy(d, in, static_cast<size_t>(count) * sizeof(Complex));
        if (options & kFftSwapBefore) swapHalves(d, nx, ny, lines);
    }
    if (transform && !filled) {
        if (lines != Lines::Columns) {
            LineTransformer rows;
            if ((err = rows.prepare(nx))) return err;
            for (int64_t y = 0; y < ny; ++y) rows.run(d + y * nx, 1, d + y * nx, 1, inverse);
        }
        if (lines != Lines::Rows) {
            LineTransformer columns;
            if ((err = columns.prepare(ny))) return err;
            for (int64_t x = 0; x < nx; ++x) columns.run(d + x, nx, d + x, nx, inverse);
        }
    }
    if (transform && inverse) {
        int64_t length = lines == Lines::Rows ? nx : lines == Lines::Columns ? ny : nx * ny;
        scale(d, count, length);
    }
    if (options & kFftSwapAfter) swapHalves(d, nx, ny, lines);
    arrays::setBlockResult(result, owner.releaseBlock());
    return kOk;
}

}  // namespace

Error fftFunction(Interpreter&, CallArgs& args, MCVal& result) {
    return guarded([&]() -> int {
        const int32_t options = args.integer(1);
        const DataBlock* block = blockArgument(args, 0);
        if (!block) {
            // One value is its own transform.
            const MCVal* v = args.value(0);
            double re = v ? v->re : 0, im = v && v->isComplex() ? v->im : 0;
            result.setComplex(re, im);
            return kOk;
        }
        if (arrays::isShortBlock(block)) return kInternalError;
        return transformBlock(block, options, result);
    });
}

}  // namespace tvx::builtins::algorithms
