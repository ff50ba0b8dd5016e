// SSE2 forms of the row loops (any x86-64 has SSE2), AVX2 forms of the two that scaling
// spends its time in (chosen when the processor has it), plain loops for the rest.
#include "imagelib/resample/row_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#define PIXORY_AVX2 1
#endif

namespace tvx::imagelib {

namespace {

inline int cubic(int pm, int p0, int p1, int p2, int t)
{
    const int a3 = 3 * p0 + p2 - 3 * p1 - pm;
    const int a2 = 2 * pm + 4 * p1 - 5 * p0 - p2;
    const int higher = (t * (((t * a3) >> 6) + 4 * a2)) >> 8;
    return p0 + (((higher + 4 * (p1 - pm)) * t + 1024) >> 11);
}

// The cubic step along the row for the four samples of a word (pm the low byte).
inline int cubicOfQuad(uint32_t q, int t)
{
    return cubic(q & 0xFF, (q >> 8) & 0xFF, (q >> 16) & 0xFF, q >> 24, t);
}

inline uint8_t clampByte(int v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline uint8_t lerp(int a, int b, int f)
{
    return static_cast<uint8_t>((a * (256 - f) + b * f + 128) >> 8);
}

#if defined(__SSE2__)
// Eight 16-bit lanes of a and b, weights w0 = 256 - f and w1 = f: the byte results.
inline __m128i lerp16(__m128i a, __m128i b, __m128i w0, __m128i w1, __m128i half)
{
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(a, w0), _mm_mullo_epi16(b, w1)), half);
    return _mm_srli_epi16(sum, 8);
}

// (a x b) >> shift for eight 16-bit lanes, the products taken in 32 bits.
inline __m128i mulShift(__m128i a, __m128i b, int shift, __m128i add = _mm_setzero_si128())
{
    const __m128i lo = _mm_mullo_epi16(a, b), hi = _mm_mulhi_epi16(a, b);
    const __m128i p0 = _mm_add_epi32(_mm_unpacklo_epi16(lo, hi), add);
    const __m128i p1 = _mm_add_epi32(_mm_unpackhi_epi16(lo, hi), add);
    return _mm_packs_epi32(_mm_sra_epi32(p0, _mm_cvtsi32_si128(shift)),
                           _mm_sra_epi32(p1, _mm_cvtsi32_si128(shift)));
}

inline __m128i cubic16(__m128i pm, __m128i p0, __m128i p1, __m128i p2, __m128i t);

// The cubic step along the row for eight words of four samples each (pm the low byte).
inline __m128i cubicOfQuads(const uint32_t* quads, __m128i t)
{
    const __m128i low = _mm_set1_epi32(0xFF);
    const __m128i q0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quads));
    const __m128i q1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quads + 4));
    auto sample = [&](int shift) {
        return _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(q0, shift), low),
                               _mm_and_si128(_mm_srli_epi32(q1, shift), low));
    };
    return cubic16(sample(0), sample(8), sample(16), sample(24), t);
}

inline __m128i cubic16(__m128i pm, __m128i p0, __m128i p1, __m128i p2, __m128i t)
{
    const __m128i d01 = _mm_sub_epi16(p0, p1);
    const __m128i a3 = _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(d01, d01), d01), _mm_sub_epi16(p2, pm));
    // 2 pm + 4 p1 - 5 p0 - p2
    const __m128i a2 = _mm_sub_epi16(_mm_add_epi16(_mm_slli_epi16(pm, 1), _mm_slli_epi16(p1, 2)),
                                     _mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(p0, 2), p0), p2));
    const __m128i inner = _mm_add_epi16(mulShift(t, a3, 6), _mm_slli_epi16(a2, 2));
    const __m128i higher = mulShift(t, inner, 8);
    const __m128i sum = _mm_add_epi16(higher, _mm_slli_epi16(_mm_sub_epi16(p1, pm), 2));
    return _mm_add_epi16(p0, mulShift(sum, t, 11, _mm_set1_epi32(1024)));
}
#endif

#if defined(PIXORY_AVX2)
bool haveAvx2()
{
    static const bool have = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return have;
}

