// The separable box filter: running sums, byte rounding per stage, centring.
#include "imagelib/processing/box_filter.h"

#include "platform/memprobe.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tvx::imagelib {

namespace {

// One row: out[c] for the first (width - n + 1) pixels is the rounded mean of n pixels
// (same byte of each); the rest of the row is copied.
void filterRow(const uint8_t* in, uint8_t* out, int width, int bpp, int n, uint32_t k,
               std::vector<uint32_t>& acc)
{
    const size_t rowBytes = static_cast<size_t>(width) * bpp;
    if (width < n) {
        std::memcpy(out, in, rowBytes);
        return;
    }
    const size_t count = static_cast<size_t>(width - n + 1) * bpp;
    if (n <= 32) {
        // Short windows: add n shifted copies of the row; the loops vectorise.
        uint32_t* a = acc.data();
        std::fill(a, a + count, 0u);
        for (int m = 0; m < n; ++m) {
            const uint8_t* src = in + static_cast<size_t>(m) * bpp;
            for (size_t c = 0; c < count; ++c)
                a[c] += src[c];
        }
        for (size_t c = 0; c < count; ++c)
            out[c] = static_cast<uint8_t>((k * a[c] + 0x8000u) >> 16);
    } else {
        for (int ch = 0; ch < bpp; ++ch) {
            uint32_t sum = 0;
            for (int m = 0; m < n; ++m)
                sum += in[static_cast<size_t>(m) * bpp + ch];
            for (size_t c = ch; c < count; c += bpp) {
                out[c] = static_cast<uint8_t>((k * sum + 0x8000u) >> 16);
                if (c + static_cast<size_t>(n) * bpp < rowBytes)
                    sum += in[c + static_cast<size_t>(n) * bpp] - in[c];
            }
        }
    }
    std::memcpy(out + count, in + count, rowBytes - count);
}

// Output byte of a window sum: (k x sum + 0x8000) >> 16, k = 65536 / n.
inline uint8_t scaled(uint32_t k, uint32_t sum)
{
    return static_cast<uint8_t>((k * sum + 0x8000u) >> 16);
}

// One pass, streaming: each input row is row-filtered into a ring of n rows, a running
// sum per byte column gives the column filter, and the result is written straight to its
// centred place (a row that has been read already). Memory stays a few rows.
template <class Sum>
void streamFilter(uint8_t* data, ptrdiff_t pitch, int width, int height, int bpp, int n, bool fill)
{
    const auto k = static_cast<uint32_t>(65536 / n);
    const int s = n / 2;
    const size_t rowBytes = static_cast<size_t>(width) * bpp;
    // Interior (what is written): columns and rows s .. size - s - 1.
    const size_t inner = static_cast<size_t>(width - 2 * s) * bpp;
    const size_t count = static_cast<size_t>(width - n + 1) * bpp;  // row-filtered bytes needed
    std::vector<uint8_t> ring(static_cast<size_t>(n) * count);
    std::vector<Sum> columns(count, 0);
    std::vector<uint16_t> acc(count);  // at most 32 x 255
    for (int r = 0; r < height; ++r) {
        uint8_t* fresh = &ring[static_cast<size_t>(r % n) * count];
        const uint8_t* in = data + static_cast<ptrdiff_t>(r) * pitch;
        if (n <= 32) {
            uint16_t* a = acc.data();
            for (size_t c = 0; c < count; ++c)
                a[c] = in[c];
            for (int m = 1; m < n; ++m) {
                const uint8_t* src = in + static_cast<size_t>(m) * bpp;
                for (size_t c = 0; c < count; ++c)
                    a[c] = static_cast<uint16_t>(a[c] + src[c]);
            }
            for (size_t c = 0; c < count; ++c)
                fresh[c] = scaled(k, a[c]);
        } else {
            for (int ch = 0; ch < bpp; ++ch) {
                uint32_t sum = 0;
                for (int m = 0; m < n; ++m)
                    sum += in[static_cast<size_t>(m) * bpp + ch];
                for (size_t c = ch; c < count; c += bpp) {
                    fresh[c] = scaled(k, sum);
                    if (c + static_cast<size_t>(n) * bpp < rowBytes)
                        sum += in[c + static_cast<size_t>(n) * bpp] - in[c];
                }
            }
        }
        Sum* col = columns.data();
        if (r < n - 1) {
            for (size_t c = 0; c < count; ++c)
                col[c] = static_cast<Sum>(col[c] + fresh[c]);
            continue;
        }
        // Window rows r - n + 1 .. r: its result belongs to row r - n + 1 + s.
        const int target = r - n + 1 + s;
        const uint8_t* leaving = &ring[static_cast<size_t>((r - n + 1) % n) * count];
        uint8_t* out = data + static_cast<ptrdiff_t>(target) * pitch + static_cast<ptrdiff_t>(s) * bpp;
        const size_t written = target < height - s ? inner : 0;
        for (size_t c = 0; c < written; ++c) {
            const auto total = static_cast<Sum>(col[c] + fresh[c]);
            out[c] = scaled(k, total);
            col[c] = static_cast<Sum>(total - leaving[c]);
        }
        for (size_t c = written; c < count; ++c)
            col[c] = static_cast<Sum>(col[c] + fresh[c] - leaving[c]);
    }
    if (!fill)
        return;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = data + static_cast<ptrdiff_t>(y) * pitch;
        if (y < s || y >= height - s) {
            std::memset(row, 0, rowBytes);
        } else {
            std::memset(row, 0, static_cast<size_t>(s) * bpp);
            std::memset(row + rowBytes - static_cast<size_t>(s) * bpp, 0, static_cast<size_t>(s) * bpp);
        }
    }
}

}  // namespace

