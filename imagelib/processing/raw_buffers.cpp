// Exports: routines on caller pixel buffers given by address, pitch and size.
//
// Every span is probed before it is touched: a bad address gives an error result, never
// a crash.
#include "imagelib/core/export.h"
#include "imagelib/processing/box_filter.h"
#include "platform/clock.h"
#include "platform/memprobe.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace tvx::imagelib;

namespace {

constexpr int kBadBuffer = -2;

template <class T>
T* rowAt(void* base, long long pitch, long long y)
{
    return reinterpret_cast<T*>(static_cast<uint8_t*>(base) + pitch * y);
}

template <class T>
const T* rowAt(const void* base, long long pitch, long long y)
{
    return reinterpret_cast<const T*>(static_cast<const uint8_t*>(base) + pitch * y);
}

double startTime = tvx::platform::monotonicSeconds();

// Frame of `rows` full rows at top and bottom and `thickness` units at both sides of the
// rows between, in units of unitBytes bytes.
int setFrame(void* buffer, int pitch, int width, int height, int thickness, int rows, int value,
             int unitBytes)
{
    if (width <= 0 || height <= 0)
        return 0;
    const long long rowBytes = static_cast<long long>(width) * unitBytes;
    if (!callerSpanOk(buffer, pitch, rowBytes, height, true))
        return kBadBuffer;
    const auto byte = static_cast<uint8_t>(value);
    const long long r = std::clamp<long long>(rows, 0, height);
    for (long long y = 0; y < r; ++y) {
        std::memset(rowAt<uint8_t>(buffer, pitch, y), byte, static_cast<size_t>(rowBytes));
        std::memset(rowAt<uint8_t>(buffer, pitch, height - 1 - y), byte, static_cast<size_t>(rowBytes));
    }
    const long long t = std::clamp<long long>(thickness, 0, width);
    const size_t sideBytes = static_cast<size_t>(t * unitBytes);
    const long long tRows = std::clamp<long long>(thickness, 0, height);
    for (long long y = tRows; y < static_cast<long long>(height) - tRows; ++y) {
        uint8_t* row = rowAt<uint8_t>(buffer, pitch, y);
        std::memset(row, byte, sideBytes);
        std::memset(row + rowBytes - static_cast<long long>(sideBytes), byte, sideBytes);
    }
    return 0;
}

}  // namespace

PX_EXPORT double pxSumRectB(const void* bytes, int pitch, int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    if (!callerSpanOk(bytes, pitch, width, height, false))
        return -1;
    double total = 0;
    for (long long y = 0; y < height; ++y) {
        const uint8_t* row = rowAt<uint8_t>(bytes, pitch, y);
        uint64_t sum = 0;
        for (int x = 0; x < width; ++x)
            sum += row[x];
        total += static_cast<double>(sum);
    }
    return total;
}

PX_EXPORT double pxSumRectW(const void* words, int pitch, int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    if (!callerSpanOk(words, pitch, 2LL * width, height, false))
        return -1;
    double total = 0;
    for (long long y = 0; y < height; ++y) {
        const auto* row = rowAt<uint8_t>(words, pitch, y);
        uint64_t sum = 0;
        for (int x = 0; x < width; ++x) {
            uint16_t v;
            std::memcpy(&v, row + 2 * x, 2);
            sum += v;
        }
        total += static_cast<double>(sum);
    }
    return total;
}

namespace {

// Combines two byte rectangles pixel by pixel into a third whose pixels are
// resultBytes wide: store(a, b, out) writes one result pixel.
template <class Store>
int combineRects(const void* a, int pitchA, const void* b, int pitchB, void* result, int pitchR, int width,
                 int height, int resultBytes, Store store)
{
    if (width <= 0 || height <= 0)
        return 0;
    if (!callerSpanOk(a, pitchA, width, height, false) || !callerSpanOk(b, pitchB, width, height, false) ||
        !callerSpanOk(result, pitchR, static_cast<long long>(resultBytes) * width, height, true))
        return kBadBuffer;
    for (long long y = 0; y < height; ++y) {
        const uint8_t* pa = rowAt<uint8_t>(a, pitchA, y);
        const uint8_t* pb = rowAt<uint8_t>(b, pitchB, y);
        uint8_t* pr = rowAt<uint8_t>(result, pitchR, y);
        for (int x = 0; x < width; ++x)
            store(pa[x], pb[x], pr + static_cast<long long>(resultBytes) * x);
    }
    return 0;
}

}  // namespace

PX_EXPORT int pxSubtractRectB(const void* a, int pitchA, const void* b, int pitchB, void* result, int pitchR,
                              int width, int height, int offset)
{
    return combineRects(a, pitchA, b, pitchB, result, pitchR, width, height, 1,
                        [offset](uint8_t va, uint8_t vb, uint8_t* out) {
                            *out = static_cast<uint8_t>(
                                std::clamp<long long>(va + static_cast<long long>(offset) - vb, 0, 255));
                        });
}

PX_EXPORT int pxSubtractAbsRectB(const void* a, int pitchA, const void* b, int pitchB, void* result,
                                 int pitchR, int width, int height)
{
    return combineRects(
        a, pitchA, b, pitchB, result, pitchR, width, height, 1,
        [](uint8_t va, uint8_t vb, uint8_t* out) { *out = static_cast<uint8_t>(std::abs(va - vb)); });
}

PX_EXPORT int pxMultiplyRectBW(const void* a, int pitchA, const void* b, int pitchB, void* result, int pitchR,
                               int width, int height)
{
    return combineRects(a, pitchA, b, pitchB, result, pitchR, width, height, 2,
                        [](uint8_t va, uint8_t vb, uint8_t* out) {
                            const auto v = static_cast<uint16_t>(va * vb);
                            std::memcpy(out, &v, 2);
                        });
}

PX_EXPORT int pxSetFrameB(void* bytes, int pitch, int width, int height, int thickness, int rows, int value)
{
    return setFrame(bytes, pitch, width, height, thickness, rows, value, 1);
}

PX_EXPORT int pxSetFrameW(void* words, int pitch, int width, int height, int thickness, int rows, int value)
{
    return setFrame(words, pitch, width, height, thickness, rows, value, 2);
}

PX_EXPORT int pxMemCmp(const void* a, const void* b, int length)
{
    if (length <= 0)
        return 0;
    if (!tvx::platform::isReadable(a, static_cast<size_t>(length)) ||
        !tvx::platform::isReadable(b, static_cast<size_t>(length)))
        return kBadBuffer;
    const int c = std::memcmp(a, b, static_cast<size_t>(length));
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

PX_EXPORT double pxTimeSec(int reset)
{
    const double now = tvx::platform::monotonicSeconds();
    if (reset)
        startTime = now;
    return now - startTime;
}
