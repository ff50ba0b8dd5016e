// Conversions between colour-table images and 24-bit images.
#include "PixoryTestSupport.h"

#include <cstring>

using namespace pixorytest;

namespace {

class ConvertTest : public PixoryTest {};

TEST_F(ConvertTest, EightBitExpandsThroughItsTableAndStaysUpright)
{
    pxImageNew(1, nullptr, 5, 3, 8, 0x10);
    fillPattern(1);
    pxSetPalette(1, 8);
    ASSERT_NE(pxConvertImg8ToRGB(1, 2, 0x11), nullptr);  // top-down destination
    EXPECT_EQ(pxGetBitPerPixel(2), 24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const int v = 255 - ((x * 7 + y * 13) & 0xFF);
            ASSERT_EQ(pxGetPixelValue(2, x, y), v * 0x010101);
        }
    EXPECT_EQ(pxConvertImg8ToRGB(1, 1, 0), nullptr);
    EXPECT_EQ(pxConvertImg8ToRGB(6, 2, 0), nullptr);
    pxImageNew(3, nullptr, 5, 3, 4, 0x10);
    EXPECT_EQ(pxConvertImg8ToRGB(3, 2, 0), nullptr);
    // A 24-bit source is a plain copy.
    ASSERT_NE(pxConvertImg8ToRGB(2, 4, 0), nullptr);
    EXPECT_EQ(pxGetPixelValue(4, 1, 1), pxGetPixelValue(2, 1, 1));
}

TEST_F(ConvertTest, ReductionPicksNearestEntriesOfThePreset)
{
    pxImageNew(1, nullptr, 4, 1, 24, 0x10);
    const int colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0x808080};
    for (int x = 0; x < 4; ++x)
        pxSetPixelValue(1, x, 0, colours[x]);
    ASSERT_NE(pxConvertRGBToImg8(1, 2, nullptr, 0, 0), nullptr);  // 0: colour cube 16
    const auto* table = static_cast<const uint8_t*>(pxGetBitmapHeader(2)) + 40;
    for (int x = 0; x < 4; ++x) {
        const int i = pxGetPixelValue(2, x, 0);
        const int rgb = (table[4 * i + 2] << 16) | (table[4 * i + 1] << 8) | table[4 * i];
        EXPECT_EQ(rgb, colours[x] == 0x808080 ? 0x808080 : colours[x]) << x;
    }
    // A caller's table by address.
    uint8_t two[1024] = {};
    two[4 * 1 + 2] = 255;  // entry 1 is red, all others black
    ASSERT_NE(pxConvertRGBToImg8(1, 3, two, 0, 0), nullptr);
    EXPECT_EQ(pxGetPixelValue(3, 0, 0), 1);
    EXPECT_EQ(pxGetPixelValue(3, 1, 0), 0);
    EXPECT_EQ(pxConvertRGBToImg8(1, 3, inaccessibleAddress(), 0, 0), nullptr);
    EXPECT_EQ(pxConvertRGBToImg8(1, 1, nullptr, 0, 0), nullptr);
}

TEST_F(ConvertTest, DitheringKeepsTheAverageColour)
{
    // A flat colour between cube entries: plain reduction is off by a whole step, error
    // diffusion along the row lands close to it on average.
    const int w = 256;
    pxImageNew(1, nullptr, w, 4, 24, 0x10);
    pxImgFill(1, 0x305070);
    pxConvertRGBToImg8(1, 2, nullptr, 1, 0);
    pxConvertRGBToImg8(1, 3, nullptr, 0, 0);
    const auto* table = static_cast<const uint8_t*>(pxGetBitmapHeader(2)) + 40;
    auto meanRed = [&](int number) {
        double sum = 0;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < w; ++x)
                sum += table[4 * pxGetPixelValue(number, x, y) + 2];
        return sum / (4.0 * w);
    };
    EXPECT_NEAR(meanRed(2), 0x30, 6.0);
    EXPECT_GT(std::abs(meanRed(3) - 0x30), 10.0);
}

TEST_F(ConvertTest, NewPaletteReindexesPixels)
{
    pxImageNew(1, nullptr, 16, 16, 8, 0x10);
    fillPattern(1);
    ASSERT_NE(pxMapNewPalette(1, reinterpret_cast<void*>(8)), nullptr);  // inverted grey
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(pxGetPixelValue(1, x, y), 255 - ((x * 7 + y * 13) & 0xFF));
    pxImageNew(2, nullptr, 4, 4, 24, 0x10);
    EXPECT_EQ(pxMapNewPalette(2, nullptr), nullptr);
    EXPECT_EQ(pxConvertImg8ToPalette(0, 1), pxGetBitmapData(1));
}

}  // namespace
