// Raw sample files with their remembered geometry, and DAT frames.
#include "PixoryTestSupport.h"

#include <cmath>

using namespace pixorytest;

namespace {

class RawFileTest : public PixoryTest {};

// Samples of a smooth picture whose rows are w long (so neighbouring rows look alike).
int sample(int x, int y)
{
    return static_cast<int>(2000 + 1500 * std::sin(x * 0.05) + 7 * y);
}

std::vector<uint8_t> rawFile(int w, int h, bool bigEndian)
{
    std::vector<uint8_t> v;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int s = sample(x, y);
            v.push_back(static_cast<uint8_t>(bigEndian ? s >> 8 : s));
            v.push_back(static_cast<uint8_t>(bigEndian ? s : s >> 8));
        }
    return v;
}

TEST_F(RawFileTest, GeometryIsGuessedAndRemembered)
{
    // 1,048,576 bytes: 512 x 1024 samples of 16 bits.
    writeFile(path("a.raw"), rawFile(512, 1024, false));
    ASSERT_NE(pxLoadImage(1, path("a.raw").c_str()), nullptr);
    EXPECT_EQ(pxGetXSize(1), 512);
    EXPECT_EQ(pxGetYSize(1), 1024);
    ASSERT_NE(pxGetImg16Data(1), nullptr);
    EXPECT_EQ(pxGetPixelValue(1, 100, 7), sample(100, 7));
    EXPECT_EQ(getIni("RawImg1048576"), "512 1024 2 0");
    EXPECT_EQ(getIni("RawImg"), "512 1024 2 0");

    // Big-endian samples are found and swapped; the general key is kept.
    writeFile(path("b.raw"), rawFile(300, 200, true));
    ASSERT_NE(pxLoadImage(2, path("b.raw").c_str()), nullptr);
    EXPECT_EQ(pxGetXSize(2), 300);
    EXPECT_EQ(pxGetPixelValue(2, 299, 199), sample(299, 199));
    EXPECT_EQ(getIni("RawImg120000"), "300 200 2 1");
    EXPECT_EQ(getIni("RawImg"), "512 1024 2 0");
}

TEST_F(RawFileTest, SettingsThatFitTheLengthWin)
{
    writeFile(path("s.raw"), rawFile(512, 1024, false));
    setIni("Settings", "RawImg", "1024 512 2 0");
    ASSERT_NE(pxLoadImage(1, path("s.raw").c_str()), nullptr);
    EXPECT_EQ(pxGetXSize(1), 1024);
    EXPECT_EQ(getIni("RawImg1048576"), "");  // nothing guessed, nothing written
    // A general key of another size gives way to the size-specific one.
    setIni("Settings", "RawImg", "10 10 2 0");
    setIni("Settings", "RawImg1048576", "256 2048 2 1");
    ASSERT_NE(pxLoadImage(1, path("s.raw").c_str()), nullptr);
    EXPECT_EQ(pxGetXSize(1), 256);
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), ((sample(0, 0) & 0xFF) << 8) | (sample(0, 0) >> 8));
}

TEST_F(RawFileTest, EightBitSamples)
{
    std::vector<uint8_t> v;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
            v.push_back(static_cast<uint8_t>(128 + 100 * std::sin(x * 0.07) + y / 8));
    writeFile(path("e.raw"), v);
    ASSERT_NE(pxLoadImage(1, path("e.raw").c_str()), nullptr);
    EXPECT_EQ(pxGetImg16Data(1), nullptr);
    EXPECT_EQ(pxGetXSize(1), 200);
    EXPECT_EQ(pxGetPixelValue(1, 17, 9), v[9 * 200 + 17]);
    EXPECT_EQ(getIni("RawImg30000"), "200 150 1 0");
}

TEST_F(RawFileTest, TinyAndOversizedFiles)
{
    writeFile(path("t.raw"), {1, 2, 3});
    EXPECT_EQ(pxLoadImage(1, path("t.raw").c_str()), nullptr);
    writeFile(path("f.raw"), {1, 0, 2, 0});
    EXPECT_NE(pxLoadImage(1, path("f.raw").c_str()), nullptr);
    setIni("Settings", "MaxPixelPerImage", "1000");
    writeFile(path("a.raw"), rawFile(512, 1024, false));
    EXPECT_EQ(pxLoadImage(1, path("a.raw").c_str()), nullptr);
    EXPECT_EQ(pxGetBitmapHeader(1), nullptr);
}

// DAT frames: 512 x 256 big-endian words, 13-bit mantissa over a 3-bit exponent.
std::vector<uint8_t> datFrames(int frames)
{
    std::vector<uint8_t> v;
    for (int f = 0; f < frames; ++f)
        for (int i = 0; i < 512 * 256; ++i) {
            const int exponent = i == 0 ? 3 : (i % 3);
            const unsigned word =
                ((static_cast<unsigned>(i + f * 1000) % 8000) << 3) | static_cast<unsigned>(exponent);
            v.push_back(static_cast<uint8_t>(word >> 8));
            v.push_back(static_cast<uint8_t>(word));
        }
    return v;
}

TEST_F(RawFileTest, DatFramesBySequenceNumber)
{
    writeFile(path("one.dat"), datFrames(1));
    pxSetSeqNumber(1);  // frame 1 of a one-frame file: frame 0
    ASSERT_NE(pxLoadImage(1, path("one.dat").c_str()), nullptr);
    EXPECT_EQ(pxGetXSize(1), 512);
    EXPECT_EQ(pxGetYSize(1), 256);
    // Word i becomes (i << 3) >> (3 - exponent).
    EXPECT_EQ(pxGetPixelValue(1, 0, 0), 0);
    EXPECT_EQ(pxGetPixelValue(1, 5, 0), (5 << 3) >> (3 - 2));
    EXPECT_EQ(pxGetPixelValue(1, 7, 0), (7 << 3) >> (3 - 1));

    writeFile(path("two.dat"), datFrames(2));
    EXPECT_EQ(pxSetSeqNumber(0), 1);
    ASSERT_NE(pxLoadImage(2, (path("two.dat") + "@1").c_str()), nullptr);
    EXPECT_EQ(pxSetSeqNumber(0), 1);  // the name set it
    EXPECT_EQ(pxGetPixelValue(2, 5, 0), (1005 << 3) >> 1);
    ASSERT_NE(pxLoadImage(2, (path("two.dat") + ";1").c_str()), nullptr);
    EXPECT_EQ(pxGetPixelValue(2, 5, 0), (1005 << 3) >> 1);

    writeFile(path("short.dat"), std::vector<uint8_t>(1000, 0));
    EXPECT_EQ(pxLoadImage(3, path("short.dat").c_str()), nullptr);
}

}  // namespace
