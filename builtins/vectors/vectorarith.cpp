// Element-wise vector arithmetic: VectMulAddC, VectAdd, VectDivide,
// VectMultSh, VectRamp, VectInteg, VectDiff, VectLogOp, VectBitShift.
#include <algorithm>
#include <cmath>
#include <vector>

#include "builtins/vectors/vectorsinternal.h"

namespace tvx::builtins::vectors {

using namespace interp;

namespace {

// A zero source element divides as this instead.
constexpr double kSmallestDivisor = 1e-32;
// Ramps whose start and step stay within this range run in fixed point (the
// 16.16 sums cannot overflow); others saturate in the general path.
constexpr double kFixedPointLimit = 1e6;

// The destination of a two-vector command and its source (copied when they
// are the same block).
struct Operands {
    DataBlock** destination = nullptr;
    SourceCopy sourceCopy;
    const DataBlock* source = nullptr;

    Error bind(CallArgs& args) {
        destination = args.var(0).block;
        if (!sourceCopy.bind(*args.var(1).block, *destination)) return kOutOfMemory;
        source = sourceCopy.get();
        return kOk;
    }
};

// Takes the source's count, type and shape (the contents are rewritten).
Error becomeLike(DataBlock** destination, const DataBlock* source) {
    Error err = resize(destination, source->elementType, source->count, 0);
    if (err) return err;
    DataBlock* d = *destination;
    d->xSize = source->xSize;
    d->ySize = source->ySize;
    d->shapeFlags = source->shapeFlags;
    return kOk;
}

// VectMulAddC dst, src, a, b: dst[k] = src[k] * a + b.
Error vectMulAddC(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        Operands v;
        Error err = v.bind(args);
        if (err) return err;
        if (isEmpty(*v.destination) || (*v.destination)->payloadBytes != v.source->payloadBytes)
            if ((err = becomeLike(v.destination, v.source))) return err;
        DataBlock* d = *v.destination;
        const double a = args.number(2), b = args.number(3);
        if (d->elementType == kElemComplexMatrix && v.source->elementType == kElemComplexMatrix) {
            // a and b are real: the imaginary parts are only scaled.
            const double* s = v.source->doubles();
            double* o = d->doubles();
            for (int64_t k = 0; k + 1 < d->count; k += 2) {
                o[k] = s[k] * a + b;
                o[k + 1] = s[k + 1] * a;
            }
            return kOk;
        }
        DoubleValues s;
        if (!s.bind(v.source)) return kOutOfMemory;
        const int64_t n = std::min(d->count, v.source->count);
        withElementType(d->elementType, [&](auto tag) {
            using T = typename decltype(tag)::Type;
            T* o = elementsAs<T>(d);
            for (int64_t k = 0; k < n; ++k) o[k] = toElement<T>(s.data()[k] * a + b);
        });
        return kOk;
    });
}

// The tiling rule of VectAdd and VectDivide: an empty destination becomes the
// source's size and type; a shorter source is applied to consecutive slices of
// the destination; otherwise the destination takes each slice of the source in turn.
template <typename Op>
Error tiled(CallArgs& args, Op op) {
    Operands v;
    Error err = v.bind(args);
    if (err) return err;
    if (isEmpty(*v.destination)) {
        err = resize(v.destination, v.source->elementType, v.source->count, kResizeKeep | kResizeZeroFill);
        if (err) return err;
        setRowShape(*v.destination);
    }
    DataBlock* d = *v.destination;
    DoubleValues s;
    if (!s.bind(v.source)) return kOutOfMemory;
    const int64_t dn = d->count, sn = v.source->count;
    withElementType(d->elementType, [&](auto tag) {
        using T = typename decltype(tag)::Type;
        T* o = elementsAs<T>(d);
        const double* x = s.data();
        if (sn > 0 && sn < dn) {
            for (int64_t j = 0; j + sn <= dn; j += sn)
                for (int64_t k = 0; k < sn; ++k)
                    o[j + k] = toElement<T>(op(static_cast<double>(o[j + k]), x[k]));
        } else if (dn > 0) {
            for (int64_t j = 0; j + dn <= sn; j += dn)
                for (int64_t k = 0; k < dn; ++k) o[k] = toElement<T>(op(static_cast<double>(o[k]), x[j + k]));
        }
    });
    return kOk;
}

Error vectAdd(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&] { return tiled(args, [](double a, double b) { return a + b; }); });
}

// VectDivide dst, src, f: dst = f * (dst / src), a zero divisor counting as 1e-32.
Error vectDivide(Interpreter&, CallArgs& args, MCVal&) {
    const double f = args.number(2);
    return guarded([&] {
        return tiled(args, [f](double a, double b) { return f * (a / (b == 0 ? kSmallestDivisor : b)); });
    });
}

