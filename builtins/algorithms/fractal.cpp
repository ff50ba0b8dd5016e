// Fractal(z, c [, p, limit, radius, flags]): escape counts of z <- z^p + c for
// every element of a matrix, computed in parts on a pool of seven workers.
#include "builtins/algorithms/fractal.h"

#include <cmath>

#include "builtins/algorithms/algorithmsinternal.h"
#include "builtins/algorithms/workerpool.h"

namespace tvx::builtins::algorithms {

using namespace interp;

namespace {

constexpr int64_t kParallelElements = 1000;

inline Complex square(Complex z) { return {z.re * z.re - z.im * z.im, 2 * z.re * z.im}; }
inline Complex times(Complex a, Complex b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }

inline Quad qtimes(const Quad& x, const Quad& y) {
    return {x.a * y.a - x.b * y.b - x.c * y.c - x.d * y.d, x.a * y.b + x.b * y.a + x.c * y.d - x.d * y.c,
            x.a * y.c - x.b * y.d + x.c * y.a + x.d * y.b, x.a * y.d + x.b * y.c - x.c * y.b + x.d * y.a};
}
inline double qnorm(const Quad& q) { return q.a * q.a + q.b * q.b + q.c * q.c + q.d * q.d; }

int64_t complexEscape(const FractalParameters& p, Complex point, double& modulus) {
    Complex z = p.pointIsConstant ? p.other : point;
    const Complex c = p.pointIsConstant ? point : p.other;
    int64_t n = 0;
    double norm = z.re * z.re + z.im * z.im;
    while (n < p.limit && !(norm > p.bailoutSquared)) {
        if (p.integerPower == 2) {
            z = square(z);
        } else if (p.integerPower > 2) {
            Complex base = z;
            for (int k = 1; k < p.integerPower; ++k) z = times(z, base);
        } else {
            z = interp::cpow(z, p.exponent);
        }
        z = {z.re + c.re, z.im + c.im};
        norm = z.re * z.re + z.im * z.im;
        ++n;
        if (std::isnan(norm)) break;  // the orbit has left every number
    }
    modulus = std::sqrt(norm);
    return n;
}

// The element (x, y) as a point of four-dimensional space: the slice through
// the first two axes, rotated and moved by the parameter block.
Quad quadPoint(const FractalParameters& p, Complex point) {
    Quad q{point.re, point.im, 0, 0};
    if (p.rotate) {
        double c1 = std::cos(p.angle1), s1 = std::sin(p.angle1);
        double c2 = std::cos(p.angle2), s2 = std::sin(p.angle2);
        q = {q.a * c1 - q.c * s1, q.b * c2 - q.d * s2, q.a * s1 + q.c * c1, q.b * s2 + q.d * c2};
    }
    if (p.shift) q = {q.a + p.offset.a, q.b + p.offset.b, q.c + p.offset.c, q.d + p.offset.d};
    return q;
}

int64_t quadEscape(const FractalParameters& p, Complex point, double& modulus) {
    Quad pointQ = quadPoint(p, point);
    Quad z = p.pointIsConstant ? p.constant : pointQ;
    const Quad c = p.pointIsConstant ? pointQ : p.constant;
    int64_t n = 0;
    double norm = qnorm(z);
    while (n < p.limit && !(norm > p.bailoutSquared)) {
        Quad base = z;
        for (int k = 1; k < p.integerPower; ++k) z = qtimes(z, base);
        z = {z.a + c.a, z.b + c.b, z.c + c.c, z.d + c.d};
        norm = qnorm(z);
        ++n;
        if (std::isnan(norm)) break;
    }
    modulus = std::sqrt(norm);
    return n;
}

// The arguments of Fractal as parameters; 838 for an unknown family or an
// exponent the quaternion family cannot raise to.
Error readParameters(const CallArgs& args, FractalParameters& p) {
    const uint32_t flags = static_cast<uint32_t>(args.integer(5));
    p.family = static_cast<int>(flags & kFractalFamilyMask);
    if (p.family > 2) return kBadParameters;
    p.secondOutput = (flags & kFractalSecondOutput) != 0;
    bool constant = p.family <= 1 && (flags & kFractalMatrixIsConstant);
    if (flags & kFractalSwapRoles) constant = !constant;
    p.pointIsConstant = constant;

    const MCVal* c = args.present(1) ? args.value(1) : nullptr;
    if (c && !c->isBlock()) p.other = {c->re, c->isComplex() ? c->im : 0};

    if (args.present(2) && args.value(2)) {
        const MCVal& e = *args.value(2);
        if (e.isBlock()) return kWrongDataType;
        p.exponent = {e.re, e.isComplex() ? e.im : 0};
    }
    if (p.exponent.re == 0 && p.exponent.im == 0) p.exponent = {2, 0};
    const Complex e = p.exponent;
    if (e.im == 0 && e.re == std::floor(e.re) && e.re >= 2 && e.re <= 80)
        p.integerPower = static_cast<int>(e.re);
    else
        p.integerPower = 0;

    int32_t limit = args.integer(3);
    p.limit = limit < 1 ? 100 : limit;
    double radius = args.present(4) ? args.number(4) : 0;
    if (radius == 0) radius = 2;
    p.bailoutSquared = radius * radius;

    if (p.family == 2) {
        if (p.integerPower == 0) return kBadParameters;
        p.shift = (flags & kFractalShift) != 0;
        p.rotate = (flags & kFractalRotate) != 0;
        double block[10] = {};
        if (c && c->isBlock() && c->pData) {
            for (int i = 0; i < 10; ++i) block[i] = readElement(c->pData, i);
        } else {
            block[0] = p.other.re;
            block[1] = p.other.im;
        }
        p.constant = {block[0], block[1], block[2], block[3]};
        p.offset = {block[4], block[5], block[6], block[7]};
        p.angle1 = block[8];
        p.angle2 = block[9];
    } else if (c && c->isBlock()) {
        return kWrongDataType;  // the complex families take one constant
    }
    return kOk;
}

}  // namespace

int64_t escapeCount(const FractalParameters& p, Complex point, double& finalModulus) {
    return p.family == 2 ? quadEscape(p, point, finalModulus) : complexEscape(p, point, finalModulus);
}

void runInParts(WorkerPool& pool, int64_t count, const std::function<void(int64_t, int64_t)>& part) {
    if (count < kParallelElements) {
        part(0, count);
        return;
    }
    pool.run(count, part);
}

int fractalWorkerCount(Interpreter& ip) { return ip.state<FractalState>().pool.workerCount(); }

Error fractalFunction(Interpreter& ip, CallArgs& args, MCVal& result) {
    return guarded([&]() -> int {
        FractalParameters p;
        Error err = readParameters(args, p);
        if (err) return err;
        const MCVal* z = args.value(0);
        if (!z) return kNotEnoughParameters;
        if (!z->isBlock()) {
            double modulus = 0;
            auto n = static_cast<double>(escapeCount(p, {z->re, z->isComplex() ? z->im : 0}, modulus));
            if (p.secondOutput)
                result.setComplex(n, modulus);
            else
                result.setReal(n);
            return kOk;
        }
        const DataBlock* block = z->pData;
        if (arrays::isShortBlock(block)) return kInternalError;
        const int64_t count = arrays::elementsOf(block);
        arrays::ComplexView points;
        if (!points.bind(block)) return kOutOfMemory;
        int type = p.secondOutput ? kElemComplexMatrix : realResultType(block);
        DataBlock* out = nullptr;
        if ((err = arrays::allocateLike(block, type, count, out))) return err;
        out->shapeFlags &= static_cast<uint16_t>(~(arrays::kShapeLogical | arrays::kShapeIndex));
        const double* in = points.data();
        double* d = out->doubles();
        const bool second = p.secondOutput;
        // Each part reads the shared parameters and the points and writes only
        // its own range of d.
        runInParts(ip.state<FractalState>().pool, count, [&p, in, d, second](int64_t begin, int64_t end) {
            for (int64_t i = begin; i < end; ++i) {
                double modulus = 0;
                auto n = static_cast<double>(escapeCount(p, {in[2 * i], in[2 * i + 1]}, modulus));
                if (second) {
                    d[2 * i] = n;
                    d[2 * i + 1] = modulus;
                } else {
                    d[i] = n;
                }
            }
        });
        arrays::setBlockResult(result, out);
        return kOk;
    });
}

}  // namespace tvx::builtins::algorithms