__attribute__((target("avx2"))) inline __m256i lerp16x2(__m256i a, __m256i b, __m256i w0, __m256i w1,
                                                        __m256i half)
{
    const __m256i sum =
        _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, w0), _mm256_mullo_epi16(b, w1)), half);
    return _mm256_srli_epi16(sum, 8);
}

// The leading multiple of 32 bytes of lerpRows (k 0) or lerpEven (k 1 or 2); returns how
// many it did.
__attribute__((target("avx2"))) int lerpAvx2(const uint8_t* a, const uint8_t* b, int k, int f, uint8_t* out,
                                             int n)
{
    const __m256i zero = _mm256_setzero_si256(), half = _mm256_set1_epi16(128), low = _mm256_set1_epi16(0xFF);
    const __m256i w0 = _mm256_set1_epi16(static_cast<short>(256 - f)),
                  w1 = _mm256_set1_epi16(static_cast<short>(f));
    int i = 0;
    if (k == 2) {
        for (; i + 32 <= n; i += 32) {
            const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 2 * i));
            const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 2 * i + 32));
            const __m256i lo = lerp16x2(_mm256_and_si256(v0, low), _mm256_srli_epi16(v0, 8), w0, w1, half);
            const __m256i hi = lerp16x2(_mm256_and_si256(v1, low), _mm256_srli_epi16(v1, 8), w0, w1, half);
            // Packing works within 128-bit halves: put the four 64-bit blocks back in order.
            const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), packed);
        }
        return i;
    }
    for (; i + 32 <= n; i += 32) {
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        const __m256i lo =
            lerp16x2(_mm256_unpacklo_epi8(va, zero), _mm256_unpacklo_epi8(vb, zero), w0, w1, half);
        const __m256i hi =
            lerp16x2(_mm256_unpackhi_epi8(va, zero), _mm256_unpackhi_epi8(vb, zero), w0, w1, half);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_packus_epi16(lo, hi));
    }
    return i;
}
#endif

}  // namespace

void cubicAlongRow(const uint32_t* quads, const int16_t* t, int16_t* h, int n)
{
    int j = 0;
#if defined(__SSE2__)
    for (; j + 8 <= n; j += 8)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(h + j),
                         cubicOfQuads(quads + j, _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + j))));
#endif
    for (; j < n; ++j)
        h[j] = static_cast<int16_t>(cubicOfQuad(quads[j], t[j]));
}

void cubicDownColumns(const int16_t* r0, const int16_t* r1, const int16_t* r2, const int16_t* r3, int t,
                      uint8_t* out, int n)
{
    int j = 0;
#if defined(__SSE2__)
    const __m128i vt = _mm_set1_epi16(static_cast<short>(t));
    auto load = [](const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    for (; j + 16 <= n; j += 16) {
        const __m128i a = cubic16(load(r0 + j), load(r1 + j), load(r2 + j), load(r3 + j), vt);
        const __m128i b = cubic16(load(r0 + j + 8), load(r1 + j + 8), load(r2 + j + 8), load(r3 + j + 8), vt);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(a, b));  // limited to 0..255
    }
#endif
    for (; j < n; ++j)
        out[j] = clampByte(cubic(r0[j], r1[j], r2[j], r3[j], t));
}

void bilinearPoints(const uint16_t* top, const uint16_t* bottom, const int16_t* fx, const int16_t* fy,
                    uint8_t* out, int n)
{
    int j = 0;
#if defined(__SSE2__)
    const __m128i half = _mm_set1_epi16(128), full = _mm_set1_epi16(256), low = _mm_set1_epi16(0xFF);
    for (; j + 8 <= n; j += 8) {
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + j));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + j));
        const __m128i wx1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fx + j));
        const __m128i wy1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fy + j));
        const __m128i wx0 = _mm_sub_epi16(full, wx1), wy0 = _mm_sub_epi16(full, wy1);
        const __m128i up = lerp16(_mm_and_si128(t, low), _mm_srli_epi16(t, 8), wx0, wx1, half);
        const __m128i down = lerp16(_mm_and_si128(b, low), _mm_srli_epi16(b, 8), wx0, wx1, half);
        const __m128i v = lerp16(up, down, wy0, wy1, half);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(v, v));
    }
