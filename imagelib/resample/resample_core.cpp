// The resampling core: the inverse mapping in 16.16 fixed point, the interpolations,
// and the row loops. Each row first finds the columns whose whole neighbourhood lies
// inside the source and runs them without checks; the rest go through the checked
// sampler. Mappings without rotation are done in two passes (rows, then columns), the
// way the interpolations are defined, so that source rows are interpolated once.
#include "imagelib/resample/resample_core.h"

#include "imagelib/core/parallel_rows.h"
#include "imagelib/resample/row_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

namespace tvx::imagelib {

namespace {

constexpr int64_t kOne = 65536;
// Beyond these the 16.16 sums could leave 64 bits: no row may step more than 16384
// source pixels per pixel, and no start may lie beyond 2^40 pixels.
constexpr double kMaxStep = 16384.0;
constexpr double kMaxStart = 1099511627776.0;

template <class T>
struct SampleTraits;
template <>
struct SampleTraits<uint8_t> {
    using Acc = int32_t;  // the cubic sums of bytes stay below 2^31
    static constexpr int kMax = 255;
};
template <>
struct SampleTraits<uint16_t> {
    using Acc = int64_t;
    static constexpr int kMax = 65535;
};

// One step of the cubic convolution (Catmull-Rom, coefficient -0.5) with a fraction t
// in 1/256: p0 + t (p1 - p-1) / 2 + t^2 a2 / 2 + t^3 a3 / 2, in the integer form whose
// roundings the results depend on: the t^2 and t^3 terms are summed in 1/2^14 and
// rounded down once before the last multiplication.
template <class A>
inline A cubicStep(A pm, A p0, A p1, A p2, A t)
{
    const A a3 = 3 * p0 + p2 - 3 * p1 - pm;
    const A a2 = 2 * pm + 4 * p1 - 5 * p0 - p2;
    const A higher = (t * (((t * a3) >> 6) + 4 * a2)) >> 8;
    return p0 + (((higher + 4 * (p1 - pm)) * t + 1024) >> 11);
}

template <class A>
inline A lerpFixed(A a, A b, A f)
{
    return a + (((b - a) * f + 128) >> 8);
}

template <class T, class A>
inline T clampSample(A v)
{
    return static_cast<T>(v < 0 ? 0 : v > SampleTraits<T>::kMax ? SampleTraits<T>::kMax : v);
}

struct FixedMap {
    int64_t x0, y0, dxCol, dyCol, dxRow, dyRow;
};

int64_t floorDiv(int64_t a, int64_t d)  // d > 0
{
    return a >= 0 ? a / d : -((-a + d - 1) / d);
}
int64_t ceilDiv(int64_t a, int64_t d)  // d > 0
{
    return a >= 0 ? (a + d - 1) / d : -((-a) / d);
}

struct Span {
    int first = 0;
    int last = 0;  // exclusive
};

// The x in [0, n) with lo <= s0 + x * d <= hi.
Span span(int64_t s0, int64_t d, int64_t lo, int64_t hi, int n)
{
    if (lo > hi || n <= 0)
        return {};
    int64_t first = 0, last = n;
    if (d == 0) {
        if (s0 < lo || s0 > hi)
            return {};
    } else if (d > 0) {
        first = std::max(first, ceilDiv(lo - s0, d));
        last = std::min(last, floorDiv(hi - s0, d) + 1);
    } else {
        first = std::max(first, ceilDiv(s0 - hi, -d));
        last = std::min(last, floorDiv(s0 - lo, -d) + 1);
    }
    if (first >= last)
        return {};
    return {static_cast<int>(first), static_cast<int>(last)};
}

Span intersect(Span a, Span b)
{
    const Span s{std::max(a.first, b.first), std::min(a.last, b.last)};
    return s.first < s.last ? s : Span{};
}

// The source indexes whose neighbourhood an interpolation can read without checks.
struct Margins {
    int before;  // samples needed before the index
    int after;   // and after it
};
Margins marginsOf(Interpolation mode)
{
    switch (mode) {
    case Interpolation::BilinearFixed: return {0, 1};
    case Interpolation::Cubic: return {1, 2};
    default: return {0, 0};
    }
}

// The fixed-point interval of positions whose index i has before <= i <= size - 1 - after.
Span interiorSpan(int64_t s0, int64_t d, int size, Margins m, int n)
{
    const int64_t lo = int64_t{m.before} * kOne;
    const int64_t hi = (int64_t{size} - m.after) * kOne - 1;
    return span(s0, d, lo, hi, n);
}

// ---- The checked sampler: any position, with the edge rules

template <class T>
inline void copyPixel(const SampleView<const T>& s, int x, int y, T* out)
{
    const T* p = s.row(y) + static_cast<ptrdiff_t>(x) * s.channels;
    for (int c = 0; c < s.channels; ++c)
        out[c] = p[c];
}

// A position outside the source: false when the pixel is not to be written.
template <class T>
bool outsidePixel(const SampleView<const T>& s, Outside outside, int64_t ix, int64_t iy, T* out)
{
    switch (outside) {
    case Outside::Keep: return false;
    case Outside::Edge:
        copyPixel(s, static_cast<int>(std::clamp<int64_t>(ix, 0, s.width - 1)),
                  static_cast<int>(std::clamp<int64_t>(iy, 0, s.height - 1)), out);
        return true;
    case Outside::Zero: break;
    }
    for (int c = 0; c < s.channels; ++c)
        out[c] = 0;
    return true;
}

// Bilinear with 8-bit fractions; on the last row or column the neighbour is the pixel itself.
template <class T>
void bilinearPixel(const SampleView<const T>& s, int x, int y, int fx, int fy, T* out)
{
    using A = typename SampleTraits<T>::Acc;
    const int C = s.channels;
    const int x1 = x + 1 < s.width ? x + 1 : x;
    const T* p = s.row(y);
    const T* q = s.row(y + 1 < s.height ? y + 1 : y);
    for (int c = 0; c < C; ++c) {
        const A top = lerpFixed<A>(p[x * C + c], p[x1 * C + c], fx);
        const A bottom = lerpFixed<A>(q[x * C + c], q[x1 * C + c], fx);
        out[c] = static_cast<T>(lerpFixed<A>(top, bottom, fy));
    }
}

// Cubic on the 4 x 4 samples around (x, y); needs 1 <= x <= width - 3, likewise y.
template <class T>
void cubicPixel(const SampleView<const T>& s, int x, int y, int fx, int fy, T* out)
{
    using A = typename SampleTraits<T>::Acc;
    const int C = s.channels;
    for (int c = 0; c < C; ++c) {
        A r[4];
        for (int k = 0; k < 4; ++k) {
            const T* p = s.row(y - 1 + k) + static_cast<ptrdiff_t>(x) * C + c;
            r[k] = cubicStep<A>(p[-C], p[0], p[C], p[2 * C], fx);
        }
        out[c] = clampSample<T, A>(cubicStep<A>(r[0], r[1], r[2], r[3], fy));
    }
}

template <class T>
bool sampleFixed(const SampleView<const T>& s, Interpolation mode, Outside outside, int64_t sx, int64_t sy,
                 T* out)
{
    const int64_t ix = sx >> 16, iy = sy >> 16;
    if (ix < 0 || iy < 0 || ix >= s.width || iy >= s.height)
        return outsidePixel(s, outside, ix, iy, out);
    const int x = static_cast<int>(ix), y = static_cast<int>(iy);
    const int fx = static_cast<int>((sx >> 8) & 255), fy = static_cast<int>((sy >> 8) & 255);
    switch (mode) {
    case Interpolation::BilinearFixed: bilinearPixel(s, x, y, fx, fy, out); break;
    case Interpolation::Cubic:
        if (x >= 1 && y >= 1 && x <= s.width - 3 && y <= s.height - 3)
            cubicPixel(s, x, y, fx, fy, out);
        else if (x <= s.width - 2 && y <= s.height - 2)
            bilinearPixel(s, x, y, fx, fy, out);
        else
            copyPixel(s, x, y, out);
        break;
    default: copyPixel(s, x, y, out); break;
    }
    return true;
}

template <class T>
bool sampleFloat(const SampleView<const T>& s, Interpolation mode, Outside outside, double sx, double sy,
                 T* out)
{
    if (!std::isfinite(sx) || !std::isfinite(sy))
        return outside == Outside::Keep ? false : outsidePixel(s, Outside::Zero, -1, -1, out);
    const double fx = std::floor(sx), fy = std::floor(sy);
    const int64_t ix = static_cast<int64_t>(std::clamp(fx, -kMaxStart, kMaxStart));
    const int64_t iy = static_cast<int64_t>(std::clamp(fy, -kMaxStart, kMaxStart));
    if (ix < 0 || iy < 0 || ix >= s.width || iy >= s.height)
        return outsidePixel(s, outside, ix, iy, out);
    const int x = static_cast<int>(ix), y = static_cast<int>(iy);
    if (mode != Interpolation::BilinearFloat) {
        copyPixel(s, x, y, out);
        return true;
    }
    const double wx = sx - fx, wy = sy - fy;
    const int C = s.channels;
    const int x1 = x + 1 < s.width ? x + 1 : x;
    const T* p = s.row(y);
    const T* q = s.row(y + 1 < s.height ? y + 1 : y);
    for (int c = 0; c < C; ++c) {
        const double top = p[x * C + c] + (p[x1 * C + c] - static_cast<double>(p[x * C + c])) * wx;
        const double bottom = q[x * C + c] + (q[x1 * C + c] - static_cast<double>(q[x * C + c])) * wx;
        const double v = std::floor(top + (bottom - top) * wy + 0.5);
        out[c] = static_cast<T>(std::clamp(v, 0.0, static_cast<double>(SampleTraits<T>::kMax)));
    }
    return true;
}

template <class T>
void writeOrKeep(bool write, const T* value, T* out, int channels)
{
    if (write)
        for (int c = 0; c < channels; ++c)
            out[c] = value[c];
}

// ---- Rows of an affine mapping

// Columns [first, last) of a row whose positions need no checks, with C channels.
template <class T, int C>
void interiorRow(const SampleView<const T>& s, Interpolation mode, int64_t sx, int64_t sy, int64_t dx,
                 int64_t dy, int first, int last, T* out)
{
    using A = typename SampleTraits<T>::Acc;
    const T* base = s.origin;
    const ptrdiff_t pitch = s.pitch;
    sx += dx * first;
    sy += dy * first;
    out += static_cast<ptrdiff_t>(first) * C;
    const int n = last - first;
    if (mode == Interpolation::Nearest) {
        for (int i = 0; i < n; ++i, sx += dx, sy += dy, out += C) {
            const T* p = base + (sy >> 16) * pitch + (sx >> 16) * C;
            for (int c = 0; c < C; ++c)
                out[c] = p[c];
        }
    } else if (mode == Interpolation::BilinearFixed) {
        for (int i = 0; i < n; ++i, sx += dx, sy += dy, out += C) {
            const T* p = base + (sy >> 16) * pitch + (sx >> 16) * C;
            const T* q = p + pitch;
            const A fx = static_cast<A>((sx >> 8) & 255), fy = static_cast<A>((sy >> 8) & 255);
            for (int c = 0; c < C; ++c) {
                const A top = lerpFixed<A>(p[c], p[c + C], fx);
                const A bottom = lerpFixed<A>(q[c], q[c + C], fx);
                out[c] = static_cast<T>(lerpFixed<A>(top, bottom, fy));
            }
        }
    } else {  // cubic
        for (int i = 0; i < n; ++i, sx += dx, sy += dy, out += C) {
            const T* p = base + ((sy >> 16) - 1) * pitch + (sx >> 16) * C;
            const A fx = static_cast<A>((sx >> 8) & 255), fy = static_cast<A>((sy >> 8) & 255);
            for (int c = 0; c < C; ++c) {
                A r[4];
                for (int k = 0; k < 4; ++k) {
                    const T* q = p + k * pitch + c;
                    r[k] = cubicStep<A>(q[-C], q[0], q[C], q[2 * C], fx);
                }
                out[c] = clampSample<T, A>(cubicStep<A>(r[0], r[1], r[2], r[3], fy));
            }
        }
    }
}

// The interior of a row of a single-channel byte picture, bilinear or cubic: the samples
// around each position are gathered in words, then interpolated in vector lanes.
void interiorRowVector8(const SampleView<const uint8_t>& s, Interpolation mode, int64_t sx, int64_t sy,
                        int64_t dx, int64_t dy, int first, int last, uint8_t* out)
{
    constexpr int kChunk = 64;
    uint32_t quads[4][kChunk];
    uint16_t pairs[2][kChunk];
    int16_t fx[kChunk], fy[kChunk];
    const uint8_t* base = s.origin;
    const ptrdiff_t pitch = s.pitch;
    sx += dx * first;
    sy += dy * first;
    const bool cubic = mode == Interpolation::Cubic;
    for (int x = first; x < last; x += kChunk) {
        const int n = std::min(kChunk, last - x);
        for (int i = 0; i < n; ++i, sx += dx, sy += dy) {
            const uint8_t* p = base + (sy >> 16) * pitch + (sx >> 16);
            fx[i] = static_cast<int16_t>((sx >> 8) & 255);
            fy[i] = static_cast<int16_t>((sy >> 8) & 255);
            if (cubic) {
                for (int k = 0; k < 4; ++k)
                    std::memcpy(&quads[k][i], p + (k - 1) * pitch - 1, 4);
            } else {
                std::memcpy(&pairs[0][i], p, 2);
                std::memcpy(&pairs[1][i], p + pitch, 2);
            }
        }
        if (cubic) {
            const uint32_t* rows[4] = {quads[0], quads[1], quads[2], quads[3]};
            cubicPoints(rows, fx, fy, out + x, n);
        } else {
            bilinearPoints(pairs[0], pairs[1], fx, fy, out + x, n);
        }
    }
}

template <class T, int C>
void affineRows(const SampleView<const T>& s, const SampleView<T>& d, const FixedMap& f, Interpolation mode,
                Outside outside, int y0, int y1)
{
    const Margins m = marginsOf(mode);
    T value[4];
    for (int y = y0; y < y1; ++y) {
        const int64_t sx = f.x0 + f.dxRow * y, sy = f.y0 + f.dyRow * y;
        T* out = d.row(y);
        const Span inner = intersect(interiorSpan(sx, f.dxCol, s.width, m, d.width),
                                     interiorSpan(sy, f.dyCol, s.height, m, d.width));
        auto checked = [&](int from, int to) {
            for (int x = from; x < to; ++x)
                writeOrKeep(sampleFixed(s, mode, outside, sx + f.dxCol * x, sy + f.dyCol * x, value), value,
                            out + static_cast<ptrdiff_t>(x) * C, C);
        };
        checked(0, inner.first);
        if (inner.first < inner.last) {
            bool done = false;
            if constexpr (std::is_same_v<T, uint8_t> && C == 1) {
                if (mode != Interpolation::Nearest) {
                    interiorRowVector8(s, mode, sx, sy, f.dxCol, f.dyCol, inner.first, inner.last, out);
                    done = true;
                }
            }
            if (!done)
                interiorRow<T, C>(s, mode, sx, sy, f.dxCol, f.dyCol, inner.first, inner.last, out);
        }
        checked(std::max(inner.last, inner.first), d.width);
    }
}

// ---- Mappings without rotation: rows first, then columns

struct ColumnTable {
    std::vector<int> index;  // source column of each interior destination column
    std::vector<int> fraction;
    Span inner;
};

ColumnTable columnTable(const FixedMap& f, int sourceWidth, int width, Interpolation mode)
{
    ColumnTable t;
    t.inner = interiorSpan(f.x0, f.dxCol, sourceWidth, marginsOf(mode), width);
    const int n = t.inner.last - t.inner.first;
    t.index.resize(static_cast<size_t>(n));
    t.fraction.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int64_t sx = f.x0 + f.dxCol * (t.inner.first + i);
        t.index[static_cast<size_t>(i)] = static_cast<int>(sx >> 16);
        t.fraction[static_cast<size_t>(i)] = static_cast<int>((sx >> 8) & 255);
    }
    return t;
}

template <class T, int C>
class SeparableRows {
public:
    using A = typename SampleTraits<T>::Acc;

