// Copying and rearranging vectors, and series of matrices held in vectors:
// VectShift, VectPermutate, VectMatrixMul, VectMatrixInv.
#include <algorithm>
#include <cstring>
#include <vector>

#include "builtins/algorithms/workbuffer.h"
#include "builtins/arrays/linalg.h"
#include "builtins/vectors/vectorsinternal.h"

namespace tvx::builtins::vectors {

using namespace interp;

namespace {

// The size of one element in bytes as the copying commands count it.
int bytesPerElement(const DataBlock* block) {
    int size = elementSize(block->elementType);
    return size ? size : 2;
}

// Grows the destination to at least count elements, keeping what it holds.
Error growTo(DataBlock** block, int64_t count) {
    if ((*block)->count >= count) return kOk;
    const bool plain = (*block)->ySize <= 1;
    Error err = resize(block, 0, count, kResizeKeep | kResizeZeroFill);
    if (err) return err == kOutOfMemory ? err : kVectorNotCreated;
    if (plain) setRowShape(*block);
    return kOk;
}

// VectShift dst, src, d, s [, blocks, length, dstGap, srcGap, byteMode]:
// copies blocks of bytes from src (from element s) to dst (from element d),
// skipping a gap after each block on either side.
Error vectShift(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        const int64_t d = args.l(2), s = args.l(3);
        if (d < 0 || s < 0) return kNegativeParameter;
        DataBlock** destination = args.var(0).block;
        SourceCopy sourceCopy;
        if (!sourceCopy.bind(*args.var(1).block, *destination)) return kOutOfMemory;
        const DataBlock* source = sourceCopy.get();
        if (isEmpty(*destination)) {
            Error err = resize(destination, source->elementType, 0, 0);
            if (err) return err;
        }
        const int64_t blockCount = args.integer(4);
        const int64_t length = args.integer(5) > 0 ? args.integer(5) : bytesPerElement(source);
        const int64_t destinationGap = args.integer(6), sourceGap = args.integer(7);
        const bool byteMode = args.integer(8) == 1;
        const int64_t sourceAt = byteMode ? s : s * bytesPerElement(source);
        const int64_t destinationAt = byteMode ? d : d * bytesPerElement(*destination);
        const int64_t sourceStep = length + sourceGap, destinationStep = length + destinationGap;
        const int64_t payload = source->payloadBytes;
        if (sourceAt + length > payload) return kBadParameters;  // not even one block
        int64_t blocks;
        if (sourceStep > 0) {
            blocks = (payload - sourceAt + sourceGap) / sourceStep;
        } else if (sourceStep < 0) {
            blocks = sourceAt / -sourceStep + 1;  // walking backwards to the start
        } else {
            if (blockCount < 1) return kBadParameters;
            blocks = blockCount;
        }
        if (blockCount > 0) blocks = std::min(blocks, blockCount);
        if (blocks < 1) return kBadParameters;
        const int64_t lastAt = destinationAt + (blocks - 1) * destinationStep;
        if (std::min(destinationAt, lastAt) < 0) return kBadParameters;
        const int64_t end = std::max(destinationAt, lastAt) + length;
        const int size = bytesPerElement(*destination);
        Error err = growTo(destination, (end + size - 1) / size);
        if (err) return err;
        unsigned char* to = (*destination)->bytes();
        const unsigned char* from = source->bytes();
        for (int64_t i = 0; i < blocks; ++i)
            std::memmove(to + destinationAt + i * destinationStep, from + sourceAt + i * sourceStep,
                         static_cast<size_t>(length));
        return kOk;
    });
}

