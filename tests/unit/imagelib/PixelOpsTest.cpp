// Arithmetic between images and the single-image pixel operations.
#include "PixoryTestSupport.h"

#include <algorithm>
#include <numeric>

using namespace pixorytest;

namespace {

class PixelOpsTest : public PixoryTest {
protected:
    void flat(int number, int value, int w = 4, int h = 3, int bits = 8)
    {
        pxImageNew(number, nullptr, w, h, bits, 0x10);
        pxImgFill(number, value);
    }
};

TEST_F(PixelOpsTest, AddSaturatesAndRounds)
{
    flat(1, 200);
    flat(2, 200);
    ASSERT_EQ(pxImgAdd(1, 2, 1, 1.0, 1.0, 0.0), 0);  // the result may be a source
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 255);
    flat(1, 100);
    flat(2, 101);
    flat(3, 0);
    ASSERT_EQ(pxImgAdd(1, 2, 3, 0.5, 0.5, 0.0), 0);
    EXPECT_EQ(pxGetPixelValue(3, 1, 1), 100);
    ASSERT_EQ(pxImgAdd(1, 2, 3, 1.0, -1.0, 0.0), 0);
    EXPECT_EQ(pxGetPixelValue(3, 1, 1), 0);
    ASSERT_EQ(pxImgAdd(1, 2, 3, 1e12, 0.0, 0.0), 0);
    EXPECT_EQ(pxGetPixelValue(3, 1, 1), 255);
    ASSERT_EQ(pxImgAdd(1, 2, 3, 0.0, 0.0, 17.4), 0);
    EXPECT_EQ(pxGetPixelValue(3, 1, 1), 17);
}

// Wide enough for the sixteen-byte steps and the bytes after them.
TEST_F(PixelOpsTest, APlainSumSaturatesEveryPixel)
{
    pxImageNew(1, nullptr, 37, 5, 8, 0x10);
    pxImageNew(2, nullptr, 37, 5, 8, 0x10);
    pxImageNew(3, nullptr, 37, 5, 8, 0x10);
    fillPattern(1);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 37; ++x)
            pxSetPixelValue(2, x, y, (x * 29 + y * 3 + 100) & 0xFF);
    ASSERT_EQ(pxImgAdd(1, 2, 3, 1.0, 1.0, 0.0), 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 37; ++x)
            ASSERT_EQ(pxGetPixelValue(3, x, y),
                      std::min(pxGetPixelValue(1, x, y) + pxGetPixelValue(2, x, y), 255))
                << x << "," << y;
}

TEST_F(PixelOpsTest, SubtractClampsOrWraps)
{
    flat(1, 5);
    flat(2, 10);
    flat(3, 0);
    ASSERT_EQ(pxImgSubtract(1, 2, 3, 0), 0);
    EXPECT_EQ(pxGetPixelValue(3, 0, 0), 0);
    ASSERT_EQ(pxImgSubtractNC(1, 2, 3, 0), 0);
    EXPECT_EQ(pxGetPixelValue(3, 0, 0), 251);
    ASSERT_EQ(pxImgSubtract(2, 1, 3, 100), 0);
    EXPECT_EQ(pxGetPixelValue(3, 0, 0), 105);
    flat(4, 0, 4, 4);
    EXPECT_EQ(pxImgSubtract(1, 4, 3, 0), -2);  // heights differ
    flat(5, 0, 9, 3);
    EXPECT_EQ(pxImgSubtract(1, 5, 3, 0), -2);  // strides differ
    EXPECT_EQ(pxImgSubtract(1, 9, 3, 0), -1);
    EXPECT_EQ(pxGetPixelValue(3, 0, 0), 105);  // nothing changed
}

TEST_F(PixelOpsTest, NoiseStaysWithinTheMask)
{
    flat(1, 250, 64, 64);
    ASSERT_EQ(pxImgAddNoise(1, 3), 0);
    int changed = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const int v = pxGetPixelValue(1, x, y);
            ASSERT_GE(v, 250);
            ASSERT_LE(v, 253);
            changed += v != 250;
        }
    EXPECT_GT(changed, 1000);
    flat(2, 254, 8, 8);
    pxImgAddNoise(2, 255);
    EXPECT_GE(pxGetPixelValue(2, 3, 3), 254);  // limited to 255, never wrapped
}