#endif
    for (; j < n; ++j) {
        const int up = lerp(top[j] & 0xFF, top[j] >> 8, fx[j]),
                  down = lerp(bottom[j] & 0xFF, bottom[j] >> 8, fx[j]);
        out[j] = lerp(up, down, fy[j]);
    }
}

void cubicPoints(const uint32_t* const rows[4], const int16_t* fx, const int16_t* fy, uint8_t* out, int n)
{
    int j = 0;
#if defined(__SSE2__)
    for (; j + 8 <= n; j += 8) {
        const __m128i tx = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fx + j));
        const __m128i v = cubic16(cubicOfQuads(rows[0] + j, tx), cubicOfQuads(rows[1] + j, tx),
                                  cubicOfQuads(rows[2] + j, tx), cubicOfQuads(rows[3] + j, tx),
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(fy + j)));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(v, v));
    }
#endif
    for (; j < n; ++j) {
        const int v = cubic(cubicOfQuad(rows[0][j], fx[j]), cubicOfQuad(rows[1][j], fx[j]),
                            cubicOfQuad(rows[2][j], fx[j]), cubicOfQuad(rows[3][j], fx[j]), fy[j]);
        out[j] = clampByte(v);
    }
}

void lerpRows(const uint8_t* a, const uint8_t* b, int f, uint8_t* out, int n)
{
    int j = 0;
#if defined(PIXORY_AVX2)
    if (haveAvx2())
        j = lerpAvx2(a, b, 0, f, out, n);
#endif
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128);
    const __m128i w0 = _mm_set1_epi16(static_cast<short>(256 - f)),
                  w1 = _mm_set1_epi16(static_cast<short>(f));
    for (; j + 16 <= n; j += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + j));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + j));
        const __m128i lo = lerp16(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero), w0, w1, half);
        const __m128i hi = lerp16(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero), w0, w1, half);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; j < n; ++j)
        out[j] = lerp(a[j], b[j], f);
}

void lerpEven(const uint8_t* p, int k, int f, uint8_t* out, int n)
{
    int i = 0;
#if defined(PIXORY_AVX2)
    if (haveAvx2())
        i = lerpAvx2(p, p + 1, k, f, out, n);
#endif
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128), low = _mm_set1_epi16(0xFF);
    const __m128i w0 = _mm_set1_epi16(static_cast<short>(256 - f)),
                  w1 = _mm_set1_epi16(static_cast<short>(f));
    if (k == 2) {
        // 32 source bytes give 16 results: even bytes are a, odd bytes b.
        for (; i + 16 <= n; i += 16) {
            const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i));
            const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i + 16));
            const __m128i lo = lerp16(_mm_and_si128(v0, low), _mm_srli_epi16(v0, 8), w0, w1, half);
            const __m128i hi = lerp16(_mm_and_si128(v1, low), _mm_srli_epi16(v1, 8), w0, w1, half);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
        }
    } else {
        for (; i + 16 <= n; i += 16) {
            const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
            const __m128i lo = lerp16(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero), w0, w1, half);
            const __m128i hi = lerp16(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero), w0, w1, half);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
        }
    }
#endif
    for (; i < n; ++i)
        out[i] = lerp(p[k * i], p[k * i + 1], f);
}

void lerpPairs(const uint16_t* pairs, const int16_t* weights, uint8_t* out, int n)
{
    int j = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi32(128);
    for (; j + 8 <= n; j += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs + j));
        const __m128i w0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 2 * j));
        const __m128i w1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 2 * j + 8));
        // Products a w0 + b w1 of each pair (at most 255 x 256), in 32 bits.
        const __m128i lo =
            _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(v, zero), w0), half), 8);
        const __m128i hi =
            _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi8(v, zero), w1), half), 8);
        const __m128i words = _mm_packs_epi32(lo, hi);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(words, words));
    }
#endif
    for (; j < n; ++j)
        out[j] = static_cast<uint8_t>(
            ((pairs[j] & 0xFF) * weights[2 * j] + (pairs[j] >> 8) * weights[2 * j + 1] + 128) >> 8);
}

}  // namespace tvx::imagelib
