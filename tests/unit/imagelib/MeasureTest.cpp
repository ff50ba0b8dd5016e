// Centre of mass, spot finding, coloured spots and local variance.
#include "PixoryTestSupport.h"

#include <cmath>

using namespace pixorytest;

namespace {

class MeasureTest : public PixoryTest {};

TEST_F(MeasureTest, ThresholdsAndCentre)
{
    pxImageNew(1, nullptr, 40, 30, 8, 0x10);
    pxImgFill(1, 10);
    // A bright 3 x 3 block centred on (20, 12), and one pixel of 210 to set the maximum.
    for (int y = 11; y <= 13; ++y)
        for (int x = 19; x <= 21; ++x)
            pxSetPixelValue(1, x, y, 150);
    pxSetPixelValue(1, 30, 20, 210);
    double cx, cy, lo, hi, weight, count, used, spread;
    const int n = pxCenterOfMass(1, 0, 0, 0, 0, 50, 1, &cx, &cy, &lo, &hi, &weight, &count, &used, &spread);
    EXPECT_EQ(used, 110.0);  // 10 + 50% of (210 - 10)
    EXPECT_EQ(lo, 10.0);
    EXPECT_EQ(hi, 210.0);
    EXPECT_EQ(n, 10);
    EXPECT_EQ(count, 10.0);
    EXPECT_DOUBLE_EQ(weight, 9 * 40 + 100);
    EXPECT_NEAR(cx, (9 * 40 * 20 + 100 * 30) / 460.0 + 0.5, 1e-9);
    EXPECT_NEAR(cy, (9 * 40 * 12 + 100 * 20) / 460.0 + 0.5, 1e-9);
    EXPECT_GT(spread, 0);

    // Other threshold forms: absolute, minimum, from the maximum.
    pxCenterOfMass(1, 0, 0, 0, 0, -149, 1, &cx, &cy, nullptr, nullptr, nullptr, &count, &used, nullptr);
    EXPECT_EQ(used, 149.0);
    EXPECT_EQ(count, 10.0);
    pxCenterOfMass(1, 0, 0, 0, 0, 0, 1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &used, nullptr);
    EXPECT_EQ(used, 10.0);
    pxCenterOfMass(1, 0, 0, 0, 0, 130, 1, &cx, &cy, nullptr, nullptr, nullptr, &count, &used, nullptr);
    EXPECT_EQ(used, 180.0);
    EXPECT_EQ(count, 1.0);
    EXPECT_DOUBLE_EQ(cx, 30.5);

    // A rectangle: coordinates are counted from its clipped origin and added back.
    pxCenterOfMass(1, 15, 8, 100, 100, -100, 1, &cx, &cy, nullptr, nullptr, nullptr, &count, nullptr,
                   nullptr);
    EXPECT_EQ(count, 10.0);
    // No weight: the rectangle's origin plus a half.
    pxCenterOfMass(1, 0, 0, 5, 5, -250, 1, &cx, &cy, nullptr, nullptr, nullptr, &count, nullptr, nullptr);
    EXPECT_EQ(count, 0.0);
    EXPECT_DOUBLE_EQ(cx, 0.5);
    // Every second row only.
    pxCenterOfMass(1, 0, 0, 0, 0, -100, 2, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                   nullptr);
    EXPECT_EQ(count, 3.0 + 1.0);

    EXPECT_EQ(pxCenterOfMass(1, 0, 0, 0, 0, 50, 1, static_cast<double*>(inaccessibleAddress()), nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              -2);
    EXPECT_EQ(pxCenterOfMass(2, 0, 0, 0, 0, 50, 1, &cx, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr),
              -1);
}

TEST_F(MeasureTest, FindSpotNarrowsDown)
{
    pxImageNew(1, nullptr, 64, 64, 8, 0x10);
    pxImgFill(1, 0);
    for (int y = 40; y < 44; ++y)
        for (int x = 10; x < 14; ++x)
            pxSetPixelValue(1, x, y, 200);
    double x = 0, y = 0;
    EXPECT_EQ(pxFindSpot(1, -100, &x, &y), 16);
    EXPECT_DOUBLE_EQ(x, 12.0);
    EXPECT_DOUBLE_EQ(y, 42.0);
}

TEST_F(MeasureTest, ColourSpotAddsUpToTheColour)
{
    pxImageNew(1, nullptr, 21, 21, 24, 0x10);
    const int changed = pxAddColSpot(1, 10, 10, 5, 0x0000FF, 0);
    EXPECT_GT(changed, 60);
    EXPECT_LT(changed, 100);
    EXPECT_EQ(pxGetPixelValue(1, 10, 10), 0x0000FF);
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 0);
    const int edge = pxGetPixelValue(1, 14, 10);
    EXPECT_GT(edge, 0);
    EXPECT_LT(edge, 0xFF);
    pxImageNew(2, nullptr, 8, 8, 1, 0x10);
    EXPECT_EQ(pxAddColSpot(2, 4, 4, 2, 1, 0), -1);
}

TEST_F(MeasureTest, LocalVariance)
{
    pxImageNew(1, nullptr, 6, 6, 8, 0x11);  // top-down, so memory rows are picture rows
    pxImgFill(1, 50);
    pxSetPixelValue(1, 2, 2, 59);
    std::vector<uint16_t> out(4 * 4, 0xEEEE);
    // 3 x 3 windows centred on (1..4, 1..4).
    const int top = pxGetVarianzImgRectW(1, out.data(), 4, 4, 1, 1, 3, 0);
    // The windows with the odd pixel: N = 9, sum = 459, squares = 8 * 2500 + 3481.
    const double var = (9.0 * (8 * 2500 + 3481) - 459.0 * 459.0) / (8 * 9);
    EXPECT_EQ(top, static_cast<int>(var));
    EXPECT_EQ(out[0], static_cast<uint16_t>(var));
    EXPECT_EQ(out[3], 0);
    // A negative factor takes the root.
    pxGetVarianzImgRectW(1, out.data(), 4, 4, 1, 1, 3, -10);
    EXPECT_EQ(out[0], static_cast<uint16_t>(std::sqrt(var) * 10));
    // Windows leaving the image leave their output alone.
    std::fill(out.begin(), out.end(), 0xEEEE);
    pxGetVarianzImgRectW(1, out.data(), 4, 4, 0, 0, 3, 0);
    EXPECT_EQ(out[0], 0xEEEE);
    EXPECT_EQ(out[5], static_cast<uint16_t>(var));
    EXPECT_EQ(pxGetVarianzImgRectW(1, out.data(), 4, 4, 0, 0, 1, 0), 0);
    EXPECT_EQ(pxGetVarianzImgRectW(1, static_cast<uint16_t*>(inaccessibleAddress()), 4, 4, 0, 0, 3, 0), -2);
    pxImageNew(2, nullptr, 6, 6, 24, 0x10);
    EXPECT_EQ(pxGetVarianzImgRectW(2, out.data(), 4, 4, 0, 0, 3, 0), 0);
    EXPECT_EQ(pxGetVarianzImgRectW(3, out.data(), 4, 4, 0, 0, 3, 0), -1);
}

}  // namespace
