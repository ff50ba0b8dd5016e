// Exports: loading an LED image set, reading it back, reducing it, the spot list.
#include "imagelib/core/export.h"
#include "imagelib/ledset/caller_rows.h"
#include "imagelib/ledset/led_load.h"
#include "imagelib/ledset/led_reduce.h"
#include "imagelib/ledset/led_set.h"
#include "platform/memprobe.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace tvx::imagelib;
using tvx::platform::isReadable;

namespace {

// A shift beyond this leaves nothing of a sum anyway.
constexpr int kMaxShift = 62;

const LedSet* loadedSet()
{
    const LedSet& set = ledSet();
    return set.loaded() ? &set : nullptr;
}

// The output rows of a reduction: width and rows limited to the source region.
template <class T>
CallerRows<T> outputRows(const LedSet& set, T* out, int pitch, int width, int rows)
{
    return CallerRows<T>(out, pitch, std::min(width, set.layout().sourceX),
                         std::min(rows, set.layout().sourceY));
}

// A caller's matrix of rows x pitch elements, or false when it cannot be read.
template <class T>
bool matrixReadable(const T* matrix, int pitch, int rows)
{
    if (pitch <= 0 || rows <= 0)
        return true;
    const uint64_t bytes = static_cast<uint64_t>(pitch) * static_cast<uint64_t>(rows) * sizeof(T);
    return matrix && isReadable(matrix, static_cast<size_t>(bytes));
}

// Runs a reduction into the caller's output rows (limited to the source region) with the
// caller's matrix (none for the sums): the rows written, 0 without a set, -2 for a matrix
// or output that cannot be read or written (nothing is written then).
template <class T, class M, class Reduce>
int reduceInto(T* out, int outPitch, int width, int rows, const M* matrix, int matrixPitch, int matrixRows,
               Reduce reduce)
{
    const LedSet* set = loadedSet();
    if (!set)
        return 0;
    const CallerRows<T> output = outputRows(*set, out, outPitch, width, rows);
    if (!matrixReadable(matrix, matrixPitch, matrixRows) || !output.writable())
        return -2;
    reduce(*set, blockWeights(set->layout(), matrix, matrixPitch, matrixRows), output);
    return output.empty() ? 0 : output.rows();
}

// The integer matrix reductions into 16-bit images.
int matrixToWords(const int32_t* matrix, int matrixPitch, int matrixRows, uint16_t* out, int outPitch,
                  int width, int rows, int shift, int offset, LedRule rule, int threshold)
{
    return reduceInto(
        out, outPitch, width, rows, matrix, matrixPitch, matrixRows,
        [&](const LedSet& set, const std::vector<int32_t>& weights, const CallerRows<uint16_t>& output) {
            reduceWeighted(set, weights, rule, threshold, std::clamp(shift, 0, kMaxShift), offset, output);
        });
}

// The threshold rules of pxLedImagesMatrixMulIDBufThresh's mode.
LedRule ruleForMode(int mode)
{
    switch (mode) {
    case 1: return LedRule::AtLeast;
    case 2: return LedRule::SubtractAtLeast;
    case 3: return LedRule::Binary;
    default: return mode < 0 ? LedRule::AtLeast : LedRule::All;
    }
}

}  // namespace

PX_EXPORT int pxLoadLedImages(const char* name, int countX, int countY, int first, int number, int sourceX,
                              int sourceY, int /*d*/, int /*e*/)
{
    return guarded(0, [&] {
        std::string path;
        if (!callerString(name, &path))
            return 0;
        return loadLedImages(path, countX, countY, first, number, sourceX, sourceY);
    });
}

PX_EXPORT int pxLoadLedImagesA(const char* name, int countX, int countY)
{
    return pxLoadLedImages(name, countX, countY, 0, 0, 0, 0, 0, 0);
}

PX_EXPORT void* pxGetLedImage(int x, int y, void* buffer, int pitch, int width, int rows)
{
    return guarded<void*>(nullptr, [&]() -> void* {
        const LedSet* set = loadedSet();
        if (!set || x < 0 || y < 0 || x >= set->layout().sourceX || y >= set->layout().sourceY)
            return nullptr;
        const LedLayout& layout = set->layout();
        uint8_t* block = set->block(x, y);
        if (!buffer)
            return block;
        const CallerRows<uint8_t> copy(buffer, pitch, std::min(width, layout.countX),
                                       std::min(rows, layout.countY));
        if (!copy.writable())
            return nullptr;
        for (int v = 0; v < copy.rows(); ++v)
            std::memcpy(copy.row(v), block + static_cast<size_t>(v) * layout.countX,
                        static_cast<size_t>(copy.width()));
        return block;
    });
}