// VectMultSh dst, src [, s]: dst[k] *= src[k], times 2^-(s mod 32) for s >= 1.
Error vectMultSh(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        Operands v;
        Error err = v.bind(args);
        if (err) return err;
        if (isEmpty(*v.destination)) {
            // An empty destination starts as a copy of the source.
            if ((err = becomeLike(v.destination, v.source))) return err;
            std::memcpy((*v.destination)->bytes(), v.source->bytes(),
                        static_cast<size_t>(v.source->payloadBytes));
        }
        DataBlock* d = *v.destination;
        const int shift = args.present(2) ? args.i(2) : 0;
        const double factor = shift >= 1 ? std::ldexp(1.0, -(shift % 32)) : 1.0;
        DoubleValues s;
        if (!s.bind(v.source)) return kOutOfMemory;
        const int64_t n = std::min(d->count, v.source->count);
        withElementType(d->elementType, [&](auto tag) {
            using T = typename decltype(tag)::Type;
            T* o = elementsAs<T>(d);
            for (int64_t k = 0; k < n; ++k)
                o[k] = toElement<T>(static_cast<double>(o[k]) * s.data()[k] * factor);
        });
        return kOk;
    });
}

// After a command gave a block a new count: plain vectors are count by 1,
// matrices get their dimensions repaired.
void settleShape(DataBlock* block) {
    if (block->elementType == kElemRealMatrix || block->elementType == kElemComplexMatrix)
        repairDimensions(block);
    else
        setRowShape(block);
}

// VectRamp v, start, step, n: element k = start + k * step, by repeated addition.
Error vectRamp(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        DataBlock** block = args.var(0).block;
        const int32_t last = args.l(3);
        const int64_t n = last < 0 ? -static_cast<int64_t>(last) : last;
        if (last >= 0 || (*block)->count < n) {
            Error err = resize(block, 0, n, last >= 0 ? 0u : kResizeKeep | kResizeZeroFill);
            if (err) return err;
            settleShape(*block);
        }
        DataBlock* b = *block;
        double start = args.number(1);
        const double step = args.number(2);
        if (isFixedPointVector(b) && std::fabs(start) <= kFixedPointLimit &&
            std::fabs(step) <= kFixedPointLimit) {
            // 16.16 fixed point; the shift floors like the truncation below.
            int64_t x = toInt64Saturated(start * 65536), dx = toInt64Saturated(step * 65536);
            auto* e = elementsAs<int16_t>(b);
            for (int64_t k = 0; k < n; ++k, x += dx) e[k] = toElement<int16_t>(static_cast<double>(x >> 16));
            return kOk;
        }
        // Integer elements are rounded when stored: lowered by just under a
        // half, they come out truncated.
        if (b->elementType >= kElemUInt8 && b->elementType <= kElemInt32) start -= 0.4999999;
        withElementType(b->elementType, [&](auto tag) {
            using T = typename decltype(tag)::Type;
            T* e = elementsAs<T>(b);
            double x = start;
            for (int64_t k = 0; k < n; ++k, x += step) e[k] = toElement<T>(x);
        });
        return kOk;
    });
}

// VectInteg dst, src [, f, o]: the running sum times f plus o; a destination
// of another count gets one element more, starting with o.
Error vectInteg(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        Operands v;
        Error err = v.bind(args);
        if (err) return err;
        const DataBlock* s = v.source;
        const int64_t n = s->count;
        double f = args.number(2);
        const double o = args.number(3);
        const bool scaleMissing = f == 0;
        if (f == 0) f = 1;
        int type = isEmpty(*v.destination) ? s->elementType : 0;
        const bool shifted = isEmpty(*v.destination) || (*v.destination)->count != n;
        if (shifted) {
            if ((err = resize(v.destination, type, n + 1, 0))) return err;
        }
        DataBlock* d = *v.destination;
        const int64_t first = shifted ? 1 : 0;
        if (shifted) store(d, 0, o);
        if (isFixedPointVector(d) && s->elementType == kElemInt16 && std::fabs(f) < 32768) {
            const int64_t scale = scaleMissing ? 65536 : toInt64Saturated(f * 65536);
            const auto* x = elementsAs<int16_t>(s);
            auto* e = elementsAs<int16_t>(d);
            int64_t sum = 0;
            for (int64_t k = 0; k < n; ++k) {
                sum += x[k];
                e[k + first] = toElement<int16_t>(static_cast<double>((sum * scale) >> 16) + o);
            }
        } else {
            DoubleValues x;
            if (!x.bind(s)) return kOutOfMemory;
            withElementType(d->elementType, [&](auto tag) {
                using T = typename decltype(tag)::Type;
                T* e = elementsAs<T>(d);
                double sum = 0;
                for (int64_t k = 0; k < n; ++k) {
                    sum += x.data()[k];
                    e[k + first] = toElement<T>(f * sum + o);
                }
            });
        }
        settleShape(d);
        return kOk;
    });
}