    SeparableRows(const SampleView<const T>& s, const ColumnTable& columns, Interpolation mode)
        : s_(s), columns_(columns), mode_(mode)
    {
        const size_t n = static_cast<size_t>(columns.inner.last - columns.inner.first) * C;
        for (auto& row : cache_)
            row.resize(n);
    }

    // The interior columns of destination row d from source row iy and fraction fy
    // (iy within the margins of the interpolation).
    void row(int iy, int fy, T* out)
    {
        const int n = columns_.inner.last - columns_.inner.first;
        out += static_cast<ptrdiff_t>(columns_.inner.first) * C;
        if (mode_ == Interpolation::Nearest) {
            const T* p = s_.row(iy);
            const int* index = columns_.index.data();
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < C; ++c)
                    out[i * C + c] = p[index[i] * C + c];
            return;
        }
        const int count = n * C;
        const A f = static_cast<A>(fy);
        if (mode_ == Interpolation::BilinearFixed) {
            const A* top = horizontal(iy);
            const A* bottom = horizontal(iy + 1);
            for (int i = 0; i < count; ++i)
                out[i] = static_cast<T>(lerpFixed<A>(top[i], bottom[i], f));
            return;
        }
        const A* r0 = horizontal(iy - 1);
        const A* r1 = horizontal(iy);
        const A* r2 = horizontal(iy + 1);
        const A* r3 = horizontal(iy + 2);
        for (int i = 0; i < count; ++i)
            out[i] = clampSample<T, A>(cubicStep<A>(r0[i], r1[i], r2[i], r3[i], f));
    }

private:
    // Source row r interpolated along the row at every interior column. The rows a
    // destination row needs are consecutive, so r & 3 never collides among them.
    const A* horizontal(int r)
    {
        const int slot = r & 3;
        std::vector<A>& h = cache_[slot];
        if (cached_[slot] == r)
            return h.data();
        cached_[slot] = r;
        const T* p = s_.row(r);
        const int n = columns_.inner.last - columns_.inner.first;
        const int* index = columns_.index.data();
        const int* fraction = columns_.fraction.data();
        A* o = h.data();
        if (mode_ == Interpolation::BilinearFixed) {
            for (int i = 0; i < n; ++i) {
                const T* q = p + index[i] * C;
                for (int c = 0; c < C; ++c)
                    o[i * C + c] = lerpFixed<A>(q[c], q[c + C], fraction[i]);
            }
        } else {
            for (int i = 0; i < n; ++i) {
                const T* q = p + index[i] * C;
                for (int c = 0; c < C; ++c)
                    o[i * C + c] = cubicStep<A>(q[c - C], q[c], q[c + C], q[c + 2 * C], fraction[i]);
            }
        }
        return h.data();
    }

