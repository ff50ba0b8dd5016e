// Interp2(M, X, Y [, method]): a matrix sampled at fractional positions,
// bilinear or bicubic; HistC(values, edges [, options]): counts per bin.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "builtins/algorithms/algorithmsinternal.h"
#include "builtins/algorithms/workbuffer.h"

namespace tvx::builtins::algorithms {

using namespace interp;

namespace {

// The Catmull-Rom cubic through p1 (t = 0) and p2 (t = 1).
inline double catmullRom(double p0, double p1, double p2, double p3, double t) {
    return (((-p0 + 3 * p1 - 3 * p2 + p3) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3)) * t + (p2 - p0)) * t / 2 +
           p1;
}

struct Grid {
    const double* m = nullptr;
    int64_t nx = 0, ny = 0;
    double at(int64_t x, int64_t y) const { return m[y * nx + x]; }
};

// Positions outside the area where all needed neighbours exist give 0. The
// comparisons are made on the floored doubles, so NaN and huge positions
// never reach an index.
double bilinear(const Grid& g, double x, double y) {
    double fx = std::floor(x), fy = std::floor(y);
    if (!(fx >= 0 && fx <= static_cast<double>(g.nx - 2) && fy >= 0 && fy <= static_cast<double>(g.ny - 2)))
        return 0;
    auto x0 = static_cast<int64_t>(fx), y0 = static_cast<int64_t>(fy);
    double tx = x - fx, ty = y - fy;
    double top = g.at(x0, y0) + tx * (g.at(x0 + 1, y0) - g.at(x0, y0));
    double bottom = g.at(x0, y0 + 1) + tx * (g.at(x0 + 1, y0 + 1) - g.at(x0, y0 + 1));
    return top + ty * (bottom - top);
}

double bicubic(const Grid& g, double x, double y) {
    double fx = std::floor(x), fy = std::floor(y);
    if (!(fx >= 1 && fx <= static_cast<double>(g.nx - 3) && fy >= 1 && fy <= static_cast<double>(g.ny - 3)))
        return 0;
    auto x0 = static_cast<int64_t>(fx), y0 = static_cast<int64_t>(fy);
    double tx = x - fx, ty = y - fy;
    double rows[4];
    for (int j = 0; j < 4; ++j) {
        int64_t row = y0 - 1 + j;
        rows[j] = catmullRom(g.at(x0 - 1, row), g.at(x0, row), g.at(x0 + 1, row), g.at(x0 + 2, row), tx);
    }
    return catmullRom(rows[0], rows[1], rows[2], rows[3], ty);
}

// The method letter: a text gives its first letter, 3 means c, a number
// 65..127 is a letter itself; anything else is l (bilinear).
char methodLetter(const CallArgs& args) {
    if (!args.present(3)) return 'l';
    const interp::ArgSlot& slot = args.slot(3);
    if (slot.form == kFormString) {
        if (slot.text.empty()) return 'l';
        return static_cast<char>(std::tolower(static_cast<unsigned char>(slot.text[0])));
    }
    int32_t n = slot.l;
    if (n == 3) return 'c';
    if (n >= 65 && n <= 127) return static_cast<char>(std::tolower(n));
    return 'l';
}

// A real operand: a block's elements as doubles, or a single number.
struct Reals {
    const DataBlock* block = nullptr;
    arrays::RealView view;
    double scalar = 0;
    int64_t count = 1;