TEST_F(PixelOpsTest, FillByDepth)
{
    pxImageNew(1, nullptr, 3, 2, 24, 0x10);
    pxImgFill(1, 0x123456);
    EXPECT_EQ(pxGetPixelValue(1, 2, 1), 0x123456);
    pxImgFill(1, 0xFFFFFF);
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 0xFFFFFF);
    pxImageNew(2, nullptr, 3, 2, 12, 0x10);
    pxImgFill(2, 0x1ABC);
    EXPECT_EQ(pxGetPixelValue(2, 1, 1), 0x1ABC);
    EXPECT_EQ(static_cast<uint8_t*>(pxGetBitmapData(2))[0], 0xBC);
    EXPECT_EQ(pxImgFill(3, 0), -1);
}

TEST_F(PixelOpsTest, MaskSelectsSourceOrOutside)
{
    pxImageNew(1, nullptr, 4, 1, 8, 0x10);
    pxImageNew(2, nullptr, 4, 1, 8, 0x10);
    for (int x = 0; x < 4; ++x) {
        pxSetPixelValue(1, x, 0, 10 + x);
        pxSetPixelValue(2, x, 0, x == 1 || x == 3 ? 0x81 : 0x01);
    }
    // Where (mask & 0x80) == 0x80 take the source, elsewhere 99.
    ASSERT_EQ(pxImgMask(1, 2, 3, 99, (0x80 << 8) | 1, 0x80), 0);
    EXPECT_EQ(pxGetPixelValue(3, 0, 0), 99);
    EXPECT_EQ(pxGetPixelValue(3, 1, 0), 11);
    EXPECT_EQ(pxGetPixelValue(3, 3, 0), 13);
    // Test bit 0 clear inverts the choice; outside -1 keeps what the result had.
    ASSERT_EQ(pxImgMask(1, 2, 3, -1, 0x80 << 8, 0x80), 0);
    EXPECT_EQ(pxGetPixelValue(3, 0, 0), 10);
    EXPECT_EQ(pxGetPixelValue(3, 1, 0), 11);
    EXPECT_EQ(pxImgMask(1, 2, 2, 0, 0, 0), -1);  // mask and result the same
    pxImageNew(4, nullptr, 5, 1, 8, 0x10);
    EXPECT_EQ(pxImgMask(1, 4, 3, 0, 0, 0), -2);
    // Planes follow the same rule, with the mask rows matched to the plane's.
    pxImageNew(5, nullptr, 4, 1, 16, 0x10);
    pxImageNew(6, nullptr, 4, 1, 16, 0x10);
    pxImgFill(5, 40000);
    ASSERT_EQ(pxImgMask(5, 2, 6, 7, (0x80 << 8) | 1, 0x80), 0);
    EXPECT_EQ(pxGetPixelValue(6, 1, 0), 40000);
    EXPECT_EQ(pxGetPixelValue(6, 2, 0), 7);
}

TEST_F(PixelOpsTest, PlanesRowsAndByteOrder)
{
    pxImageNew(1, nullptr, 3, 2, 24, 0x10);
    pxSetPixelValue(1, 2, 1, 0xA1B2C3);
    ASSERT_EQ(pxImgGetPlane(1, 2, 2), 0);
    EXPECT_EQ(pxGetBitPerPixel(2), 8);
    EXPECT_EQ(pxGetPixelValue(2, 2, 1), 0xA1);
    ASSERT_EQ(pxImgGetPlane(1, 2, 4), 0);  // 4 mod 3: green
    EXPECT_EQ(pxGetPixelValue(2, 2, 1), 0xB2);
    EXPECT_EQ(pxImgGetPlane(1, 1, 0), -1);

    ASSERT_EQ(pxImgSwapRGB(1), 0);
    EXPECT_EQ(pxGetPixelValue(1, 2, 1), 0xC3B2A1);
    EXPECT_EQ(pxImgSwapRGB(2), -1);

    pxImageNew(3, nullptr, 5, 3, 8, 0x10);
    fillPattern(3);
    const int corner = pxGetPixelValue(3, 4, 0);
    ASSERT_EQ(pxImgSwapLines(3), 0);
    EXPECT_EQ(pxGetPixelValue(3, 4, 2), corner);

    // Compacting packs rows of 5 bytes; expanding restores stride and picture.
    auto* p = static_cast<uint8_t*>(pxGetBitmapData(3));
    const std::vector<uint8_t> before(p, p + 24);
    ASSERT_EQ(pxImgCompactLines(3), 0);
    EXPECT_EQ(p[5], before[8]);
    EXPECT_EQ(p[14], before[20]);
    ASSERT_EQ(pxImgExpandLines(3), 0);
    for (int i = 0; i < 24; ++i) {
        if (i % 8 < 5) {
            ASSERT_EQ(p[i], before[i]) << i;
        }
    }
}

