// Polynomial distortion of slots and raw buffers, and polynomial maps: the order of the
// terms, offsets against positions, centred coordinates, the edge rules, bad input.
#include "PixoryTestSupport.h"

#include <cmath>
#include <random>

using namespace pixorytest;

namespace {

class DistortTest : public PixoryTest {};

constexpr int kNearest = 0x10;

void fillNoise(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    const int w = pxGetXSize(n), h = pxGetYSize(n);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            pxSetPixelValue(n, x, y, static_cast<int>(gen() & 0xFF));
}

TEST_F(DistortTest, OffsetsMoveThePictureAndPositionsReplaceIt)
{
    pxImageNew(1, nullptr, 20, 15, 8, 0x10);
    pxImageNew(2, nullptr, 20, 15, 8, 0x10);
    fillNoise(1, 1);
    // No coefficients: every pixel stays where it is.
    ASSERT_EQ(pxImgDistortPolyXY(1, 2, kNearest, nullptr, 0, 0, nullptr, 0, 0), 0);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(pxGetPixelValue(2, x, y), pxGetPixelValue(1, x, y));
    // Constant offsets: the destination at (x, y) shows the source at (x + 3, y - 2).
    const double cx[] = {3}, cy[] = {-2};
    ASSERT_EQ(pxImgDistortPolyXY(1, 2, kNearest, cx, 1, 0, cy, 1, 0), 0);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool inside = x + 3 < 20 && y - 2 >= 0;
            ASSERT_EQ(pxGetPixelValue(2, x, y), inside ? pxGetPixelValue(1, x + 3, y - 2) : 0)
                << x << "," << y;
        }
    // Order 1 has the terms 1, v, u. Mode bit 0: the polynomials are the positions:
    // x from u (term 2), y from 14 - v (terms 0 and 1), a mirror top to bottom.
    const double px[] = {0, 0, 1}, py[] = {14, -1, 0};
    ASSERT_EQ(pxImgDistortPolyXY(1, 2, kNearest | 1, px, 3, 1, py, 3, 1), 0);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(pxGetPixelValue(2, x, y), pxGetPixelValue(1, x, 14 - y));
    // Mode bit 1: u and v count from the centre (10, 7.5). The offset -u / 2 draws
    // from x - (x - 10) / 2: the picture doubled in width about that column.
    const double half[] = {0, 0, -0.5};
    ASSERT_EQ(pxImgDistortPolyXY(1, 2, kNearest | 2, half, 3, 1, nullptr, 0, 1), 0);
    for (int x = 0; x < 20; ++x)
        EXPECT_EQ(pxGetPixelValue(2, x, 4),
                  pxGetPixelValue(1, static_cast<int>(std::floor(x - (x - 10) / 2.0)), 4));
}

TEST_F(DistortTest, TermsOfHigherOrderFollowTheirNumbering)
{
    pxImageNew(1, nullptr, 32, 32, 8, 0x10);
    pxImageNew(2, nullptr, 32, 32, 8, 0x10);
    fillNoise(1, 2);
    // Order 2: 1, v, v^2, u, u v, u^2. Offsets x: u v / 64, y: u^2 / 32.
    double cx[6] = {0, 0, 0, 0, 1.0 / 64, 0}, cy[6] = {0, 0, 0, 0, 0, 1.0 / 32};
    ASSERT_EQ(pxImgDistortPolyXY(1, 2, kNearest | 0x100, cx, 6, 2, cy, 6, 2), 0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const int sx = std::clamp(static_cast<int>(std::floor(x + x * y / 64.0)), 0, 31);
            const int sy = std::clamp(static_cast<int>(std::floor(y + x * x / 32.0)), 0, 31);
            ASSERT_EQ(pxGetPixelValue(2, x, y), pxGetPixelValue(1, sx, sy)) << x << "," << y;
        }
    // Counts below the number of terms leave the rest out.
    ASSERT_EQ(pxImgDistortPolyXY(1, 2, kNearest, cx, 4, 2, cy, 5, 2), 0);
    EXPECT_EQ(pxGetPixelValue(2, 7, 9), pxGetPixelValue(1, 7, 9));
}

