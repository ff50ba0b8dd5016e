// LED image sets: loading numbered files of every format, the per-pixel layout, reading
// back, the reductions (checked against numpy where it is installed) and the spot list.
#include "PixoryTestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

using namespace pixorytest;

namespace {

// The response of LED j at camera pixel (x, y) in the generated sets.
uint8_t response(int j, int x, int y)
{
    return static_cast<uint8_t>((j * 37 + x * 11 + y * 7 + (j * x * y) % 13) & 0xFF);
}

class LedSetTest : public PixoryTest {
protected:
    // "<dir>/<stem>NNNNN<ext>"
    std::string ledFile(const std::string& stem, int j, const std::string& ext) const
    {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%05d", j);
        return path(stem + digits + ext);
    }

    // Writes LED images 0 .. count - 1 through the library's own writer (slot 0).
    void writeSet(const std::string& stem, const std::string& ext, int count, int width, int height,
                  int bits = 8, uint8_t (*value)(int, int, int) = response)
    {
        ASSERT_NE(pxImageNew(0, nullptr, width, height, bits, 0x10), nullptr);
        for (int j = 0; j < count; ++j) {
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const int v = value(j, x, y);
                    const int colour = (v << 16) | ((255 - v) << 8) | (v / 2);
                    const int pixel = bits == 24 ? colour : bits == 16 ? v * 200 : v;
                    pxSetPixelValue(0, x, y, pixel);
                }
            const int flags = bits == 16 ? 2 : 0;
            ASSERT_EQ(pxSaveImage(0, ledFile(stem, j, ext).c_str(), flags), 1) << ext;
        }
    }

    // The set's block of pixel (x, y), copied out.
    static std::vector<uint8_t> block(int x, int y)
    {
        const int n = pxGetLedCountX() * pxGetLedCountY();
        const auto* p = static_cast<const uint8_t*>(pxGetLedImage(x, y, nullptr, 0, 0, 0));
        return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
    }

    // Every block byte equals expected(j, x, y).
    template <class Expected>
    static void expectSet(int width, int height, int leds, Expected expected)
    {
        ASSERT_EQ(pxGetLedSourceXSize(), width);
        ASSERT_EQ(pxGetLedSourceYSize(), height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::vector<uint8_t> b = block(x, y);
                ASSERT_EQ(b.size(), static_cast<size_t>(leds));
                for (int j = 0; j < leds; ++j)
                    ASSERT_EQ(b[j], expected(j, x, y)) << "LED " << j << " at " << x << "," << y;
            }
    }
};