// VectPermutate dst, src, idx [, passes, srcOffset, dstOffset, srcStride, dstStride]:
// dst[di + j] = src[si + idx[j]] for each pass, the offsets moving by the strides.
Error vectPermutate(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        DataBlock** destination = args.var(0).block;
        SourceCopy sourceCopy;
        if (!sourceCopy.bind(*args.var(1).block, *destination)) return kOutOfMemory;
        const DataBlock* source = sourceCopy.get();
        const DataBlock* indexBlock = *args.var(2).block;
        const int64_t m = arrays::elementsOf(indexBlock);
        std::vector<int64_t> index(static_cast<size_t>(m));
        for (int64_t j = 0; j < m; ++j)
            index[static_cast<size_t>(j)] = toInt64Saturated(readElement(indexBlock, j));
        const int64_t passes = std::max<int64_t>(1, args.integer(3));
        const int64_t si = args.integer(4), di = args.integer(5);
        const int64_t sourceStride = args.present(6) ? args.integer(6) : m;
        const int64_t destinationStride = args.present(7) ? args.integer(7) : m;
        if (si < 0 || di < 0 || sourceStride < 0 || destinationStride < 0) return kBadParameters;
        const int64_t sourceElements = arrays::elementsOf(source);
        if (sourceElements < passes * sourceStride + si) return kBadParameters;
        if (isEmpty(*destination) || (*destination)->elementType != source->elementType) {
            Error err = resize(destination, source->elementType, 0, 0);
            if (err) return err;
        }
        const bool complex = source->elementType == kElemComplexMatrix;
        const int64_t needed = di + (passes - 1) * destinationStride + m;
        Error err = growTo(destination, complex ? 2 * needed : needed);
        if (err) return err;
        const int size = complex ? 16 : bytesPerElement(source);
        unsigned char* to = (*destination)->bytes();
        const unsigned char* from = source->bytes();
        for (int64_t pass = 0; pass < passes; ++pass) {
            const int64_t sourceBase = si + pass * sourceStride;
            const int64_t destinationBase = di + pass * destinationStride;
            for (int64_t j = 0; j < m; ++j) {
                const int64_t at = sourceBase + index[static_cast<size_t>(j)];
                if (at < 0 || at >= sourceElements) continue;  // outside the source: skipped
                std::memcpy(to + (destinationBase + j) * size, from + at * size, static_cast<size_t>(size));
            }
        }
        return kOk;
    });
}