TEST_F(PixelOpsTest, RollShiftsRowsCyclically)
{
    pxImageNew(1, nullptr, 5, 2, 8, 0x10);
    fillPattern(1);
    pxImageCopy(1, 2, 0);
    ASSERT_EQ(pxImgRoll(1, 5), 0);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(pxGetPixelValue(1, x, 1), pxGetPixelValue(2, x, 1));
    ASSERT_EQ(pxImgRoll(1, -1), 0);
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(pxGetPixelValue(1, x, 1), pxGetPixelValue(2, (x + 1) % 5, 1));
    // Colour pixels move whole; planes move too; sub-byte pixels move by pixels.
    pxImageNew(3, nullptr, 3, 1, 24, 0x10);
    pxSetPixelValue(3, 0, 0, 0x010203);
    pxImgRoll(3, 2);
    EXPECT_EQ(pxGetPixelValue(3, 2, 0), 0x010203);
    pxImageNew(4, nullptr, 4, 1, 12, 0x10);
    pxSetPixelValue(4, 3, 0, 4000);
    pxImgRoll(4, 1);
    EXPECT_EQ(pxGetPixelValue(4, 0, 0), 4000);
    pxImageNew(5, nullptr, 10, 1, 1, 0x10);
    pxSetPixelValue(5, 9, 0, 1);
    pxImgRoll(5, 3);
    EXPECT_EQ(pxGetPixelValue(5, 2, 0), 1);
    EXPECT_EQ(pxGetPixelValue(5, 9, 0), 0);
}

TEST_F(PixelOpsTest, TestPatterns)
{
    pxImageNew(1, nullptr, 64, 64, 8, 0x10);
    ASSERT_EQ(pxTestImage(1, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 8, 8), (1 * 4 + 1) * 8);  // second band, second column
    EXPECT_EQ(pxGetPixelValue(1, 63, 31), (7 * 4 + 3) * 8);
    EXPECT_EQ(pxGetPixelValue(1, 32, 35), 128);  // the ramp band
    EXPECT_EQ(pxGetPixelValue(1, 31, 50), 0);
    EXPECT_EQ(pxGetPixelValue(1, 32, 50), 255);
    pxTestImage(1, 1);
    EXPECT_EQ(pxGetPixelValue(1, 40, 9), (16 * 40 / 64) * 16 + 2);
    pxTestImage(1, 2);
    EXPECT_EQ(pxGetPixelValue(1, 63, 0), 252);
    pxTestImage(1, 3);
    EXPECT_EQ(pxGetPixelValue(1, 5, 63), 252);
    pxImageNew(2, nullptr, 4, 4, 24, 0x10);
    EXPECT_EQ(pxTestImage(2, 0), 0);
    EXPECT_EQ(pxGetPixelValue(2, 3, 3), 0);
    EXPECT_EQ(pxTestImage(3, 0), -1);
}