// Runs first in its own process under ctest, where no set can have been loaded yet.
TEST_F(LedSetTest, WithoutASetEverythingAnswersZero)
{
    if (pxGetLedCountX() != 0)
        GTEST_SKIP() << "an earlier test of this process loaded a set";
    uint16_t words[4] = {7, 7, 7, 7};
    double doubles[4] = {};
    const int32_t ones[1] = {1};
    EXPECT_EQ(pxGetLedImage(0, 0, nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(pxGetLedSourceImage(0, 0, words, 2, 2, 2), 0);
    EXPECT_EQ(pxLedImagesSumInt(words, 2, 2, 2, 0, 0), 0);
    EXPECT_EQ(pxLedImagesMax(words, 2, 2, 2), 0);
    EXPECT_EQ(pxLedImagesMatrixMulInt(ones, 1, 1, words, 2, 2, 2, 0, 0), 0);
    EXPECT_EQ(pxLedImagesMatrixMulDouble(nullptr, 0, 0, doubles, 2, 2, 2), 0);
    EXPECT_EQ(words[0], 7);
    EXPECT_EQ(pxGetLedSourceXSize() + pxGetLedSourceYSize() + pxGetLedCountY(), 0);
    // A load that finds no file keeps it that way.
    EXPECT_EQ(pxLoadLedImagesA(path("none###.bmp").c_str(), 2, 2), 0);
    EXPECT_EQ(pxGetLedCountX(), 0);
}

TEST_F(LedSetTest, NumberFieldAndLayout)
{
    // The three '#' become five digits; a dot in a directory name is not the extension.
    ASSERT_EQ(system(("mkdir -p '" + path("v1.2") + "'").c_str()), 0);
    writeSet("v1.2/led", ".bmp", 4, 5, 3);
    EXPECT_EQ(pxLoadLedImagesA(path("v1.2/led###.bmp").c_str(), 2, 2), 4);
    EXPECT_EQ(pxGetLedCountX(), 2);
    EXPECT_EQ(pxGetLedCountY(), 2);
    expectSet(5, 3, 4, response);
    // Digits before the extension are the number field too; a name without extension
    // means TIFF files.
    writeSet("t", ".tif", 6, 4, 4);
    EXPECT_EQ(pxLoadLedImages(path("t0042.tif").c_str(), 3, 2, 0, 0, 0, 0, 0, 0), 6);
    EXPECT_EQ(pxLoadLedImagesA(path("t").c_str(), 3, 2), 6);
    expectSet(4, 4, 6, response);

    // LED (u, v) sits at u + v * countX of the block; the blocks of a row lie side by side.
    const auto* first = static_cast<const uint8_t*>(pxGetLedImage(0, 2, nullptr, 0, 0, 0));
    const auto* next = static_cast<const uint8_t*>(pxGetLedImage(1, 2, nullptr, 0, 0, 0));
    EXPECT_EQ(next - first, 6);
    EXPECT_EQ(first[2 + 1 * 3], response(5, 0, 2));

    // Reading a block into a buffer: rows of countX bytes, at most width each, pitch apart,
    // bottom row first with a negative pitch.
    uint8_t rows[2][4];
    std::memset(rows, 0xEE, sizeof rows);
    EXPECT_EQ(pxGetLedImage(3, 1, rows, 4, 2, 9), pxGetLedImage(3, 1, nullptr, 0, 0, 0));
    EXPECT_EQ(rows[0][0], response(0, 3, 1));
    EXPECT_EQ(rows[0][1], response(1, 3, 1));
    EXPECT_EQ(rows[0][2], 0xEE);
    EXPECT_EQ(rows[1][1], response(4, 3, 1));
    pxGetLedImage(3, 1, rows, -4, 3, 2);
    EXPECT_EQ(rows[0][2], response(5, 3, 1));
    EXPECT_EQ(rows[1][2], response(2, 3, 1));
    EXPECT_EQ(pxGetLedImage(4, 0, nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(pxGetLedImage(0, -1, nullptr, 0, 0, 0), nullptr);
    EXPECT_EQ(pxGetLedImage(0, 0, inaccessibleAddress(), 4, 3, 2), nullptr);

    // The camera image of one LED comes back whole.
    uint8_t image[4][4];
    EXPECT_EQ(pxGetLedSourceImage(2, 1, image, 4, 10, 10), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(image[y][x], response(5, x, y));
    EXPECT_EQ(pxGetLedSourceImage(1, 0, image, -4, 4, 4), 0);
    EXPECT_EQ(image[0][1], response(1, 1, 3));
    EXPECT_EQ(pxGetLedSourceImage(3, 0, image, 4, 4, 4), -1);
    EXPECT_EQ(pxGetLedSourceImage(0, 0, inaccessibleAddress(), 4, 4, 4), -2);
}

TEST_F(LedSetTest, TheFolderIsReadOnceForTheNumbersThere)
{
    writeSet("few", ".bmp", 6, 4, 4);
    // Names are found without regard to case; other digit counts are other names.
    ASSERT_EQ(std::rename(ledFile("few", 4, ".bmp").c_str(), path("FEW00004.BMP").c_str()), 0);
    ASSERT_EQ(std::rename(ledFile("few", 5, ".bmp").c_str(), path("few000005.bmp").c_str()), 0);
    EXPECT_EQ(pxLoadLedImagesA(path("few#.bmp").c_str(), 3, 2), 5);
    expectSet(4, 4, 6, [](int j, int x, int y) -> uint8_t { return j == 5 ? 0 : response(j, x, y); });
    // A count of a billion LEDs whose files are not there ends at once instead of trying
    // every number; so does a folder that does not exist.
    EXPECT_EQ(pxLoadLedImages(path("few#.bmp").c_str(), 30000, 30000, 6, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(pxLoadLedImagesA(path("none/few#.bmp").c_str(), 30000, 30000), 0);
    EXPECT_EQ(pxGetLedCountX(), 3);
}

TEST_F(LedSetTest, EveryFormatTheLibraryReads)
{
    struct Case {
        const char* ext;
        int bits;
    };
    for (const Case c :
         {Case{".bmp", 8}, Case{".png", 8}, Case{".jpg", 8}, Case{".tif", 16}, Case{".bmp", 24}}) {
        SCOPED_TRACE(std::string(c.ext) + " " + std::to_string(c.bits));
        const std::string stem = "f" + std::to_string(c.bits) + "_";
        writeSet(stem, c.ext, 6, 9, 7, c.bits);
        ASSERT_EQ(pxLoadLedImagesA(path(stem + "#" + c.ext).c_str(), 2, 3), 6);
        // Each LED's bytes are what the library reads from its file: the pixel value, the
        // 8-bit display of a 16-bit plane, the grey level of a colour pixel.
        for (int j = 0; j < 6; ++j) {
            ASSERT_NE(pxLoadImage(1, ledFile(stem, j, c.ext).c_str()), nullptr);
            const auto* dib = static_cast<const uint8_t*>(pxGetBitmapData(1));
            const int stride = pxGetBytePerLine(1);
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 9; ++x) {
                    const uint8_t* p = dib + (6 - y) * stride + x * (pxGetBitPerPixel(1) / 8);
                    const int want = pxGetBitPerPixel(1) == 24 ? (3 * p[0] + 8 * p[1] + 5 * p[2]) >> 4 : p[0];
                    ASSERT_EQ(block(x, y)[j], want) << j << " " << x << "," << y;
                }
        }
    }
}

TEST_F(LedSetTest, FilesWrittenByImageMagick)
{
    if (convertProgram().empty())
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    for (const char* ext : {".bmp", ".tif", ".png"}) {
        SCOPED_TRACE(ext);
        for (int j = 0; j < 4; ++j) {
            std::vector<uint8_t> grey;
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 11; ++x)
                    grey.push_back(response(j, x, y));
            writeFile(path("in.gray"), grey);
            std::vector<uint8_t> ignored;
            ASSERT_TRUE(runConvert("-size 11x6 -depth 8 'gray:" + path("in.gray") + "' -compress none '" +
                                       ledFile("im", j, ext) + "'",
                                   &ignored));
        }
        ASSERT_EQ(pxLoadLedImagesA(path(std::string("im##") + ext).c_str(), 4, 1), 4);
        expectSet(11, 6, 4, response);
    }
}

TEST_F(LedSetTest, RegionMissingFilesAndLoadingInParts)
{
    // 40 LEDs of 19 x 6 pixels: enough for the stores that move 16 LEDs at a time.
    writeSet("p", ".bmp", 40, 19, 6);
    std::remove(ledFile("p", 5, ".bmp").c_str());
    // A source region from the top-left corner; LED 5 has no file and stays 0.
    EXPECT_EQ(pxLoadLedImages(path("p#.bmp").c_str(), 8, 5, 0, 0, 17, 2, 0, 0), 39);
    expectSet(17, 2, 40, [](int j, int x, int y) { return j == 5 ? 0 : response(j, x, y); });
    // Sizes beyond the image mean the image's size.
    EXPECT_EQ(pxLoadLedImages(path("p#.bmp").c_str(), 8, 5, 0, 0, 100, -1, 0, 0), 39);
    EXPECT_EQ(pxGetLedSourceXSize(), 19);
    EXPECT_EQ(pxGetLedSourceYSize(), 6);

    // The same layout loaded in parts keeps the LEDs outside each part; a part's LEDs
    // whose file is missing are cleared.
    writeSet("q", ".bmp", 40, 19, 6, 8,
             [](int j, int x, int y) { return static_cast<uint8_t>(response(j, x, y) ^ 0x5A); });
    std::remove(ledFile("q", 30, ".bmp").c_str());
    EXPECT_EQ(pxLoadLedImages(path("q#.bmp").c_str(), 8, 5, 3, 33, 0, 0, 0, 0), 32);  // LEDs 3 .. 35
    expectSet(19, 6, 40, [](int j, int x, int y) -> uint8_t {
        if (j == 30)
            return 0;
        return j >= 3 && j < 36 ? response(j, x, y) ^ 0x5A : response(j, x, y);
    });
    // A part whose first files are all missing clears them too.
    std::remove(ledFile("q", 28, ".bmp").c_str());
    std::remove(ledFile("q", 29, ".bmp").c_str());
    EXPECT_EQ(pxLoadLedImages(path("q#.bmp").c_str(), 8, 5, 28, 4, 0, 0, 0, 0), 1);  // only LED 31 is there
    EXPECT_EQ(block(0, 0)[28], 0);
    EXPECT_EQ(block(0, 0)[29], 0);
    EXPECT_EQ(block(0, 0)[31], response(31, 0, 0) ^ 0x5A);
    EXPECT_EQ(block(0, 0)[27], response(27, 0, 0) ^ 0x5A);
    // Another layout of the same size starts from zero.
    EXPECT_EQ(pxLoadLedImages(path("p#.bmp").c_str(), 5, 8, 11, 1, 0, 0, 0, 0), 1);
    expectSet(19, 6, 40, [](int j, int x, int y) { return j == 11 ? response(j, x, y) : 0; });
    // Across the groups of 64 images that are stored together as well.
    writeSet("z", ".bmp", 81, 3, 2);
    EXPECT_EQ(pxLoadLedImagesA(path("z#.bmp").c_str(), 9, 9), 81);
    for (int j = 0; j < 70; ++j)
        std::remove(ledFile("z", j, ".bmp").c_str());
    EXPECT_EQ(pxLoadLedImages(path("z#.bmp").c_str(), 9, 9, 60, 16, 0, 0, 0, 0), 6);
    expectSet(3, 2, 81,
              [](int j, int x, int y) -> uint8_t { return j >= 60 && j < 70 ? 0 : response(j, x, y); });

    // The number of images is limited to the LEDs there are.
    EXPECT_EQ(pxLoadLedImages(path("p#.bmp").c_str(), 2, 2, 2, 50, 0, 0, 0, 0), 2);

    // Images smaller than the region leave the rest of it 0 for their LED.
    pxImageNew(0, nullptr, 3, 2, 8, 0x10);
    pxImgFill(0, 99);
    ASSERT_EQ(pxSaveImage(0, ledFile("p", 1, ".bmp").c_str(), 0), 1);
    EXPECT_EQ(pxLoadLedImages(path("p#.bmp").c_str(), 2, 1, 0, 0, 0, 0, 0, 0), 2);
    expectSet(19, 6, 2, [](int j, int x, int y) -> uint8_t {
        return j == 0 ? response(0, x, y) : x < 3 && y < 2 ? 99 : 0;
    });
}

TEST_F(LedSetTest, ASetBeyondTheMachineIsRefusedAndTheOldOneKept)
{
    writeSet("s", ".bmp", 2, 4, 3);
    ASSERT_EQ(pxLoadLedImagesA(path("s#.bmp").c_str(), 2, 1), 2);
    pxImageNew(0, nullptr, 64, 64, 8, 0x10);
    ASSERT_EQ(pxSaveImage(0, path("big00000.bmp").c_str(), 0), 1);
    // 46340 x 46340 LEDs of 64 x 64 pixels: 8 TiB, refused before any of it is allocated.
    EXPECT_EQ(pxLoadLedImagesA(path("big#.bmp").c_str(), 46340, 46340), 0);
    // Counts whose product leaves 32 bits are refused outright.
    EXPECT_EQ(pxLoadLedImagesA(path("big#.bmp").c_str(), 65536, 65536), 0);
    EXPECT_EQ(pxGetLedCountX(), 2);
    expectSet(4, 3, 2, response);
}

// A set of random responses, loaded from files, for the reductions.
class LedReduceTest : public LedSetTest {
protected:
    static constexpr int kCountX = 5, kCountY = 4, kWidth = 150, kHeight = 120;
    static constexpr int kLeds = kCountX * kCountY;

    void SetUp() override
    {
        LedSetTest::SetUp();
        std::mt19937 random(1234);
        values_.resize(static_cast<size_t>(kLeds) * kWidth * kHeight);
        for (uint8_t& v : values_)
            v = static_cast<uint8_t>(random() % 256);
        ASSERT_NE(pxImageNew(0, nullptr, kWidth, kHeight, 8, 0x10), nullptr);
        for (int j = 0; j < kLeds; ++j) {
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x)
                    pxSetPixelValue(0, x, y, at(j, x, y));
            ASSERT_EQ(pxSaveImage(0, ledFile("r", j, ".png").c_str(), 0), 1);
        }
        ASSERT_EQ(pxLoadLedImagesA(path("r#.png").c_str(), kCountX, kCountY), kLeds);
    }

    uint8_t at(int j, int x, int y) const
    {
        return values_[(static_cast<size_t>(y) * kWidth + x) * kLeds + j];
    }

    std::vector<uint8_t> values_;  // [y][x][led]
};

TEST_F(LedReduceTest, SumsMaximaAndRules)
{
    std::vector<uint16_t> sum(kWidth * kHeight), viaMatrix(kWidth * kHeight), maximum(kWidth * kHeight);
    const std::vector<int32_t> ones(kLeds, 1);
    EXPECT_EQ(pxLedImagesSumInt(sum.data(), kWidth, kWidth, kHeight, 0, 0), kHeight);
    EXPECT_EQ(pxLedImagesMatrixMulInt(ones.data(), kCountX, kCountY, viaMatrix.data(), kWidth, kWidth,
                                      kHeight, 0, 0),
              kHeight);
    EXPECT_EQ(sum, viaMatrix);
    EXPECT_EQ(pxLedImagesMax(maximum.data(), kWidth, kWidth, kHeight), kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            int s = 0, m = 0;
            for (int j = 0; j < kLeds; ++j) {
                s += at(j, x, y);
                m = std::max<int>(m, at(j, x, y));
            }
            ASSERT_EQ(sum[y * kWidth + x], s);
            ASSERT_EQ(maximum[y * kWidth + x], m);
        }

    // Shift and offset, clamped to 0 .. 65535.
    pxLedImagesSumInt(sum.data(), kWidth, kWidth, kHeight, 2, 1000);
    EXPECT_EQ(sum[7], std::max(0, (viaMatrix[7] - 1000) >> 2));
    const std::vector<int32_t> large(kLeds, 20000);
    pxLedImagesMatrixMulInt(large.data(), kCountX, kCountY, sum.data(), kWidth, kWidth, kHeight, 0, -5);
    EXPECT_EQ(sum[0], 65535);

    // The threshold rules on one pixel, weights 1 .. 20.
    std::vector<int32_t> weights(kLeds);
    for (int j = 0; j < kLeds; ++j)
        weights[j] = j + 1;
    const int t = 128;
    int64_t atLeast = 0, less = 0, binary = 0;
    for (int j = 0; j < kLeds; ++j)
        if (at(j, 0, 0) >= t) {
            atLeast += at(j, 0, 0) * weights[j];
            less += (at(j, 0, 0) - t) * weights[j];
            binary += weights[j];
        }
    uint16_t one = 0;
    pxLedImagesMatrixMulIntThresh(weights.data(), kCountX, kCountY, &one, 1, 1, 1, 0, 0, t);
    EXPECT_EQ(one, std::min<int64_t>(atLeast, 65535));
    pxLedImagesMatrixMulIntSubThresh(weights.data(), kCountX, kCountY, &one, 1, 1, 1, 0, 0, t);
    EXPECT_EQ(one, less);
    pxLedImagesMatrixMulBin(weights.data(), kCountX, kCountY, &one, 1, 1, 1, 0, 0, t);
    EXPECT_EQ(one, binary);
    pxLedImagesMatrixMulBin(weights.data(), kCountX, kCountY, &one, 1, 1, 1, 0, 0, 0);
    EXPECT_EQ(one, kLeds * (kLeds + 1) / 2);  // threshold 0: every value counts
    pxLedImagesMatrixMulIntThresh(weights.data(), kCountX, kCountY, &one, 1, 1, 1, 0, 0, 256);
    EXPECT_EQ(one, 0);
    // The double form with its modes: (sum - offset) * factor.
    double d = 0;
    const double modes[] = {0, 1, 2, 3, -7};
    const int64_t expected[] = {0, atLeast, less, binary, atLeast};
    int64_t all = 0;
    for (int j = 0; j < kLeds; ++j)
        all += at(j, 0, 0) * weights[j];
    for (int i = 0; i < 5; ++i) {
        pxLedImagesMatrixMulIDBufThresh(weights.data(), kCountX, kCountY, &d, 1, 1, 1, 0.5, 10, t,
                                        static_cast<int>(modes[i]));
        EXPECT_DOUBLE_EQ(d, ((i == 0 ? all : expected[i]) - 10) * 0.5) << "mode " << modes[i];
    }
}

TEST_F(LedReduceTest, OutputRowsPitchAndLimits)
{
    const std::vector<int32_t> ones(kLeds, 1);
    std::vector<uint16_t> up(kWidth * kHeight), down(kWidth * kHeight);
    pxLedImagesSumInt(up.data(), kWidth, kWidth, kHeight, 0, 0);
    // A negative pitch writes the last row first.
    EXPECT_EQ(pxLedImagesSumInt(down.data(), -kWidth, kWidth, kHeight, 0, 0), kHeight);
    for (int y = 0; y < kHeight; ++y)
        ASSERT_EQ(0, std::memcmp(&down[(kHeight - 1 - y) * kWidth], &up[y * kWidth], kWidth * 2)) << y;
    // Sizes are limited to the source region; a wider pitch leaves the gaps alone.
    std::vector<uint16_t> wide((kWidth + 3) * kHeight, 0xBEEF);
    EXPECT_EQ(
        pxLedImagesMatrixMulInt(ones.data(), kCountX, kCountY, wide.data(), kWidth + 3, 1000, 1000, 0, 0),
        kHeight);
    EXPECT_EQ(wide[kWidth + 2], 0xBEEF);
    EXPECT_EQ(wide[kWidth + 3], up[kWidth]);
    // Only the matrix's rows and its first countX columns count.
    const int32_t wider[2][7] = {{1, 0, 0, 0, 2, 9, 9}, {0, 0, 3, 0, 0, 9, 9}};
    uint16_t one = 0;
    pxLedImagesMatrixMulInt(&wider[0][0], 7, 2, &one, 1, 1, 1, 0, 0);
    EXPECT_EQ(one, at(0, 0, 0) + 2 * at(4, 0, 0) + 3 * at(7, 0, 0));
    // Bad buffers are refused and nothing is written.
    EXPECT_EQ(pxLedImagesMax(static_cast<uint16_t*>(inaccessibleAddress()), kWidth, kWidth, kHeight), -2);
    EXPECT_EQ(pxLedImagesMatrixMulInt(static_cast<const int32_t*>(inaccessibleAddress()), kCountX, kCountY,
                                      up.data(), kWidth, kWidth, kHeight, 0, 0),
              -2);
    EXPECT_EQ(pxLedImagesMatrixMulDouble(nullptr, kCountX, kCountY, nullptr, 1, 1, 1), -2);
}

// numpy's einsum over the same responses, through /usr/bin/python3.
class LedNumpyTest : public LedReduceTest {
protected:
    static bool haveNumpy()
    {
        return std::system("/usr/bin/python3 -c 'import numpy' >/dev/null 2>&1") == 0;
    }

    // Runs the script with the responses as r.u8 ([y][x][led]); returns the named output.
    template <class T>
    std::vector<T> numpy(const std::string& script, const std::string& output)
    {
        writeFile(path("r.u8"), values_);
        std::ofstream(path("run.py")) << "import numpy as np\n"
                                      << "r = np.fromfile('" << path("r.u8") << "', np.uint8).reshape("
                                      << kHeight << ", " << kWidth << ", " << kLeds << ")\n"
                                      << "d = '" << dir_ << "/'\n"
                                      << script;
        EXPECT_EQ(std::system(("/usr/bin/python3 '" + path("run.py") + "'").c_str()), 0);
        const std::vector<uint8_t> bytes = readFile(path(output));
        std::vector<T> out(bytes.size() / sizeof(T));
        std::memcpy(out.data(), bytes.data(), out.size() * sizeof(T));
        return out;
    }
};

TEST_F(LedNumpyTest, WeightMatrixAgreesWithEinsum)
{
    if (!haveNumpy())
        GTEST_SKIP() << "numpy is not installed for /usr/bin/python3";
    std::mt19937 random(99);
    std::vector<double> weights(kLeds);
    std::vector<int32_t> integers(kLeds);
    for (int j = 0; j < kLeds; ++j) {
        weights[j] = std::uniform_real_distribution<double>(-3.0, 3.0)(random);
        integers[j] = static_cast<int32_t>(random() % 2001) - 1000;
    }
    writeFile(path("w.f64"), std::vector<uint8_t>(reinterpret_cast<uint8_t*>(weights.data()),
                                                  reinterpret_cast<uint8_t*>(weights.data() + kLeds)));
    writeFile(path("w.i32"), std::vector<uint8_t>(reinterpret_cast<uint8_t*>(integers.data()),
                                                  reinterpret_cast<uint8_t*>(integers.data() + kLeds)));
    const std::vector<double> theirs = numpy<double>(
        "w = np.fromfile(d + 'w.f64', np.float64)\n"
        "np.einsum('yxk,k->yx', r.astype(np.float64), w).tofile(d + 'out.f64')\n",
        "out.f64");
    std::vector<double> ours(kWidth * kHeight);
    ASSERT_EQ(
        pxLedImagesMatrixMulDouble(weights.data(), kCountX, kCountY, ours.data(), kWidth, kWidth, kHeight),
        kHeight);
    ASSERT_EQ(theirs.size(), ours.size());
    for (size_t i = 0; i < ours.size(); ++i)
        ASSERT_NEAR(ours[i], theirs[i], 1e-12 * 255 * 3 * kLeds) << i;

    // Integer weights with the threshold rules: exact after the shift and the clamp.
    const std::vector<uint16_t> words = numpy<uint16_t>(
        "w = np.fromfile(d + 'w.i32', np.int32).astype(np.int64)\n"
        "v = r.astype(np.int64)\n"
        "out = []\n"
        "for t, f in ((0, v), (100, np.where(v >= 100, v, 0)), (100, np.where(v >= 100, v - 100, 0)),\n"
        "             (100, np.where(v >= 100, 1, 0))):\n"
        "    s = np.einsum('yxk,k->yx', f, w)\n"
        "    out.append(np.clip((s + 30000) >> 3, 0, 65535).astype(np.uint16))\n"
        "np.stack(out).tofile(d + 'out.u16')\n",
        "out.u16");
    ASSERT_EQ(words.size(), 4u * kWidth * kHeight);
    using Reduction = int (*)(const int32_t*, int, int, uint16_t*, int, int, int, int, int, int);
    const Reduction rules[] = {nullptr, pxLedImagesMatrixMulIntThresh, pxLedImagesMatrixMulIntSubThresh,
                               pxLedImagesMatrixMulBin};
    std::vector<uint16_t> mine(kWidth * kHeight);
    for (int r = 0; r < 4; ++r) {
        SCOPED_TRACE(r);
        if (rules[r])
            rules[r](integers.data(), kCountX, kCountY, mine.data(), kWidth, kWidth, kHeight, 3, -30000, 100);
        else
            pxLedImagesMatrixMulInt(integers.data(), kCountX, kCountY, mine.data(), kWidth, kWidth, kHeight,
                                    3, -30000);
        ASSERT_EQ(0, std::memcmp(mine.data(), &words[r * kWidth * kHeight], mine.size() * 2));
    }
}

TEST_F(LedSetTest, SpotPositionList)
{
    // A bright 3 x 3 spot per LED at a known place; LED 2 has no file.
    for (int j = 0; j < 4; ++j) {
        if (j == 2)
            continue;
        pxImageNew(0, nullptr, 40, 30, 8, 0x10);
        pxImgFill(0, 5);
        for (int y = -1; y <= 1; ++y)
            for (int x = -1; x <= 1; ++x)
                pxSetPixelValue(0, 6 + 8 * j + x, 20 - 4 * j + y, 200);
        ASSERT_EQ(pxSaveImage(0, ledFile("spot", j, ".bmp").c_str(), 0), 1);
    }
    EXPECT_EQ(pxLedImageMakePoslist(path("spot#.bmp").c_str(), 2, 2, 0, 0, path("pos.txt").c_str(), 0), 3);
    const std::vector<uint8_t> text = readFile(path("pos.txt"));
    // pxFindSpot gives pixel centres (+ 0.5), which round up.
    EXPECT_EQ(std::string(text.begin(), text.end()), "0\t7\t21\r\n1\t15\t17\r\n3\t31\t9\r\n");
    const std::string nowhere = path("no/such/dir/pos.txt");
    EXPECT_EQ(pxLedImageMakePoslist(path("spot#.bmp").c_str(), 2, 2, 3, 1, nowhere.c_str(), 0), -1);
}

}  // namespace