    const SampleView<const T>& s_;
    const ColumnTable& columns_;
    Interpolation mode_;
    std::vector<A> cache_[4];
    int cached_[4] = {-1, -1, -1, -1};
};

// For every sample of the interior columns (a column's channels side by side): its
// offset in a source row and its fraction.
struct SampleColumns {
    std::vector<int> offsets;
    std::vector<int16_t> fractions;
};
SampleColumns sampleColumns(const ColumnTable& columns, int channels)
{
    SampleColumns s;
    const size_t n = columns.index.size();
    s.offsets.resize(n * static_cast<size_t>(channels));
    s.fractions.resize(s.offsets.size());
    for (size_t i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c) {
            const size_t j = i * static_cast<size_t>(channels) + static_cast<size_t>(c);
            s.offsets[j] = columns.index[i] * channels + c;
            s.fractions[j] = static_cast<int16_t>(columns.fraction[i]);
        }
    return s;
}

// Bilinear rows of bytes, with the vector loops: source rows interpolated along the row
// into bytes (a lerp of bytes is a byte), then two such rows blended.
template <int C>
class BilinearRows8 {
public:
    BilinearRows8(const SampleView<const uint8_t>& s, const ColumnTable& columns) : s_(s), columns_(columns)
    {
        n_ = columns.inner.last - columns.inner.first;
        const size_t count = static_cast<size_t>(n_) * C;
        for (auto& row : cache_)
            row.resize(count);
        // Evenly stepped columns with one fraction (scales 1 and 1/2 without rotation).
        if (C == 1 && n_ > 0) {
            step_ = n_ > 1 ? columns.index[1] - columns.index[0] : 1;
            bool even = step_ == 1 || step_ == 2;
            for (int i = 0; even && i < n_; ++i)
                even = columns.index[static_cast<size_t>(i)] == columns.index[0] + step_ * i &&
                       columns.fraction[static_cast<size_t>(i)] == columns.fraction[0];
            if (even)
                return;
            step_ = 0;
        }
        const SampleColumns samples = sampleColumns(columns, C);
        offsets_ = samples.offsets;
        weights_.resize(2 * count);
        pairs_.resize(count);
        for (size_t j = 0; j < count; ++j) {
            weights_[2 * j] = static_cast<int16_t>(256 - samples.fractions[j]);
            weights_[2 * j + 1] = samples.fractions[j];
        }
    }

