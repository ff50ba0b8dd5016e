// Box filters: the rounding of each stage, centring, frames, pixels of several bytes.
#include "PixoryTestSupport.h"

#include <random>

using namespace pixorytest;

namespace {

class FilterTest : public PixoryTest {};

// The filter written the slow, obvious way: rows, then columns, each rounded to bytes,
// the result centred, a frame of n / 2 set to 0. Works on w x h pixels of bpp bytes.
std::vector<uint8_t> referenceBoxFilter(const std::vector<uint8_t>& in, int w, int h, int bpp, int n)
{
    const int k = 65536 / n;
    std::vector<uint8_t> rows = in, cols = in, out(in.size(), 0);
    auto at = [&](int x, int y, int c) { return (static_cast<size_t>(y) * w + x) * bpp + c; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x + n <= w; ++x)
            for (int c = 0; c < bpp; ++c) {
                int sum = 0;
                for (int m = 0; m < n; ++m)
                    sum += in[at(x + m, y, c)];
                rows[at(x, y, c)] = static_cast<uint8_t>((k * sum + 0x8000) >> 16);
            }
    cols = rows;
    for (int y = 0; y + n <= h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < bpp; ++c) {
                int sum = 0;
                for (int m = 0; m < n; ++m)
                    sum += rows[at(x, y + m, c)];
                cols[at(x, y, c)] = static_cast<uint8_t>((k * sum + 0x8000) >> 16);
            }
    const int s = n / 2;
    for (int y = s; y < h - s; ++y)
        for (int x = s; x < w - s; ++x)
            for (int c = 0; c < bpp; ++c)
                out[at(x, y, c)] = cols[at(x - s, y - s, c)];
    return out;
}

std::vector<uint8_t> randomBytes(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = static_cast<uint8_t>(gen());
    return v;
}

TEST_F(FilterTest, FlatImageStaysFlatInsideABlackFrame)
{
    for (int w : {16, 13}) {  // also a width whose rows have padding
        SCOPED_TRACE(w);
        pxImageNew(1, nullptr, w, 9, 8, 0x10);
        pxImgFill(1, 200);
        ASSERT_EQ(pxImgLowPass(1, 3), 0);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < w; ++x) {
                const bool frame = x == 0 || y == 0 || x == w - 1 || y == 8;
                ASSERT_EQ(pxGetPixelValue(1, x, y), frame ? 0 : 200) << x << "," << y;
            }
    }
}

TEST_F(FilterTest, MatchesTheReferenceForOddAndEvenWindows)
{
    const int w = 37, h = 23;
    for (int n : {2, 3, 4, 5, 9}) {
        SCOPED_TRACE(n);
        pxImageNew(1, nullptr, w, h, 8, 0x11);  // top-down: rows in memory order
        const std::vector<uint8_t> in = randomBytes(static_cast<size_t>(w) * h, 17u + n);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                pxSetPixelValue(1, x, y, in[y * w + x]);
        ASSERT_EQ(pxImgLowPass(1, n), 0);
        const std::vector<uint8_t> expected = referenceBoxFilter(in, w, h, 1, n);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(pxGetPixelValue(1, x, y), expected[y * w + x]) << x << "," << y;
    }
}

TEST_F(FilterTest, ColourPixelsAreFilteredPerByte)
{
    const int w = 20, h = 11;
    pxImageNew(1, nullptr, w, h, 24, 0x11);
    const std::vector<uint8_t> in = randomBytes(static_cast<size_t>(w) * h * 3, 5);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &in[(y * w + x) * 3];
            pxSetPixelValue(1, x, y, p[0] | (p[1] << 8) | (p[2] << 16));
        }
    pxImgLowPass(1, 5);
    const std::vector<uint8_t> expected = referenceBoxFilter(in, w, h, 3, 5);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &expected[(y * w + x) * 3];
            ASSERT_EQ(pxGetPixelValue(1, x, y), p[0] | (p[1] << 8) | (p[2] << 16));
        }
}

TEST_F(FilterTest, RawBufferFilterWithPassesAndBorderChoice)
{
    const int w = 30, h = 14, pitch = 100;
    std::vector<uint8_t> buffer = randomBytes(static_cast<size_t>(pitch) * h, 9);
    std::vector<uint8_t> packed(static_cast<size_t>(w) * 2 * h);
    for (int y = 0; y < h; ++y)
        std::copy_n(&buffer[y * pitch], w * 2, &packed[y * w * 2]);
    std::vector<uint8_t> withFrame = buffer;
    ASSERT_EQ(pxLowPassVarB(withFrame.data(), pitch, w, h, 2, 3, 1, 1), 0);
    const std::vector<uint8_t> expected = referenceBoxFilter(packed, w, h, 2, 3);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < w * 2; ++i)
            ASSERT_EQ(withFrame[y * pitch + i], expected[y * w * 2 + i]) << i << "," << y;
    // Bytes beyond the width in each row are not touched.
    EXPECT_EQ(withFrame[pitch - 1], buffer[pitch - 1]);

    // Two passes: the frame is two pixels wide; without fill it keeps the old values.
    std::vector<uint8_t> twice = buffer;
    pxLowPassVarB(twice.data(), pitch, w, h, 2, 3, 2, 0);
    EXPECT_EQ(twice[0], buffer[0]);
    EXPECT_EQ(twice[pitch + 3], buffer[pitch + 3]);
    const std::vector<uint8_t> once = referenceBoxFilter(packed, w, h, 2, 3);
    std::vector<uint8_t> shifted(packed.size(), 0);
    for (int y = 0; y + 1 < h; ++y)  // undo the centring of the first pass for the second
        for (int x = 0; x + 1 < w; ++x)
            for (int c = 0; c < 2; ++c)
                shifted[(y * w + x) * 2 + c] = once[((y + 1) * w + x + 1) * 2 + c];
    const std::vector<uint8_t> second = referenceBoxFilter(shifted, w, h, 2, 3);
    EXPECT_EQ(twice[5 * pitch + 2 * 10], second[(4 * w + 9) * 2]);

    EXPECT_EQ(pxLowPassVarB(buffer.data(), pitch, w, h, 5, 3, 1, 1), -1);
    EXPECT_EQ(pxLowPassVarB(inaccessibleAddress(), pitch, w, h, 1, 3, 1, 1), -2);
}

TEST_F(FilterTest, HighPassSubtractsTheSmoothedImage)
{
    pxImageNew(1, nullptr, 8, 8, 8, 0x10);
    pxImgFill(1, 100);
    pxSetPixelValue(1, 4, 4, 190);
    ASSERT_EQ(pxImgHighPass(1, 3, 50), 0);
    EXPECT_EQ(pxGetPixelValue(1, 2, 2), 50);  // flat: just the offset
    EXPECT_EQ(pxGetPixelValue(1, 4, 4), 190 + 50 - 110);
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 150);  // the frame of the smoothed copy is 0
    EXPECT_EQ(pxImgHighPass(1, 3, -500), 0);
    EXPECT_EQ(pxGetPixelValue(1, 2, 2), 0);
    EXPECT_EQ(pxImgLowPass(9, 3), -1);
}

}  // namespace