void boxFilter(uint8_t* data, ptrdiff_t pitch, int width, int height, int bpp, int n, int passes,
               bool fillBorder)
{
    if (n < 2 || passes < 1 || width <= 0 || height <= 0 || bpp < 1)
        return;
    // Each pass widens the frame by n / 2; once it covers the image more passes change nothing.
    const int covering = (std::min(width, height) + 1) / 2 / (n / 2) + 1;
    passes = std::min(passes, covering);
    if (passes == 1 && width >= n && height >= n) {
        if (n <= 257)  // column sums of n bytes fit 16 bits
            streamFilter<uint16_t>(data, pitch, width, height, bpp, n, fillBorder);
        else
            streamFilter<uint32_t>(data, pitch, width, height, bpp, n, fillBorder);
        return;
    }
    const auto k = static_cast<uint32_t>(65536 / n);
    const size_t rowBytes = static_cast<size_t>(width) * bpp;
    const size_t rows = static_cast<size_t>(height);
    std::vector<uint8_t> a(rowBytes * rows);
    std::vector<uint8_t> t(rowBytes * rows);
    std::vector<uint32_t> acc(rowBytes);
    for (size_t y = 0; y < rows; ++y)
        std::memcpy(&a[y * rowBytes], data + static_cast<ptrdiff_t>(y) * pitch, rowBytes);

    for (int pass = 0; pass < passes; ++pass) {
        for (size_t y = 0; y < rows; ++y)
            filterRow(&a[y * rowBytes], &t[y * rowBytes], width, bpp, n, k, acc);
        // Columns: a running sum per byte column over n rows.
        const size_t outRows = height >= n ? rows - static_cast<size_t>(n) + 1 : 0;
        if (outRows > 0) {
            uint32_t* sum = acc.data();
            std::fill(sum, sum + rowBytes, 0u);
            for (int m = 0; m < n; ++m) {
                const uint8_t* src = &t[static_cast<size_t>(m) * rowBytes];
                for (size_t c = 0; c < rowBytes; ++c)
                    sum[c] += src[c];
            }
            for (size_t y = 0; y < outRows; ++y) {
                uint8_t* out = &a[y * rowBytes];
                for (size_t c = 0; c < rowBytes; ++c)
                    out[c] = static_cast<uint8_t>((k * sum[c] + 0x8000u) >> 16);
                if (y + 1 < outRows) {
                    const uint8_t* leaving = &t[y * rowBytes];
                    const uint8_t* entering = &t[(y + static_cast<size_t>(n)) * rowBytes];
                    for (size_t c = 0; c < rowBytes; ++c)
                        sum[c] += static_cast<uint32_t>(entering[c]) - leaving[c];
                }
            }
        }
        for (size_t y = outRows; y < rows; ++y)
            std::memcpy(&a[y * rowBytes], &t[y * rowBytes], rowBytes);
    }

    // Centre the result and deal with the frame.
    const long long shift = static_cast<long long>(n / 2) * passes;
    for (long long y = 0; y < height; ++y) {
        uint8_t* out = data + static_cast<ptrdiff_t>(y) * pitch;
        const bool frameRow = y < shift || y >= height - shift;
        if (frameRow) {
            if (fillBorder)
                std::memset(out, 0, rowBytes);
            continue;
        }
        const long long left = std::min<long long>(shift, width);
        const long long right = std::max<long long>(left, width - shift);
        if (fillBorder) {
            std::memset(out, 0, static_cast<size_t>(left * bpp));
            std::memset(out + right * bpp, 0, static_cast<size_t>((width - right) * bpp));
        }
        if (right > left)
            std::memcpy(out + left * bpp, &a[static_cast<size_t>(y - shift) * rowBytes],
                        static_cast<size_t>((right - left) * bpp));
    }
}

bool callerSpanOk(const void* first, long long pitch, long long rowBytes, long long rows, bool write)
{
    if (rows <= 0 || rowBytes <= 0)
        return true;
    const long long far = (rows - 1) * pitch;
    const long long lo = std::min(0LL, far);
    const long long hi = std::max(0LL, far) + rowBytes;
    auto* start = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(first) + static_cast<uintptr_t>(lo));
    const auto size = static_cast<size_t>(hi - lo);
    return write ? platform::isWritable(start, size) : platform::isReadable(start, size);
}

}  // namespace tvx::imagelib
