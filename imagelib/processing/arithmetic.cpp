// Exports: arithmetic between images, byte by byte, and noise.
#include "imagelib/core/display_hooks.h"
#include "imagelib/core/export.h"
#include "imagelib/core/random.h"
#include "imagelib/core/slot.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace tvx::imagelib;

namespace {

// The three slots of a two-operand operation: -1 when one is empty or invalid, -2 when
// their strides or heights differ, else 0 with the bytes to process in *bytes.
int operands(int a, int b, int result, Slot** sa, Slot** sb, Slot** sr, size_t* bytes)
{
    *sa = filledSlot(a);
    *sb = filledSlot(b);
    *sr = filledSlot(result);
    if (!*sa || !*sb || !*sr)
        return -1;
    if ((*sa)->stride() != (*sb)->stride() || (*sa)->stride() != (*sr)->stride() ||
        (*sa)->height() != (*sb)->height() || (*sa)->height() != (*sr)->height())
        return -2;
    *bytes = (*sa)->geometry.imageBytes();
    return 0;
}

// kernel(pa, pb, pr, bytes) over the three slots' bytes.
template <class Kernel>
int combineBytes(int a, int b, int result, Kernel kernel)
{
    Slot *sa, *sb, *sr;
    size_t bytes;
    const int status = operands(a, b, result, &sa, &sb, &sr, &bytes);
    if (status)
        return status;
    kernel(sa->pixels, sb->pixels, sr->pixels, bytes);
    return 0;
}

template <class Op>
int combine(int a, int b, int result, Op op)
{
    return combineBytes(a, b, result, [op](const uint8_t* pa, const uint8_t* pb, uint8_t* pr, size_t bytes) {
        for (size_t i = 0; i < bytes; ++i)
            pr[i] = op(pa[i], pb[i]);
    });
}

// a + b, held at 255: the processor's saturating byte addition where the
// compiler does not find it by itself.
void saturatingSum(const uint8_t* pa, const uint8_t* pb, uint8_t* pr, size_t bytes)
{
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= bytes; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pa + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pb + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(pr + i), _mm_adds_epu8(x, y));
    }
#endif
    for (; i < bytes; ++i)
        pr[i] = static_cast<uint8_t>(std::min(pa[i] + pb[i], 255));
}

long long fixed16(double v)
{
    const double scaled = std::round(v * 65536.0);
    return static_cast<long long>(std::clamp(scaled, -9.0e15, 9.0e15));
}

}  // namespace

PX_EXPORT int pxImgSubtract(int a, int b, int result, int offset)
{
    return guarded(-1, [&] {
        // x - y lies in -255..255, so an offset beyond +-511 changes nothing more;
        // limited, the sum fits 32 bits and the loop vectorises.
        const int o = static_cast<int>(std::clamp<long long>(offset, -511, 511));
        return combine(a, b, result,
                       [o](int x, int y) { return static_cast<uint8_t>(std::clamp(x - y + o, 0, 255)); });
    });
}

PX_EXPORT int pxImgSubtractNC(int a, int b, int result, int offset)
{
    return guarded(-1, [&] {
        const auto o = static_cast<unsigned>(offset);
        return combine(a, b, result, [o](unsigned x, unsigned y) { return static_cast<uint8_t>(x - y + o); });
    });
}

PX_EXPORT int pxImgAdd(int a, int b, int result, double fa, double fb, double offset)
{
    return guarded(-1, [&] {
        const long long ka = fixed16(fa), kb = fixed16(fb), ko = fixed16(offset);
        // Factors beyond any byte's reach still saturate, without overflowing.
        const long long limit = 1LL << 40;
        const long long ca = std::clamp(ka, -limit, limit), cb = std::clamp(kb, -limit, limit);
        const long long co = std::clamp(ko, -limit * 512, limit * 512);
        // Factors up to 32 and offsets up to 256 in 16.16 fixed point keep the
        // sum within 32 bits: the same result, computed in a loop that vectorises.
        const long long smallFactor = 32LL << 16, smallOffset = 256LL << 16;
        const bool small =
            std::llabs(ca) <= smallFactor && std::llabs(cb) <= smallFactor && std::llabs(co) <= smallOffset;
        const bool plainSum = ca == 65536 && cb == 65536 && co == 0;
        const int status =
            plainSum ? combineBytes(a, b, result, saturatingSum)
            : small  ? combine(a, b, result,
                               [ia = static_cast<int>(ca), ib = static_cast<int>(cb),
                               io = static_cast<int>(co)](int x, int y) {
                                  const int v = io + ib * y + ia * x;
                                  return static_cast<uint8_t>(std::clamp(v, 0, (1 << 24) - 1) >> 16);
                              })
                     : combine(a, b, result, [=](int x, int y) {
                          const long long v = co + cb * y + ca * x;
                          if (v < 0)
                              return uint8_t{0};
                          if (v >= (1LL << 24))
                              return uint8_t{255};
                          return static_cast<uint8_t>(v >> 16);
                      });
        const Slot* r = filledSlot(result);
        if (status == 0 && r && !(r->flags & kFlagNoWindow))
            requestRepaint(result, 1);
        return status;
    });
}

PX_EXPORT int pxImgAddNoise(int number, int mask)
{
    return guarded(-1, [&] {
        const Slot* slot = filledSlot(number);
        if (!slot)
            return -1;
        PixRandom random;
        const auto m = static_cast<uint32_t>(mask);
        uint8_t* p = slot->pixels;
        const size_t bytes = slot->geometry.imageBytes();
        for (size_t i = 0; i < bytes; ++i) {
            p[i] = static_cast<uint8_t>(std::min<uint64_t>(255, p[i] + uint64_t{random.state() & m}));
            random.advance();
        }
        return 0;
    });
}
