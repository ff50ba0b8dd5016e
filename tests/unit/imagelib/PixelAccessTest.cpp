// Pixel and rectangle access: values by depth and row order, clipping, buffer probes.
#include "PixoryTestSupport.h"

#include <numeric>

using namespace pixorytest;

namespace {

class PixelAccessTest : public PixoryTest {};

TEST_F(PixelAccessTest, ValuesAtEveryDepthAndRowOrder)
{
    for (int flags : {0x10, 0x11}) {
        for (int bits : {1, 4, 8, 24, 32}) {
            SCOPED_TRACE(testing::Message() << "bits " << bits << " flags " << flags);
            pxImageNew(1, nullptr, 9, 3, bits, flags);
            const int mask = bits == 32 ? -1 : (1 << bits) - 1;
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 9; ++x)
                    pxSetPixelValue(1, x, y, (x * 37 + y * 101 + 0x123456) & mask);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 9; ++x) {
                    const int expected = (x * 37 + y * 101 + 0x123456) & mask;
                    ASSERT_EQ(pxGetPixelValue(1, x, y), bits == 32 ? (expected & 0xFFFFFF) : expected);
                }
        }
    }
    // Sub-byte pixels sit in the high-order bits first; rows are bottom-up by default.
    auto* rows = static_cast<uint8_t*>(pxImageNew(2, nullptr, 8, 2, 1, 0x10));
    pxSetPixelValue(2, 0, 0, 1);
    EXPECT_EQ(rows[4], 0x80);  // the top row is the last one in memory
    // 24-bit pixels are blue, green, red in memory and red << 16 as a number.
    auto* bgr = static_cast<uint8_t*>(pxImageNew(3, nullptr, 1, 1, 24, 0x10));
    pxSetPixelValue(3, 0, 0, 0x112233);
    EXPECT_EQ(bgr[0], 0x33);
    EXPECT_EQ(bgr[2], 0x11);
}

TEST_F(PixelAccessTest, OutsideTheImageIsMinusOneAndWritesNothing)
{
    pxImageNew(1, nullptr, 5, 4, 8, 0x10);
    EXPECT_EQ(pxGetPixelValue(1, 5, 0), -1);
    EXPECT_EQ(pxGetPixelValue(1, -1, 0), -1);
    EXPECT_EQ(pxGetPixelValue(1, 0, 4), -1);
    pxSetPixelValue(1, 5, 0, 7);
    pxSetPixelValue(1, -1, 2, 7);
    const auto* p = static_cast<const uint8_t*>(pxGetBitmapData(1));
    EXPECT_EQ(std::accumulate(p, p + 4 * 8, 0), 0);
    EXPECT_EQ(pxSetPixelValue(2, 0, 0, 1), -1);
    EXPECT_EQ(pxGetPixelValue(2, 0, 0), -1);
}

TEST_F(PixelAccessTest, PlaneValuesComeBeforeTheDisplayBytes)
{
    pxImageNew(1, nullptr, 4, 4, 16, 0x10);
    pxSetPixelValue(1, 2, 1, 54321);
    EXPECT_EQ(pxGetPixelValue(1, 2, 1), 54321);
    EXPECT_EQ(static_cast<uint16_t*>(pxGetImg16Data(1))[4 + 2], 54321);  // top-down plane
    pxSetImageFlags(1, 0x12);                                            // plane stored bottom-up
    EXPECT_EQ(pxGetPixelValue(1, 2, 2), 54321);
}