    void row(int iy, int fy, uint8_t* out)
    {
        const uint8_t* top = horizontal(iy);
        const uint8_t* bottom = horizontal(iy + 1);
        lerpRows(top, bottom, fy, out + static_cast<ptrdiff_t>(columns_.inner.first) * C, n_ * C);
    }

private:
    const uint8_t* horizontal(int r)
    {
        const int slot = r & 1;
        uint8_t* h = cache_[slot].data();
        if (cached_[slot] == r)
            return h;
        cached_[slot] = r;
        const uint8_t* p = s_.row(r);
        if (step_) {
            lerpEven(p + columns_.index[0], step_, columns_.fraction[0], h, n_);
            return h;
        }
        const int count = n_ * C;
        for (int j = 0; j < count; ++j) {
            const uint8_t* q = p + offsets_[static_cast<size_t>(j)];
            pairs_[static_cast<size_t>(j)] = static_cast<uint16_t>(q[0] | q[C] << 8);
        }
        lerpPairs(pairs_.data(), weights_.data(), h, count);
        return h;
    }

    const SampleView<const uint8_t>& s_;
    const ColumnTable& columns_;
    int n_ = 0;
    int step_ = 0;  // 1 or 2 for evenly stepped columns, else 0
    std::vector<int> offsets_;
    std::vector<int16_t> weights_;
    std::vector<uint16_t> pairs_;
    std::vector<uint8_t> cache_[2];
    int cached_[2] = {-1, -1};
};

