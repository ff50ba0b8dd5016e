// The 8-bit display of 16-bit planes: fixed shift, fixed window, range scan, auto shift.
#include "PixoryTestSupport.h"

using namespace pixorytest;

namespace {

class Display16Test : public PixoryTest {
protected:
    // A 16 x 8 plane with values from..to along x (the same on every row).
    uint16_t* ramp(int bits, int from, int to)
    {
        auto* plane = static_cast<uint16_t*>(pxImageNew(1, nullptr, 16, 8, bits, 0x10));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
                plane[y * 16 + x] = static_cast<uint16_t>(from + (to - from) * x / 15);
        return plane;
    }
    int display(int x, int y) const
    {
        return static_cast<const uint8_t*>(pxGetBitmapData(1))[(7 - y) * 16 + x];
    }
};

TEST_F(Display16Test, SettingsReadBack)
{
    pxImageNew(1, nullptr, 4, 4, 12, 0x10);
    double low = -1, high = -1;
    EXPECT_EQ(pxGetImg16Display(1, &low, &high), 0);
    EXPECT_DOUBLE_EQ(low, 1.0);
    EXPECT_DOUBLE_EQ(high, 0.1);
    EXPECT_EQ(pxSetImg16Display(1, 0x401, 2.5, -1), 0x401);
    EXPECT_EQ(pxGetImg16Display(1, &low, &high), 0x401);
    EXPECT_DOUBLE_EQ(low, 2.5);
    EXPECT_DOUBLE_EQ(high, 0.1);
    EXPECT_EQ(pxSetImg16Display(1, 0, 1, 1), 0x401);  // mode 0 keeps the word
    EXPECT_EQ(pxGetImg16Display(1, nullptr, static_cast<double*>(inaccessibleAddress())), 0x401);
}

TEST_F(Display16Test, FixedShiftAndFixedWindow)
{
    ramp(12, 0, 4095);
    pxSetImg16Display(1, 3, -1, -1);
    pxImageUpdate(1, 8);  // no window: bit 3 asks for the mapping all the same
    EXPECT_EQ(display(15, 0), 255);
    EXPECT_EQ(display(5, 3), 1365 >> 4);
    EXPECT_EQ(pxTranslatePixel16To8(1, 4095), 255);
    EXPECT_EQ(pxTranslatePixel16To8(1, 160), 10);

    ramp(16, 0, 3000);
    pxSetImg16Display(1, 4, 1000, 2000);
    pxImageUpdate(1, 8);
    // scale 0xFFFFF / 1000 = 1048, result ((v - 1000) * 1048) >> 12
    EXPECT_EQ(display(0, 0), 0);
    EXPECT_EQ(display(15, 0), 255);
    EXPECT_EQ(pxTranslatePixel16To8(1, 1500), (500 * 1048) >> 12);
    EXPECT_EQ(pxTranslatePixel16To8(1, -5), 0);
}

TEST_F(Display16Test, RangeScanAndAutomaticShift)
{
    ramp(12, 100, 1600);
    pxSetImg16Display(1, 0x10000, 0, 0);  // method 0, no percentiles: the scanned range
    pxImageUpdate(1, 8);
    // The scan starts at column 3, so the lower end is the value there.
    const int lower = 100 + 1500 * 3 / 15;
    EXPECT_EQ(display(3, 2), 0);
    EXPECT_EQ(display(15, 2), 255);
    EXPECT_EQ(display(9, 0), (100 + 1500 * 9 / 15 - lower) * 255 / (1600 - lower));
    EXPECT_EQ(display(0, 0), 0);  // below the range

    ramp(12, 0, 1000);
    pxSetImg16Display(1, 2, -1, -1);
    pxImageUpdate(1, 8);
    // Scanned from column 3: 200..1000; lower 196, and 804 needs a shift of 2.
    EXPECT_EQ(display(15, 0), (1000 - 196) >> 2);
    EXPECT_EQ(pxTranslatePixel16To8(1, 400), (400 - 196) >> 2);
}

TEST_F(Display16Test, PercentilesCutOutliers)
{
    auto* plane = ramp(16, 1000, 1000);
    plane[5 * 16 + 8] = 60000;  // one hot pixel
    for (int x = 0; x < 16; ++x)
        plane[2 * 16 + x] = 2000;
    pxSetImg16Display(1, 1, 1.0, 1.0);
    pxImageUpdate(1, 8);
    EXPECT_EQ(display(4, 2), 255);  // the bright row is the top of the range, not the hot pixel
    EXPECT_EQ(display(4, 4), 0);
}

}  // namespace
