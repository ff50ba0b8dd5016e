// The sample files of tests/data/images: each reads with the pixels it was made with,
// and the ones other programs wrote read as ImageMagick reads them.
#include "PixoryTestSupport.h"

#include <filesystem>

using namespace pixorytest;

namespace {

class SampleFilesTest : public PixoryTest {
protected:
    static std::string sample(const char* name)
    {
        return TOLVEX_SOURCE_DIR "/tests/data/images/" + std::string(name);
    }
};

TEST_F(SampleFilesTest, SamplesHoldTheirDocumentedPixels)
{
    for (const char* name :
         {"gradient8.bmp", "gradient8-rle.bmp", "grey8.tif", "os2-header.bmp", "grey-interlaced.png"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(pxLoadImage(1, sample(name).c_str()), nullptr);
        ASSERT_EQ(pxGetXSize(1), 16);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(pxGetPixelValue(1, x, y), 16 * x + 2 * y) << x << "," << y;
    }
    for (const char* name : {"colour24.bmp", "colour24.tif", "colour24.png", "v5-header.bmp"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(pxLoadImage(1, sample(name).c_str()), nullptr);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(pxGetPixelValue(1, x, y), (19 * x << 16) | (36 * y << 8) | (12 * (x + y)));
    }
    for (const char* name : {"grey16.tif", "grey16.png", "bigendian16.tif"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(pxLoadImage(1, sample(name).c_str()), nullptr);
        for (int i = 0; i < 72; ++i)
            ASSERT_EQ(pxGetPixelValue(1, i % 12, i / 12), 900 * i + 7);
    }
    setIni("Settings", "RawImg", "64 32 2 0");
    ASSERT_NE(pxLoadImage(1, sample("samples64x32.raw").c_str()), nullptr);
    EXPECT_EQ(pxGetPixelValue(1, 63, 31), 1000 + 40 * 63 + 3 * 31);
    for (const char* name : {"colour24.jpg", "progressive.jpg"}) {
        SCOPED_TRACE(name);
        ASSERT_NE(pxLoadImage(1, sample(name).c_str()), nullptr);
        const int v = pxGetPixelValue(1, 6, 3);
        EXPECT_NEAR(v >> 16, 19 * 6, 16);
        EXPECT_NEAR((v >> 8) & 255, 36 * 3, 16);
    }
}

TEST_F(SampleFilesTest, SamplesReadAsImageMagickReadsThem)
{
    if (convertProgram().empty())
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    for (const auto& entry : std::filesystem::directory_iterator(TOLVEX_SOURCE_DIR "/tests/data/images")) {
        const std::string file = entry.path().string();
        const std::string ext = entry.path().extension().string();
        if (ext == ".raw")
            continue;
        SCOPED_TRACE(file);
        ASSERT_NE(pxLoadImage(1, file.c_str()), nullptr);
        if (pxGetImg16Data(1))
            continue;  // the 8-bit display of a plane is ours alone
        std::vector<uint8_t> theirs;
        ASSERT_TRUE(runConvert("'" + file + "' -depth 8 rgb:-", &theirs));
        const std::vector<Rgb> ours = slotAsRgb(1);
        ASSERT_EQ(theirs.size(), ours.size() * 3);
        const int tolerance = ext == ".jpg" ? 2 : 0;
        for (size_t i = 0; i < ours.size(); ++i) {
            ASSERT_NEAR(ours[i].r, theirs[3 * i], tolerance) << i;
            ASSERT_NEAR(ours[i].g, theirs[3 * i + 1], tolerance) << i;
            ASSERT_NEAR(ours[i].b, theirs[3 * i + 2], tolerance) << i;
        }
    }
}

}  // namespace