PX_EXPORT int pxGetLedSourceImage(int u, int v, void* buffer, int pitch, int width, int rows)
{
    return guarded(-1, [&] {
        const LedSet* set = loadedSet();
        if (!set)
            return 0;
        const LedLayout& layout = set->layout();
        if (u < 0 || v < 0 || u >= layout.countX || v >= layout.countY)
            return -1;
        const CallerRows<uint8_t> image(buffer, pitch, std::min(width, layout.sourceX),
                                        std::min(rows, layout.sourceY));
        if (!image.writable())
            return -2;
        const size_t led =
            static_cast<size_t>(u) + static_cast<size_t>(v) * static_cast<size_t>(layout.countX);
        const size_t leds = layout.leds();
        for (int y = 0; y < image.rows(); ++y) {
            const uint8_t* from = set->row(y) + led;
            uint8_t* to = image.row(y);
            for (int x = 0; x < image.width(); ++x)
                to[x] = from[static_cast<size_t>(x) * leds];
        }
        return 0;
    });
}

PX_EXPORT int pxLedImagesMatrixMulDouble(const double* matrix, int matrixPitch, int matrixRows, double* out,
                                         int outPitch, int width, int rows)
{
    return guarded(-1, [&] {
        return reduceInto(out, outPitch, width, rows, matrix, matrixPitch, matrixRows,
                          [](const LedSet& set, const std::vector<double>& weights,
                             const CallerRows<double>& output) { reduceWeighted(set, weights, output); });
    });
}

PX_EXPORT int pxLedImagesMatrixMulInt(const int32_t* matrix, int matrixPitch, int matrixRows, uint16_t* out,
                                      int outPitch, int width, int rows, int shift, int offset)
{
    return guarded(-1, [&] {
        return matrixToWords(matrix, matrixPitch, matrixRows, out, outPitch, width, rows, shift, offset,
                             LedRule::All, 0);
    });
}

PX_EXPORT int pxLedImagesMatrixMulIntThresh(const int32_t* matrix, int matrixPitch, int matrixRows,
                                            uint16_t* out, int outPitch, int width, int rows, int shift,
                                            int offset, int threshold)
{
    return guarded(-1, [&] {
        return matrixToWords(matrix, matrixPitch, matrixRows, out, outPitch, width, rows, shift, offset,
                             LedRule::AtLeast, threshold);
    });
}

PX_EXPORT int pxLedImagesMatrixMulIntSubThresh(const int32_t* matrix, int matrixPitch, int matrixRows,
                                               uint16_t* out, int outPitch, int width, int rows, int shift,
                                               int offset, int threshold)
{
    return guarded(-1, [&] {
        return matrixToWords(matrix, matrixPitch, matrixRows, out, outPitch, width, rows, shift, offset,
                             LedRule::SubtractAtLeast, threshold);
    });
}

PX_EXPORT int pxLedImagesMatrixMulBin(const int32_t* matrix, int matrixPitch, int matrixRows, uint16_t* out,
                                      int outPitch, int width, int rows, int shift, int offset, int threshold)
{
    return guarded(-1, [&] {
        return matrixToWords(matrix, matrixPitch, matrixRows, out, outPitch, width, rows, shift, offset,
                             LedRule::Binary, threshold);
    });
}

PX_EXPORT int pxLedImagesMatrixMulIDBufThresh(const int32_t* matrix, int matrixPitch, int matrixRows,
                                              double* out, int outPitch, int width, int rows, double factor,
                                              int offset, int threshold, int mode)
{
    return guarded(-1, [&] {
        return reduceInto(
            out, outPitch, width, rows, matrix, matrixPitch, matrixRows,
            [&](const LedSet& set, const std::vector<int32_t>& weights, const CallerRows<double>& output) {
                reduceWeighted(set, weights, ruleForMode(mode), threshold, factor, offset, output);
            });
    });
}

PX_EXPORT int pxLedImagesSumInt(uint16_t* out, int outPitch, int width, int rows, int shift, int offset)
{
    return guarded(-1, [&] {
        return reduceInto(
            out, outPitch, width, rows, static_cast<const int32_t*>(nullptr), 0, 0,
            [&](const LedSet& set, const std::vector<int32_t>&, const CallerRows<uint16_t>& output) {
                reduceSum(set, std::clamp(shift, 0, kMaxShift), offset, output);
            });
    });
}

PX_EXPORT int pxLedImagesMax(uint16_t* out, int outPitch, int width, int rows)
{
    return guarded(-1, [&] {
        return reduceInto(out, outPitch, width, rows, static_cast<const int32_t*>(nullptr), 0, 0,
                          [](const LedSet& set, const std::vector<int32_t>&,
                             const CallerRows<uint16_t>& output) { reduceMax(set, output); });
    });
}

PX_EXPORT int pxGetLedSourceXSize()
{
    return ledSet().layout().sourceX;
}
PX_EXPORT int pxGetLedSourceYSize()
{
    return ledSet().layout().sourceY;
}
PX_EXPORT int pxGetLedCountX()
{
    return ledSet().layout().countX;
}
PX_EXPORT int pxGetLedCountY()
{
    return ledSet().layout().countY;
}

PX_EXPORT int pxLedImageMakePoslist(const char* name, int countX, int countY, int first, int number,
                                    const char* listName, int threshold)
{
    return guarded(-1, [&] {
        std::string images, list;
        if (!callerString(name, &images) || !callerString(listName, &list))
            return -1;
        return writeLedPositions(images, countX, countY, first, number, list, threshold);
    });
}