    Error bind(const MCVal& v) {
        if (v.isComplex()) return kWrongDataType;
        if (!v.isBlock()) {
            scalar = v.re;
            return kOk;
        }
        block = v.pData;
        if (arrays::isComplexBlock(block)) return kWrongDataType;
        if (arrays::isShortBlock(block)) return kInternalError;
        count = block->count;
        return view.bind(block) ? kOk : kOutOfMemory;
    }
    const double* data() const { return block ? view.data() : &scalar; }
};

// A result vector of the shape of like (or a row vector when like is null).
Error realBlockLike(const DataBlock* like, int64_t count, DataBlock*& out) {
    Error err = like ? arrays::allocateLike(like, realResultType(like), count, out)
                     : arrays::allocate(kElemRealMatrix, count, out);
    if (err) return err;
    out->shapeFlags &= static_cast<uint16_t>(~(arrays::kShapeLogical | arrays::kShapeIndex));
    if (!like) out->shapeFlags |= kShapeMatrix;
    return kOk;
}

}  // namespace

Error interp2Function(Interpreter&, CallArgs& args, MCVal& result) {
    return guarded([&]() -> int {
        const DataBlock* m = blockArgument(args, 0);
        if (!m || arrays::isComplexBlock(m)) return kWrongDataType;
        if (arrays::isShortBlock(m)) return kInternalError;
        if (!args.value(1) || !args.value(2)) return kNotEnoughParameters;
        Reals xs, ys;
        Error err = xs.bind(*args.value(1));
        if (!err) err = ys.bind(*args.value(2));
        if (err) return err;
        if (xs.count != ys.count) return kMatrixSizes;
        arrays::RealView matrix;
        if (!matrix.bind(m)) return kOutOfMemory;
        Grid grid{matrix.data(), m->xSize, m->ySize};
        const bool cubic = methodLetter(args) == 'c';
        auto sample = [&](double x, double y) { return cubic ? bicubic(grid, x, y) : bilinear(grid, x, y); };
        if (!xs.block) {
            result.setReal(sample(xs.scalar, ys.data()[0]));
            return kOk;
        }
        DataBlock* out = nullptr;
        if ((err = realBlockLike(xs.block, xs.count, out))) return err;
        double* d = out->doubles();
        const double* x = xs.data();
        const double* y = ys.data();
        for (int64_t i = 0; i < xs.count; ++i) d[i] = sample(x[i], y[i]);
        arrays::setBlockResult(result, out);
        return kOk;
    });
}

Error histcFunction(Interpreter&, CallArgs& args, MCVal& result) {
    return guarded([&]() -> int {
        if (!args.value(0) || !args.value(1)) return kNotEnoughParameters;
        Reals values, edges;
        Error err = values.bind(*args.value(0));
        if (!err) err = edges.bind(*args.value(1));
        if (err) return err;
        const int32_t options = args.integer(2) & 0x30;
        const int64_t e = edges.count;
        const int64_t bins = options == 0x10 ? e - 1 : options == 0x30 ? e + 1 : e;
        if (bins < 0) return kBadParameters;
        DataBlock* out = nullptr;
        if ((err = realBlockLike(values.block, bins, out))) return err;
        out->xSize = static_cast<int32_t>(bins);
        out->ySize = 1;
        double* counts = out->doubles();
        const double* edge = edges.data();
        const double* v = values.data();
        for (int64_t i = 0; i < values.count; ++i) {
            const double value = v[i];
            if (std::isnan(value) || e == 0) continue;  // a NaN lies in no bin
            // k: edge[k] <= value < edge[k + 1]; -1 below the first edge, e above
            // the last; a value equal to the last edge belongs to bin e - 1.
            int64_t k = std::upper_bound(edge, edge + e, value) - edge - 1;
            if (k == e - 1 && value > edge[e - 1]) k = e;
            int64_t bin = -1;
            switch (options) {
            case 0x00: bin = k >= 0 && k < e ? k : -1; break;
            case 0x10: bin = k >= 0 && k < e - 1 ? k : -1; break;
            case 0x20: bin = k < 0 ? -1 : std::min(k, e - 1); break;
            case 0x30: bin = std::min(k + 1, e); break;
            }
            if (bin >= 0) counts[bin] += 1;
        }
        arrays::setBlockResult(result, out);
        return kOk;
    });
}

}  // namespace tvx::builtins::algorithms
