// Colour-table presets, palette words with bounds and stretch, table access, nearest colour.
#include "PixoryTestSupport.h"

#include <cmath>
#include <set>

using namespace pixorytest;

namespace {

class PaletteTest : public PixoryTest {
protected:
    void SetUp() override
    {
        PixoryTest::SetUp();
        pxImageNew(1, nullptr, 4, 4, 8, 0x10);
    }
    // Entry i as 0xRRGGBB.
    static int entry(int i, int number = 1)
    {
        const auto* t = static_cast<const uint8_t*>(pxGetPalette(number, nullptr, 0));
        return (t[4 * i + 2] << 16) | (t[4 * i + 1] << 8) | t[4 * i];
    }
};

TEST_F(PaletteTest, AnchorPresets)
{
    pxSetPalette(1, 1);
    EXPECT_EQ(entry(0), 0x0000FF);
    EXPECT_EQ(entry(1), 0x010101);
    EXPECT_EQ(entry(128), 0x808080);
    EXPECT_EQ(entry(255), 0xFF0000);
    pxSetPalette(1, 2);
    EXPECT_EQ(entry(51), 0x800000);  // 255 + (0 - 255) * (102 - 51) / 102, truncated toward 0
    EXPECT_EQ(entry(204), 0xFFFF00);
    pxSetPalette(1, 3);
    EXPECT_EQ(entry(10), 0x00009F);
    EXPECT_EQ(entry(128), 0x00FF00);
    EXPECT_EQ(entry(253), 0xFF00FF);
    pxSetPalette(1, 5);
    EXPECT_EQ(entry(32), 0x808080);
    EXPECT_EQ(entry(64), 0xFFFFFF);
    EXPECT_EQ(entry(100), 0xFFFFFF);
    pxSetPalette(1, 8);
    EXPECT_EQ(entry(0), 0xFFFFFF);
    EXPECT_EQ(entry(255), 0x000000);
    pxSetPalette(1, 11);
    EXPECT_EQ(entry(112), 0x00FF00);
    // Presets without a table leave it alone.
    pxSetPalette(1, 13);
    EXPECT_EQ(entry(112), 0x00FF00);
}

TEST_F(PaletteTest, ColourCubes)
{
    pxSetPalette(1, 16);
    EXPECT_EQ(entry(0), 0x000000);
    EXPECT_EQ(entry(4), 0xFF0000);  // top red step gives 255
    EXPECT_EQ(entry(224), 0xFFFFFF);
    EXPECT_EQ(entry(225), 0x080808);  // first grey not in the cube
    EXPECT_EQ(entry(253), 0x200000);
    EXPECT_EQ(entry(254), 0x000020);
    EXPECT_EQ(entry(255), 0xFFFFFE);
    std::set<int> distinct;
    for (int i = 0; i < 256; ++i)
        distinct.insert(entry(i));
    EXPECT_EQ(distinct.size(), 256u);

    pxSetPalette(1, 17);
    EXPECT_EQ(entry(3), 0x0000FF);
    EXPECT_EQ(entry(0xE0), 0xFF0000);
    EXPECT_EQ(entry(0x1C), 0x00FF00);
    pxSetPalette(1, 19);
    EXPECT_EQ(entry(4), 0x0000FF);
    EXPECT_EQ(entry(244), 0xFFFFFF);
    EXPECT_EQ(entry(245), 0x101010);
}

TEST_F(PaletteTest, BoundsStretchTheTable)
{
    // Grey between 16 and 240: black below, a ramp, white from 240 on.
    pxSetPalette(1, 0x0010F000);
    EXPECT_EQ(entry(0), 0);
    EXPECT_EQ(entry(15), 0);
    EXPECT_EQ(entry(16), 0);
    EXPECT_EQ(entry(128), 0x7F7F7F);  // 255 * 112 / 224
    EXPECT_EQ(entry(239), 0xFDFDFD);
    EXPECT_EQ(entry(240), 0xFFFFFF);
    EXPECT_EQ(entry(255), 0xFFFFFF);
    EXPECT_EQ(pxSetPalette(1, -1), 0);  // rebuilds nothing
    EXPECT_EQ(entry(128), 0x7F7F7F);

    // Stretch mode: entry k takes copy[(255k - 255 lower) / (upper - lower)] mod 256.
    pxSetPalette(1, 0x00408080);
    EXPECT_EQ(entry(64), 0);
    EXPECT_EQ(entry(96), 0x7F7F7F);
    EXPECT_EQ(entry(127), 0xFBFBFB);
    EXPECT_EQ(entry(200), 0x1D1D1D);  // 541 wraps to 29
    EXPECT_EQ(entry(0), 0x010101);    // -255 wraps to 1
}

TEST_F(PaletteTest, CosineStretchAndPeriodicTable)
{
    auto curve = [](long long v) {
        return static_cast<int>(std::trunc((1 - std::cos(v * 3.14159265358979323846 / 256)) * 127.99)) & 255;
    };
    // Bits 6 and 7, lower 0, upper 128: t = 1 and (0x8000 / 1 + 128) / 256 = 128, so periodic.
    pxSetPalette(1, 0x000080C0);
    for (int n : {0, 1, 50, 64, 100, 200, 255})
        EXPECT_EQ(entry(n) & 0xFF, curve(2LL * n)) << n;
    // Upper 200 is not periodic: the cosine goes over the index.
    pxSetPalette(1, 0x0000C8C0);
    for (int k : {0, 50, 150, 199, 255})
        EXPECT_EQ(entry(k) & 0xFF, curve((255LL * k) / 200) & 255) << k;
}

TEST_F(PaletteTest, TwoLevelFillAndSmallTables)
{
    pxSetPalette(1, static_cast<int>(0x8100FF20u));  // preset 32 does not exist
    EXPECT_EQ(entry(31), 0);
    EXPECT_EQ(entry(32), 0xFFFFFF);
    pxImageNew(2, nullptr, 8, 1, 1, 0x10);
    pxSetPalette(2, 8);
    uint8_t table[8];
    EXPECT_EQ(pxGetPalette(2, table, 100), nullptr);  // only 256-entry tables are returned
    EXPECT_EQ(table[0], 255);
    EXPECT_EQ(table[4], 254);
    EXPECT_EQ(pxPutPalette(2, nullptr, 0), 8);
}

TEST_F(PaletteTest, GetPutAndCopy)
{
    uint8_t table[1024];
    pxSetPalette(1, 8);
    EXPECT_EQ(pxGetPalette(1, table, 1024), static_cast<uint8_t*>(pxGetBitmapHeader(1)) + 40);
    EXPECT_EQ(table[0], 255);
    uint8_t partial[8] = {1, 2, 3, 0, 4, 5, 6, 0};
    EXPECT_EQ(pxPutPalette(1, partial, 8), 1024);
    EXPECT_EQ(entry(1), 0x060504);
    EXPECT_EQ(entry(2), 0xFDFDFD);
    EXPECT_EQ(pxGetPalette(1, inaccessibleAddress(), 1024), nullptr);
    EXPECT_EQ(pxPutPalette(1, inaccessibleAddress(), 1024), 1024);  // nothing copied
    EXPECT_EQ(entry(1), 0x060504);

    pxImageNew(2, nullptr, 4, 4, 8, 0x10);
    EXPECT_EQ(pxCopyPalette(1, 2), 1024);
    EXPECT_EQ(entry(1, 2), 0x060504);
    pxImageNew(3, nullptr, 4, 4, 24, 0x10);
    EXPECT_EQ(pxCopyPalette(1, 3), 0);
    EXPECT_EQ(pxPutPalette(3, table, 1024), 0);   // 24 bits: becomes the channel lookup
    EXPECT_EQ(pxPutPalette(40, table, 1024), 0);  // the lookup beside the slots
    EXPECT_EQ(pxCopyPalette(1, 9), 0);
}

TEST_F(PaletteTest, NearestColour)
{
    pxSetPalette(1, 16);
    EXPECT_EQ(pxFitCol(1, 0xFF0000), 4);
    EXPECT_EQ(pxFitRgb(1, 250, 1, 2), 4);
    EXPECT_EQ(pxFitRgb(1, 0, 0, 0x21), 254);
    pxSetPalette(1, 0);
    EXPECT_EQ(pxFitCol(1, 0x808080), 128);
    EXPECT_EQ(pxFitCol(1, 0x7F8081), 128);
    pxImageNew(2, nullptr, 4, 4, 24, 0x10);
    EXPECT_EQ(pxFitCol(2, 0x808080), 0);
}

}  // namespace