// VectMatrixMul dst, A, B, k, r, c [, rowsOfB, countA, countB]: the products
// of consecutive r-by-k matrices of A with consecutive rowsOfB-by-c matrices
// of B, each series starting again when it runs out. When the inner sizes
// differ, the shorter factor counts as extended by ones (homogeneous
// coordinates: a surplus column of A adds a translation to every row, a
// surplus row of B adds one to every column). r = 0 multiplies blocks of c
// elements element by element.
Error vectMatrixMul(Interpreter&, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        const int64_t k = args.l(3), r = args.l(4), c = args.l(5);
        const int64_t kb = args.integer(6) > 0 ? args.integer(6) : k;
        if (c < 1 || r < 0 || (r > 0 && k < 1)) return kBadParameters;
        const DataBlock* a = *args.var(1).block;
        const DataBlock* b = *args.var(2).block;
        if (arrays::isComplexBlock(a) || arrays::isComplexBlock(b)) return kWrongDataType;
        const int64_t sizeA = r == 0 ? c : r * k, sizeB = r == 0 ? c : kb * c;
        const int64_t outSize = r == 0 ? c : r * c;
        int64_t countA = a->count / sizeA, countB = b->count / sizeB;
        if (args.integer(7) > 0) countA = std::min<int64_t>(countA, args.integer(7));
        if (args.integer(8) > 0) countB = std::min<int64_t>(countB, args.integer(8));
        if (countA < 1 || countB < 1) return kMatrixSizes;
        const int64_t products = std::max(countA, countB);
        DoubleValues av, bv;
        if (!av.bind(a) || !bv.bind(b)) return kOutOfMemory;
        WorkBuffer<double> out;
        if (!out.allocate(products * outSize)) return kOutOfMemory;
        const int64_t inner = std::min(k, kb), outer = std::max(k, kb);
        for (int64_t p = 0; p < products; ++p) {
            const double* x = av.data() + (p % countA) * sizeA;
            const double* y = bv.data() + (p % countB) * sizeB;
            double* o = out.data() + p * outSize;
            if (r == 0) {
                for (int64_t j = 0; j < c; ++j) o[j] = x[j] * y[j];
                continue;
            }
            for (int64_t i = 0; i < r; ++i) {
                for (int64_t j = 0; j < c; ++j) {
                    double sum = 0;
                    for (int64_t l = 0; l < inner; ++l) sum += x[i * k + l] * y[l * c + j];
                    for (int64_t l = inner; l < outer; ++l)
                        sum += (l < k ? x[i * k + l] : 1.0) * (l < kb ? y[l * c + j] : 1.0);
                    o[i * c + j] = sum;
                }
            }
        }
        // The factors are no longer read: the destination may be one of them.
        DataBlock** destination = args.var(0).block;
        int type = isEmpty(*destination) ? b->elementType : (*destination)->elementType;
        if (type == kElemComplexMatrix || type == kElemComplexScalar) type = kElemRealMatrix;
        Error err = resize(destination, type, products * outSize, 0);
        if (err) return err;
        DataBlock* d = *destination;
        withElementType(d->elementType, [&](auto tag) {
            using T = typename decltype(tag)::Type;
            T* e = elementsAs<T>(d);
            for (int64_t i = 0; i < products * outSize; ++i) e[i] = toElement<T>(out[i]);
        });
        if (d->elementType == kElemRealMatrix) {
            // The products stacked: a matrix of c columns.
            d->xSize = static_cast<int32_t>(c);
            d->ySize = static_cast<int32_t>((r == 0 ? 1 : r) * products);
            d->shapeFlags |= kShapeMatrix;
        } else {
            setRowShape(d);
        }
        return kOk;
    });
}

// VectMatrixInv dst, src, n [, count]: the inverses of consecutive n-by-n
// matrices of doubles.
Error vectMatrixInv(Interpreter& ip, CallArgs& args, MCVal&) {
    return guarded([&]() -> int {
        const DataBlock* source = *args.var(1).block;
        if (source->elementType != kElemDouble && source->elementType != kElemRealMatrix) return kOk;
        const int64_t n = args.l(2);
        if (n < 1 || n > 46340) return kBadParameters;
        int64_t count = source->count / (n * n);
        if (args.integer(3) > 0) count = std::min<int64_t>(count, args.integer(3));
        if (count < 1) return kMatrixSizes;
        WorkBuffer<double> out;
        if (!out.allocate(count * n * n)) return kOutOfMemory;
        std::memcpy(out.data(), source->doubles(), static_cast<size_t>(count * n * n) * sizeof(double));
        for (int64_t m = 0; m < count; ++m) {
            Error err = arrays::invertReal(out.data() + m * n * n, n);
            if (err == kSingularMatrix) ip.results().error = kSingularMatrix;
            if (err) return err;
        }
        DataBlock** destination = args.var(0).block;
        Error err = resize(destination, kElemDouble, count * n * n, 0);
        if (err) return err;
        std::memcpy((*destination)->doubles(), out.data(),
                    static_cast<size_t>(count * n * n) * sizeof(double));
        setRowShape(*destination);
        ip.results().error = 0;
        return kOk;
    });
}

}  // namespace

constexpr CommandRow kRearrangeCommandsRows[] = {
    {cmd::VectShift, vectShift},
    {cmd::VectPermutate, vectPermutate},
    {cmd::VectMatrixMul, vectMatrixMul},
    {cmd::VectMatrixInv, vectMatrixInv},
};

void registerRearrangeCommands(Interpreter& ip) { ip.install({"vectors/rearrange", kRearrangeCommandsRows}); }

}  // namespace tvx::builtins::vectors