// Cubic rows of bytes, with the vector loops: each source row interpolated along the row
// (16-bit results), then four such rows combined down the columns.
template <int C>
class CubicRows8 {
public:
    CubicRows8(const SampleView<const uint8_t>& s, const ColumnTable& columns) : s_(s), columns_(columns)
    {
        n_ = columns.inner.last - columns.inner.first;
        const size_t count = static_cast<size_t>(n_) * C;
        for (auto& row : cache_)
            row.resize(count);
        quads_.resize(count);
        SampleColumns samples = sampleColumns(columns, C);
        offsets_ = std::move(samples.offsets);
        fractions_ = std::move(samples.fractions);
    }

    void row(int iy, int fy, uint8_t* out)
    {
        const int16_t* r0 = horizontal(iy - 1);
        const int16_t* r1 = horizontal(iy);
        const int16_t* r2 = horizontal(iy + 1);
        const int16_t* r3 = horizontal(iy + 2);
        cubicDownColumns(r0, r1, r2, r3, fy, out + static_cast<ptrdiff_t>(columns_.inner.first) * C, n_ * C);
    }

private:
    // The rows a destination row needs are consecutive, so r & 3 never collides among them.
    const int16_t* horizontal(int r)
    {
        const int slot = r & 3;
        int16_t* h = cache_[slot].data();
        if (cached_[slot] == r)
            return h;
        cached_[slot] = r;
        const uint8_t* p = s_.row(r);
        const int count = n_ * C;
        for (int j = 0; j < count; ++j) {
            const uint8_t* q = p + offsets_[static_cast<size_t>(j)];
            if constexpr (C == 1) {
                std::memcpy(&quads_[static_cast<size_t>(j)], q - 1, 4);  // the four samples are neighbours
            } else {
                quads_[static_cast<size_t>(j)] =
                    static_cast<uint32_t>(q[-C]) | static_cast<uint32_t>(q[0]) << 8 |
                    static_cast<uint32_t>(q[C]) << 16 | static_cast<uint32_t>(q[2 * C]) << 24;
            }
        }
        cubicAlongRow(quads_.data(), fractions_.data(), h, count);
        return h;
    }

