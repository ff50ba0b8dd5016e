// Image slots: layout of the DIB block, creation rules, size limits, copy, swap, flags.
#include "PixoryTestSupport.h"

#include <cstring>

using namespace pixorytest;

namespace {

struct Header {
    uint32_t size;
    int32_t width, height;
    uint16_t planes, bits;
    uint32_t compression, sizeImage;
    int32_t xPels, yPels;
    uint32_t used, important;
};

Header headerOf(int number)
{
    Header h;
    std::memcpy(&h, pxGetBitmapHeader(number), sizeof h);
    return h;
}

class SlotTest : public PixoryTest {};

TEST_F(SlotTest, BlockLayoutFollowsTheDepth)
{
    struct Case {
        int bits;
        ptrdiff_t pixelOffset;
        int stride;
    } cases[] = {{1, 40 + 8, 4}, {4, 40 + 64, 4}, {8, 40 + 1024, 4}, {24, 40, 12}, {32, 40, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        auto* pixels = static_cast<uint8_t*>(pxImageNew(1, nullptr, 3, 5, c.bits, 0x10));
        ASSERT_NE(pixels, nullptr);
        auto* block = static_cast<uint8_t*>(pxGetBitmapHeader(1));
        EXPECT_EQ(pixels - block, c.pixelOffset);
        EXPECT_EQ(pxGetBytePerLine(1), c.stride);
        const Header h = headerOf(1);
        EXPECT_EQ(h.size, 40u);
        EXPECT_EQ(h.width, 3);
        EXPECT_EQ(h.height, 5);
        EXPECT_EQ(h.planes, 1);
        EXPECT_EQ(h.bits, c.bits);
        EXPECT_EQ(h.compression + h.sizeImage + h.used + h.important, 0u);
    }
    // The 8-bit table is the grey preset; the rows start zero-filled.
    pxImageNew(2, nullptr, 3, 2, 8, 0x10);
    const auto* table = static_cast<const uint8_t*>(pxGetBitmapHeader(2)) + 40;
    EXPECT_EQ(table[4 * 200], 200);
    EXPECT_EQ(table[4 * 200 + 2], 200);
    EXPECT_EQ(table[4 * 200 + 3], 0);
    EXPECT_EQ(pxGetPixelValue(2, 2, 1), 0);
}

TEST_F(SlotTest, SameGeometryKeepsPixelsOtherGeometryStartsAgain)
{
    pxImageNew(3, nullptr, 10, 10, 8, 0x10);
    pxSetPixelValue(3, 4, 4, 99);
    pxImageNew(3, nullptr, 10, 10, 8, 0x10);
    EXPECT_EQ(pxGetPixelValue(3, 4, 4), 99);
    pxImageNew(3, nullptr, 10, 11, 8, 0x10);
    EXPECT_EQ(pxGetPixelValue(3, 4, 4), 0);
    // The same size at another plane depth is another geometry too.
    pxImageNew(3, nullptr, 10, 11, 12, 0x10);
    pxSetPixelValue(3, 1, 1, 4000);
    pxImageNew(3, nullptr, 10, 11, 14, 0x10);
    EXPECT_EQ(pxGetPixelValue(3, 1, 1), 0);
}

TEST_F(SlotTest, NumbersResolveAndOutOfRangeChangesNothing)
{
    ASSERT_NE(pxImageNew(-1, nullptr, 4, 4, 8, 0x10), nullptr);
    EXPECT_EQ(pxGetXSize(0), 4);  // the current image is 0 at load
    EXPECT_EQ(pxGetXSize(-5), 4);
    EXPECT_EQ(pxImageNew(32, nullptr, 4, 4, 8, 0x10), nullptr);
    EXPECT_EQ(pxImageNew(1000, nullptr, 4, 4, 8, 0x10), nullptr);
    for (int n = 1; n < 32; ++n)
        EXPECT_EQ(pxGetBitmapHeader(n), nullptr) << n;
    EXPECT_EQ(pxGetXSize(32), 0);
    EXPECT_EQ(pxGetPixelValue(32, 0, 0), -1);
}

TEST_F(SlotTest, PlaneImagesHaveAnEightBitDisplay)
{
    auto* plane = static_cast<uint16_t*>(pxImageNew(4, nullptr, 5, 3, 12, 0x10));
    ASSERT_NE(plane, nullptr);
    EXPECT_EQ(plane, pxGetImg16Data(4));
    EXPECT_EQ(plane, pxImgData(4));
    EXPECT_EQ(pxGetBitPerPixel(4), 8);
    EXPECT_EQ(pxImgBitPerPixel(4), 12);
    EXPECT_EQ(pxImgBytePerLine(4), 10);
    EXPECT_EQ(pxGetBytePerLine(4), 8);
    EXPECT_EQ(pxImgPixelSize(4), 2);
    EXPECT_EQ(plane[14], 0);
    pxImageNew(5, nullptr, 5, 3, 24, 0x10);
    EXPECT_EQ(pxImgPixelSize(5), 3);
    EXPECT_EQ(pxImgData(5), pxGetBitmapData(5));
}

TEST_F(SlotTest, UnsupportedDepthsAndSizesAreRefused)
{
    for (int bits : {0, -8, 17, 20, 33})
        EXPECT_EQ(pxImageNew(1, nullptr, 4, 4, bits, 0x10), nullptr) << bits;
    EXPECT_EQ(pxImageNew(1, nullptr, 0, 4, 8, 0x10), nullptr);
    EXPECT_EQ(pxImageNew(1, nullptr, 4, -4, 8, 0x10), nullptr);
    // Far beyond what a DIB can describe: refused before any allocation.
    EXPECT_EQ(pxImageNew(1, nullptr, 100000, 100000, 32, 0x10), nullptr);
    EXPECT_EQ(pxGetBitmapHeader(1), nullptr);
}

TEST_F(SlotTest, SettingsLimitTheSize)
{
    setIni("Settings", "MaxPixelPerImage", "1000");
    EXPECT_NE(pxImageNew(1, nullptr, 1024, 768, 8, 0x10), nullptr);  // always allowed
    EXPECT_EQ(pxImageNew(1, nullptr, 1025, 768, 8, 0x10), nullptr);
    EXPECT_EQ(pxGetBitmapHeader(1), nullptr);  // left without DIB
    setIni("Settings", "MaxPixelPerImage", "0");
    setIni("Settings", "MaxBytesPerImage", "1000000");
    EXPECT_NE(pxImageNew(2, nullptr, 1000, 1000, 8, 0x10), nullptr);
    // The plane counts 2 bytes per pixel.
    EXPECT_EQ(pxImageNew(3, nullptr, 1000, 1000, 16, 0x10), nullptr);
    EXPECT_EQ(pxGetBitmapHeader(3), nullptr);
    EXPECT_EQ(pxImageNew(3, nullptr, 1000, 1000, 24, 0x10), nullptr);
}

TEST_F(SlotTest, CopyKeepsThePictureUprightAndFollowsTheFlagsArgument)
{
    pxImageNew(1, nullptr, 6, 4, 8, 0x10);
    fillPattern(1);
    // A top-down destination still shows the same picture.
    ASSERT_NE(pxImageCopy(1, 2, 0x11), nullptr);
    EXPECT_EQ(pxSetImageFlags(2, -1), 0x11);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            ASSERT_EQ(pxGetPixelValue(2, x, y), pxGetPixelValue(1, x, y));
    pxSetImageFlags(1, 0x90);
    pxImageCopy(1, 3, 0);
    EXPECT_EQ(pxSetImageFlags(3, -1), 0x90);
    pxImageCopy(1, 3, -2);
    EXPECT_EQ(pxSetImageFlags(3, -1), 0);
    pxSetImageFlags(3, 0x14);
    pxImageCopy(1, 3, -1);
    EXPECT_EQ(pxSetImageFlags(3, -1), 0x14);
    EXPECT_EQ(pxImageCopy(7, 3, 0), nullptr);  // empty source

    // Planes travel unless only the 8-bit image is asked for.
    auto* plane = static_cast<uint16_t*>(pxImageNew(4, nullptr, 3, 3, 12, 0x10));
    plane[4] = 4000;
    pxImageCopy(4, 5, 0);
    ASSERT_NE(pxGetImg16Data(5), nullptr);
    EXPECT_EQ(static_cast<uint16_t*>(pxGetImg16Data(5))[4], 4000);
    pxImageCopy(4, 6, 0x08000010);
    EXPECT_EQ(pxGetImg16Data(6), nullptr);
    EXPECT_EQ(pxGetBitPerPixel(6), 8);

    // A slot copied onto itself keeps its picture.
    pxImageCopy(1, 1, 0x11);
    EXPECT_EQ(pxGetPixelValue(1, 5, 3), (5 * 7 + 3 * 13) & 0xFF);
}

TEST_F(SlotTest, SwapExchangesImagesAndModeOneTheFlagWords)
{
    pxImageNew(1, nullptr, 2, 2, 8, 0x12345410);
    pxImageNew(2, nullptr, 3, 3, 24, 0x10);
    pxSetPalette(1, 8);
    pxSwapImage(1, 2, 0);
    EXPECT_EQ(pxGetXSize(1), 3);
    EXPECT_EQ(pxGetXSize(2), 2);
    EXPECT_EQ(pxSetImageFlags(1, -1), 0x12345410);
    pxSwapImage(1, 2, 1);
    EXPECT_EQ(pxSetImageFlags(1, -1), 0x10);
    EXPECT_EQ(pxSetImageFlags(2, -1), 0x10);  // only the low byte of the former word
    pxSetImageFlags(1, 0x7777);
    pxSwapImage(1, 2, 1);
    EXPECT_EQ(pxSetImageFlags(2, -1), 0x77);
}

TEST_F(SlotTest, FlagWordReadSetAndReplace)
{
    pxImageNew(1, nullptr, 2, 2, 8, 0x10);
    EXPECT_EQ(pxSetImageFlags(1, -1), 0x10);
    EXPECT_EQ(pxSetImageFlags(1, static_cast<int>(0x80000400u)), 0x10);  // negative: adds bits
    EXPECT_EQ(pxSetImageFlags(1, 0x20), 0x410);
    EXPECT_EQ(pxSetImageFlags(1, -1), 0x20);
    EXPECT_EQ(pxSetImageFlagBits(1, 0x3, 1), 0x20);
    EXPECT_EQ(pxSetImageFlagBits(1, 0x22, 0), 0x23);
    EXPECT_EQ(pxSetImageFlagBits(1, -1, 0), 0x01);
    EXPECT_EQ(pxSetImageFlags(40, 5), 0);
}

TEST_F(SlotTest, EmptySlotsAnswerZeroAndWindowsComeAndGoWithoutTheImage)
{
    EXPECT_EQ(pxGetBitmapData(9), nullptr);
    EXPECT_EQ(pxImgData(9), nullptr);
    EXPECT_EQ(pxGetYSize(9), 0);
    EXPECT_EQ(pxImgBitPerPixel(9), 0);
    EXPECT_EQ(pxImgPixelSize(9), 0);
    EXPECT_EQ(pxGetTempHBitmap(9), nullptr);
    pxImageNew(9, nullptr, 4, 4, 8, 0x10);  // no window asked for
    EXPECT_EQ(pxGetImgHWnd(9), nullptr);
    EXPECT_EQ(pxGetTempHBitmap(9), nullptr);  // needs a window
    pxImageNew(9, nullptr, 4, 4, 8, 0);       // now with one
    EXPECT_NE(pxGetImgHWnd(9), nullptr);
    void* bitmap = pxGetTempHBitmap(9);
    EXPECT_NE(bitmap, nullptr);
    EXPECT_NE(pxGetTempHBitmap(9), bitmap);  // the next one replaces it
    EXPECT_EQ(pxImageClose(9), 0);
    EXPECT_EQ(pxGetImgHWnd(9), nullptr);
    EXPECT_NE(pxGetBitmapHeader(9), nullptr);  // closing a window keeps the image
    EXPECT_EQ(pxImageOpen(9, nullptr), 0);     // no display: as if cancelled
    EXPECT_EQ(pxImageSaveAs(9), 0);
    pxCloseAll();
    EXPECT_EQ(pxGetBitmapHeader(9), nullptr);
}

}  // namespace