TEST_F(DistortTest, RawBuffersInEitherRowOrderAndSixteenBits)
{
    const int w = 9, h = 6;
    std::vector<uint8_t> src(static_cast<size_t>(12) * h), dst(static_cast<size_t>(12) * h, 0);
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<uint8_t>(i * 7);
    // The source bottom-up, the destination top-down: the constant offset 1 in y reads
    // the row below as seen, which is the row before in the source's memory.
    const double cy[] = {1};
    ASSERT_EQ(pxRectDistortPolyXY(src.data(), 12, w, h, 1, dst.data(), 12, w, h, 0, 1, kNearest, nullptr, 0,
                                  0, cy, 1, 0),
              0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int seenRow = y + 1;  // as seen from the top
            const int want = seenRow < h ? src[static_cast<size_t>(h - 1 - seenRow) * 12 + x] : 0;
            ASSERT_EQ(dst[static_cast<size_t>(y) * 12 + x], want) << x << "," << y;
        }
    // 16-bit samples, two per pixel (mode bit 2), bilinear halfway in x.
    std::vector<uint16_t> words = {1000, 2000, 3000, 4000, 5000, 6000}, out(6, 0);
    const double cx[] = {0.5 - 0.0};
    ASSERT_EQ(pxRectDistortPolyXY(words.data(), 12, 3, 1, 0, out.data(), 12, 3, 1, 0, 4, 0x20 | 4, cx, 1, 0,
                                  nullptr, 0, 0),
              0);
    EXPECT_EQ(out[0], 2000);  // halfway between 1000 and 3000
    EXPECT_EQ(out[1], 3000);
    EXPECT_EQ(out[4], 5000);  // the last pixel has no right neighbour: its own value
    // Bad sizes and memory.
    EXPECT_EQ(pxRectDistortPolyXY(src.data(), 12, w, h, 0, dst.data(), 12, w, h, 0, 5, 0, nullptr, 0, 0,
                                  nullptr, 0, 0),
              -1);
    EXPECT_EQ(pxRectDistortPolyXY(src.data(), 12, w, h, 0, dst.data(), 12, w, h, 0, 1, 0, nullptr, 0, 11,
                                  nullptr, 0, 0),
              -1);
    EXPECT_EQ(pxRectDistortPolyXY(inaccessibleAddress(), 12, w, h, 0, dst.data(), 12, w, h, 0, 1, 0, nullptr,
                                  0, 0, nullptr, 0, 0),
              -2);
    EXPECT_EQ(pxRectDistortPolyXY(src.data(), 12, w, h, 0, dst.data(), 12, w, h, 0, 1, 0,
                                  static_cast<const double*>(inaccessibleAddress()), 1, 0, nullptr, 0, 0),
              -2);
}

TEST_F(DistortTest, SlotsMustMatch)
{
    pxImageNew(1, nullptr, 8, 8, 8, 0x10);
    pxImageNew(2, nullptr, 8, 8, 24, 0x10);
    pxImageNew(3, nullptr, 8, 8, 4, 0x10);
    EXPECT_EQ(pxImgDistortPolyXY(1, 2, 0, nullptr, 0, 0, nullptr, 0, 0), -1);
    EXPECT_EQ(pxImgDistortPolyXY(3, 3, 0, nullptr, 0, 0, nullptr, 0, 0), -1);
    EXPECT_EQ(pxImgDistortPolyXY(1, 5, 0, nullptr, 0, 0, nullptr, 0, 0), -1);
    EXPECT_EQ(pxImgDistortPolyXY(1, 1, 0, nullptr, 0, -1, nullptr, 0, 0), -1);
    // Into itself: read from a copy, so a shift does not smear.
    for (int x = 0; x < 8; ++x)
        pxSetPixelValue(1, x, 0, x * 10);
    const double cx[] = {-1};
    ASSERT_EQ(pxImgDistortPolyXY(1, 1, kNearest, cx, 1, 0, nullptr, 0, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 5, 0), 40);
}

TEST_F(DistortTest, PolynomialMapsSelectTheirTermsByMask)
{
    const int w = 5, h = 4;
    std::vector<double> map(static_cast<size_t>(w) * h, -1);
    const double c[6] = {100, 10, 1, 1000, 0.5, 0.25};  // 1, v, v^2, u, u v, u^2
    // No mask: the value is x.
    ASSERT_EQ(pxPolyXYCalcMapD(map.data(), 0, w, h, c, 2, 0, 0), 0);
    EXPECT_EQ(map[7], 2);
    // Terms 1 (v) and 4 (u v).
    ASSERT_EQ(pxPolyXYCalcMapD(map.data(), 0, w, h, c, 2, (1 << 1) | (1 << 4), 0), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_DOUBLE_EQ(map[static_cast<size_t>(y) * w + x], x + 10 * y + 0.5 * x * y);
    // A negative mask takes the first terms: 1, v, v^2.
    ASSERT_EQ(pxPolyXYCalcMapD(map.data(), 0, w, h, c, 2, -3, 0), 0);
    EXPECT_DOUBLE_EQ(map[3 * w + 1], 1 + 100 + 30 + 9);
    // Centred (2.5, 2), and with the half-sizes swapped (2, 2.5); rows 16 doubles apart.
    std::vector<double> wide(static_cast<size_t>(16) * h, 7);
    ASSERT_EQ(pxPolyXYCalcMapD(wide.data(), 16 * 8, w, h, c, 2, 1 << 3, 1), 0);
    EXPECT_DOUBLE_EQ(wide[16 * 1 + 4], 4 + 1000 * (4 - 2.5));
    EXPECT_EQ(wide[16 * 1 + 5], 7);  // beyond the row: untouched
    ASSERT_EQ(pxPolyXYCalcMapD(wide.data(), 16 * 8, w, h, c, 2, 1 << 1, 2), 0);
    EXPECT_DOUBLE_EQ(wide[16 * 3 + 0], 0 + 10 * (3 - 2.5));
    // Bad input.
    EXPECT_EQ(pxPolyXYCalcMapD(map.data(), 0, w, h, c, 11, 1, 0), -1);
    EXPECT_EQ(pxPolyXYCalcMapD(map.data(), 8, w, h, c, 2, 1, 0), -1);  // overlapping rows
    EXPECT_EQ(pxPolyXYCalcMapD(static_cast<double*>(inaccessibleAddress()), 0, w, h, c, 2, 1, 0), -2);
    EXPECT_EQ(pxPolyXYCalcMapD(map.data(), 0, w, h, nullptr, 2, 1, 0), -2);
}

}  // namespace