    const SampleView<const uint8_t>& s_;
    const ColumnTable& columns_;
    int n_ = 0;
    std::vector<int> offsets_;
    std::vector<int16_t> fractions_;
    std::vector<uint32_t> quads_;
    std::vector<int16_t> cache_[4];
    int cached_[4] = {-1, -1, -1, -1};
};

template <class T, int C, class Rows>
void separableRows(const SampleView<const T>& s, const SampleView<T>& d, const FixedMap& f,
                   Interpolation mode, Outside outside, const ColumnTable& columns, Rows& rows, int y0,
                   int y1)
{
    const Margins m = marginsOf(mode);
    T value[4];
    for (int y = y0; y < y1; ++y) {
        const int64_t sy = f.y0 + f.dyRow * y;
        const int64_t iy = sy >> 16;
        T* out = d.row(y);
        const bool rowInside = iy >= m.before && iy < int64_t{s.height} - m.after;
        const Span inner = rowInside ? columns.inner : Span{};
        auto checked = [&](int from, int to) {
            for (int x = from; x < to; ++x)
                writeOrKeep(sampleFixed(s, mode, outside, f.x0 + f.dxCol * x, sy, value), value,
                            out + static_cast<ptrdiff_t>(x) * C, C);
        };
        checked(0, inner.first);
        if (inner.first < inner.last)
            rows.row(static_cast<int>(iy), static_cast<int>((sy >> 8) & 255), out);
        checked(std::max(inner.first, inner.last), d.width);
    }
}