TEST_F(PixelOpsTest, FloodFillFillsOneRegion)
{
    // A ring of 1s splits the image into outside and a 3 x 3 inside.
    pxImageNew(1, nullptr, 9, 9, 8, 0x10);
    for (int i = 2; i <= 6; ++i) {
        pxSetPixelValue(1, i, 2, 1);
        pxSetPixelValue(1, i, 6, 1);
        pxSetPixelValue(1, 2, i, 1);
        pxSetPixelValue(1, 6, i, 1);
    }
    ASSERT_EQ(pxFloodFill(1, 4, 4, 7), 0);
    EXPECT_EQ(pxGetPixelValue(1, 3, 3), 7);
    EXPECT_EQ(pxGetPixelValue(1, 5, 5), 7);
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 2, 2), 1);
    pxFloodFill(1, 0, 8, 9);
    EXPECT_EQ(pxGetPixelValue(1, 8, 0), 9);
    EXPECT_EQ(pxGetPixelValue(1, 4, 4), 7);
    EXPECT_EQ(pxFloodFill(1, 9, 0, 3), 0);  // outside: nothing

    // A comb of one-pixel teeth needs many pending spans: the fill still ends.
    pxImageNew(2, nullptr, 2001, 400, 8, 0x10);
    for (int x = 1; x < 2001; x += 2)
        for (int y = 1; y < 400; ++y)
            pxSetPixelValue(2, x, y, 1);
    ASSERT_EQ(pxFloodFill(2, 0, 0, 5), 0);
    EXPECT_EQ(pxGetPixelValue(2, 2000, 399), 5);

    pxImageNew(3, nullptr, 4, 4, 24, 0x10);
    pxFloodFill(3, 1, 1, 0x102030);
    EXPECT_EQ(pxGetPixelValue(3, 3, 3), 0x102030);
}

TEST_F(PixelOpsTest, TiltAndColourImages)
{
    auto* a = static_cast<uint16_t*>(pxImageNew(1, nullptr, 4, 2, 16, 0x10));
    pxImageNew(2, nullptr, 4, 2, 16, 0x10);
    std::fill(a, a + 8, 1000);
    ASSERT_EQ(pxSubtractTilt(1, 2, 10.0, 1.5, 100.0, 1), 0);
    EXPECT_EQ(pxGetPixelValue(2, 0, 0), 990);
    EXPECT_EQ(pxGetPixelValue(2, 3, 1), 1000 - (10 + 4 + 100));  // (10 + 4.5 + 100) truncated
    ASSERT_EQ(pxSubtractTilt(1, 2, 2000.0, 0, 0, 1), 0);
    EXPECT_EQ(pxGetPixelValue(2, 0, 0), 65536 - 1000);  // 16-bit wrap
    EXPECT_EQ(pxSubtractTilt(1, 2, 0, 0, 0, 0), -3);
    pxImageNew(3, nullptr, 4, 3, 16, 0x10);
    EXPECT_EQ(pxSubtractTilt(1, 3, 0, 0, 0, 1), -2);
    pxImageNew(4, nullptr, 4, 2, 8, 0x10);
    EXPECT_EQ(pxSubtractTilt(1, 4, 0, 0, 0, 1), -1);

    pxImageNew(5, nullptr, 3, 1, 8, 0x10);
    pxSetPixelValue(5, 0, 0, 0);
    pxSetPixelValue(5, 1, 0, 128);
    pxSetPixelValue(5, 2, 0, 255);
    ASSERT_EQ(pxMakeRGBImageBCG(5, 6, 0x10, 0xFFFFFF, 0, 1.0, 1.0), 0);
    EXPECT_EQ(pxGetBitPerPixel(6), 24);
    EXPECT_EQ(pxGetPixelValue(6, 1, 0), 0x808080);
    EXPECT_EQ(pxGetPixelValue(6, 2, 0), 0xFFFFFF);
    ASSERT_EQ(pxMakeRGBImageBCG(5, 6, 0x10, 0x0000FF, 0, 2.0, 1.0), 0);  // blue tint, contrast 2
    EXPECT_EQ(pxGetPixelValue(6, 1, 0), 0x0000FF);
    ASSERT_EQ(pxMakeRGBImageBCG(5, 6, 0x10, 0xFFFFFF, 0, 1.0, 2.0), 0);  // gamma table
    EXPECT_EQ(pxGetPixelValue(6, 1, 0) & 0xFF, 64);                      // round((128/255)^2 * 255)
    ASSERT_EQ(pxMakeRGBImageBCG(6, 6, 0x10, 0, 10, 1.0, 1.0), 0);        // 24-bit, in place
    EXPECT_EQ(pxGetPixelValue(6, 1, 0) & 0xFF, 54);
    EXPECT_EQ(pxMakeRGBImageBCG(9, 6, 0x10, 0, 0, 1.0, 1.0), -1);
}

}  // namespace
