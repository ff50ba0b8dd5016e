// Gratings with gamma correction (on the pixel grid and on maps), finding points in
// maps, and fractal escape counts.
#include "PixoryTestSupport.h"

#include <cmath>

using namespace pixorytest;

namespace {

class PatternTest : public PixoryTest {};

const uint8_t* memoryRow(int n, int y)  // DIB row y in memory order
{
    return static_cast<const uint8_t*>(pxGetBitmapData(n)) + static_cast<size_t>(y) * pxGetBytePerLine(n);
}

TEST_F(PatternTest, CosineGratingWithoutGammaIsRoundedRaisedCosine)
{
    pxImageNew(1, nullptr, 50, 20, 8, 0x10);
    const double fx = 0.3, fy = 0.11, phase = 0.7;
    ASSERT_EQ(pxFillGammaSinus2(1, 1, 0, 1, fx, fy, phase, 255, 0, 0, 0, 0, 0, 0), 0);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 52; ++x) {  // every byte of the row, padding included
            const double s = 127.5 * (1 + std::cos(x * fx + y * fy + phase));
            ASSERT_EQ(memoryRow(1, y)[x], static_cast<int>(s + 0.5)) << x << "," << y;
        }
}

TEST_F(PatternTest, GammaRoundingAndTheOffsetAfterTheCurve)
{
    pxImageNew(1, nullptr, 16, 4, 8, 0x10);
    // Cosine kind with gamma 2: trunc(s^2 x 256 + 0.5), s = (200 + 50) / 2 / 256 + ...
    ASSERT_EQ(pxFillGammaSinus2(1, 1, 0, 2, 0.4, 0, 0, 200, 0.9, 0, 0.3, 50, 0, 0), 0);
    for (int x = 0; x < 16; ++x) {
        const double s = 125.0 / 256 + std::cos(0.4 * x) * 200 / 512 + std::cos(0.9 * x + 0.3) * 50 / 512;
        EXPECT_EQ(memoryRow(1, 2)[x],
                  static_cast<int>(std::min(255.0, std::pow(std::max(s, 0.0), 2) * 256 + 0.5)));
    }
    // Flags 0x10: the offset is added after the curve (as the rounding term).
    ASSERT_EQ(pxFillGammaSinus2(1, 0x11, 30, 2, 0.4, 0, 0, 200, 0, 0, 0, 0, 0, 0), 0);
    for (int x = 0; x < 16; ++x) {
        const double s = 100.0 / 256 + std::cos(0.4 * x) * 200 / 512;
        EXPECT_EQ(memoryRow(1, 0)[x], static_cast<int>(std::min(255.0, std::pow(s, 2) * 256 + 30.5)));
    }
}