// ---- Floating-point modes and the identity

template <class T>
void floatRows(const SampleView<const T>& s, const SampleView<T>& d, const ResampleRequest& r, int y0, int y1)
{
    const AffineMap& m = r.map;
    const int C = d.channels;
    T value[4];
    for (int y = y0; y < y1; ++y) {
        T* out = d.row(y);
        for (int x = 0; x < d.width; ++x) {
            bool write;
            if (r.interpolation == Interpolation::Identity) {
                write = x < s.width && y < s.height ? (copyPixel(s, x, y, value), true)
                                                    : outsidePixel(s, r.outside, x, y, value);
            } else {
                const double sx = m.x0 + r.bias + x * m.dxCol + y * m.dxRow;
                const double sy = m.y0 + r.bias + x * m.dyCol + y * m.dyRow;
                write = sampleFloat(s, r.interpolation, r.outside, sx, sy, value);
            }
            writeOrKeep(write, value, out + static_cast<ptrdiff_t>(x) * C, C);
        }
    }
}

bool fixedMapOf(const ResampleRequest& r, FixedMap* f)
{
    const AffineMap& m = r.map;
    for (double step : {m.dxCol, m.dyCol, m.dxRow, m.dyRow})
        if (!std::isfinite(step) || std::fabs(step) > kMaxStep)
            return false;
    for (double start : {m.x0, m.y0})
        if (!std::isfinite(start) || std::fabs(start) > kMaxStart)
            return false;
    if (!std::isfinite(r.bias) || std::fabs(r.bias) > 1.0)
        return false;
    const int64_t bias = std::llround(r.bias * kOne);
    *f = {std::llround(m.x0 * kOne) + bias, std::llround(m.y0 * kOne) + bias, std::llround(m.dxCol * kOne),
          std::llround(m.dyCol * kOne),     std::llround(m.dxRow * kOne),     std::llround(m.dyRow * kOne)};
    return true;
}

template <class T, int C>
void runFixed(const SampleView<const T>& s, const SampleView<T>& d, const FixedMap& f, Interpolation mode,
              Outside outside)
{
    const int64_t cost = int64_t{d.width} * C * (mode == Interpolation::Cubic ? 6 : 2);
    if (f.dxRow == 0 && f.dyCol == 0) {
        const ColumnTable columns = columnTable(f, s.width, d.width, mode);
        parallelRows(d.height, cost, [&](int y0, int y1) {
            if constexpr (std::is_same_v<T, uint8_t>) {
                if (mode == Interpolation::BilinearFixed) {
                    BilinearRows8<C> rows(s, columns);
                    separableRows<T, C>(s, d, f, mode, outside, columns, rows, y0, y1);
                    return;
                }
                if (mode == Interpolation::Cubic) {
                    CubicRows8<C> rows(s, columns);
                    separableRows<T, C>(s, d, f, mode, outside, columns, rows, y0, y1);
                    return;
                }
            }
            SeparableRows<T, C> rows(s, columns, mode);
            separableRows<T, C>(s, d, f, mode, outside, columns, rows, y0, y1);
        });
        return;
    }
    parallelRows(d.height, cost, [&](int y0, int y1) { affineRows<T, C>(s, d, f, mode, outside, y0, y1); });
}

}  // namespace

Interpolation interpolationFromFlags(int coreFlags)
{
    switch ((coreFlags >> 4) & 0xF) {
    case 0: return Interpolation::Cubic;
    case 1: return Interpolation::Nearest;
    case 2: return Interpolation::BilinearFixed;
    case 3: return Interpolation::BilinearFloat;
    case 14: return Interpolation::Identity;
    default: return Interpolation::NearestFloat;
    }
}

Outside outsideFromFlags(int coreFlags)
{
    if (coreFlags & 0x200)
        return Outside::Keep;
    return (coreFlags & 0x100) ? Outside::Edge : Outside::Zero;
}