TEST_F(PixelAccessTest, RectanglesClipAndCountBufferPixels)
{
    pxImageNew(1, nullptr, 6, 4, 8, 0x10);
    uint8_t buffer[5 * 3];
    std::iota(buffer, buffer + sizeof buffer, 1);
    // x = -2: the third buffer pixel of each row goes to column 0.
    ASSERT_EQ(pxSetBitmapRect(1, buffer, 5, 3, -2, 0, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 3);
    EXPECT_EQ(pxGetPixelValue(1, 2, 0), 5);
    EXPECT_EQ(pxGetPixelValue(1, 3, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 0, 2), 13);
    // Negative y skips buffer rows; rows past the image are dropped.
    pxImgFill(1, 0);
    ASSERT_EQ(pxSetBitmapRect(1, buffer, 5, 3, 0, -1, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 6);
    ASSERT_EQ(pxSetBitmapRect(1, buffer, 5, 3, 0, 3, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 4, 3), 5);
    // At the right edge a row is cut to what is left of the DIB line (stride 8).
    uint8_t out[5 * 3] = {};
    pxImgFill(1, 9);
    ASSERT_EQ(pxGetBitmapRect(1, out, 5, 3, 4, 0, 0), 0);
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(out[3], 9);  // padding bytes of the line are part of it
    EXPECT_EQ(out[4], 0);  // beyond the line: untouched
    // Nothing left to copy is still success.
    EXPECT_EQ(pxGetBitmapRect(1, out, 5, 3, 9, 0, 0), 0);
    EXPECT_EQ(pxGetBitmapRect(1, out, 0, 3, 0, 0, 0), 0);
    EXPECT_EQ(pxGetBitmapRect(7, out, 5, 3, 0, 0, 0), -1);
}

TEST_F(PixelAccessTest, RectanglesFollowRowOrderFlagsAndPlanes)
{
    pxImageNew(1, nullptr, 4, 2, 8, 0x10);
    uint8_t row[4] = {1, 2, 3, 4};
    // Flags bit 0: treat the DIB as top-down, so row 0 is the first in memory.
    pxSetBitmapRect(1, row, 4, 1, 0, 0, 1);
    EXPECT_EQ(pxGetPixelValue(1, 0, 1), 1);
    EXPECT_EQ(static_cast<uint8_t*>(pxGetBitmapData(1))[0], 1);

    pxImageNew(2, nullptr, 3, 2, 16, 0x10);
    uint16_t words[3] = {1000, 2000, 3000};
    ASSERT_EQ(pxSetBitmapRect(2, words, 3, 1, 0, 1, 0), 0);
    EXPECT_EQ(pxGetPixelValue(2, 2, 1), 3000);
    // Flags bit 2 addresses the 8-bit display instead of the plane.
    uint8_t bytes[3] = {7, 8, 9};
    pxSetBitmapRect(2, bytes, 3, 1, 0, 1, 4);
    EXPECT_EQ(pxGetPixelValue(2, 2, 1), 3000);
    uint8_t back[3] = {};
    pxGetBitmapRect(2, back, 3, 1, 0, 1, 4);
    EXPECT_EQ(back[2], 9);
}

TEST_F(PixelAccessTest, UnreadableOrUnwritableBuffersGiveMinusTwo)
{
    pxImageNew(1, nullptr, 4, 4, 8, 0x10);
    void* bad = inaccessibleAddress();
    EXPECT_EQ(pxSetBitmapRect(1, bad, 4, 4, 0, 0, 0), -2);
    EXPECT_EQ(pxGetBitmapRect(1, bad, 4, 4, 0, 0, 0), -2);
    EXPECT_EQ(pxGetBitmapRect(1, nullptr, 4, 4, 0, 0, 0), -2);
    EXPECT_EQ(pxCopyBitmapRectPlane(1, 0, bad, 4, 4, 0, 0, 0, 0), -2);
    EXPECT_EQ(pxCopyBitmapReshape(1, 0, bad, 4, 1, 0, 4, 4, 0, 0, 0), -2);
    static const uint8_t readOnly[16] = {};
    EXPECT_EQ(pxGetBitmapRect(1, const_cast<uint8_t*>(readOnly), 4, 4, 0, 0, 0), -2);
    EXPECT_EQ(pxSetBitmapRect(1, const_cast<uint8_t*>(readOnly), 4, 4, 0, 0, 0), 0);
}

TEST_F(PixelAccessTest, ChannelPlanesAndReshapeMoveColourBytes)
{
    pxImageNew(1, nullptr, 3, 2, 24, 0x10);
    uint8_t reds[6] = {10, 20, 30, 40, 50, 60};
    ASSERT_EQ(pxSetBitmapRectPlane(1, reds, 3, 2, 0, 0, 2, 0), 0);
    ASSERT_EQ(pxSetBitmapRectPlane(1, reds, 3, 2, 0, 0, 3, 0), 0);  // channel 3 is blue again
    EXPECT_EQ(pxGetPixelValue(1, 1, 1), (50 << 16) | 50);
    uint8_t greens[6] = {};
    pxGetBitmapRectPlane(1, greens, 3, 2, 0, 0, 1, 0);
    EXPECT_EQ(greens[4], 0);

    // Planar buffer (all blue, then all green, then all red) into interleaved pixels.
    uint8_t planar[18];
    for (int i = 0; i < 6; ++i) {
        planar[i] = static_cast<uint8_t>(i);
        planar[6 + i] = static_cast<uint8_t>(100 + i);
        planar[12 + i] = static_cast<uint8_t>(200 + i);
    }
    ASSERT_EQ(pxCopyBitmapReshape(1, 1, planar, 3, 1, 6, 3, 2, 0, 0, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 2, 1), (205 << 16) | (105 << 8) | 5);
    uint8_t back[18] = {};
    ASSERT_EQ(pxCopyBitmapReshape(1, 0, back, 3, 1, 6, 3, 2, 0, 0, 0), 0);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 18), std::vector<uint8_t>(planar, planar + 18));

    // 16-bit plane elements a step apart.
    pxImageNew(2, nullptr, 2, 1, 12, 0x10);
    uint16_t spaced[4] = {111, 0, 222, 0};
    ASSERT_EQ(pxCopyBitmapReshape(2, 1, spaced, 4, 2, 0, 2, 1, 0, 0, 0), 0);
    EXPECT_EQ(pxGetPixelValue(2, 1, 0), 222);
}

TEST_F(PixelAccessTest, FillRectValueByDepth)
{
    pxImageNew(1, nullptr, 4, 3, 24, 0x10);
    ASSERT_EQ(pxFillRectValue(1, 0x102030, 2, 2, 1, 1, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 1, 1), 0x102030);
    EXPECT_EQ(pxGetPixelValue(1, 2, 2), 0x102030);
    EXPECT_EQ(pxGetPixelValue(1, 3, 2), 0);
    EXPECT_EQ(pxGetPixelValue(1, 0, 1), 0);
    pxImageNew(2, nullptr, 5, 2, 8, 0x10);
    pxFillRectValue(2, 0x1FF, 100, 100, 3, 0, 0);  // width limited to the line
    EXPECT_EQ(pxGetPixelValue(2, 4, 1), 0xFF);
    EXPECT_EQ(pxGetPixelValue(2, 2, 1), 0);
    // With a plane, the width counts bytes of the plane row.
    pxImageNew(3, nullptr, 4, 1, 16, 0x10);
    pxFillRectValue(3, 0x12, 4, 1, 1, 0, 0);
    EXPECT_EQ(pxGetPixelValue(3, 1, 0), 0x1212);
    EXPECT_EQ(pxGetPixelValue(3, 2, 0), 0x1212);
    EXPECT_EQ(pxGetPixelValue(3, 3, 0), 0);
    EXPECT_EQ(pxFillRectValue(4, 1, 1, 1, 0, 0, 0), -1);
}

}  // namespace