// VectDiff dst, src: dst[k] = src[k + 1] - src[k].
Error vectDiff(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        Operands v;
        Error err = v.bind(args);
        if (err) return err;
        const DataBlock* s = v.source;
        const int64_t n = s->count > 0 ? s->count - 1 : 0;
        int type = isEmpty(*v.destination) ? s->elementType : 0;
        if ((err = resize(v.destination, type, n, 0))) return err;
        DataBlock* d = *v.destination;
        if (isFixedPointVector(d) && s->elementType == kElemInt16) {
            const auto* x = elementsAs<int16_t>(s);
            auto* e = elementsAs<int16_t>(d);
            for (int64_t k = 0; k < n; ++k) {
                int32_t diff = int32_t{x[k + 1]} - x[k];
                e[k] = static_cast<int16_t>(std::clamp(diff, -32767, 32767));
            }
        } else {
            DoubleValues x;
            if (!x.bind(s)) return kOutOfMemory;
            withElementType(d->elementType, [&](auto tag) {
                using T = typename decltype(tag)::Type;
                T* e = elementsAs<T>(d);
                for (int64_t k = 0; k < n; ++k) e[k] = toElement<T>(x.data()[k + 1] - x.data()[k]);
            });
        }
        settleShape(d);
        return kOk;
    });
}

// The bits of one element shifted (left for positive, right for negative).
inline uint64_t shifted(uint64_t bits, int32_t shift) {
    if (shift >= 64 || shift <= -64) return 0;
    return shift >= 0 ? bits << shift : bits >> -shift;
}

// VectLogOp v, and, or, xor, start, count, shift: e = xor ^ (or | (and & e')).
Error vectLogOp(Interpreter&, CallArgs& args, MCVal&) {
    DataBlock* b = *args.var(0).block;
    const int size = elementSize(b->elementType);
    const uint64_t all = size >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * size)) - 1;
    const uint64_t andMask = args.l(1) ? static_cast<uint32_t>(args.l(1)) : all;
    const uint64_t orMask = static_cast<uint32_t>(args.integer(2));
    const uint64_t xorMask = static_cast<uint32_t>(args.integer(3));
    const int64_t start = args.integer(4);
    const int32_t count = args.integer(5), shift = args.integer(6);
    if (start < 0) return kNegativeParameter;
    int64_t n = b->count - start;
    if (n <= 0) return kOk;
    if (count >= 1 && count < n) n = count;
    auto apply = [&](uint64_t e) { return (xorMask ^ (orMask | (andMask & shifted(e & all, shift)))) & all; };
    const bool integral = !isFloatElement(b->elementType) && size <= 4;
    for (int64_t i = start; i < start + n; ++i) {
        unsigned char* p = b->bytes() + i * size;
        if (integral) {
            uint64_t e = 0;
            std::memcpy(&e, p, static_cast<size_t>(size));  // little-endian: the element's own bits
            uint64_t r = apply(e);
            std::memcpy(p, &r, static_cast<size_t>(size));
        } else {
            // Wide and floating elements: rounded to an integer, the result
            // stored back as a number.
            const auto e = static_cast<uint64_t>(toInt64Saturated(readElement(b, i)));
            const uint64_t r = apply(e);
            double value = size >= 8 ? static_cast<double>(static_cast<int64_t>(r))
                                     : static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(r)));
            storeElement(b, i, value);
        }
    }
    return kOk;
}

// VectBitShift v, n: the payload as one bit string (16-bit words, lowest bit
// first) shifted by n bits toward higher (n > 0) or lower indices.
Error vectBitShift(Interpreter&, CallArgs& args, MCVal&) {
    DataBlock* b = *args.var(0).block;
    const int64_t bytes = b->payloadBytes;
    const int64_t n = args.l(1);
    unsigned char* p = b->bytes();
    if (bytes == 0 || n == 0) return kOk;
    const int64_t magnitude = n < 0 ? -n : n;
    if (magnitude >= bytes * 8) {
        std::memset(p, 0, static_cast<size_t>(bytes));
        return kOk;
    }
    const int64_t whole = magnitude / 8;
    const int bits = static_cast<int>(magnitude % 8);
    auto byteAt = [&](int64_t i) -> unsigned { return i >= 0 && i < bytes ? p[i] : 0u; };
    if (n > 0) {
        for (int64_t i = bytes - 1; i >= 0; --i) {
            unsigned v = byteAt(i - whole) << bits;
            if (bits) v |= byteAt(i - whole - 1) >> (8 - bits);
            p[i] = static_cast<unsigned char>(v);
        }
    } else {
        for (int64_t i = 0; i < bytes; ++i) {
            unsigned v = byteAt(i + whole) >> bits;
            if (bits) v |= byteAt(i + whole + 1) << (8 - bits);
            p[i] = static_cast<unsigned char>(v);
        }
    }
    return kOk;
}

}  // namespace

constexpr CommandRow kVectorArithmeticRows[] = {
    {cmd::VectMulAddC, vectMulAddC}, {cmd::VectAdd, vectAdd},     {cmd::VectDivide, vectDivide},
    {cmd::VectMultSh, vectMultSh},   {cmd::VectRamp, vectRamp},   {cmd::VectInteg, vectInteg},
    {cmd::VectDiff, vectDiff},       {cmd::VectLogOp, vectLogOp}, {cmd::VectBitShift, vectBitShift},
};

void registerVectorArithmetic(Interpreter& ip) { ip.install({"vectors/vectorarith", kVectorArithmeticRows}); }

}  // namespace tvx::builtins::vectors