bool resizeRotateMap(int w, int h, int dw, int dh, double scaleX, double scaleY, double angleDegrees,
                     double shiftX, double shiftY, bool originGiven, AffineMap* map)
{
    if (!(scaleX != 0) || !(scaleY != 0) || !std::isfinite(scaleX) || !std::isfinite(scaleY) ||
        !std::isfinite(angleDegrees) || !std::isfinite(shiftX) || !std::isfinite(shiftY) || w <= 0 || h <= 0)
        return false;
    const double angle = angleDegrees * M_PI / 180.0;
    const double cs = std::cos(angle), sn = std::sin(angle);
    AffineMap m;
    m.dxCol = cs / scaleX;
    m.dxRow = -sn / scaleX;
    m.dyCol = sn / scaleY;
    m.dyRow = cs / scaleY;
    if (originGiven) {
        m.x0 = 0;
        m.y0 = 0;
    } else {
        m.x0 = (w - 1) * (1 - dw * cs / scaleX / w) / 2 - (h - 1.0) * dh * (-sn / scaleX) / 2 / h;
        m.y0 = (h - 1) * (1 - dh * cs / scaleY / h) / 2 - double(dw) * (w - 1) * (sn / scaleY) / 2 / w;
    }
    m.x0 += shiftX;
    m.y0 += shiftY;
    *map = m;
    return std::isfinite(m.x0) && std::isfinite(m.y0);
}

template <class T>
bool resampleAffine(const SampleView<const T>& s, const SampleView<T>& d, const ResampleRequest& r)
{
    if (s.empty() || d.empty() || s.channels != d.channels || s.channels < 1 || s.channels > 4)
        return s.channels == d.channels;
    const Interpolation mode = r.interpolation;
    if (mode == Interpolation::Identity || mode == Interpolation::BilinearFloat ||
        mode == Interpolation::NearestFloat) {
        parallelRows(d.height, int64_t{d.width} * d.channels * 4,
                     [&](int y0, int y1) { floatRows(s, d, r, y0, y1); });
        return true;
    }
    FixedMap f;
    if (!fixedMapOf(r, &f))
        return false;
    switch (s.channels) {
    case 1: runFixed<T, 1>(s, d, f, mode, r.outside); break;
    case 2: runFixed<T, 2>(s, d, f, mode, r.outside); break;
    case 3: runFixed<T, 3>(s, d, f, mode, r.outside); break;
    default: runFixed<T, 4>(s, d, f, mode, r.outside); break;
    }
    return true;
}

template <class T>
void resamplePositions(const SampleView<const T>& s, const SampleView<T>& d, Interpolation mode,
                       Outside outside, const PositionRow& positions)
{
    if (s.empty() || d.empty() || s.channels != d.channels || s.channels < 1 || s.channels > 4)
        return;
    const int C = d.channels;
    parallelRows(d.height, int64_t{d.width} * C * 8, [&](int y0, int y1) {
        std::vector<double> xs(static_cast<size_t>(d.width)), ys(static_cast<size_t>(d.width));
        T value[4];
        for (int y = y0; y < y1; ++y) {
            positions(y, xs.data(), ys.data());
            T* out = d.row(y);
            for (int x = 0; x < d.width; ++x) {
                const double sx = xs[static_cast<size_t>(x)], sy = ys[static_cast<size_t>(x)];
                bool write;
                if (mode == Interpolation::Identity) {
                    write = x < s.width && y < s.height ? (copyPixel(s, x, y, value), true)
                                                        : outsidePixel(s, outside, x, y, value);
                } else if (mode == Interpolation::BilinearFloat || mode == Interpolation::NearestFloat) {
                    write = sampleFloat(s, mode, outside, sx, sy, value);
                } else if (std::fabs(sx) <= kMaxStart && std::fabs(sy) <= kMaxStart) {
                    write = sampleFixed(s, mode, outside, std::llround(sx * kOne), std::llround(sy * kOne),
                                        value);
                } else {
                    // Beyond the fixed-point range (or not a number): outside, on the side it lies.
                    const int64_t ix = sx > 0 ? s.width : -1, iy = sy > 0 ? s.height : -1;
                    write = outsidePixel(s, outside, ix, iy, value);
                }
                writeOrKeep(write, value, out + static_cast<ptrdiff_t>(x) * C, C);
            }
        }
    });
}

template bool resampleAffine<uint8_t>(const SampleView<const uint8_t>&, const SampleView<uint8_t>&,
                                      const ResampleRequest&);
template bool resampleAffine<uint16_t>(const SampleView<const uint16_t>&, const SampleView<uint16_t>&,
                                       const ResampleRequest&);
template void resamplePositions<uint8_t>(const SampleView<const uint8_t>&, const SampleView<uint8_t>&,
                                         Interpolation, Outside, const PositionRow&);
template void resamplePositions<uint16_t>(const SampleView<const uint16_t>&, const SampleView<uint16_t>&,
                                          Interpolation, Outside, const PositionRow&);

}  // namespace tvx::imagelib