TEST_F(PatternTest, SquareAndSawToothWaves)
{
    pxImageNew(1, nullptr, 40, 3, 8, 0x10);
    // Square: trunc(u fx / pi + 90000) & 1 picks amp; fx = pi / 4 gives runs of 4 bytes.
    ASSERT_EQ(pxFillGammaSinus2(1, 0, 10, 1, M_PI / 4, 0, 0, 200, 0, 0, 0, 0, 0, 0), 0);
    for (int x = 0; x < 40; ++x)
        EXPECT_EQ(memoryRow(1, 1)[x], (x / 4) % 2 ? 210 : 10) << x;
    // Saw-tooth: fmod(u fx / 2 pi + 90000, 1) x amp, rising over 8 bytes.
    ASSERT_EQ(pxFillGammaSinus2(1, 2, 0, 1, M_PI / 4, 0, 0, 160, 0, 0, 0, 0, 0, 0), 0);
    for (int x = 0; x < 40; ++x)
        EXPECT_EQ(memoryRow(1, 0)[x], static_cast<int>(std::fmod(x / 8.0 + 90000, 1) * 160 + 0.5)) << x;
    // Values beyond the byte are limited to 255; below it to 0.
    ASSERT_EQ(pxFillGammaSinus2(1, 0, 300, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(memoryRow(1, 2)[5], 255);
    ASSERT_EQ(pxFillGammaSinus2(1, 0, -40, 1.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(memoryRow(1, 2)[5], 0);
}

TEST_F(PatternTest, PlanesPolarCoordinatesAndRowsThatRepeat)
{
    pxImageNew(2, nullptr, 10, 6, 16, 0x10);
    ASSERT_EQ(pxFillGammaSinus2(2, 1, 0, 1, 0.5, 0.25, 0, 255, 0, 0, 0, 0, 0, 0), 0);
    const auto* plane = static_cast<const uint16_t*>(pxGetImg16Data(2));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x) {
            const double s = (127.5 + std::cos(0.5 * x + 0.25 * y) * 127.5) / 256;
            ASSERT_EQ(plane[y * 10 + x], static_cast<int>(std::min(65535.0, s * 65536 + 0.5)));
        }
    // Polar about (stride / 2, height / 2) = (6, 3): the radius as v.
    pxImageNew(3, nullptr, 12, 7, 8, 0x10);
    ASSERT_EQ(pxFillGammaSinus2(3, 1 | 0x20, 0, 1, 0, 0.8, 0, 255, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(memoryRow(3, 3)[6], 255);                 // the centre: cos 0
    EXPECT_EQ(memoryRow(3, 3)[9], memoryRow(3, 0)[6]);  // radius 3 both
    // Moved by (cx, cy) only with flags 0x40 as well.
    ASSERT_EQ(pxFillGammaSinus2(3, 1 | 0x60, 0, 1, 0, 0.8, 0, 255, 0, 0, 0, 0, 2, -1), 0);
    EXPECT_EQ(memoryRow(3, 2)[8], 255);
    // A grating that does not change along y: the first row repeats, as computed.
    pxImageNew(4, nullptr, 9, 5, 8, 0x10);
    ASSERT_EQ(pxFillGammaSinus2(4, 1, 0, 2.2, 0.7, 0, 0, 180, 0.2, 0, 1, 60, 0, 0), 0);
    for (int y = 1; y < 5; ++y)
        EXPECT_EQ(std::vector<uint8_t>(memoryRow(4, y), memoryRow(4, y) + 12),
                  std::vector<uint8_t>(memoryRow(4, 0), memoryRow(4, 0) + 12));
    EXPECT_EQ(pxFillGammaSinus2(9, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), -1);
}

TEST_F(PatternTest, MapsGiveThePatternCoordinates)
{
    const int w = 7, h = 5;
    pxImageNew(1, nullptr, w, h, 8, 0x10);
    pxImageNew(2, nullptr, w, h, 24, 0x10);
    std::vector<double> u(static_cast<size_t>(w) * h), v(u.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            u[static_cast<size_t>(y) * w + x] = x;
            v[static_cast<size_t>(y) * w + x] = y;
        }
    // The pixel grid as a map gives what the grid gives.
    ASSERT_EQ(pxFillGammaSinus2(1, 1, 0, 1.8, 0.6, 0.3, 0.2, 230, 0.1, 0.9, 0, 40, 0, 0), 0);
    std::vector<uint8_t> grid(memoryRow(1, 0), memoryRow(1, 0) + 8 * h);
    pxImgFill(1, 0);
    ASSERT_EQ(pxFillGammaSinus2Map(1, 1, 0, 1.8, 0.6, 0.3, 0.2, 230, 0.1, 0.9, 0, 40, u.data(), v.data(), 0),
              0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(memoryRow(1, y)[x], grid[static_cast<size_t>(y) * 8 + x]);
    // Every byte of a colour pixel gets the value.
    ASSERT_EQ(pxFillGammaSinus2Map(2, 1, 0, 1, 0.6, 0, 0, 255, 0, 0, 0, 0, u.data(), v.data(), 0), 0);
    EXPECT_EQ(memoryRow(2, 1)[9], memoryRow(2, 1)[11]);
    EXPECT_EQ(memoryRow(2, 1)[9], static_cast<int>(127.5 * (1 + std::cos(0.6 * 3)) + 0.5));
    EXPECT_EQ(pxFillGammaSinus2Map(1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, u.data(),
                                   static_cast<const double*>(inaccessibleAddress()), 0),
              -2);
}

TEST_F(PatternTest, FindMapPointInvertsTheMapBetweenCells)
{
    const int w = 20, h = 10;
    std::vector<double> u(static_cast<size_t>(w) * h), v(u.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            u[static_cast<size_t>(y) * w + x] = 2 * x + 0.5 * y + 100;
            v[static_cast<size_t>(y) * w + x] = -x + 3 * y;
        }
    double x = -1, y = -1;
    // The point (7.25, 4.5) of the grid.
    ASSERT_EQ(
        pxFindMapPoint(u.data(), v.data(), 0, w, h, 2 * 7.25 + 0.5 * 4.5 + 100, -7.25 + 3 * 4.5, &x, &y), 0);
    EXPECT_NEAR(x, 7.25, 1e-9);
    EXPECT_NEAR(y, 4.5, 1e-9);
    EXPECT_EQ(pxFindMapPoint(u.data(), v.data(), 0, 0, h, 0, 0, &x, &y), -1);
    EXPECT_EQ(
        pxFindMapPoint(static_cast<const double*>(inaccessibleAddress()), v.data(), 0, w, h, 0, 0, &x, &y),
        -2);
}

TEST_F(PatternTest, FractalEscapeCounts)
{
    EXPECT_EQ(pxFractalM(0, 0, 100, 0, 0, 0), 0);  // the origin never escapes
    EXPECT_EQ(pxFractF1(50, 1, 1), 1);             // 1 + i, then 1 + 3i escapes
    EXPECT_EQ(pxFractF1(50, 0, 0), 50);
    EXPECT_EQ(pxFractalM(1, 1, 50, 0, 0, 0), 2);   // the step at which it escapes
    EXPECT_EQ(pxFractalM(1, 1, 50, 0, 0, 20), 3);  // a larger bailout: (1 + 3i)^2 + c = -7 + 7i
    EXPECT_EQ(pxFractalM(0.5, 0, 1, 2, 0, 0), 1);  // a start outside escapes at once
    // A line of points is the same as point by point, limited to a byte.
    std::vector<uint8_t> line(64, 0xAA);
    ASSERT_EQ(pxFractalMLine(line.data(), 64, -2, 0.5, 0.05, -0.01, 300, 0, 0, 0), 0);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(line[static_cast<size_t>(i)],
                  std::min(255, pxFractalM(-2 + i * 0.05, 0.5 - i * 0.01, 300, 0, 0, 0)));
    EXPECT_EQ(pxFractalMLine(inaccessibleAddress(), 64, 0, 0, 0, 0, 10, 0, 0, 0), -2);
}

}  // namespace
